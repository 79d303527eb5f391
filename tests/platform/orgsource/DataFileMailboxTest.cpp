// Mailboxes and public folders served from Outlook data files: the folder tree, special folders,
// messages read when asked for, data-file folders beside the organisation file's own, and errors.
#include "platform/locale/Utf16.h"
#include "platform/orgsource/OrganisationReader.h"
#include "tests/platform/orgsource/OrganisationMessages.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <mapitags.h>

namespace {

using namespace platform::orgsource;
namespace cfb = platform::cfb;

const std::string kUser = R"({"kind": "user", "account": "a", "dn": "/o=X/cn=a", "smtp": "a@x.example", "displayName": "A"})";

std::string Sample(const char* name)
{
    return (testsupport::OutlookSamplesDirectory() / name).string();
}

struct Loaded {
    HRESULT status;
    std::string error;
    Organisation organisation;
};

Loaded Load(const std::string& text, const std::string& baseDirectory = "/")
{
    Loaded loaded;
    loaded.status = ReadOrganisationText(text, "org.json", baseDirectory, loaded.organisation, loaded.error);
    return loaded;
}

std::string Mailbox(const std::string& members)
{
    return R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", )" + members + "}]}";
}

std::vector<std::string> Names(const Folder& folder)
{
    std::vector<std::string> names;
    for (const auto& child : folder.folders) {
        names.push_back(child.name);
    }
    return names;
}

const Folder& Child(const Folder& folder, const std::string& name)
{
    for (const auto& child : folder.folders) {
        if (child.name == name) {
            return child;
        }
    }
    ADD_FAILURE() << "no folder " << name;
    return folder;
}

std::size_t IndexOf(const Folder& folder, const std::string& name)
{
    return static_cast<std::size_t>(&Child(folder, name) - folder.folders.data());
}

#define SKIP_WITHOUT_SAMPLES()                                                                               \
    if (!testsupport::HaveOutlookSamples())                                                                  \
    GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory()

TEST(DataFileMailbox, ServesTheFilesFoldersAndSpecialFolders)
{
    SKIP_WITHOUT_SAMPLES();
    Loaded loaded = Load(Mailbox(R"("pst": ")" + Sample("rjohnsondev-java-libpst/dist-list.pst") + R"(")"));
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Store& store = loaded.organisation.stores.at(0);
    const Folder& top = store.root.folders.at(0);
    EXPECT_EQ(top.name, "Top of Information Store");
    EXPECT_EQ(Names(top), (std::vector<std::string>{"Deleted Items", "Inbox", "Outbox", "Sent Items", "Calendar",
                                                     "Contacts", "Journal", "Notes", "Tasks", "Drafts", "RSS Feeds",
                                                     "Junk E-mail"}));
    struct Special {
        const char* folder;
        SpecialFolder kind;
    };
    for (const Special& special : {Special{"Inbox", SpecialFolder::Inbox}, Special{"Outbox", SpecialFolder::Outbox},
                                   Special{"Sent Items", SpecialFolder::SentItems},
                                   Special{"Deleted Items", SpecialFolder::DeletedItems},
                                   Special{"Calendar", SpecialFolder::Calendar}, Special{"Contacts", SpecialFolder::Contacts},
                                   Special{"Journal", SpecialFolder::Journal}, Special{"Notes", SpecialFolder::Notes},
                                   Special{"Tasks", SpecialFolder::Tasks}, Special{"Drafts", SpecialFolder::Drafts},
                                   Special{"RSS Feeds", SpecialFolder::None}}) {
        EXPECT_EQ(Child(top, special.folder).special, special.kind) << special.folder;
    }
    EXPECT_EQ(store.receiveFolder, Child(top, "Inbox").entryId);
    const cfb::MsgProperty* sent = cfb::FindProperty(store.properties, PR_IPM_SENTMAIL_ENTRYID);
    ASSERT_NE(sent, nullptr);
    EXPECT_EQ(sent->bytes, Child(top, "Sent Items").entryId);
    const cfb::MsgProperty* calendar = cfb::FindProperty(Child(top, "Inbox").properties, PR_IPM_APPOINTMENT_ENTRYID);
    ASSERT_NE(calendar, nullptr);
    EXPECT_EQ(calendar->bytes, Child(top, "Calendar").entryId);
    const cfb::MsgProperty* folderClass = cfb::FindProperty(Child(top, "Contacts").properties, PR_CONTAINER_CLASS_W);
    ASSERT_NE(folderClass, nullptr);
    EXPECT_EQ(folderClass->text, u"IPF.Contact");
    EXPECT_EQ(Child(top, "Contacts").messages.size(), 2u);

    // The same file gives the same identifiers at the next logon.
    Loaded again = Load(Mailbox(R"("pst": ")" + Sample("rjohnsondev-java-libpst/dist-list.pst") + R"(")"));
    ASSERT_EQ(again.status, S_OK) << again.error;
    const Folder& contacts = Child(again.organisation.stores.at(0).root.folders.at(0), "Contacts");
    EXPECT_EQ(contacts.entryId, Child(top, "Contacts").entryId);
    const auto first = orgtest::MessageIn(0, {0, IndexOf(top, "Contacts")}, 0);
    EXPECT_EQ(again.organisation.MessageEntryId(first), loaded.organisation.MessageEntryId(first));
    EXPECT_FALSE(loaded.organisation.MessageEntryId(first).empty());
}

TEST(DataFileMailbox, MessagesAreReadWhenAskedFor)
{
    SKIP_WITHOUT_SAMPLES();
    Loaded loaded = Load(Mailbox(R"("pst": ")" + Sample("rjohnsondev-java-libpst/dist-list.pst") + R"(")"));
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Folder& top = loaded.organisation.stores.at(0).root.folders.at(0);
    cfb::MsgDocument document =
        orgtest::ReadOrFail(loaded.organisation, orgtest::MessageIn(0, {0, IndexOf(top, "Calendar")}, 0));
    const cfb::MsgMessage& appointment = document.message;
    const cfb::MsgProperty* subject = cfb::FindProperty(appointment.properties, PR_SUBJECT_W);
    ASSERT_NE(subject, nullptr);
    EXPECT_EQ(subject->text, u"Test appointment");
    EXPECT_EQ(cfb::FindProperty(appointment.properties, PR_ENTRYID)->bytes,
              loaded.organisation.MessageEntryId(orgtest::MessageIn(0, {0, IndexOf(top, "Calendar")}, 0)));
    // The exceptions of the recurring series are embedded messages.
    ASSERT_EQ(appointment.attachments.size(), 2u);
    for (const auto& attachment : appointment.attachments) {
        ASSERT_NE(attachment.embedded, nullptr);
        EXPECT_NE(cfb::FindProperty(attachment.embedded->properties, PR_MESSAGE_CLASS_W), nullptr);
    }
    EXPECT_FALSE(document.namedProperties.empty());
}

TEST(DataFileMailbox, SitsBesideTheOrganisationFilesFolders)
{
    SKIP_WITHOUT_SAMPLES();
    Loaded loaded = Load(Mailbox(R"("folders": [{"name": "Archive", "messages": [{"properties": {"PR_SUBJECT": "kept"}}]}],
                                    "pst": ")" + Sample("aspose-email-dotnet/passwordprotectedPST.pst") + R"(")"));
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Folder& top = loaded.organisation.stores.at(0).root.folders.at(0);
    EXPECT_EQ(Names(top), (std::vector<std::string>{"Archive", "Deleted Items", "Inbox"}));
    EXPECT_EQ(Child(top, "Inbox").messages.size(), 4u);
    EXPECT_EQ(Child(top, "Deleted Items").messages.size(), 14u);
    cfb::MsgDocument archived = orgtest::ReadOrFail(loaded.organisation, orgtest::MessageIn(0, {0, 0}, 0));
    EXPECT_EQ(cfb::FindProperty(archived.message.properties, PR_SUBJECT_W)->text, u"kept");
    cfb::MsgDocument mail = orgtest::ReadOrFail(loaded.organisation, orgtest::MessageIn(0, {0, IndexOf(top, "Inbox")}, 3));
    EXPECT_NE(cfb::FindProperty(mail.message.properties, PR_SUBJECT_W), nullptr);
}

TEST(DataFileMailbox, PublicFoldersAndAnsiFilesInTheirCodePage)
{
    SKIP_WITHOUT_SAMPLES();
    Loaded loaded = Load(R"({"publicFolders": {"server": "MAIL1", "codePage": 932, "pst": ")" +
                         Sample("HiraokaHyperTools-pst_to_eml/contacts97-2002.pst") + R"("}})");
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Folder& top = loaded.organisation.stores.at(0).root.folders.at(0);
    EXPECT_EQ(top.name, "IPM_SUBTREE");
    ASSERT_EQ(top.folders.size(), 2u);
    EXPECT_EQ(top.folders[1].name, "\xE9\x80\xA3\xE7\xB5\xA1\xE5\x85\x88 (Contact dedicated)");
    EXPECT_EQ(top.folders[0].special, SpecialFolder::None);
    cfb::MsgDocument contact = orgtest::ReadOrFail(loaded.organisation, orgtest::MessageIn(0, {0, 1}, 0));
    EXPECT_EQ(contact.message.codePage, 932u);
}

struct BadDataFile {
    const char* members;
    HRESULT status;
    std::string error;
};

TEST(DataFileMailbox, BadReferencesFailTheLogon)
{
    testsupport::TemporaryDirectory directory;
    directory.Write("zeros.pst", std::string(600, '\0'));
    const BadDataFile cases[] = {
        {R"("pst": "missing.pst")", HResultFromErrno(ENOENT),
         "org.json: mailboxes[0].pst: " + directory.File("missing.pst") + ": cannot open the file: No such file or directory"},
        {R"("pst": "zeros.pst")", MAPI_E_CORRUPT_DATA,
         "org.json: mailboxes[0].pst: " + directory.File("zeros.pst") + ": not an Outlook data file (.pst or .ost)"},
        {R"("pst": "")", MAPI_E_BAD_VALUE, "org.json: mailboxes[0].pst: expected the path of an Outlook data file"},
        {R"("codePage": 932)", MAPI_E_BAD_VALUE, "org.json: mailboxes[0].codePage: a code page is only of use with \"pst\""},
        {R"("pst": "zeros.pst", "codePage": 0)", MAPI_E_BAD_VALUE,
         "org.json: mailboxes[0].codePage: expected a Windows code page number (1 to 65535)"},
    };
    for (const auto& bad : cases) {
        Loaded loaded = Load(Mailbox(bad.members), directory.Path() + "/");
        EXPECT_EQ(loaded.status, bad.status) << bad.members;
        EXPECT_EQ(loaded.error, bad.error) << bad.members;
    }
}

} // namespace
