// A MAPI session on a small organisation file written for one test: the address book, the first
// mailbox's store and its messages found by folder and subject.
#pragma once

#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <MapiPtr.h>
#include <mapidefs.h>
#include <mapix.h>

#include <string>
#include <vector>

namespace transfertest {

// The Exchange address-book entry identifier of the GAL entry with this DN (display type 0 user,
// 6 contact, 1 list), in hexadecimal as an organisation file takes it.
std::string AddressBookEntryId(const std::string& dn, unsigned displayType = 0);

class OrganisationSession {
public:
    // Writes `organisation` and logs on to it; `ok()` tells whether that worked.
    explicit OrganisationSession(const std::string& organisation);
    ~OrganisationSession();
    OrganisationSession(const OrganisationSession&) = delete;
    OrganisationSession& operator=(const OrganisationSession&) = delete;

    bool ok() const { return static_cast<bool>(store_); }
    IMAPISession* Session() const { return session_.get(); }
    IAddrBook* AddressBook() const { return addressBook_.get(); }
    IMsgStore* Store() const { return store_.get(); }

    // The message with this subject in the folder of this display name (below the store's top),
    // opened with `flags`; null when there is none.
    MapiPtr<IMessage> OpenMessage(const std::string& folder, const std::string& subject, ULONG flags = MAPI_MODIFY);

private:
    testsupport::TemporaryDirectory directory_;
    testsupport::ScopedEnvironment registry_;
    MapiPtr<IMAPISession> session_;
    MapiPtr<IAddrBook> addressBook_;
    MapiPtr<IMsgStore> store_;
};

} // namespace transfertest
