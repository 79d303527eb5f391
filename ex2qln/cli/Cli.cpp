// CCli: login (greeting, STLS, AUTH CRAM-MD5 or USER/PASS), commands and one-line replies.
#include "ex2qln/cli/Cli.h"

#include "ex2qln/cli/CliReply.h"
#include "ex2qln/diag/Log.h"
#include "ex2qln/diag/PeerText.h"
#include "ex2qln/login/CramMd5.h"
#include "ex2qln/login/PasswordDlg.h"
#include "ex2qln/login/Secret.h"
#include "ex2qln/login/SettingValues.h"
#include "ex2qln/mapi/ConnectorProperties.h"
#include "ex2qln/net/SocketTexts.h"
#include "ex2qln/net/TextFormat.h"

#include <mapicode.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace ex2qln::cli {
namespace {

using login::CPasswordDlg;
using login::Secret;
using login::SettingValues;

// The error text keeps what a 260-byte buffer held.
constexpr std::size_t kErrorTextLength = 259;

bool TracingProtocols() { return diag::TraceOn(diag::kTraceProtocols); }

int TraceLength(std::string_view text) { return static_cast<int>(std::min<std::size_t>(text.size(), 0x7FFFFFFF)); }

} // namespace

CCli::CCli() : CCli(net::DefaultTlsSettings()) {}

CCli::CCli(net::TlsSettings tlsSettings)
    : socket_(std::move(tlsSettings)), replyLine_(std::make_unique<char[]>(kReplyCapacity + 1))
{
}

CCli::~CCli() { Disconnect(); }

HRESULT CCli::Connect(IMAPIProp* settings)
{
    if (TracingProtocols())
        diag::Trace("CCli(%#lx)::Connect\n", reinterpret_cast<unsigned long>(this));
    if (socket_.IsAlive())
        return S_OK;

    CPasswordDlg credentials(settings);
    SettingValues values;
    if (FAILED(QLN_CHECK(credentials.Load())) ||
        FAILED(QLN_CHECK(values.Load(settings, {mapi::kPropServerHost, mapi::kPropCliPort, mapi::kPropUseTls,
                                                mapi::kPropSecureLogin}))))
        return MAPI_E_UNCONFIGURED;
    const std::string host = values.Text(mapi::kPropServerHost).value_or("");
    if (host.empty())
        return MAPI_E_UNCONFIGURED;
    const std::uint32_t port = values.Number(mapi::kPropCliPort).value_or(kDefaultPort);
    const bool useTls = values.Flag(mapi::kPropUseTls).value_or(false);
    const bool secureLogin = values.Flag(mapi::kPropSecureLogin).value_or(true);

    HRESULT status = QLN_CHECK(socket_.Connect(host, port, false));
    if (FAILED(status))
        return ConnectionFailure(status);
    status = QLN_CHECK(Reply());
    if (SUCCEEDED(status) && useTls)
        status = StartTls();
    if (SUCCEEDED(status))
        status = Login(credentials, secureLogin);
    if (FAILED(status))
        socket_.Close();
    return status;
}

HRESULT CCli::StartTls()
{
    HRESULT status = QLN_CHECK(SendCommand("STLS"));
    if (SUCCEEDED(status))
        status = QLN_CHECK(Reply());
    if (FAILED(status))
        return status;
    status = QLN_CHECK(socket_.StartTls());
    return FAILED(status) ? ConnectionFailure(status) : S_OK;
}

HRESULT CCli::Login(CPasswordDlg& credentials, bool secureLogin)
{
    int lastCode = credentials.PasswordKnown() ? 200 : 515;
    for (;;) {
        if (lastCode != 200) {
            const HRESULT status = QLN_CHECK(credentials.DoModal());
            if (FAILED(status))
                return status;
        }
        const HRESULT status =
            secureLogin ? LoginCramMd5(credentials, lastCode) : LoginUserPass(credentials, lastCode);
        if (FAILED(status))
            return status;
        if (lastCode == 200)
            return S_OK;
    }
}

HRESULT CCli::LoginCramMd5(CPasswordDlg& credentials, int& lastCode)
{
    HRESULT status = QLN_CHECK(SendCommand("AUTH CRAM-MD5"));
    if (FAILED(status))
        return status;
    int code = 0;
    std::string_view challenge;
    status = QLN_CHECK(Reply(&code, &challenge));
    if (FAILED(status))
        return status;
    if (code != 0) {
        lastCode = code;
        return S_OK;
    }
    // Nothing derived from the password answers a challenge that is not one.
    const std::string_view fault = login::CramMd5ChallengeFault(challenge);
    if (!fault.empty()) {
        SetErrorText(fault);
        return MAPI_E_EXTENDED_ERROR;
    }
    Secret line;
    status = QLN_CHECK(credentials.CramMd5Response(challenge, line));
    if (FAILED(status)) {
        SetErrorText(login::kCramMd5NotAnswered);
        return status;
    }
    line.Append('\r');
    line.Append('\n');
    status = SendTraced(line.View(), "[CRAM-MD5 response]\r\n");
    if (SUCCEEDED(status))
        status = QLN_CHECK(Reply(&code));
    if (SUCCEEDED(status))
        lastCode = code;
    return status;
}

HRESULT CCli::LoginUserPass(CPasswordDlg& credentials, int& lastCode)
{
    HRESULT status = QLN_CHECK(SendCommand("USER " + credentials.LoginName()));
    if (SUCCEEDED(status))
        status = QLN_CHECK(Reply());
    if (FAILED(status))
        return status;
    if (credentials.Password().find_first_of("\r\n") != std::string_view::npos) {
        SetErrorText("The password contains a line break");
        return E_INVALIDARG;
    }
    Secret line("PASS ");
    for (char character : credentials.Password())
        line.Append(character);
    line.Append('\r');
    line.Append('\n');
    status = SendTraced(line.View(), "PASS ********\r\n");
    int code = 0;
    if (SUCCEEDED(status))
        status = QLN_CHECK(Reply(&code));
    if (SUCCEEDED(status))
        lastCode = code;
    return status;
}

HRESULT CCli::SendCommand(std::string_view command)
{
    if (command.size() > kMaximumCommandLength) {
        SetErrorText("Command longer than 65533 characters");
        return E_INVALIDARG;
    }
    // A line break would let the rest of the text pass for a command of its own.
    if (command.find_first_of("\r\n") != std::string_view::npos) {
        SetErrorText("Command contains a line break");
        return E_INVALIDARG;
    }
    std::string line;
    line.reserve(command.size() + 2);
    line.append(command).append("\r\n");
    return SendTraced(line, line);
}

HRESULT CCli::SendRaw(std::string_view bytes) { return SendTraced(bytes, bytes); }

HRESULT CCli::SendTraced(std::string_view bytes, std::string_view traceText)
{
    // One command at a time, each reply read before the next command: whatever the server has sent
    // by now answers nothing that was asked, and reading it as the next reply would pair replies
    // with the wrong commands.
    const std::string_view unread = socket_.UnreadInput();
    if (!unread.empty()) {
        if (TracingProtocols())
            diag::Trace("CCli(%#lx)::Send got a reply out of step '%s'\n", reinterpret_cast<unsigned long>(this),
                        diag::EscapeControlCharacters(unread).c_str());
        SetErrorText(net::OutOfStepText(unread));
        socket_.Close();
        return MAPI_E_EXTENDED_ERROR;
    }
    if (TracingProtocols())
        diag::Trace("<<<<<< %.*s", TraceLength(traceText), traceText.data());
    const HRESULT status = QLN_CHECK(socket_.SendText(bytes));
    return FAILED(status) ? ConnectionFailure(status) : S_OK;
}

HRESULT CCli::Reply(int* code, std::string_view* text)
{
    const HRESULT status = QLN_CHECK(socket_.ReadLine({replyLine_.get(), kReplyCapacity + 1}));
    if (FAILED(status)) {
        if (TracingProtocols())
            diag::Trace(">>>>>> Connection to server broken.\n");
        socket_.Close();
        // A peer that closed leaves no text of its own in the socket.
        if (status == kStatusConnectionClosed) {
            SetErrorText(net::FormatLocalizedText(net::kTextReceiveFailed, {static_cast<std::int32_t>(status)}));
            return MAPI_E_NETWORK_ERROR;
        }
        return ConnectionFailure(status);
    }
    const std::string_view line(replyLine_.get());
    if (TracingProtocols())
        diag::Trace(">>>>>> %s\n", diag::EscapeControlCharacters(line).c_str());
    const std::optional<CliReplyLine> reply = ParseCliReply(line);
    if (!reply) {
        if (TracingProtocols())
            diag::Trace("CCli(%#lx)::Reply got invalid line '%s'\n", reinterpret_cast<unsigned long>(this),
                        diag::EscapeControlCharacters(line).c_str());
        socket_.Close();
        errorText_.clear();
        return MAPI_E_EXTENDED_ERROR;
    }
    errorText_ = diag::EscapeControlCharacters(reply->text, kErrorTextLength);
    if (text != nullptr)
        *text = reply->text;
    if (code != nullptr) {
        *code = reply->code;
        return S_OK;
    }
    return reply->code / 100 == 2 ? S_OK : MAPI_E_EXTENDED_ERROR;
}

HRESULT CCli::GetErrorText(std::span<char> buffer) const
{
    if (buffer.empty())
        return E_FAIL;
    const std::size_t length = std::min(errorText_.size(), buffer.size() - 1);
    std::memcpy(buffer.data(), errorText_.data(), length);
    buffer[length] = '\0';
    return S_OK;
}

HRESULT CCli::Disconnect()
{
    if (TracingProtocols())
        diag::Trace("CCli(%#lx)::Disconnect\n", reinterpret_cast<unsigned long>(this));
    // The caller may still report the failure that ended the session: QUIT's reply must not replace it.
    const std::string errorText = errorText_;
    if (socket_.IsAlive() && SUCCEEDED(SendCommand("QUIT")))
        Reply();
    socket_.Close();
    errorText_ = errorText;
    return S_OK;
}

HRESULT CCli::ConnectionFailure(HRESULT socketStatus)
{
    if (socketStatus == MAPI_E_NETWORK_ERROR || socketStatus == MAPI_E_EXTENDED_ERROR)
        return socketStatus;
    SetErrorText(socket_.LastErrorText());
    return MAPI_E_NETWORK_ERROR;
}

void CCli::SetErrorText(std::string_view text) { errorText_.assign(text.substr(0, kErrorTextLength)); }

} // namespace ex2qln::cli
