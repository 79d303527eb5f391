// CPasswordDlg: the login credentials of one server session and the password prompt on the terminal.
#pragma once

#include "ex2qln/login/Secret.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <string>
#include <string_view>

namespace ex2qln::login {

class CPasswordDlg {
public:
    // Reads from and writes to `settings` (the server settings; not owned, may be null). The prompt
    // talks to `terminalPath`, the controlling terminal unless a test names another.
    explicit CPasswordDlg(IMAPIProp* settings, std::string terminalPath = "/dev/tty");

    // Takes account, password and host from the settings. The login name is the account, with "@"
    // and the host appended when it holds neither "@" nor "%" and a host is set. The password is
    // known when the settings hold one; it is never kept outside this process.
    HRESULT Load();

    // Asks for the password on the terminal without echo. S_OK once one was entered (it is then
    // known and also stored in the settings for the rest of this run); MAPI_E_UNCONFIGURED when the
    // user cancels (Ctrl-C, or Ctrl-D on an empty line) or there is no terminal.
    HRESULT DoModal();

    // The CRAM-MD5 answer to the server's Base64 challenge with these credentials.
    HRESULT CramMd5Response(std::string_view challengeBase64, Secret& response) const;

    const std::string& LoginName() const { return loginName_; }
    const std::string& Host() const { return host_; }
    std::string_view Password() const { return password_.View(); }
    bool PasswordKnown() const { return passwordKnown_; }
    bool RememberPassword() const { return rememberPassword_; }

private:
    HRESULT StorePassword();

    IMAPIProp* settings_;
    std::string terminalPath_;
    std::string loginName_;
    std::string host_;
    Secret password_;
    bool rememberPassword_ = false;
    bool passwordKnown_ = false;
};

} // namespace ex2qln::login
