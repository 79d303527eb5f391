// CCli: one authenticated session with the server's administration interface (the CLI, port 106).
#pragma once

#include "ex2qln/net/TCPSSLSocket.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <memory>
#include <span>
#include <string>
#include <string_view>

namespace ex2qln::login {
class CPasswordDlg;
}

namespace ex2qln::cli {

class CCli {
public:
    static constexpr std::uint32_t kDefaultPort = 106;
    // Longest command line, without its CR LF.
    static constexpr std::size_t kMaximumCommandLength = 65533;
    // Longest reply line that is accepted.
    static constexpr std::size_t kReplyCapacity = 65536;

    // TLS (after STLS) checks the server's certificate as the program's default settings say.
    CCli();
    explicit CCli(net::TlsSettings tlsSettings);
    CCli(const CCli&) = delete;
    CCli& operator=(const CCli&) = delete;
    // Disconnects (QUIT) when still connected.
    virtual ~CCli();

    // Opens and logs in a session from the server settings (host, CLI port, use TLS, secure login,
    // account, password). Success at once when already connected. On a rejected or unknown
    // password the password prompt asks again until the server accepts or the user cancels.
    // Statuses: MAPI_E_NETWORK_ERROR (connection; the socket's text), MAPI_E_EXTENDED_ERROR (the
    // server refused; its text), MAPI_E_UNCONFIGURED (no host, or the prompt was cancelled).
    HRESULT Connect(IMAPIProp* settings);

    // Sends `command` and CR LF in one send. A command holding a CR or LF, or longer than
    // kMaximumCommandLength, is refused with E_INVALIDARG and nothing is sent. Anything the server
    // has sent that no Reply has read yet is a reply out of step: nothing is sent, the connection
    // is closed and the status is MAPI_E_EXTENDED_ERROR.
    HRESULT SendCommand(std::string_view command);

    // Sends `bytes` as they are, no line end added; a reply out of step fails it as SendCommand.
    HRESULT SendRaw(std::string_view bytes);

    // Reads one reply line. With `code`, gives the code and success whatever it is; without it,
    // success only for 2xx codes, else MAPI_E_EXTENDED_ERROR. `text` points into the session's
    // reply buffer until the next Reply; the error text holds it with control characters escaped.
    // A malformed line closes the connection and gives MAPI_E_EXTENDED_ERROR with an empty error text.
    HRESULT Reply(int* code = nullptr, std::string_view* text = nullptr);

    // Copies the last error text (at most buffer.size() - 1 bytes); returns S_OK, or E_FAIL when
    // there is no room at all.
    HRESULT GetErrorText(std::span<char> buffer) const;
    std::string_view ErrorText() const { return errorText_; }

    // Whether the connection is still usable.
    bool IsAlive() { return socket_.IsAlive(); }

    // Sends QUIT and reads its reply when connected, then closes. Always succeeds.
    HRESULT Disconnect();

private:
    HRESULT Login(login::CPasswordDlg& credentials, bool secureLogin);
    HRESULT LoginCramMd5(login::CPasswordDlg& credentials, int& lastCode);
    HRESULT LoginUserPass(login::CPasswordDlg& credentials, int& lastCode);
    HRESULT StartTls();
    // Sends `bytes` and traces `traceText` in their place (so that secrets stay out of the log).
    HRESULT SendTraced(std::string_view bytes, std::string_view traceText);
    // A failure of the connection: MAPI_E_NETWORK_ERROR with the socket's text.
    HRESULT ConnectionFailure(HRESULT socketStatus);
    void SetErrorText(std::string_view text);

    net::CTCPSSLSocket socket_;
    std::unique_ptr<char[]> replyLine_;
    std::string errorText_;
};

} // namespace ex2qln::cli
