// CImapGuard: holds the IMAP client's command lock for one scope.
#pragma once

#include "ex2qln/imap/ImapXP.h"

namespace ex2qln::imap {

class CImapGuard {
public:
    explicit CImapGuard(CImapXP* client) : client_(client) { client_->Lock(false); }
    CImapGuard(const CImapGuard&) = delete;
    CImapGuard& operator=(const CImapGuard&) = delete;
    ~CImapGuard() { client_->Unlock(); }

private:
    CImapXP* client_;
};

} // namespace ex2qln::imap
