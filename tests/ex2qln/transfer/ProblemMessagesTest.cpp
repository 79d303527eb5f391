// Problem messages: each gets a new file of its own in the temporary directory, never through a
// planted link and never over an earlier file, readable by this user only; the .msg written holds
// the message as it is in memory, and both our reader and an independent one open it.
#include "ex2qln/transfer/ProblemMessages.h"
#include "tests/ex2qln/transfer/OrganisationSession.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <MapiPtr.h>
#include <QlnMapiExtras.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace ex2qln::transfer {
namespace {

namespace fs = std::filesystem;

const std::string kOrganisation = R"({"formatVersion": 1, "gal": [
  {"kind": "user", "account": "ann", "dn": "/o=Fix/cn=ann", "smtp": "ann@fix.example", "displayName": "Ann",
   "homeMdb": "/o=Fix/cn=Servers/cn=SRV1/cn=Microsoft Private MDB"}],
 "mailboxes": [{"user": "ann", "folders": [{"name": "Inbox", "special": "inbox", "messages": [
  {"properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Gr\u00fc\u00dfe", "PR_BODY": "Body text",
                  "PidLidReminderSet": true, "PS_PUBLIC_STRINGS:Keywords:PT_MV_UNICODE": ["Orders"]},
   "recipients": [{"PR_RECIPIENT_TYPE": 1, "PR_DISPLAY_NAME": "Ann", "PR_ADDRTYPE": "SMTP",
                   "PR_EMAIL_ADDRESS": "ann@fix.example"}],
   "attachments": [{"properties": {"PR_ATTACH_FILENAME": "a.txt"}, "data": {"text": "attached bytes"}},
                   {"properties": {"PR_ATTACH_FILENAME": "inner.msg"},
                    "message": {"properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Inner"}}}]}
 ]}]}]})";

TEST(ProblemMessages, NamesCountUpAndPassOverWhatIsThere)
{
    testsupport::TemporaryDirectory directory;
    // An earlier run's file and a link planted for the second name, towards a file of someone else.
    testsupport::WriteFile(directory.File("ex2qln0.msg"), "earlier");
    testsupport::WriteFile(directory.File("victim"), "not to be touched");
    ASSERT_EQ(::symlink(directory.File("victim").c_str(), directory.File("ex2qln1.msg").c_str()), 0);
    ASSERT_EQ(::symlink(directory.File("nowhere").c_str(), directory.File("ex2qln3.msg").c_str()), 0);

    ProblemMessages problems(directory.Path());
    std::vector<std::string> made;
    for (int i = 0; i < 2; ++i) {
        std::string path;
        HRESULT status = E_FAIL;
        const int descriptor = problems.CreateNext(path, status);
        ASSERT_GE(descriptor, 0);
        EXPECT_EQ(status, S_OK);
        EXPECT_EQ(::write(descriptor, "x", 1), 1);
        ::close(descriptor);
        made.push_back(path);
    }
    EXPECT_EQ(made, (std::vector<std::string>{directory.File("ex2qln2.msg"), directory.File("ex2qln4.msg")}));
    for (const std::string& path : made) {
        struct stat status{};
        ASSERT_EQ(::lstat(path.c_str(), &status), 0);
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_mode & 0777, 0600u) << path;
    }
    EXPECT_EQ(testsupport::ReadFile(directory.File("ex2qln0.msg")), "earlier");
    EXPECT_EQ(testsupport::ReadFile(directory.File("victim")), "not to be touched");
    EXPECT_FALSE(fs::exists(directory.File("nowhere")));
}

TEST(ProblemMessages, ADirectoryThatCannotBeWrittenGivesTheSystemError)
{
    ProblemMessages problems("/nonexistent/directory");
    std::string path;
    HRESULT status = S_OK;
    EXPECT_LT(problems.CreateNext(path, status), 0);
    EXPECT_EQ(static_cast<unsigned>(status), 0x80070002u);
}

TEST(ProblemMessages, TheFileHoldsTheMessageAsItIsInMemory)
{
    transfertest::OrganisationSession organisation(kOrganisation);
    ASSERT_TRUE(organisation.ok());
    MapiPtr<IMessage> message = organisation.OpenMessage("Inbox", "Grüße");
    ASSERT_TRUE(message);
    // A change made in memory, as the address pass makes them, goes into the file too.
    SPropValue changed{};
    changed.ulPropTag = PR_SENDER_EMAIL_ADDRESS_A;
    changed.Value.lpszA = const_cast<char*>("changed@fix.example");
    ASSERT_EQ(HrSetOneProp(message.get(), &changed), S_OK);

    testsupport::TemporaryDirectory directory;
    ProblemMessages problems(directory.Path());
    std::string path;
    HRESULT status = E_FAIL;
    const int descriptor = problems.CreateNext(path, status);
    ASSERT_GE(descriptor, 0);
    ASSERT_EQ(ProblemMessages::Write(message.get(), descriptor, path), S_OK);

    MapiPtr<IMessage> saved;
    MapiBuffer<char> error;
    ASSERT_EQ(QlnOpenMsgFile(path.c_str(), 0, saved.put(), error.put()), S_OK) << (error ? error.get() : "");
    auto text = [](IMAPIProp* object, ULONG tag) {
        MapiBuffer<SPropValue> value;
        return SUCCEEDED(HrGetOneProp(object, tag, value.put())) ? std::string(value->Value.lpszA) : std::string();
    };
    EXPECT_EQ(text(saved.get(), PR_SUBJECT_A), "Gr\xc3\xbc\xc3\x9f" "e");
    EXPECT_EQ(text(saved.get(), PR_BODY_A), "Body text");
    EXPECT_EQ(text(saved.get(), PR_SENDER_EMAIL_ADDRESS_A), "changed@fix.example");
    // A named property keeps its name.
    MAPINAMEID name{const_cast<LPGUID>(&PS_PUBLIC_STRINGS), MNID_STRING, {}};
    name.Kind.lpwstrName = const_cast<LPWSTR>(u"Keywords");
    LPMAPINAMEID names[] = {&name};
    MapiBuffer<SPropTagArray> tags;
    ASSERT_EQ(saved->GetIDsFromNames(1, names, 0, tags.put()), S_OK);
    MapiBuffer<SPropValue> keywords;
    ASSERT_EQ(HrGetOneProp(saved.get(), CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_MV_STRING8), keywords.put()), S_OK);
    ASSERT_EQ(keywords->Value.MVszA.cValues, 1u);
    EXPECT_STREQ(keywords->Value.MVszA.lppszA[0], "Orders");

    MapiPtr<IMAPITable> recipients;
    ASSERT_EQ(saved->GetRecipientTable(0, recipients.put()), S_OK);
    ULONG count = 0;
    EXPECT_EQ(recipients->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 1u);
    MapiPtr<IAttach> inner;
    ASSERT_EQ(saved->OpenAttach(1, nullptr, 0, inner.put()), S_OK);
    MapiPtr<IMessage> embedded;
    ASSERT_EQ(inner->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, embedded.put_unknown()), S_OK);
    EXPECT_EQ(text(embedded.get(), PR_SUBJECT_A), "Inner");

    // The independent reader (Debian's msgconvert) opens it too.
    if (::access("/usr/bin/msgconvert", X_OK) != 0)
        GTEST_SKIP() << "msgconvert is missing (libemail-outlook-message-perl)";
    testsupport::ProcessRun run;
    run.program = "/usr/bin/msgconvert";
    run.arguments = {"--outfile", directory.File("saved.eml"), path};
    const testsupport::ProcessResult converted = testsupport::RunProcess(run);
    EXPECT_EQ(converted.exitCode, 0) << converted.standardError;
    const std::string eml = testsupport::ReadFile(directory.File("saved.eml"));
    for (const char* part : {"Subject: Inner", "filename=a.txt", "YXR0YWNoZWQgYnl0ZXM="})
        EXPECT_NE(eml.find(part), std::string::npos) << part;
}

} // namespace
} // namespace ex2qln::transfer
