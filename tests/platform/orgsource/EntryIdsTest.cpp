// Tests of the entry identifier layouts: exact bytes of each kind, parsing back, and refusals.
#include "platform/orgsource/EntryIds.h"

#include <gtest/gtest.h>

namespace {

using namespace platform::orgsource;

std::string Hex(const EntryId& bytes)
{
    std::string out;
    char text[4];
    for (auto b : bytes) {
        std::snprintf(text, sizeof text, "%02X", b);
        out += text;
    }
    return out;
}

TEST(EntryIdsTest, AddressBookLayout)
{
    EntryId id = MakeAddressBookEntryId(DT_DISTLIST, "/o=X/cn=L");
    EXPECT_EQ(Hex(id), "00000000" "DCA740C8C042101AB4B908002B2FE182" "01000000" "01000000" "2F6F3D582F636E3D4C00");
    auto parsed = ParseEntryId(id);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->kind, EntryIdKind::AddressBook);
    EXPECT_EQ(parsed->displayType, DT_DISTLIST);
    EXPECT_EQ(parsed->dn, "/o=X/cn=L");
}

TEST(EntryIdsTest, StoreLayout)
{
    EntryId id = MakeStoreEntryId(StoreKind::Mailbox, "MAIL1", "/o=X/cn=a");
    EXPECT_EQ(Hex(id), "00000000" "38A1BB1005E5101AA1BB08002B2A56C2" "0000" "656D736D64622E646C6C00000000"
                       "00000000" "5494A1C0297F101BA58708002B2A2517" "0C000000" "4D41494C3100" "2F6F3D582F636E3D6100");
    auto parsed = ParseEntryId(id);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->kind, EntryIdKind::Store);
    EXPECT_EQ(parsed->storeKind, StoreKind::Mailbox);
    EXPECT_EQ(parsed->serverName, "MAIL1");
    EXPECT_EQ(parsed->dn, "/o=X/cn=a");
    auto publicStore = ParseEntryId(MakeStoreEntryId(StoreKind::PublicFolders, "", ""));
    ASSERT_TRUE(publicStore.has_value());
    EXPECT_EQ(publicStore->storeKind, StoreKind::PublicFolders);
}

TEST(EntryIdsTest, FolderAndMessageLayouts)
{
    platform::cfb::Guid guid = StoreGuid(StoreKind::Mailbox, "/o=X/cn=a");
    EXPECT_EQ(guid, StoreGuid(StoreKind::Mailbox, "/O=x/CN=A"));
    EntryId folder = MakeFolderEntryId(StoreKind::Mailbox, guid, 0x0102030405);
    ASSERT_EQ(folder.size(), 46u);
    EXPECT_EQ(Hex(EntryId(folder.begin() + 20, folder.end())), "0100" + Hex(EntryId(guid.begin(), guid.end())) + "000102030405" "0000");
    EntryId message = MakeMessageEntryId(StoreKind::PublicFolders, guid, 7, 0xABCDEF);
    ASSERT_EQ(message.size(), 70u);
    auto parsed = ParseEntryId(message);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->kind, EntryIdKind::Message);
    EXPECT_EQ(parsed->storeKind, StoreKind::PublicFolders);
    EXPECT_EQ(parsed->storeGuid, guid);
    EXPECT_EQ(parsed->folderCounter, 7u);
    EXPECT_EQ(parsed->messageCounter, 0xABCDEFu);
}

TEST(EntryIdsTest, RefusesOtherBytes)
{
    EntryId addressBook = MakeAddressBookEntryId(0, "/o=X");
    EntryId unterminated(addressBook.begin(), addressBook.end() - 1);
    EntryId flagged = addressBook;
    flagged[0] = 1;
    EntryId folder = MakeFolderEntryId(StoreKind::Mailbox, StoreGuid(StoreKind::Mailbox, "x"), 1);
    EntryId otherGuid = folder;
    otherGuid[22] ^= 0xFF;
    for (const EntryId& bad : {EntryId{}, EntryId(20, 0), unterminated, flagged, otherGuid, EntryId(46, 0)}) {
        EXPECT_FALSE(ParseEntryId(bad).has_value()) << Hex(bad);
    }
}

TEST(EntryIdsTest, ServerNames)
{
    EXPECT_EQ(ServerNameFromDn("/o=X/ou=AG/cn=Configuration/cn=Servers/cn=MAIL1/cn=Microsoft Private MDB"), "MAIL1");
    EXPECT_EQ(ServerNameFromDn("/o=X/ou=AG/cn=Configuration/CN=SERVERS/CN=mail2/cn=Microsoft MTA"), "mail2");
    EXPECT_EQ(ServerNameFromDn("/o=X/ou=AG/cn=Configuration/cn=Servers/cn=LAST"), "LAST");
    EXPECT_EQ(ServerNameFromDn("/o=X/cn=Recipients/cn=a"), "");
}

} // namespace
