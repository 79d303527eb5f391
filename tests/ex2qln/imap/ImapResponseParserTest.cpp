// The response parser over a table of server lines: classes, kinds, response codes, LIST lines,
// strings, literals and the lines it refuses.
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/imap/ImapResponseParser.h"
#include "tests/ex2qln/imap/ScriptInput.h"

#include <mapicode.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace ex2qln::imap {
namespace {

using testing::ScriptInput;
using namespace std::string_literals;

constexpr std::uint32_t kTag = 0x2A;

ImapProperty Text(std::uint32_t tag, std::string text) { return {tag, 0, std::move(text)}; }
ImapProperty Number(std::uint32_t tag, std::uint32_t number) { return {tag, number, {}}; }

struct ParseCase {
    ParseCase(const char* name, std::string line, std::string more, ImapLineClass lineClass, std::uint32_t kind,
              std::vector<ImapProperty> properties, std::optional<std::string> statusText = std::nullopt,
              std::optional<std::string> alertText = std::nullopt, std::string unread = {})
        : name(name), line(std::move(line)), more(std::move(more)), lineClass(lineClass), kind(kind),
          properties(std::move(properties)), statusText(std::move(statusText)), alertText(std::move(alertText)),
          unread(std::move(unread))
    {
    }

    const char* name;
    std::string line;
    std::string more;  // what the connection holds after the line
    ImapLineClass lineClass;
    std::uint32_t kind;
    std::vector<ImapProperty> properties;
    std::optional<std::string> statusText;
    std::optional<std::string> alertText;
    std::string unread;  // what the parse must leave unread
};

const std::vector<ParseCase>& ParseCases()
{
    using enum ImapLineClass;
    static const std::vector<ParseCase> cases = {
        {"untagged OK", "* OK Quillon IMAP ready", "", Untagged, kKindOk, {Text(kPropComment, "Quillon IMAP ready")},
         "Quillon IMAP ready"},
        {"tagged OK", "0000002A OK LIST completed", "", Tagged, kKindOk, {Text(kPropComment, "LIST completed")},
         "LIST completed"},
        {"tagged NO, lower-case tag", "0000002a NO Mailbox does not exist", "", Tagged, kKindNo,
         {Text(kPropComment, "Mailbox does not exist")}, "Mailbox does not exist"},
        {"short tag", "2A BAD Unknown command", "", Tagged, kKindBad, {Text(kPropComment, "Unknown command")},
         "Unknown command"},
        {"status without text", "0000002A OK", "", Tagged, kKindOk, {}, ""},
        {"keyword in any case", "* ok fine", "", Untagged, kKindOk, {Text(kPropComment, "fine")}, "fine"},
        {"NOOPNOOP answer is untagged", "NOOPNOOP OK NOOP completed", "", Untagged, kKindOk,
         {Text(kPropComment, "NOOP completed")}, "NOOP completed"},
        {"continuation with text", "+ PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2U+", "", Continuation, kKindContinuation,
         {Text(kPropComment, "PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2U+")}},
        {"continuation without text", "+ ", "", Continuation, kKindContinuation, {}},
        {"EXISTS gives its message count", "* 23 EXISTS", "", Untagged, kKindExists,
         {Number(kPropContentCount, 23)}},
        {"EXISTS with a number too large for 32 bits", "* 4294967296 EXISTS", "", Untagged, kKindExists, {}},
        {"FETCH gives the UID and the size, other items passed over",
         "* 12 FETCH (FLAGS (\\Seen) UID 4827 INTERNALDATE \"05-Jan-2021 08:03:09 +0000\" RFC822.SIZE 44827)", "",
         Untagged, kKindFetch, {Number(kPropUid, 4827), Number(kPropMessageSize, 44827)}},
        {"FETCH items in any case", "* 1 FETCH (rfc822.size 10 uid 2)", "", Untagged, kKindFetch,
         {Number(kPropMessageSize, 10), Number(kPropUid, 2)}},
        {"FETCH without its list", "* 1 FETCH", "", Untagged, kKindFetch, {}},
        {"WATCH line", "* WATCH 3 EXPUNGE", "", Untagged, kKindWatchFlag | kKindExpunge, {}},
        {"unknown keyword", "* XYZZY plugh", "", Untagged, kKindUnknown, {}},
        {"empty untagged line", "* ", "", Untagged, kKindUnknown, {}},
        {"ENABLED", "* ENABLED EXTENSIONS", "", Untagged, kKindEnabled, {Text(kPropComment, "EXTENSIONS")},
         "EXTENSIONS"},
        {"BYE", "* BYE Autologout; idle for too long", "", Untagged, kKindBye,
         {Text(kPropComment, "Autologout; idle for too long")}},
        {"CAPABILITY", "* CAPABILITY IMAP4rev1 STARTTLS AUTH=CRAM-MD5 LITERAL+", "", Untagged, kKindCapability,
         {Text(kPropComment, "IMAP4rev1 STARTTLS AUTH=CRAM-MD5 LITERAL+")}},
        {"QUOTAROOT", "* QUOTAROOT INBOX \"\"", "", Untagged, kKindQuotaRoot, {Text(kPropComment, "INBOX \"\"")}},

        // Response codes.
        {"UIDVALIDITY", "* OK [UIDVALIDITY 3857529045] UIDs valid", "", Untagged, kKindOk,
         {Number(kPropUidValidity, 3857529045u), Text(kPropComment, "UIDs valid")}, "UIDs valid"},
        {"UIDNEXT", "* OK [UIDNEXT 4392] Predicted next UID", "", Untagged, kKindOk,
         {Number(kPropUidNext, 4392), Text(kPropComment, "Predicted next UID")}, "Predicted next UID"},
        {"READ-WRITE", "0000002A OK [READ-WRITE] SELECT completed", "", Tagged, kKindOk,
         {Number(kPropAccess, 1), Text(kPropComment, "SELECT completed")}, "SELECT completed"},
        {"READ-ONLY", "0000002A OK [read-only] EXAMINE completed", "", Tagged, kKindOk,
         {Number(kPropAccess, 0), Text(kPropComment, "EXAMINE completed")}, "EXAMINE completed"},
        {"PERMANENTFLAGS", "* OK [PERMANENTFLAGS (\\Answered \\Flagged \\Deleted \\Seen \\Draft $Forwarded \\*)] Limited",
         "", Untagged, kKindOk, {Number(kPropPermanentFlags, 63), Text(kPropComment, "Limited")}, "Limited"},
        {"PERMANENTFLAGS, FORWARDED without dollar", "* OK [PERMANENTFLAGS (Forwarded \\Seen)] x", "", Untagged,
         kKindOk, {Number(kPropPermanentFlags, 48), Text(kPropComment, "x")}, "x"},
        {"APPENDUID", "0000002A OK [APPENDUID 38505 3955] APPEND completed", "", Tagged, kKindOk,
         {Number(kPropUidValidity, 38505), Number(kPropAppendUid, 3955), Text(kPropComment, "APPEND completed")},
         "APPEND completed"},
        {"APPENDUID without a UID", "0000002A OK [APPENDUID 38505] done", "", Tagged, kKindOk,
         {Number(kPropUidValidity, 38505), Text(kPropComment, "done")}, "done"},
        {"ALERT", "* OK [ALERT] Maintenance at noon", "", Untagged, kKindOk,
         {Text(kPropComment, "Maintenance at noon")}, "Maintenance at noon", "Maintenance at noon"},
        {"other codes are passed over", "0000002A NO [TRYCREATE] No such mailbox", "", Tagged, kKindNo,
         {Text(kPropComment, "No such mailbox")}, "No such mailbox"},
        {"code without its bracket is text", "* OK [ALERT no close", "", Untagged, kKindOk,
         {Text(kPropComment, "[ALERT no close")}, "[ALERT no close"},

        // LIST and LSUB.
        {"LIST with a class", "* LIST (\\HasNoChildren \\CLASS \"IPF.Task\") \"/\" \"~john/Tasks\"", "", Untagged,
         kKindList,
         {Text(kPropContainerClass, "IPF.Task"), Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '/'),
          Text(kPropFolderName, "~john/Tasks")}},
        {"LIST with the default class", "* LIST (\\CLASS \"DeFault\") \"/\" \"~john/INBOX\"", "", Untagged, kKindList,
         {Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '/'), Text(kPropFolderName, "~john/INBOX")}},
        {"LIST attributes and counts",
         "* LIST (\\Noinferiors \\NoSelect \\Marked \\Unmarked \\MESSAGES 12 \\UNSEEN 3) NIL \"Archive\"", "",
         Untagged, kKindList,
         {Number(kPropContentCount, 12), Number(kPropContentUnread, 3),
          Number(kPropFolderAttributes, kFolderNoInferiors | kFolderNoSelect | kFolderMarked),
          Number(kPropDelimiter, 0), Text(kPropFolderName, "Archive")}},
        {"LIST X- attributes",
         "* LIST (X-Post-Class \"IPM.Post\" X-POST-DESC \"Post\" x-view-info \"v1\" X-Other \"dropped\" "
         "X-Post-Class \"default\") \"/\" \"Public\"",
         "", Untagged, kKindList,
         {Text(kPropPostClass, "IPM.Post"), Text(kPropPostDescription, "Post"), Text(kPropViewInfo, "v1"),
          Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '/'), Text(kPropFolderName, "Public")}},
        {"LIST with a NIL class", "* LIST (\\CLASS NIL) \"/\" \"x\"", "", Untagged, kKindList,
         {Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '/'), Text(kPropFolderName, "x")}},
        {"LIST name as an atom", "* LIST () \"/\" INBOX", "", Untagged, kKindList,
         {Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '/'), Text(kPropFolderName, "INBOX")}},
        {"LIST name as a literal", "* LIST () \"/\" {12}", "~john/Draftsrest\r\n* next\r\n", Untagged, kKindList,
         {Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '/'), Text(kPropFolderName, "~john/Drafts")},
         std::nullopt, std::nullopt, "* next\r\n"},
        {"LIST class as a literal, the line goes on after it", "* LIST (\\CLASS {8}",
         "IPF.Note \\Marked) \"/\" \"x\"\r\n", Untagged, kKindList,
         {Text(kPropContainerClass, "IPF.Note"), Number(kPropFolderAttributes, kFolderMarked),
          Number(kPropDelimiter, '/'), Text(kPropFolderName, "x")}},
        {"LIST attribute with a control character", "* LIST (\\HasNo\x06" "Children \\Marked) \"/\" \"x\"", "",
         Untagged, kKindList,
         {Number(kPropFolderAttributes, kFolderMarked), Number(kPropDelimiter, '/'), Text(kPropFolderName, "x")}},
        {"LSUB", "* LSUB () \".\" \"Sent\"", "", Untagged, kKindLsub,
         {Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '.'), Text(kPropFolderName, "Sent")}},

        // Strings.
        {"quoted string with every escape",
         "* LIST () \"\\\\\" \"a\\\"b\\\\c\\td\\065\\e\\n\\r\\qz\\0x\\0651\"", "", Untagged, kKindList,
         {Number(kPropFolderAttributes, 0), Number(kPropDelimiter, '\\'),
          Text(kPropFolderName, std::string("a\"b\\c\tdA\r\n\n\rqz xA1"))}},
        {"MAILTRAILER quoted", "* MAILTRAILER \"--\\eSent with Quillon\"", "", Untagged, kKindMailTrailer,
         {Text(kPropBody, "--\r\nSent with Quillon")}},
        {"MAILTRAILER literal with zero bytes", "* MAILTRAILER {11}",
         "ab\0cd\r\nefgh\r\n0000002A OK\r\n"s, Untagged, kKindMailTrailer,
         {Text(kPropBody, "ab cd\r\nefgh")}, std::nullopt, std::nullopt, "0000002A OK\r\n"},
        {"MAILTRAILER NIL", "* MAILTRAILER NIL", "", Untagged, kKindMailTrailer, {}},
        {"MAILTRAILER with nothing", "* MAILTRAILER", "", Untagged, kKindMailTrailer, {}},

        // Literals of lines whose content is not read still belong to the response.
        {"FETCH literal is skipped", "* 1 FETCH (BODY[] {7}", "Hello\r\n)\r\n0000002A OK\r\n", Untagged, kKindFetch,
         {}, std::nullopt, std::nullopt, "0000002A OK\r\n"},
        {"chained literals are skipped", "* 1 FETCH (BODY[1] {2}", "ab {3}\r\ncde)\r\nnext\r\n", Untagged,
         kKindFetch, {}, std::nullopt, std::nullopt, "next\r\n"},
    };
    return cases;
}

class ParseTable : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, GivesKindValuesAndTexts)
{
    const ParseCase& c = GetParam();
    ScriptInput input(c.more);
    ImapResponse response;
    ImapParseError error;
    const HRESULT status = ImapResponseParser().Parse(c.line, kTag, input, response, error);
    ASSERT_EQ(status, S_OK) << "error text " << error.textNumber << " '" << error.argument << "'";
    EXPECT_EQ(response.lineClass, c.lineClass);
    EXPECT_EQ(response.kind, c.kind);
    EXPECT_EQ(response.properties, c.properties);
    EXPECT_EQ(response.statusText, c.statusText);
    EXPECT_EQ(response.alertText, c.alertText);
    EXPECT_EQ(input.Unread(), c.unread);
}

INSTANTIATE_TEST_SUITE_P(Lines, ParseTable, ::testing::ValuesIn(ParseCases()),
                         [](const ::testing::TestParamInfo<ParseCase>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

struct RefusedCase {
    RefusedCase(const char* name, std::string line, std::string more, unsigned textNumber, std::string argument,
                bool lineRejected = false, std::string unread = {})
        : name(name), line(std::move(line)), more(std::move(more)), textNumber(textNumber),
          argument(std::move(argument)), lineRejected(lineRejected), unread(std::move(unread))
    {
    }

    const char* name;
    std::string line;
    std::string more;
    unsigned textNumber;
    std::string argument;
    bool lineRejected;
    std::string unread;
};

const std::vector<RefusedCase>& RefusedCases()
{
    static const std::vector<RefusedCase> cases = {
        {"another tag", "00000029 OK done", "", 10035, "00000029 OK done", true},
        {"empty line", "", "", 10035, "", true},
        {"tag without a blank", "0000002A", "", 10035, "0000002A", true},
        {"no tag at all", "garbage", "", 10035, "garbage", true},
        {"plus without a blank", "+", "", 10035, "+", true},
        {"star without a blank", "*OK", "", 10035, "*OK", true},
        {"LIST empty name", "* LIST () \"/\" \"\"", "", 10037, ""},
        {"LIST missing name", "* LIST () \"/\"", "", 10037, ""},
        {"LIST NIL name", "* LIST () \"/\" NIL", "", 10037, ""},
        {"LIST delimiter as an atom", "* LIST () / \"x\"", "", 10032, "/"},
        {"LIST without attribute list", "* LIST \\Noselect \"/\" \"x\"", "", 10035, "* LIST \\Noselect \"/\" \"x\""},
        {"LIST attribute list not closed", "* LIST (\\Noselect", "", 10035, "* LIST (\\Noselect"},
        {"LIST count without a number", "* LIST (\\MESSAGES x) \"/\" \"a\"", "", 10035,
         "* LIST (\\MESSAGES x) \"/\" \"a\""},
        {"LIST class as an atom", "* LIST (\\CLASS IPF.Task) \"/\" \"a\"", "", 10032, "IPF.Task"},
        {"FETCH UID without a number", "* 3 FETCH (UID x)", "", 10035, "* 3 FETCH (UID x)"},
        {"FETCH size beyond 32 bits", "* 3 FETCH (RFC822.SIZE 4294967296)", "", 10035,
         "* 3 FETCH (RFC822.SIZE 4294967296)"},
        {"quoted string not closed", "* LIST () \"/\" \"abc", "", 10035, "* LIST () \"/\" \"abc"},
        {"backslash at the end", "* MAILTRAILER \"abc\\", "", 10035, "* MAILTRAILER \"abc\\"},
        {"atom special where a string starts", "* MAILTRAILER (x)", "", 10031, "(x)"},
        {"atom where only NIL may stand", "* MAILTRAILER trailer", "", 10032, "trailer"},
        {"malformed literal", "* MAILTRAILER {5x}", "", 10031, "{5x}"},
        {"bogus PERMANENTFLAGS", "* OK [PERMANENTFLAGS (\\Seen] x", "", 10033, "(\\Seen"},
        {"literal of a refused line is still read", "* LIST (\\MESSAGES x {3}", "abc)\r\nnext\r\n", 10035,
         "* LIST (\\MESSAGES x {3}", false, "next\r\n"},
        {"over-long literal is read and dropped", "* MAILTRAILER {16777217}",
         std::string(16777217, 'x') + "\r\nnext\r\n", 10035, "* MAILTRAILER {16777217}", false, "next\r\n"},
    };
    return cases;
}

class RefusedTable : public ::testing::TestWithParam<RefusedCase> {};

TEST_P(RefusedTable, FailsWithItsText)
{
    const RefusedCase& c = GetParam();
    ScriptInput input(c.more);
    ImapResponse response;
    ImapParseError error;
    const HRESULT status = ImapResponseParser().Parse(c.line, kTag, input, response, error);
    EXPECT_EQ(status, MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(error.textNumber, c.textNumber);
    EXPECT_EQ(error.argument, c.argument);
    EXPECT_EQ(error.lineRejected, c.lineRejected);
    EXPECT_EQ(input.Unread(), c.unread);
}

INSTANTIATE_TEST_SUITE_P(Lines, RefusedTable, ::testing::ValuesIn(RefusedCases()),
                         [](const ::testing::TestParamInfo<RefusedCase>& info) {
                             std::string name;
                             for (const char c : std::string(info.param.name))
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(ImapResponseParser, LiteralCutShortByTheConnectionGivesTheInputFailure)
{
    ScriptInput input("abc");
    ImapResponse response;
    ImapParseError error;
    EXPECT_EQ(ImapResponseParser().Parse("* MAILTRAILER {10}", kTag, input, response, error), kStatusConnectionClosed);
    EXPECT_EQ(error.textNumber, 0u);
}

TEST(ImapResponseParser, LineAfterLiteralMissingGivesTheInputFailure)
{
    ScriptInput input("abc");
    ImapResponse response;
    ImapParseError error;
    EXPECT_EQ(ImapResponseParser().Parse("* MAILTRAILER {3}", kTag, input, response, error), kStatusConnectionClosed);
}

TEST(ImapResponseParser, ValuesBeyondTheLimitRefuseTheLine)
{
    std::string line = "* LIST (";
    for (std::size_t i = 0; i <= kMaximumProperties; ++i)
        line += "\\MESSAGES 1 ";
    line += ") \"/\" \"x\"";
    ScriptInput input("");
    ImapResponse response;
    ImapParseError error;
    EXPECT_EQ(ImapResponseParser().Parse(line, kTag, input, response, error), MAPI_E_EXTENDED_ERROR);
    EXPECT_EQ(error.textNumber, 10035u);
}

TEST(ImapKeywords, EveryKeywordHasItsKindInAnyCase)
{
    const std::vector<std::pair<std::string, std::uint32_t>> table = {
        {"OK", 1}, {"NO", 2}, {"BAD", 3}, {"BYE", 4}, {"ENABLED", 5}, {"LIST", 6}, {"LSUB", 7}, {"STATUS", 8},
        {"FETCH", 9}, {"STORE", 10}, {"FLAGS", 11}, {"EXISTS", 12}, {"RECENT", 13}, {"EXPUNGE", 14},
        {"CAPABILITY", 16}, {"ACL", 17}, {"WEBFILEDATA", 18}, {"MAPICODE", 19}, {"MYRIGHTS", 20},
        {"SPECIALMAILBOX", 21}, {"CLIENTSETTINGS", 22}, {"MAILTRAILER", 23}, {"ACCOUNTRULES", 24},
        {"ACCOUNTSETTINGS", 25}, {"MAKECALL", 26}, {"DIRECTORYDATA", 27}, {"QUOTA", 28}, {"QUOTAROOT", 29},
        {"TIME", 30}};
    ASSERT_EQ(table.size(), 29u);
    for (const auto& [keyword, kind] : table) {
        EXPECT_EQ(LookUpKeyword(keyword), kind) << keyword;
        std::string lower = keyword;
        for (char& c : lower)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(LookUpKeyword(lower), kind) << lower;
    }
    for (const char* unknown : {"", "O", "OKAY", "LISTS", "QUOTAROO", "ZZZ", "A", "IDLING"})
        EXPECT_EQ(LookUpKeyword(unknown), kKindUnknown) << unknown;
}

} // namespace
} // namespace ex2qln::imap
