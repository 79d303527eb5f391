// CImapXP: commands and replies over the socket, the login, the command lock and the idle logout.
#include "ex2qln/imap/ImapXP.h"

#include "ex2qln/diag/LocalizedText.h"
#include "ex2qln/diag/Log.h"
#include "ex2qln/diag/PeerText.h"
#include "ex2qln/imap/ImapGuard.h"
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapTexts.h"
#include "ex2qln/login/CramMd5.h"
#include "ex2qln/login/PasswordDlg.h"
#include "ex2qln/login/Secret.h"
#include "ex2qln/login/SettingValues.h"
#include "ex2qln/mapi/ConnectorProperties.h"
#include "ex2qln/net/SocketTexts.h"
#include "ex2qln/net/TextFormat.h"
#include "platform/locale/Locale.h"

#include <mapicode.h>
#include <unistd.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ex2qln::imap {
namespace {

constexpr std::uint32_t kNetworkAllowed = 2;

unsigned long Address(const void* object) { return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(object)); }

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]);
        const auto b = static_cast<unsigned char>(prefix[i]);
        if ((a >= 'a' && a <= 'z' ? a - 0x20 : a) != (b >= 'a' && b <= 'z' ? b - 0x20 : b))
            return false;
    }
    return true;
}

// The login name as a quoted string: quotes and backslashes are escaped.
std::string Quoted(std::string_view text)
{
    std::string quoted;
    for (const char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted;
}

// Server texts are UTF-8; the user reads them in the locale's character set. ASCII, almost every
// line, reads the same in every locale's set and needs no converter.
std::string ToAnsi(std::string_view utf8)
{
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return std::string(utf8);
    std::optional<std::string> converted = diag::ConvertFromUtf8(utf8, platform::AnsiCodeSetName().c_str());
    return converted ? std::move(*converted) : std::string(utf8);
}

std::size_t LineEnds(std::string_view text)
{
    return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }));
}

int ThreadNumber() { return static_cast<int>(::gettid()); }

void TraceReceived(std::string_view line)
{
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace(">>>>>> %s\n", diag::EscapeControlCharacters(line).c_str());
}

// What may come from the server while no command is outstanding: untagged data ("* "), also when
// only its start has arrived so far.
bool IsUntaggedStart(std::string_view unread)
{
    constexpr std::string_view kUntagged = "* ";
    return unread.substr(0, kUntagged.size()) == kUntagged.substr(0, std::min(unread.size(), kUntagged.size()));
}

} // namespace

// Literal bytes and the lines after them, read from the client's socket.
class CImapXP::SocketInput : public ImapInput {
public:
    explicit SocketInput(CImapXP& client) : client_(client) {}

    HRESULT ReadBytes(std::span<char> output) override
    {
        std::size_t filled = 0;
        while (filled < output.size()) {
            const std::size_t count = client_.socket_.ReadSome(output.subspan(filled));
            if (count == 0) {
                const HRESULT status = client_.socket_.LastStatus();
                return FAILED(status) ? status : kStatusConnectionClosed;
            }
            filled += count;
        }
        return S_OK;
    }

    HRESULT ReadLine(std::string& line) override
    {
        const HRESULT status = client_.socket_.ReadLine(client_.lineBuffer_);
        if (FAILED(status))
            return status;
        line.assign(client_.lineBuffer_.data());
        TraceReceived(line);
        return S_OK;
    }

private:
    CImapXP& client_;
};

CImapXP::CImapXP(LPALLOCATEBUFFER allocateBuffer, LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer,
                 ImapClientOptions options)
    : allocateBuffer_(allocateBuffer), allocateMore_(allocateMore), freeBuffer_(freeBuffer),
      options_(std::move(options)), socket_(options_.tlsSettings.value_or(net::DefaultTlsSettings())), parser_(this)
{
}

CImapXP::~CImapXP()
{
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("CImapXP(%#lx)::~CImapXP\n", Address(this));
    Disconnect();
}

// ---- Error texts --------------------------------------------------------------------------------

void CImapXP::SetLastErrorText(std::string_view text)
{
    std::lock_guard lock(errorTextMutex_);
    lastErrorText_.assign(text.substr(0, kErrorTextSize - 1));
}

void CImapXP::SetServerText(std::string_view utf8)
{
    SetLastErrorText(diag::EscapeControlCharacters(ToAnsi(utf8), kErrorTextSize - 1));
}

void CImapXP::ShowAlert(std::string_view utf8)
{
    const std::string text =
        net::FormatLocalizedText(kTextServerAlert, {diag::EscapeControlCharacters(ToAnsi(utf8))});
    std::fprintf(stderr, "%s\n", text.c_str());
}

HRESULT CImapXP::MapError(HRESULT status, unsigned textNumber, std::string_view argument)
{
    // Every argument of these texts is something the server sent.
    if (textNumber != 0)
        SetLastErrorText(net::FormatLocalizedText(textNumber, {diag::EscapeControlCharacters(argument)}));
    else if (FAILED(status))
        SetLastErrorText(socket_.LastErrorText());
    else
        SetLastErrorText({});
    if (SUCCEEDED(status) || status == MAPI_E_NETWORK_ERROR || status == MAPI_E_EXTENDED_ERROR)
        return status;
    return textNumber != 0 ? MAPI_E_EXTENDED_ERROR : MAPI_E_NETWORK_ERROR;
}

HRESULT CImapXP::GetLastErrorText(std::span<char> buffer) const
{
    if (buffer.empty())
        return E_FAIL;
    std::lock_guard lock(errorTextMutex_);
    const std::size_t length = std::min(buffer.size() - 1, lastErrorText_.size());
    std::memcpy(buffer.data(), lastErrorText_.data(), length);
    buffer[length] = '\0';
    return S_OK;
}

std::string CImapXP::LastErrorText() const
{
    std::lock_guard lock(errorTextMutex_);
    return lastErrorText_;
}

void CImapXP::CloseConnection()
{
    socket_.Close();
    // No reply can come any more, so no command is outstanding.
    busy_ = 0;
}

// ---- Commands and replies -----------------------------------------------------------------------

HRESULT CImapXP::SendCommand(const char* format, ...)
{
    if (busy_.exchange(1) == 1)
        return MAPI_E_BUSY;
    if (const HRESULT status = ReadUnsolicited(); FAILED(status))
        return status;
    ++tagCounter_;
    const int prefixLength = std::snprintf(lineBuffer_.data(), lineBuffer_.size(), "%08X ", tagCounter_);
    char* const text = lineBuffer_.data() + prefixLength;
    va_list arguments;
    va_start(arguments, format);
    const int textLength = std::vsnprintf(text, kMaximumCommandText + 1, format, arguments);
    va_end(arguments);
    if (textLength < 0 || static_cast<std::size_t>(textLength) > kMaximumCommandText) {
        busy_ = 0;
        SetLastErrorText("IMAP command too long");
        return E_INVALIDARG;
    }
    // Line ends come only from the format (the LOGIN literal); one inside an argument would smuggle
    // a second command onto the wire.
    if (LineEnds(std::string_view(text, static_cast<std::size_t>(textLength))) != LineEnds(format)) {
        busy_ = 0;
        SetLastErrorText("IMAP command argument holds a line end");
        return E_INVALIDARG;
    }
    std::memcpy(text + textLength, "\r\n", 3);
    const std::size_t lineLength = static_cast<std::size_t>(prefixLength + textLength + 2);
    const bool secret = StartsWithNoCase(format, "login");
    if (!secret && diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("<<<<<< %s", lineBuffer_.data());
    const HRESULT status = socket_.SendText(std::string_view(lineBuffer_.data(), lineLength));
    if (secret)
        std::memset(lineBuffer_.data(), 0, lineLength);
    if (FAILED(status)) {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("<<<<<< Write failed (%#x), %u/%u", static_cast<unsigned>(status),
                        static_cast<unsigned>(std::strlen(lineBuffer_.data())), static_cast<unsigned>(lineLength));
        CloseConnection();
        return MapError(status);
    }
    return S_OK;
}

HRESULT CImapXP::ReadUnsolicited()
{
    for (std::string_view unread = socket_.UnreadInput(); !unread.empty(); unread = socket_.UnreadInput()) {
        if (!IsUntaggedStart(unread)) {
            if (diag::TraceOn(diag::kTraceProtocols))
                diag::Trace("CImapXP(%#lx)::SendCommand got a reply out of step '%s'\n", Address(this),
                            diag::EscapeControlCharacters(unread).c_str());
            SetLastErrorText(net::OutOfStepText(unread));
            CloseConnection();
            return MAPI_E_EXTENDED_ERROR;
        }
        // It belongs to no command: read and dropped, its alert shown.
        ImapRecord record{};
        HRESULT status = S_OK;
        const LineResult line = ParseLine(record, status);
        if (record.props != nullptr)
            freeBuffer_(record.props);
        if (line == LineResult::Failed)
            return status;
    }
    return S_OK;
}

HRESULT CImapXP::SendRaw(std::string_view bytes)
{
    const HRESULT status = socket_.SendText(bytes);
    if (FAILED(status)) {
        CloseConnection();
        return MapError(status);
    }
    return S_OK;
}

HRESULT CImapXP::SendHeldOutput()
{
    const HRESULT status = socket_.SendHeldOutput();
    if (FAILED(status)) {
        CloseConnection();
        return MapError(status);
    }
    return S_OK;
}

HRESULT CImapXP::ConnectionBroken(HRESULT status)
{
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace(">>>>>> Connection to IMAP server broken.\n");
    CloseConnection();
    status = MapError(status);
    // A peer that simply went away leaves the socket without a text of its own.
    if (LastErrorText().empty())
        SetLastErrorText(net::FormatLocalizedText(net::kTextReceiveFailed, {kStatusConnectionClosed}));
    return status;
}

CImapXP::LineResult CImapXP::ParseLine(ImapRecord& record, HRESULT& status)
{
    record = ImapRecord{0, 0, nullptr};
    status = socket_.ReadLine(lineBuffer_);
    if (FAILED(status)) {
        status = ConnectionBroken(status);
        return LineResult::Failed;
    }
    currentLine_.assign(lineBuffer_.data());
    TraceReceived(currentLine_);

    SocketInput input(*this);
    ImapResponse response;
    ImapParseError error;
    status = parser_.Parse(currentLine_, tagCounter_, input, response, error);
    if (response.lineClass == ImapLineClass::Tagged)
        busy_ = 0;
    if (FAILED(status)) {
        if (error.textNumber == 0) {
            status = ConnectionBroken(status);
            return LineResult::Failed;
        }
        if (error.lineRejected)
            CloseConnection();
        status = MapError(status, error.textNumber, error.argument);
        if (error.lineRejected)
            return LineResult::Failed;
        return response.lineClass == ImapLineClass::Tagged ? LineResult::Failed : LineResult::Recoverable;
    }

    if (response.statusText)
        SetServerText(*response.statusText);
    if (response.alertText)
        ShowAlert(*response.alertText);
    status = BuildPropertyList(response.properties, allocateBuffer_, allocateMore_, freeBuffer_, &record.props);
    if (FAILED(status)) {
        status = MapError(status);
        return response.lineClass == ImapLineClass::Untagged ? LineResult::Recoverable : LineResult::Failed;
    }
    record.kind = response.kind;
    record.count = static_cast<ULONG>(response.properties.size());
    switch (response.lineClass) {
    case ImapLineClass::Continuation:
        return LineResult::Continuation;
    case ImapLineClass::Tagged:
        return LineResult::Tagged;
    default:
        return LineResult::Untagged;
    }
}

void CImapXP::DrainReply()
{
    const std::string errorText = LastErrorText();
    for (;;) {
        ImapRecord record{};
        HRESULT status = S_OK;
        const LineResult result = ParseLine(record, status);
        if (record.props != nullptr)
            freeBuffer_(record.props);
        if (result == LineResult::Failed || result == LineResult::Tagged)
            break;
        // The server waits for data that belongs to no command the caller knows of.
        if (result == LineResult::Continuation) {
            CloseConnection();
            break;
        }
    }
    SetLastErrorText(errorText);
}

HRESULT CImapXP::ReadReply(ULONG* kind, ULONG keepMask, ImapRecords* records)
{
    std::vector<ImapRecord> kept;
    auto freeKept = [&] {
        for (const ImapRecord& record : kept)
            freeBuffer_(record.props);
        kept.clear();
    };
    ULONG lastKind = 0;
    HRESULT result = S_OK;
    for (;;) {
        ImapRecord record{};
        HRESULT status = S_OK;
        const LineResult line = ParseLine(record, status);
        if (line == LineResult::Failed || line == LineResult::Recoverable) {
            if (line == LineResult::Recoverable)
                DrainReply();
            freeKept();
            return status;
        }
        lastKind = record.kind;
        if (records != nullptr && (keepMask & KeepBit(record.kind)) != 0)
            kept.push_back(record);
        else
            freeBuffer_(record.props);
        if (line == LineResult::Tagged) {
            result = 0;
            break;
        }
        if (line == LineResult::Continuation) {
            result = 1;
            break;
        }
    }
    if (records != nullptr) {
        ImapRecordBlock* block = nullptr;
        const HRESULT status = BuildRecordBlock(kept, allocateBuffer_, &block);
        if (FAILED(status)) {
            freeKept();
            return MapError(status);
        }
        records->reset(block, freeBuffer_);
    }
    if (kind != nullptr) {
        *kind = lastKind;
        return result;
    }
    const ULONG plainKind = lastKind & ~kKindWatchFlag;
    if (result == 0 && plainKind != kKindOk && (keepMask & KeepBit(plainKind)) == 0)
        return MAPI_E_EXTENDED_ERROR;
    return result;
}

HRESULT CImapXP::Exchange(const char* command, ULONG& kind)
{
    HRESULT status = SendCommand("%s", command);
    if (SUCCEEDED(status))
        status = ReadFinalKind(kind);
    return status;
}

HRESULT CImapXP::ReadFinalKind(ULONG& kind)
{
    HRESULT status = ReadReply(&kind, 0, nullptr);
    if (status == 1) {
        // Nothing more is to be sent for this command: "*" cancels it.
        status = SendRaw("*\r\n");
        if (SUCCEEDED(status))
            status = ReadReply(&kind, 0, nullptr);
        if (status == 1) {
            CloseConnection();
            return MapError(MAPI_E_EXTENDED_ERROR, kTextInvalidReply, currentLine_);
        }
    }
    return FAILED(status) ? status : S_OK;
}

// ---- Connect ------------------------------------------------------------------------------------

HRESULT CImapXP::Connect(IMAPIProp* settings, ULONG flags)
{
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("CImapXP(%#lx)::Connect\n", Address(this));
    CImapGuard guard(this);
    if (socket_.IsAlive())
        return S_OK;
    StopThreads();

    login::CPasswordDlg credentials(settings, options_.passwordTerminal);
    login::SettingValues values;
    HRESULT status = credentials.Load();
    if (SUCCEEDED(status))
        status = values.Load(settings, {mapi::kPropServerHost, mapi::kPropImapPort, mapi::kPropUseTls,
                                        mapi::kPropSecureLogin});
    const std::optional<std::string> host = values.Text(mapi::kPropServerHost);
    if (FAILED(status) || !host || host->empty())
        return MAPI_E_UNCONFIGURED;
    CloseConnection();
    if (((connectionFlags_ | flags) & kNetworkAllowed) == 0)
        return MapError(MAPI_E_NETWORK_ERROR, kTextOffline);

    const std::uint32_t port = values.Number(mapi::kPropImapPort).value_or(kDefaultPort);
    const bool implicitTls = port == options_.implicitTlsPort;
    status = socket_.Connect(*host, port, implicitTls);
    if (FAILED(status)) {
        CloseConnection();
        return MapError(status);
    }
    const bool startTls = !implicitTls && values.Flag(mapi::kPropUseTls).value_or(false);
    const bool plainLogin = !values.Flag(mapi::kPropSecureLogin).value_or(true);
    status = OpenSession(settings, credentials, startTls, plainLogin);
    if (FAILED(status)) {
        CloseConnection();
        return status;
    }
    StartThreads();
    return S_OK;
}

HRESULT CImapXP::OpenSession(IMAPIProp* settings, login::CPasswordDlg& credentials, bool startTls, bool plainLogin)
{
    HRESULT status = ReadGreeting(startTls);
    if (SUCCEEDED(status) && startTls)
        status = StartTls();
    if (SUCCEEDED(status))
        status = Login(credentials, plainLogin);
    if (SUCCEEDED(status))
        status = EnableExtensions();
    if (FAILED(status))
        return status;
    // A trailer of an earlier connection must not stay for a server that gives none.
    return features_.extensions ? FetchMailTrailer(settings) : RemoveMailTrailer(settings);
}

HRESULT CImapXP::ReadGreeting(bool tlsWanted)
{
    ImapRecord greeting{};
    HRESULT status = S_OK;
    const LineResult line = ParseLine(greeting, status);
    if (line == LineResult::Failed || line == LineResult::Recoverable)
        return status;
    const ULONG kind = greeting.kind;
    const SPropValue* text = FindProperty(greeting, kPropComment);
    const std::string comment = text != nullptr ? text->Value.lpszA : "";
    freeBuffer_(greeting.props);
    if (line != LineResult::Untagged)
        return MapError(MAPI_E_EXTENDED_ERROR, kTextInvalidReply, currentLine_);
    if (kind == kKindBye) {
        SetServerText(comment);
        return MAPI_E_EXTENDED_ERROR;
    }
    // TLS was asked for: a server that is not ready for it is not talked to in the clear.
    if (tlsWanted && kind != kKindOk)
        return MAPI_E_EXTENDED_ERROR;
    return S_OK;
}

HRESULT CImapXP::StartTls()
{
    ULONG kind = 0;
    HRESULT status = Exchange("STARTTLS", kind);
    if (FAILED(status))
        return status;
    // Refused: the server's text explains it, and the login is not sent unprotected.
    if (kind != kKindOk)
        return MAPI_E_EXTENDED_ERROR;
    status = socket_.StartTls();
    if (FAILED(status)) {
        CloseConnection();
        return MapError(status);
    }
    return S_OK;
}

HRESULT CImapXP::Login(login::CPasswordDlg& credentials, bool plainLogin)
{
    ULONG lastKind = credentials.PasswordKnown() ? kKindOk : kKindNo;
    do {
        if (lastKind != kKindOk && FAILED(credentials.DoModal()))
            return MAPI_E_UNCONFIGURED;
        const HRESULT status = plainLogin ? LoginPlain(credentials, lastKind) : LoginCramMd5(credentials, lastKind);
        if (FAILED(status))
            return status;
    } while (lastKind != kKindOk);
    return S_OK;
}

HRESULT CImapXP::LoginPlain(login::CPasswordDlg& credentials, ULONG& kind)
{
    const std::string_view password = credentials.Password();
    HRESULT status = SendCommand("LOGIN \"%s\" {%zu+}\r\n%.*s", Quoted(credentials.LoginName()).c_str(),
                                 password.size(), static_cast<int>(password.size()), password.data());
    if (SUCCEEDED(status))
        status = ReadFinalKind(kind);
    return status;
}

HRESULT CImapXP::LoginCramMd5(login::CPasswordDlg& credentials, ULONG& kind)
{
    HRESULT status = SendCommand("AUTHENTICATE CRAM-MD5");
    ImapRecords challenge;
    if (SUCCEEDED(status))
        status = ReadReply(&kind, KeepBit(kKindContinuation), &challenge);
    if (FAILED(status) || status == 0)
        return FAILED(status) ? status : S_OK;

    const SPropValue* text = challenge.empty() ? nullptr : FindProperty(challenge[0], kPropComment);
    const std::string_view challengeText = text != nullptr ? text->Value.lpszA : "";
    // Nothing derived from the password answers a challenge that is not one.
    const std::string_view fault = login::CramMd5ChallengeFault(challengeText);
    login::Secret response;
    status = fault.empty() ? credentials.CramMd5Response(challengeText, response) : MAPI_E_EXTENDED_ERROR;
    if (FAILED(status)) {
        // The server still waits for an answer; "*" withdraws the attempt.
        if (SUCCEEDED(SendRaw("*\r\n")))
            ReadFinalKind(kind);
        SetLastErrorText(fault.empty() ? login::kCramMd5NotAnswered : fault);
        return MAPI_E_EXTENDED_ERROR;
    }
    login::Secret line;
    line.Assign(response.View());
    line.Append('\r');
    line.Append('\n');
    status = SendRaw(line.View());
    if (SUCCEEDED(status))
        status = ReadFinalKind(kind);
    return status;
}

HRESULT CImapXP::Collect(const char* command, ULONG keptKind, ULONG& kind, ImapRecords& records)
{
    HRESULT status = SendCommand("%s", command);
    if (SUCCEEDED(status))
        status = ReadReply(&kind, KeepBit(keptKind), &records);
    // Nothing is to be sent for these commands: a server that waits for more is out of step.
    if (status == 1) {
        CloseConnection();
        return MapError(MAPI_E_EXTENDED_ERROR, kTextInvalidReply, currentLine_);
    }
    return FAILED(status) ? status : S_OK;
}

HRESULT CImapXP::EnableExtensions()
{
    features_ = {};
    ULONG kind = 0;
    ImapRecords enabled;
    if (const HRESULT status = Collect("ENABLE EXTENSIONS", kKindEnabled, kind, enabled); FAILED(status))
        return status;
    features_.extensions = ExtensionsEnabled(kind, enabled);
    if (features_.extensions)
        return S_OK;
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("CImapXP(%#lx)::EnableExtensions -- no server extensions, standard IMAP\n", Address(this));
    return ReadCapabilities();
}

HRESULT CImapXP::ReadCapabilities()
{
    ULONG kind = 0;
    ImapRecords capabilities;
    if (const HRESULT status = Collect("CAPABILITY", kKindCapability, kind, capabilities); FAILED(status))
        return status;
    if (kind != kKindOk)
        return MAPI_E_EXTENDED_ERROR;
    for (const ImapRecord& record : capabilities) {
        if (const SPropValue* words = record.kind == kKindCapability ? FindProperty(record, kPropComment) : nullptr)
            AddCapabilities(words->Value.lpszA, features_);
    }
    return S_OK;
}

HRESULT CImapXP::FetchMailTrailer(IMAPIProp* settings)
{
    ULONG kind = 0;
    ImapRecords trailers;
    if (const HRESULT status = Collect("GETMAILTRAILER", kKindMailTrailer, kind, trailers); FAILED(status))
        return status;
    const SPropValue* trailer = nullptr;
    for (const ImapRecord& record : trailers) {
        if (trailer == nullptr)
            trailer = FindProperty(record, kPropBody);
    }
    if (kind == kKindOk && trailer != nullptr)
        return QLN_CHECK(settings->SetProps(1, const_cast<LPSPropValue>(trailer), nullptr));
    return RemoveMailTrailer(settings);
}

HRESULT CImapXP::RemoveMailTrailer(IMAPIProp* settings)
{
    SizedSPropTagArray(1, body) = {1, {kPropBody}};
    const HRESULT deleted = settings->DeleteProps(reinterpret_cast<LPSPropTagArray>(&body), nullptr);
    return FAILED(deleted) ? QLN_CHECK(deleted) : S_OK;
}

bool CImapXP::IsConnected()
{
    CImapGuard guard(this);
    return socket_.IsAlive();
}

HRESULT CImapXP::Disconnect()
{
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("CImapXP(%#lx)::Disconnect\n", Address(this));
    {
        CImapGuard guard(this);
        if (socket_.IsAlive()) {
            HRESULT status = SendCommand("LOGOUT");
            if (SUCCEEDED(status))
                status = ReadReply(nullptr, 0, nullptr);
            QLN_CHECK(status);
        }
        CloseConnection();
    }
    StopThreads();
    return S_OK;
}

// ---- The command lock ---------------------------------------------------------------------------

bool CImapXP::Lock(bool stopAllowed)
{
    std::unique_lock state(stateMutex_);
    const std::thread::id self = std::this_thread::get_id();
    lockFreed_.wait(state, [&] { return lockDepth_ == 0 || lockOwner_ == self || (stopAllowed && stop_); });
    if (stopAllowed && stop_)
        return false;
    lockOwner_ = self;
    ++lockDepth_;
    lastActivity_ = std::chrono::steady_clock::now();
    return true;
}

void CImapXP::Unlock()
{
    std::lock_guard state(stateMutex_);
    lastActivity_ = std::chrono::steady_clock::now();
    if (lockDepth_ == 0 || lockOwner_ != std::this_thread::get_id())
        return;
    if (--lockDepth_ == 0) {
        lockOwner_ = std::thread::id();
        lockFreed_.notify_all();
    }
}

bool CImapXP::TryLockIdle()
{
    if (lockDepth_ != 0)
        return false;
    lockOwner_ = std::this_thread::get_id();
    lockDepth_ = 1;
    return true;
}

// ---- Threads ------------------------------------------------------------------------------------

void CImapXP::StartThreads()
{
    {
        std::lock_guard state(stateMutex_);
        stop_ = false;
    }
    idleThread_ = std::thread(&CImapXP::IdleThreadProc, this);
    workerThread_ = std::thread(&CImapXP::WorkerThreadProc, this);
}

void CImapXP::StopThreads()
{
    {
        std::lock_guard state(stateMutex_);
        stop_ = true;
    }
    stopRequested_.notify_all();
    lockFreed_.notify_all();
    for (std::thread* thread : {&idleThread_, &workerThread_}) {
        if (!thread->joinable())
            continue;
        if (thread->get_id() == std::this_thread::get_id())
            thread->detach();
        else
            thread->join();
    }
}

void CImapXP::IdleThreadProc()
{
    if (diag::TraceOn(diag::kTraceObjects))
        diag::Trace("CImapXP(%#lx)::IdleThreadProc -- starting %#x(%d)\n", Address(this),
                    static_cast<unsigned>(ThreadNumber()), ThreadNumber());
    HRESULT exitStatus = S_OK;
    std::unique_lock state(stateMutex_);
    // Activity only stamps its time (waking this thread on every command would cost each command
    // two thread switches); the wait ends the idle time after the later of its start and the last
    // activity.
    auto waitStart = std::chrono::steady_clock::now();
    while (!stop_) {
        const auto deadline = std::max(waitStart, lastActivity_) + options_.idleTime;
        if (stopRequested_.wait_until(state, deadline, [&] { return stop_; }))
            break;
        const auto now = std::chrono::steady_clock::now();
        if (now < std::max(waitStart, lastActivity_) + options_.idleTime)
            continue;
        // A lock that some thread holds starts a new wait.
        if (!TryLockIdle()) {
            waitStart = now;
            continue;
        }
        state.unlock();
        const bool ended = IdleLogout();
        Unlock();
        state.lock();
        if (ended) {
            exitStatus = MAPI_E_EXTENDED_ERROR;
            break;
        }
    }
    state.unlock();
    if (diag::TraceOn(diag::kTraceObjects))
        diag::Trace("CImapXP(%#lx)::IdleThreadProc -- exiting %#x(%d) - %#x\n", Address(this),
                    static_cast<unsigned>(ThreadNumber()), ThreadNumber(), static_cast<unsigned>(exitStatus));
}

bool CImapXP::IdleLogout()
{
    if (!socket_.IsAlive())
        return true;
    HRESULT status = SendCommand("LOGOUT");
    if (status == MAPI_E_BUSY)
        return false;
    if (SUCCEEDED(status))
        ReadReply(nullptr, 0, nullptr);
    CloseConnection();
    return true;
}

void CImapXP::WorkerThreadProc()
{
    if (diag::TraceOn(diag::kTraceProtocols)) {
        diag::Trace("CImapXP(%#lx)::WorkerThreadProc -- starting %#x(%d)\n", Address(this),
                    static_cast<unsigned>(ThreadNumber()), ThreadNumber());
        diag::Trace("|||||| WORKING\n");
    }
    // No notifications are delivered in this program: the thread only waits to be stopped.
    {
        std::unique_lock state(stateMutex_);
        stopRequested_.wait(state, [&] { return stop_; });
    }
    if (diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("CImapXP(%#lx)::WorkerThreadProc -- exiting %#x(%d) - %#x\n", Address(this),
                    static_cast<unsigned>(ThreadNumber()), ThreadNumber(), 0u);
}

} // namespace ex2qln::imap
