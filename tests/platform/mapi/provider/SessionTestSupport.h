// Helpers of the session tests: a private registry, organisation fixtures, logons and property reads.
#pragma once

#include "platform/locale/Utf16.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace sessiontest {

// A small organisation: four users (one without a mailbox in the file, one homed by transfer
// agent), a contact, nested distribution lists (one empty, one that cannot be opened), two
// mailboxes with folder trees, hidden items, and public folders.
extern const char* const kFixtureOrganisation;

// Every test runs with a registry of its own in a temporary directory.
class SessionTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::string WriteFile(const std::string& name, const std::string& text) const;
    std::string FixturePath() const { return WriteFile("organisation.json", kFixtureOrganisation); }
    // Logs on (no name for a null pointer); fails the test unless the status is `expected`.
    MapiPtr<IMAPISession> Logon(const char* name, HRESULT expected = S_OK, ULONG flags = MAPI_EXTENDED);
    // Creates a profile with the organisation source and, when not empty, a mailbox.
    void CreateProfile(const std::string& name, const std::string& organisation, const std::string& mailbox = "");

    // A fresh directory, with the registry in it, from each SetUp to the TearDown after it.
    std::optional<testsupport::TemporaryDirectory> directory_;
    std::optional<testsupport::ScopedEnvironment> registry_;
};

// A property as UTF-8 text (either string form), "<error 0x...>" for an error value, "" when absent.
std::string Text(const SPropValue* value);
std::string Text(IMAPIProp* object, ULONG tag);
LONG Long(IMAPIProp* object, ULONG tag, LONG absent = -1);
std::vector<BYTE> Binary(IMAPIProp* object, ULONG tag);
std::vector<BYTE> Bytes(const SPropValue* value);
const SPropValue* Find(const SRow& row, ULONG tag);

// All rows of a table with these columns (and the restriction, when given).
void QueryAll(IMAPITable* table, std::vector<ULONG> columns, MapiRows& rows, LPSRestriction restriction = nullptr);
// One column of every row as text.
std::vector<std::string> Column(IMAPITable* table, ULONG tag, LPSRestriction restriction = nullptr);


} // namespace sessiontest
