// Initialisation files read the way Windows reads them.
#include "platform/ini/IniFile.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

const char* const kSample =
    "\xEF\xBB\xBF"
    "key=before any section\r\n"
    "[Language]\r\n"
    "LanguageId=0407\r\n"
    "  [ Strings_0407 ]  \r\n"
    "; 10001=commented out\r\n"
    "  10001  =  Fehler beim Senden  \r\n"
    "10016=\"quoted\"\r\n"
    "10018='single'\r\n"
    "10020=\"unbalanced'\r\n"
    "10021=a=b ; not a comment\r\n"
    "no equals sign\r\n"
    "10022=\r\n"
    "10001=second one loses\r\n"
    "[csv]\n"
    "3001001E=Name\n"
    "\t3003001E\t=\tEmail\n"
    "[STRINGS_0407]\n"
    "10023=repeated section loses\n"
    "[last]\n"
    "end=no final line end";

TEST(IniFileTest, ReadsValuesAsWindowsDoes)
{
    IniFile file = IniFile::Parse(kSample);
    struct Case {
        std::string_view section;
        std::string_view key;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"Language", "LanguageId", "0407"},
        {"language", "LANGUAGEID", "0407"},
        {" Language ", " LanguageId ", "0407"},
        {"Strings_0407", "10001", "Fehler beim Senden"},
        {"strings_0407", "10016", "quoted"},
        {"Strings_0407", "10018", "single"},
        {"Strings_0407", "10020", "\"unbalanced'"},
        {"Strings_0407", "10021", "a=b ; not a comment"},
        {"Strings_0407", "10022", ""},
        {"Strings_0407", "10023", std::nullopt},
        {"Strings_0407", "no equals sign", std::nullopt},
        {"Strings_0407", "; 10001", std::nullopt},
        {"csv", "3003001E", "Email"},
        {"last", "end", "no final line end"},
        {"", "key", std::nullopt},
        {"Missing", "key", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(file.ReadString(c.section, c.key), c.expected) << c.section << "/" << c.key;
}

TEST(IniFileTest, SectionsInFileOrder)
{
    IniFile file = IniFile::Parse(kSample);
    EXPECT_EQ(file.SectionNames(), std::vector<std::string>({"Language", "Strings_0407", "csv", "STRINGS_0407", "last"}));
    EXPECT_TRUE(file.HasSection("CSV"));
    EXPECT_FALSE(file.HasSection("Dialog_100"));
    EXPECT_EQ(file.ReadSection("csv"),
              (std::vector<IniFile::Entry> {{"3001001E", "Name"}, {"3003001E", "Email"}}));
    // The whole-section read keeps quotes and every repeated key.
    std::vector<IniFile::Entry> strings = file.ReadSection("strings_0407");
    ASSERT_EQ(strings.size(), 7u);
    EXPECT_EQ(strings[1], (IniFile::Entry {"10016", "\"quoted\""}));
    EXPECT_EQ(strings[6], (IniFile::Entry {"10001", "second one loses"}));
    EXPECT_TRUE(file.ReadSection("Missing").empty());
}

TEST(IniFileTest, WholeSectionReadStopsAtTheBufferLimit)
{
    // Each "k=v" line takes its bytes and a zero; the list ends with one more zero.
    IniFile file = IniFile::Parse("[s]\nab=cd\nef=gh\nij=kl\n");
    struct Case {
        std::size_t maximumBytes;
        std::size_t expectedLines;
    };
    const std::vector<Case> cases = {{0, 0}, {1, 0}, {6, 0}, {7, 1}, {12, 1}, {13, 2}, {19, 3}, {32767, 3}};
    for (const Case& c : cases)
        EXPECT_EQ(file.ReadSection("s", c.maximumBytes).size(), c.expectedLines) << c.maximumBytes;

    std::string big = "[big]\n";
    for (int i = 0; i < 4000; ++i)
        big += "key" + std::to_string(i) + "=value\n";
    std::vector<IniFile::Entry> entries = IniFile::Parse(big).ReadSection("big");
    std::size_t used = 1;
    for (const IniFile::Entry& entry : entries)
        used += entry.first.size() + entry.second.size() + 2;
    EXPECT_LE(used, 32767u);
    EXPECT_LT(entries.size(), 4000u);
    EXPECT_GT(used + std::string("key" + std::to_string(entries.size()) + "=value").size() + 1, 32767u);
}

TEST(IniFileTest, LoadsFromDiskAndRefusesWhatItCannotRead)
{
    testsupport::TemporaryDirectory directory;
    ASSERT_FALSE(directory.Path().empty());
    std::optional<IniFile> file = IniFile::Load(directory.Write("a.ini", "[Language]\r\nLanguageId=040c\r\n"));
    ASSERT_TRUE(file);
    EXPECT_EQ(file->ReadString("Language", "LanguageId"), "040c");
    EXPECT_TRUE(IniFile::Load(directory.Write("empty.ini", "")));
    EXPECT_FALSE(IniFile::Load(directory.File("missing.ini")));
    EXPECT_FALSE(IniFile::Load(directory.Path()));
}

} // namespace
} // namespace platform
