// The accounts-file reader: fields, quoting, row breaks, setting values and the key-field check.
#include "ex2qln/inputs/MappedCsv.h"

#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <mapicode.h>

#include <clocale>
#include <string>
#include <vector>

namespace ex2qln::inputs {
namespace {

using Rows = std::vector<std::vector<std::string>>;

class MappedCsvTest : public ::testing::Test {
protected:
    // Maps `contents` through a file of its own.
    void Open(CMappedCsv& csv, const std::string& contents)
    {
        const std::string path = directory_.File("file" + std::to_string(++count_) + ".csv");
        testsupport::WriteFile(path, contents);
        ASSERT_EQ(csv.Open(path), S_OK);
    }

    // Reads rows of as many fields as `shape` gives per row, the way the account commands do.
    static Rows ReadRows(const CMappedCsv& csv, const Rows& shape)
    {
        Rows rows;
        std::size_t position = 0;
        csv.SkipLineEnds(position);
        while (!csv.AtEnd(position)) {
            const std::size_t width = rows.size() < shape.size() ? shape[rows.size()].size() : 1;
            std::vector<std::string> row(width);
            for (std::string& field : row)
                EXPECT_EQ(csv.ReadField(position, field), S_OK);
            csv.SkipRow(position);
            rows.push_back(row);
        }
        return rows;
    }

    testsupport::TemporaryDirectory directory_;
    int count_ = 0;
};

struct CsvCase {
    const char* name;
    std::string separator;
    std::string contents;
    Rows rows;
};

TEST_F(MappedCsvTest, ReadsFieldsAndRows)
{
    const CsvCase cases[] = {
        {"bare fields, CR LF", ",", "a,b,c\r\nd,e,f\r\n", {{"a", "b", "c"}, {"d", "e", "f"}}},
        {"LF", ",", "a,b\nc,d\n", {{"a", "b"}, {"c", "d"}}},
        {"CR", ",", "a,b\rc,d\r", {{"a", "b"}, {"c", "d"}}},
        {"no newline at the end", ",", "a,b\nc,d", {{"a", "b"}, {"c", "d"}}},
        {"blank lines", ",", "\r\n\na,b\r\n\r\n\n\rc,d\r\n\r\n", {{"a", "b"}, {"c", "d"}}},
        {"separator inside quotes", ",", "\"x,y\",z\n", {{"x,y", "z"}}},
        {"doubled quotes", ",", "\"say \"\"hi\"\"\",z\n", {{"say \"hi\"", "z"}}},
        {"only a doubled quote", ",", "\"\"\"\",z\n", {{"\"", "z"}}},
        {"empty quoted field", ",", "\"\",z\n", {{"", "z"}}},
        {"line breaks inside quotes", ",", "\"one\r\ntwo\",z\nn,m\n", {{"one\r\ntwo", "z"}, {"n", "m"}}},
        {"text after the closing quote", ",", "\"ab\"cd,e\n", {{"abcd", "e"}}},
        {"quote inside a bare field", ",", "a\"b,c\n", {{"a\"b", "c"}}},
        {"empty fields", ",", ",,x\n", {{"", "", "x"}}},
        {"trailing separator", ",", "a,\n", {{"a", ""}}},
        {"fewer fields than read", ",", "a\nb,c\n", {{"a", "", ""}, {"b", "c", ""}}},
        {"more fields than read", ",", "a,b,c,d\ne\n", {{"a", "b"}, {"e"}}},
        {"another separator", ";", "a,b;c\n", {{"a,b", "c"}}},
        {"separator of two characters", ";;", "a;;b;c\n", {{"a", "b;c"}}},
        {"empty file", ",", "", {}},
        {"only line ends", ",", "\r\n\n\r", {}},
    };
    for (const CsvCase& test : cases) {
        SCOPED_TRACE(test.name);
        CMappedCsv csv(test.separator);
        Open(csv, test.contents);
        EXPECT_EQ(ReadRows(csv, test.rows), test.rows);
    }
}

TEST_F(MappedCsvTest, ReportsQuotingLeftOpenAndNeverReadsPastTheEnd)
{
    CMappedCsv csv(",");
    Open(csv, "a,\"open,to the end\r\nb,c");
    std::size_t position = 0;
    std::string field;
    ASSERT_EQ(csv.ReadField(position, field), S_OK);
    EXPECT_EQ(csv.ReadField(position, field), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(field, "open,to the end\r\nb,c");
    EXPECT_TRUE(csv.AtEnd(position));
    EXPECT_EQ(csv.ReadField(position, field), S_OK);
    EXPECT_EQ(field, "");
}

TEST_F(MappedCsvTest, FieldsLongerThanTheLimitAreReportedAndCutWhateverTheirLength)
{
    struct Case {
        const char* name;
        std::string field;   // as written in the file
        std::size_t length;  // of the text without quoting
    };
    const std::size_t limit = CMappedCsv::kMaximumFieldLength;
    const std::string megabytes(3 << 20, 'x');
    const Case cases[] = {
        {"longest field", std::string(limit, 'x'), limit},
        {"one character more", std::string(limit + 1, 'x'), limit + 1},
        {"megabytes", megabytes, megabytes.size()},
        {"megabytes quoted, with a doubled quote and a separator at the end",
         "\"" + megabytes + "\"\",\"", megabytes.size() + 2},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        CMappedCsv csv(",");
        Open(csv, test.field + ",next\r\n");
        std::size_t position = 0;
        std::string field;
        EXPECT_EQ(csv.ReadField(position, field), test.length > limit ? MAPI_E_TOO_BIG : S_OK);
        EXPECT_EQ(field.size(), std::min(test.length, limit));
        ASSERT_EQ(csv.ReadField(position, field), S_OK);
        EXPECT_EQ(field, "next");
    }
}

TEST_F(MappedCsvTest, NumbersLinesWhateverTheirEnds)
{
    CMappedCsv csv(",");
    const std::string contents = "a\r\nb\rc\n\nd" + std::string(3 << 20, 'e') + "\r";
    Open(csv, contents);
    const std::vector<std::pair<std::size_t, std::size_t>> positions = {
        {0, 1}, {1, 1}, {2, 1}, {3, 2}, {5, 3}, {7, 4}, {8, 5}, {contents.size() - 1, 5}, {contents.size(), 6}};
    for (const auto& [position, line] : positions) {
        SCOPED_TRACE(position);
        EXPECT_EQ(csv.LineNumber(position), line);
    }
}

TEST_F(MappedCsvTest, UnusableSeparatorsFallBackToComma)
{
    for (const char* separator : {"", "\"", "\n", ";\r"}) {
        SCOPED_TRACE(separator);
        EXPECT_EQ(CMappedCsv(separator).Separator(), ",");
    }
    EXPECT_EQ(CMappedCsv("abcdef").Separator(), "abcd");
    EXPECT_EQ(CMappedCsv().Separator(), ",");
}

TEST_F(MappedCsvTest, AdvanceSkipsAWholeQuotedField)
{
    CMappedCsv csv(",");
    Open(csv, "\"a,\"\"b\r\nc\",next\n");
    std::size_t position = 0;
    csv.Advance(position);
    std::string field;
    ASSERT_EQ(csv.ReadField(position, field), S_OK);
    EXPECT_EQ(field, "next");
}

TEST_F(MappedCsvTest, EscapesTheGivenCharacters)
{
    CMappedCsv csv(",");
    Open(csv, "\"a\"\"b\\c\",x\\y\n");
    std::size_t position = 0;
    std::string field;
    ASSERT_EQ(csv.ReadField(position, field, "\\\""), S_OK);
    EXPECT_EQ(field, "a\\\"b\\\\c");
    ASSERT_EQ(csv.ReadField(position, field, "y"), S_OK);
    EXPECT_EQ(field, "x\\\\y");
}

struct SettingCase {
    const char* name;
    std::string field;
    HRESULT status;
    std::string value;
};

TEST_F(MappedCsvTest, ReadsSettingValuesForTheCommandLine)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    const SettingCase cases[] = {
        {"plain", "Jane Doe", S_OK, "Jane Doe"},
        {"quote and backslash", "\"say \"\"hi\"\" \\o/\"", S_OK, "say \\\"hi\\\" \\\\o/"},
        {"UTF-8 kept", "J\xC3\xBCrgen", S_OK, "J\xC3\xBCrgen"},
        {"line break escaped", "\"one\r\ntwo\"", S_OK, "one\\013\\010two"},
        {"not valid in the code page", "J\xFCrgen", MAPI_E_CORRUPT_DATA, ""},
        {"missing", "", S_OK, ""},
    };
    for (const SettingCase& test : cases) {
        SCOPED_TRACE(test.name);
        CMappedCsv csv(",");
        Open(csv, test.field + "\n");
        std::size_t position = 0;
        std::string value;
        EXPECT_EQ(csv.ReadSettingValue(position, value), test.status);
        EXPECT_EQ(value, test.value);
    }
    std::setlocale(LC_CTYPE, "C");
}

TEST_F(MappedCsvTest, ConvertsSettingValuesFromAnAsciiLocale)
{
    ASSERT_NE(std::setlocale(LC_CTYPE, "C"), nullptr);
    CMappedCsv csv(",");
    Open(csv, "plain,J\xC3\xBCrgen\n");
    std::size_t position = 0;
    std::string value;
    EXPECT_EQ(csv.ReadSettingValue(position, value), S_OK);
    EXPECT_EQ(value, "plain");
    EXPECT_EQ(csv.ReadSettingValue(position, value), MAPI_E_CORRUPT_DATA);
}

struct KeyCase {
    const char* name;
    std::string row;
    bool headerRow;
    HRESULT status;
};

TEST_F(MappedCsvTest, ChecksTheKeyFields)
{
    const std::string longest(CMappedCsv::kMaximumKeyLength, 'm');
    const KeyCase cases[] = {
        {"header", "account,dn,mailbox,RealName", true, S_OK},
        {"header of three", "account,dn,mailbox", true, S_OK},
        {"header quoted", "\"account\",\"dn\",\"mailbox\"", true, S_OK},
        {"header in another case", "Account,dn,mailbox", true, E_FAIL},
        {"header too short", "account,dn", true, E_FAIL},
        {"header misspelt", "account,dn,mailboxes", true, E_FAIL},
        {"data row", "user1,/o=Org/cn=user1,user1@example.com,User One", false, S_OK},
        {"data row as header", "user1,/o=Org/cn=user1,user1@example.com", true, E_FAIL},
        {"account empty", ",/o=Org,user1@example.com", false, E_FAIL},
        {"dn empty", "user1,,user1@example.com", false, E_FAIL},
        {"mailbox missing", "user1,/o=Org", false, E_FAIL},
        {"longest key", "user1,/o=Org," + longest, false, S_OK},
        {"key too long", "user1,/o=Org," + longest + "m", false, E_FAIL},
        {"quoting left open", "user1,/o=Org,\"user1@example.com", false, E_FAIL},
    };
    for (const KeyCase& test : cases) {
        SCOPED_TRACE(test.name);
        CMappedCsv csv(",");
        Open(csv, test.row + "\r\n");
        std::size_t position = 0;
        AccountKeys keys;
        EXPECT_EQ(csv.ReadAccountKeys(position, test.headerRow, keys), test.status);
    }
}

TEST_F(MappedCsvTest, GivesTheKeysAndLeavesThePositionAtTheSettings)
{
    CMappedCsv csv(",");
    Open(csv, "user1,\"/o=Org,cn=user1\",user1@example.com,User One\n");
    std::size_t position = 0;
    AccountKeys keys;
    ASSERT_EQ(csv.ReadAccountKeys(position, false, keys), S_OK);
    EXPECT_EQ(keys.account, "user1");
    EXPECT_EQ(keys.dn, "/o=Org,cn=user1");
    EXPECT_EQ(keys.mailbox, "user1@example.com");
    std::string field;
    ASSERT_EQ(csv.ReadField(position, field), S_OK);
    EXPECT_EQ(field, "User One");
}

TEST_F(MappedCsvTest, OpenFailuresAreSystemErrors)
{
    CMappedCsv csv(",");
    EXPECT_EQ(csv.Open(directory_.File("missing.csv")), HResultFromErrno(ENOENT));
    EXPECT_EQ(csv.Open(directory_.Path()), HResultFromErrno(EISDIR));
    EXPECT_EQ(csv.Size(), 0u);
}

} // namespace
} // namespace ex2qln::inputs
