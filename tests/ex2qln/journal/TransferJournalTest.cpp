// The transfer journal: records read back by example, a last line cut short, damaged lines, an
// uncertain upload settled by its later record, and the file itself (created private, with its
// header, a torn tail cut off, records kept across openings).
#include "ex2qln/journal/TransferJournal.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>
#include <mapicode.h>

#include <sys/stat.h>

namespace ex2qln::journal {
namespace {

const std::string kHeader = "ex2qln transfer journal 1\n";

TEST(JournalState, ReadsEachKindOfRecord)
{
    JournalState state;
    std::size_t badLine = 99;
    ASSERT_EQ(state.Parse(kHeader +
                              "M\t~ann@example.com\n"
                              "F\t~ann@example.com/Sent Items\n"
                              "P\t0A1B\t2048\t7\t~ann@example.com/INBOX\n"
                              "A\t0A1B\t8\t~ann@example.com/INBOX\n"
                              "P\t0C\t100\t8\t~ann@example.com/INBOX\n"
                              "A\tFF\t0\t~ann@example.com/INBOX\n",
                          badLine),
              S_OK);
    EXPECT_EQ(badLine, 0u);
    EXPECT_TRUE(state.MailboxDone("~ann@example.com"));
    EXPECT_FALSE(state.MailboxDone("~ben@example.com"));
    EXPECT_TRUE(state.FolderDone("~ann@example.com/Sent Items"));
    EXPECT_FALSE(state.FolderDone("~ann@example.com/INBOX"));
    EXPECT_TRUE(state.MessageDone("~ann@example.com/INBOX", "0A1B"));
    EXPECT_TRUE(state.MessageDone("~ann@example.com/INBOX", "FF"));
    EXPECT_FALSE(state.MessageDone("~ann@example.com/Sent Items", "0A1B"));
    // The answered upload is settled; the other one stays uncertain.
    EXPECT_FALSE(state.Pending("~ann@example.com/INBOX", "0A1B"));
    const std::optional<PendingUpload> pending = state.Pending("~ann@example.com/INBOX", "0C");
    ASSERT_TRUE(pending);
    EXPECT_EQ(pending->size, 100u);
    EXPECT_EQ(pending->afterUid, 8u);
    EXPECT_TRUE(state.UidRecorded("~ann@example.com/INBOX", 8));
    EXPECT_FALSE(state.UidRecorded("~ann@example.com/INBOX", 0));
    EXPECT_EQ(state.MessageCount(), 2u);
}

TEST(JournalState, ALineCutShortAtTheEndIsIgnored)
{
    for (const std::string& text : {std::string(), std::string("ex2qln tran"), kHeader + "A\t0A\t3\t~ann/IN",
                                    kHeader + "P\t0A\t10\t2\t~ann/INBOX"}) {
        SCOPED_TRACE(text);
        JournalState state;
        std::size_t badLine = 0;
        EXPECT_EQ(state.Parse(text, badLine), S_OK);
        EXPECT_EQ(state.MessageCount(), 0u);
        EXPECT_FALSE(state.Pending("~ann/INBOX", "0A"));
    }
}

TEST(JournalState, DamagedLinesAreRefusedWithTheirNumber)
{
    struct Case {
        std::string text;
        std::size_t line;
    };
    const Case cases[] = {
        {"some other file\n", 1},
        {kHeader + "X\t~ann\n", 2},
        {kHeader + "M\n", 2},
        {kHeader + "M\t\n", 2},
        {kHeader + "M ~ann\n", 2},
        {kHeader + "M\t~ann\nA\t0a\t1\t~ann/INBOX\n", 3},   // a key in lower case is not ours
        {kHeader + "A\t0A\t-1\t~ann/INBOX\n", 2},
        {kHeader + "A\t0A\t4294967296\t~ann/INBOX\n", 2},
        {kHeader + "A\t0A\t1\n", 2},
        {kHeader + "P\t0A\t10\t~ann/INBOX\n", 2},
        {kHeader + "P\t\t10\t1\t~ann/INBOX\n", 2},
        {kHeader + "A\t0A\t1\t~ann/INBOX\r\n", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        JournalState state;
        std::size_t badLine = 0;
        EXPECT_EQ(state.Parse(c.text, badLine), MAPI_E_CORRUPT_DATA);
        EXPECT_EQ(badLine, c.line);
    }
}

TEST(SourceKey, IsTheIdentifierInUpperCaseHexadecimal)
{
    const unsigned char bytes[] = {0x00, 0x0A, 0xBC, 0xFF};
    EXPECT_EQ(SourceKey(bytes, sizeof bytes), "000ABCFF");
    EXPECT_EQ(SourceKey(bytes, 0), "");
    EXPECT_EQ(DefaultJournalPath("/data/accounts.csv"), "/data/accounts.csv.journal");
}

TEST(TransferJournal, IsCreatedPrivateAndKeepsItsRecordsAcrossOpenings)
{
    testsupport::TemporaryDirectory directory;
    const std::string path = directory.File("accounts.csv.journal");
    {
        TransferJournal journal;
        ASSERT_EQ(journal.Open(path), S_OK);
        EXPECT_EQ(journal.RecordPending("~ann/INBOX", "0A", {120, 0}), S_OK);
        EXPECT_EQ(journal.RecordMessage("~ann/INBOX", "0A", 1), S_OK);
        EXPECT_EQ(journal.RecordPending("~ann/INBOX", "0B", {90, 1}), S_OK);
        EXPECT_EQ(journal.RecordFolder("~ann/Sent Items"), S_OK);
        EXPECT_EQ(journal.RecordMailbox("~ben"), S_OK);
        // What cannot be written back as a record is refused, not written.
        EXPECT_EQ(journal.RecordFolder("~ann/bad\tname"), E_INVALIDARG);
        EXPECT_EQ(journal.RecordMessage("~ann/INBOX", "not hex", 2), E_INVALIDARG);
        EXPECT_TRUE(journal.State().MessageDone("~ann/INBOX", "0A"));
    }
    struct stat status {};
    ASSERT_EQ(::stat(path.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(testsupport::ReadFile(path), kHeader +
                                               "P\t0A\t120\t0\t~ann/INBOX\n"
                                               "A\t0A\t1\t~ann/INBOX\n"
                                               "P\t0B\t90\t1\t~ann/INBOX\n"
                                               "F\t~ann/Sent Items\n"
                                               "M\t~ben\n");
    TransferJournal again;
    ASSERT_EQ(again.Open(path), S_OK);
    EXPECT_TRUE(again.State().MessageDone("~ann/INBOX", "0A"));
    EXPECT_TRUE(again.State().Pending("~ann/INBOX", "0B"));
    EXPECT_TRUE(again.State().FolderDone("~ann/Sent Items"));
    EXPECT_TRUE(again.State().MailboxDone("~ben"));
}

TEST(TransferJournal, ARecordCutShortIsCutOffSoTheNextStartsItsOwnLine)
{
    testsupport::TemporaryDirectory directory;
    const std::string path = directory.Write("journal", kHeader + "A\t0A\t1\t~ann/INBOX\nA\t0B\t2\t~ann/IN");
    {
        TransferJournal journal;
        ASSERT_EQ(journal.Open(path), S_OK);
        EXPECT_FALSE(journal.State().MessageDone("~ann/INBOX", "0B"));
        EXPECT_EQ(journal.RecordMessage("~ann/INBOX", "0C", 3), S_OK);
    }
    EXPECT_EQ(testsupport::ReadFile(path), kHeader + "A\t0A\t1\t~ann/INBOX\nA\t0C\t3\t~ann/INBOX\n");
}

TEST(TransferJournal, ADamagedOrUnreadableFileIsRefused)
{
    testsupport::TemporaryDirectory directory;
    TransferJournal damaged;
    EXPECT_EQ(damaged.Open(directory.Write("damaged", kHeader + "Z\tsomething\n")), MAPI_E_CORRUPT_DATA);
    TransferJournal missingDirectory;
    EXPECT_TRUE(FAILED(missingDirectory.Open(directory.File("absent/journal"))));
}

} // namespace
} // namespace ex2qln::journal
