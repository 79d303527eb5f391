// The contacts, distribution lists and reports of the bundled demo organisation, converted as the
// transfer converts them: read through the MAPI runtime from every mailbox, with the session that
// opens list members, and checked by the independent readers.
#include <gtest/gtest.h>

#include <edkmdb.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <mapix.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "ex2qln/mapi/ExchangeObjects.h"
#include "mmconv/MMConv.h"
#include "mmconv/encoding/QuotedPrintable.h"
#include "tests/mmconv/message/ConversionHarness.h"
#include "tests/support/OutputValidators.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/StreamContents.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

constexpr ULONG kAdminFlags = OPENSTORE_USE_ADMIN_PRIVILEGE | OPENSTORE_TAKE_OWNERSHIP;
constexpr ULONG kStoreOpenFlags = MDB_NO_DIALOG | MAPI_BEST_ACCESS | MDB_TEMPORARY | MDB_NO_MAIL;

struct Converted {
    std::string messageClass;
    std::string subject;
    std::string output;
};

class OrganisationItems : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(MAPIInitialize(nullptr), S_OK); }
    void TearDown() override { MAPIUninitialize(); }

    // Every item of these classes in the folder and below it, converted.
    void Walk(IMAPIFolder* folder, std::vector<Converted>& items)
    {
        MapiPtr<IMAPITable> contents;
        ASSERT_EQ(folder->GetContentsTable(0, contents.put()), S_OK);
        MapiRows rows;
        SizedSPropTagArray(3, columns) = {3, {PR_ENTRYID, PR_MESSAGE_CLASS_A, PR_SUBJECT_A}};
        ASSERT_EQ(HrQueryAllRows(contents.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put()),
            S_OK);
        for (ULONG i = 0; i < rows.size(); ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            const std::string messageClass = PROP_TYPE(values[1].ulPropTag) == PT_STRING8 ? values[1].Value.lpszA : "";
            if (messageClass != "IPM.Contact" && messageClass != "IPM.DistList" && !messageClass.starts_with("REPORT."))
                continue;
            ULONG type = 0;
            MapiPtr<IMessage> message;
            ASSERT_EQ(folder->OpenEntry(values[0].Value.bin.cb, reinterpret_cast<LPENTRYID>(values[0].Value.bin.lpb), nullptr,
                          MAPI_BEST_ACCESS, &type, message.put_unknown()),
                S_OK);
            MapiPtr<IStream> stream;
            ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
            EXPECT_EQ(mmconv::MapiToMime(message.get(), stream.get(), session_.get(), &config_, 0x01), S_OK) << messageClass;
            items.push_back({messageClass, PROP_TYPE(values[2].ulPropTag) == PT_STRING8 ? values[2].Value.lpszA : "",
                testsupport::StreamContentsFromStart(stream.get())});
        }
        MapiPtr<IMAPITable> hierarchy;
        ASSERT_EQ(folder->GetHierarchyTable(0, hierarchy.put()), S_OK);
        MapiRows children;
        SizedSPropTagArray(1, childColumns) = {1, {PR_ENTRYID}};
        ASSERT_EQ(HrQueryAllRows(hierarchy.get(), reinterpret_cast<LPSPropTagArray>(&childColumns), nullptr, nullptr, 0,
                      children.put()),
            S_OK);
        for (ULONG i = 0; i < children.size(); ++i) {
            const SBinary& id = children->aRow[i].lpProps[0].Value.bin;
            ULONG type = 0;
            MapiPtr<IMAPIFolder> child;
            ASSERT_EQ(folder->OpenEntry(id.cb, reinterpret_cast<LPENTRYID>(id.lpb), nullptr, 0, &type, child.put_unknown()), S_OK);
            Walk(child.get(), items);
        }
    }

    // The mailboxes of the GAL's users with a home database, each walked from its IPM subtree.
    std::vector<Converted> ConvertEveryMailbox()
    {
        std::vector<Converted> items;
        MapiPtr<IMsgStore> privateStore;
        MapiPtr<IExchangeManageStore> manage;
        EXPECT_EQ(ex2qln::mapi::OpenPrivateStore(session_.get(), ex2qln::mapi::kExchangePrivateStoreProvider, privateStore), S_OK);
        EXPECT_EQ(privateStore->QueryInterface(IID_IExchangeManageStore, manage.put_void()), S_OK);
        MapiPtr<IAddrBook> addressBook;
        MapiPtr<IABContainer> gal;
        EXPECT_EQ(ex2qln::mapi::OpenGlobalAddressList(session_.get(), addressBook, gal), S_OK);
        MapiPtr<IMAPITable> users;
        EXPECT_EQ(gal->GetContentsTable(0, users.put()), S_OK);
        MapiRows rows;
        SizedSPropTagArray(2, columns) = {2, {PR_EMAIL_ADDRESS_A, PR_EMS_AB_HOME_MDB_A}};
        EXPECT_EQ(HrQueryAllRows(users.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put()), S_OK);
        for (ULONG i = 0; i < rows.size(); ++i) {
            const SPropValue* values = rows->aRow[i].lpProps;
            if (PROP_TYPE(values[1].ulPropTag) != PT_STRING8)
                continue;
            ULONG size = 0;
            MapiBuffer<ENTRYID> entryId;
            MapiPtr<IMsgStore> store;
            if (FAILED(manage->CreateStoreEntryID(values[1].Value.lpszA, values[0].Value.lpszA, kAdminFlags, &size,
                    entryId.put())) ||
                FAILED(session_->OpenMsgStore(0, size, entryId.get(), nullptr, kStoreOpenFlags, store.put())))
                continue;
            MapiBuffer<SPropValue> subtree;
            EXPECT_EQ(HrGetOneProp(store.get(), PR_IPM_SUBTREE_ENTRYID, subtree.put()), S_OK);
            ULONG type = 0;
            MapiPtr<IMAPIFolder> top;
            EXPECT_EQ(store->OpenEntry(subtree->Value.bin.cb, reinterpret_cast<LPENTRYID>(subtree->Value.bin.lpb), nullptr, 0,
                          &type, top.put_unknown()),
                S_OK);
            Walk(top.get(), items);
        }
        return items;
    }

    testsupport::TemporaryDirectory directory_;
    testsupport::ScopedEnvironment registry_{"EX2QLN_USER_REGISTRY", directory_.File("user-registry.ini")};
    MapiPtr<IMAPISession> session_;
    // The transfer names the mailbox it converts for; one for all is enough here.
    convtest::TestConfig config_ = std::move(convtest::TestConfig().Text(mmconv::kConfigMailboxAddress, "owner@demo.example"));
};

// The contact names its certificate by hash; the KEY line holds the certificate of that hash from
// the organisation's address book store.
void ExpectAddressBookCertificate(const std::string& output, const std::string& organisation)
{
    const std::string file = testsupport::ReadFile(organisation);
    const std::smatch stored = [&] {
        std::smatch match;
        std::regex_search(file, match, std::regex("\"addressbook\": \\[\\{\"base64\": \"([A-Za-z0-9+/=]+)\""));
        return match;
    }();
    ASSERT_EQ(stored.size(), 2u);
    const std::size_t body = output.find("\r\n\r\n", output.find("Content-Type: text/x-vcard"));
    const std::string encoded = output.substr(body + 4);
    std::vector<std::uint8_t> decoded(encoded.size());
    decoded.resize(mmconv::QuotedPrintableDecode(encoded, decoded));
    const std::string card(decoded.begin(), decoded.end());
    const std::size_t key = card.find("KEY;X509;ENCODING=BASE64:\r\n");
    ASSERT_NE(key, std::string::npos) << card;
    std::string base64;
    for (std::size_t line = card.find("\r\n", key) + 2; card.compare(line, 3, "   ") == 0; line = card.find("\r\n", line) + 2)
        base64 += card.substr(line + 3, card.find("\r\n", line) - line - 3);
    EXPECT_EQ(base64, stored[1].str());
}

TEST_F(OrganisationItems, ContactsListsAndReportsOfTheDemoConvert)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    const std::string organisation =
        (std::filesystem::path(EX2QLN_SOURCE_DIR) / "samples" / "demo-org" / "organisation.json").string();
    ASSERT_EQ(MAPILogonEx(0, const_cast<char*>(organisation.c_str()), nullptr, MAPI_EXTENDED | MAPI_NEW_SESSION,
                  session_.put()),
        S_OK);
    const std::vector<Converted> items = ConvertEveryMailbox();
    std::map<std::string, int> classes;
    int index = 0;
    for (const Converted& item : items) {
        SCOPED_TRACE(item.messageClass + " " + item.subject);
        ++classes[item.messageClass];
        const std::string path = directory_.Write("item" + std::to_string(++index) + ".eml", item.output);
        const testsupport::ValidatorVerdict verdict = testsupport::ValidateFile(testsupport::OutputCheck::Message, path);
        EXPECT_TRUE(verdict.valid) << verdict.Describe();
        if (item.messageClass.starts_with("REPORT.")) {
            EXPECT_NE(item.output.find("Content-Type: multipart/report"), std::string::npos);
        }
        if (item.messageClass == "IPM.Contact") {
            ExpectAddressBookCertificate(item.output, organisation);
        }
        if (item.messageClass != "IPM.DistList")
            continue;
        // The list's members are one-off entries; the session opens each.
        const testsupport::ValidatorListing listing = testsupport::ListGroupMembers(path);
        ASSERT_TRUE(listing.ok) << listing.error;
        std::vector<std::pair<std::string, std::string>> members;
        for (const nlohmann::json& member : listing.document["groups"][0]["members"])
            members.emplace_back(member["name"].get<std::string>(), member["address"].get<std::string>());
        const std::vector<std::pair<std::string, std::string>> expected = {
            {"\xC3\x89milie Durand", "emilie.durand@fournisseur.example"}, {"Hanna & Co", "hanna&co@partner.example"}};
        EXPECT_EQ(members, expected);
    }
    EXPECT_EQ(classes["IPM.Contact"], 1);
    EXPECT_EQ(classes["IPM.DistList"], 1);
    EXPECT_EQ(classes["REPORT.IPM.Note.NDR"], 1);
    EXPECT_EQ(classes["REPORT.IPM.Note.IPNRN"], 1);
}

} // namespace
