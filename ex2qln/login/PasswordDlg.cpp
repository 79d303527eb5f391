// CPasswordDlg: credentials from the server settings and a no-echo password prompt on the terminal.
#include "ex2qln/login/PasswordDlg.h"

#include "ex2qln/login/CramMd5.h"
#include "ex2qln/login/SettingValues.h"
#include "ex2qln/mapi/ConnectorProperties.h"

#include <mapicode.h>

#include <cerrno>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace ex2qln::login {
namespace {

// The prompt field takes at most this many characters, like the dialog's edit field.
constexpr std::size_t kMaximumPasswordLength = 255;

class TerminalHandle {
public:
    explicit TerminalHandle(const std::string& path)
        : descriptor_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC))
    {
    }
    TerminalHandle(const TerminalHandle&) = delete;
    TerminalHandle& operator=(const TerminalHandle&) = delete;
    ~TerminalHandle()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    int Get() const { return descriptor_; }

private:
    int descriptor_;
};

// Switches echo, line editing and signal keys off; the saved mode comes back in every case.
class RawMode {
public:
    explicit RawMode(int descriptor) : descriptor_(descriptor)
    {
        if (::tcgetattr(descriptor_, &saved_) != 0)
            return;
        termios raw = saved_;
        raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
        raw.c_cc[VMIN] = 1;
        raw.c_cc[VTIME] = 0;
        active_ = ::tcsetattr(descriptor_, TCSAFLUSH, &raw) == 0;
    }
    RawMode(const RawMode&) = delete;
    RawMode& operator=(const RawMode&) = delete;
    ~RawMode()
    {
        if (active_)
            ::tcsetattr(descriptor_, TCSAFLUSH, &saved_);
    }
    bool Active() const { return active_; }
    const termios& Saved() const { return saved_; }

private:
    int descriptor_;
    termios saved_{};
    bool active_ = false;
};

void WriteText(int descriptor, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t written = ::write(descriptor, text.data(), text.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        text.remove_prefix(static_cast<std::size_t>(written));
    }
}

enum class KeyResult { More, Done, Cancelled };

KeyResult ApplyKey(unsigned char key, const termios& modes, Secret& password)
{
    if (key == '\r' || key == '\n')
        return KeyResult::Done;
    if (key == modes.c_cc[VINTR])
        return KeyResult::Cancelled;
    if (key == modes.c_cc[VEOF])
        return password.Empty() ? KeyResult::Cancelled : KeyResult::More;
    if (key == modes.c_cc[VERASE] || key == 0x7F || key == 0x08) {
        password.DropLast();
        return KeyResult::More;
    }
    if (key == modes.c_cc[VKILL]) {
        password.Clear();
        return KeyResult::More;
    }
    if (key >= 0x20 && password.View().size() < kMaximumPasswordLength)
        password.Append(static_cast<char>(key));
    return KeyResult::More;
}

// Reads keys until Enter; false when the user cancels or the terminal goes away.
bool ReadPassword(int descriptor, const termios& modes, Secret& password)
{
    for (;;) {
        unsigned char key = 0;
        const ssize_t count = ::read(descriptor, &key, 1);
        if (count < 0 && errno == EINTR)
            continue;
        if (count != 1)
            return false;
        const KeyResult result = ApplyKey(key, modes, password);
        if (result != KeyResult::More)
            return result == KeyResult::Done;
    }
}

} // namespace

CPasswordDlg::CPasswordDlg(IMAPIProp* settings, std::string terminalPath)
    : settings_(settings), terminalPath_(std::move(terminalPath))
{
}

HRESULT CPasswordDlg::Load()
{
    SettingValues values;
    const HRESULT status = values.Load(settings_, {mapi::kPropAccountName, mapi::kPropPassword, mapi::kPropServerHost});
    if (FAILED(status))
        return status;
    host_ = values.Text(mapi::kPropServerHost).value_or("");
    loginName_ = values.Text(mapi::kPropAccountName).value_or("");
    if (loginName_.find_first_of("@%") == std::string::npos && !host_.empty())
        loginName_ += "@" + host_;
    std::optional<std::string> password = values.Text(mapi::kPropPassword);
    passwordKnown_ = password.has_value();
    rememberPassword_ = passwordKnown_;
    password_.Assign(password.value_or(""));
    if (password)
        std::fill(password->begin(), password->end(), '\0');
    return S_OK;
}

HRESULT CPasswordDlg::DoModal()
{
    TerminalHandle terminal(terminalPath_);
    if (terminal.Get() < 0)
        return MAPI_E_UNCONFIGURED;
    RawMode mode(terminal.Get());
    if (!mode.Active())
        return MAPI_E_UNCONFIGURED;
    WriteText(terminal.Get(), "Please enter your account name and password.\nServer: " + host_ +
                                  "\nUser Name: " + loginName_ + "\nPassword: ");
    Secret entered;
    const bool accepted = ReadPassword(terminal.Get(), mode.Saved(), entered);
    WriteText(terminal.Get(), "\n");
    if (!accepted)
        return MAPI_E_UNCONFIGURED;
    password_ = std::move(entered);
    rememberPassword_ = true;
    passwordKnown_ = true;
    return StorePassword();
}

HRESULT CPasswordDlg::StorePassword()
{
    if (settings_ == nullptr)
        return S_OK;
    SPropValue value{};
    value.ulPropTag = mapi::kPropPassword;
    value.Value.lpszA = const_cast<char*>(password_.CStr());
    return settings_->SetProps(1, &value, nullptr);
}

HRESULT CPasswordDlg::CramMd5Response(std::string_view challengeBase64, Secret& response) const
{
    return ex2qln::login::CramMd5Response(loginName_, password_.View(), challengeBase64, response);
}

} // namespace ex2qln::login
