// The texts of the transfer's commands and messages: APPEND's flag words and internal date, IMAP
// quoting, the Inbox spelling of a path, and the summary block.
#include "ex2qln/transfer/EnsureFolder.h"
#include "ex2qln/transfer/MessageUpload.h"
#include "ex2qln/transfer/TransferStatistics.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ex2qln::transfer {
namespace {

TEST(UploadForms, FlagWordsInTheirOrder)
{
    struct Case {
        const char* name;
        std::optional<std::int32_t> icon;
        std::optional<std::int32_t> flagStatus;
        std::optional<std::int32_t> messageFlags;
        std::string words;
    };
    const std::vector<Case> cases = {
        {"nothing readable", std::nullopt, std::nullopt, std::nullopt, ""},
        {"unread, unflagged, plain icon", 0x100, 0, 0, ""},
        {"read draft", std::nullopt, std::nullopt, 0x1 | 0x8, "\\Seen \\Draft"},
        {"read, replied, flagged", 0x105, 2, 0x1, "\\Answered \\Flagged \\Seen"},
        {"forwarded is a keyword", 0x106, 1, 0x1 | 0x10, "Forwarded \\Seen"},
        {"completed flag is not flagged", 0x105, 1, 0, "\\Answered"},
        {"every word", 0x106, 2, 0x1 | 0x8, "Forwarded \\Flagged \\Seen \\Draft"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(AppendFlagWords(c.icon, c.flagStatus, c.messageFlags), c.words);
    }
}

FILETIME FileTime(std::int64_t ticks)
{
    return FILETIME{static_cast<DWORD>(ticks & 0xFFFFFFFF), static_cast<DWORD>(static_cast<std::uint64_t>(ticks) >> 32)};
}

// FILETIME ticks of a UTC time since 1970, in seconds.
std::int64_t Ticks(std::int64_t unixSeconds) { return (unixSeconds + 11644473600LL) * 10000000LL; }

TEST(UploadForms, InternalDateIsUtcWithATwoDigitDay)
{
    struct Case {
        const char* name;
        std::int64_t ticks;
        std::optional<std::string> date;
    };
    const std::vector<Case> cases = {
        {"5 January 2021 08:03:09", Ticks(1609833789), "05-Jan-2021 08:03:09 +0000"},
        {"fractions of a second are cut", Ticks(1609833789) + 9999999, "05-Jan-2021 08:03:09 +0000"},
        {"the last second of 1999", Ticks(946684799), "31-Dec-1999 23:59:59 +0000"},
        {"before 1970", Ticks(-86400 * 365), "01-Jan-1969 00:00:00 +0000"},
        {"the file time's beginning", 0, "01-Jan-1601 00:00:00 +0000"},
        {"beyond the year 9999", Ticks(253402300800LL), std::nullopt},
        {"a time with the top bit set", static_cast<std::int64_t>(0x8000000000000000ull), std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InternalDate(FileTime(c.ticks)), c.date);
    }
}

TEST(UploadForms, QuotedTextEscapesQuotesAndBackslashes)
{
    EXPECT_EQ(QuotedImapText("~ann@example.com/INBOX"), "~ann@example.com/INBOX");
    EXPECT_EQ(QuotedImapText(R"(~o"brien/a\b)"), R"(~o\"brien/a\\b)");
}

TEST(UploadForms, InboxSpellingOfTheFirstFolder)
{
    struct Case {
        const char* path;
        const char* spelt;
    };
    const std::vector<Case> cases = {
        {"~ann/inbox", "~ann/INBOX"},
        {"~ann/InBox/Projects", "~ann/INBOX/Projects"},
        {"~ann/Inboxes", "~ann/Inboxes"},
        {"~ann/Archive/inbox", "~ann/Archive/inbox"},
        {"~inbox", "~inbox"},
        {"~ann/INBOX", "~ann/INBOX"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(WithInboxSpelling(c.path), c.spelt) << c.path;
}

TEST(UploadForms, SummaryBlock)
{
    TransferStatistics statistics;
    statistics.mailboxesDone = 4;
    statistics.mailboxesFailed = 1;
    statistics.foldersCreated = 17;
    statistics.messagesUploaded = 250;
    statistics.messagesSkipped = 3;
    statistics.messagesFailed = 2;
    statistics.bytesUploaded = 123456789;
    EXPECT_EQ(SummaryText(statistics, std::chrono::milliseconds(12500)),
              "Transfer summary: 4 mailbox(es) done, 1 failed; 17 folder(s) created.\n"
              "Messages: 250 uploaded, 3 skipped, 2 failed; 123456789 bytes.\n"
              "Elapsed time: 12.5 s; 20.0 messages per second.\n");
    EXPECT_EQ(SummaryText(TransferStatistics{}, std::chrono::seconds(0)),
              "Transfer summary: 0 mailbox(es) done, 0 failed; 0 folder(s) created.\n"
              "Messages: 0 uploaded, 0 skipped, 0 failed; 0 bytes.\n"
              "Elapsed time: 0.0 s; 0.0 messages per second.\n");
    statistics.mailboxesJournaled = 3;
    statistics.messagesJournaled = 240;
    EXPECT_EQ(SummaryText(statistics, std::chrono::milliseconds(12500), true),
              "Transfer summary: 4 mailbox(es) done, 1 failed; 17 folder(s) created.\n"
              "Messages: 250 uploaded, 3 skipped, 2 failed; 123456789 bytes.\n"
              "Elapsed time: 12.5 s; 20.0 messages per second.\n"
              "Journal: 3 mailbox(es) and 240 message(s) transferred before, passed over.\n");
}

} // namespace
} // namespace ex2qln::transfer
