// Localised texts: the language file over the built-in string table.
//
// The language is chosen once per process; every test starts from ResetTextLanguageForTesting(),
// so the cases do not depend on ctest running each of them in a process of its own.
#include "ex2qln/diag/LocalizedText.h"
#include "ex2qln/diag/StringTable.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <clocale>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <langinfo.h>

namespace ex2qln::diag {
namespace {

using testsupport::ScopedEnvironment;
using testsupport::TemporaryDirectory;

// Switches the character type locale (the "ANSI code page") for one scope.
class ScopedCharacterLocale {
public:
    explicit ScopedCharacterLocale(const char* name) : previous_(std::setlocale(LC_CTYPE, nullptr))
    {
        active_ = std::setlocale(LC_CTYPE, name) != nullptr;
    }
    ScopedCharacterLocale(const ScopedCharacterLocale&) = delete;
    ScopedCharacterLocale& operator=(const ScopedCharacterLocale&) = delete;
    ~ScopedCharacterLocale() { std::setlocale(LC_CTYPE, previous_.c_str()); }
    bool Active() const { return active_; }

private:
    std::string previous_;
    bool active_ = false;
};

class LocalizedTextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(directory_.Path().empty());
        std::filesystem::create_directories(directory_.File("ex2qln"));
        ResetTextLanguageForTesting();
    }
    void TearDown() override { ResetTextLanguageForTesting(); }

    std::string WriteLanguageFile(const std::string& content)
    {
        return directory_.Write("ex2qln/qlnconn32.ini", content);
    }

    static std::string LookUp(const std::string& path, const char* base, unsigned number, std::size_t size = 260)
    {
        std::vector<char> buffer(size, 'X');
        std::size_t length = LookUpText(path.c_str(), base, number, buffer.data(), buffer.size());
        EXPECT_EQ(std::strlen(buffer.data()), length);
        return std::string(buffer.data(), length);
    }

    static bool MachineLanguageFileExists() { return std::filesystem::exists("/etc/ex2qln/qlnconn32.ini"); }

    TemporaryDirectory directory_;
    ScopedEnvironment configHome_ {"XDG_CONFIG_HOME", directory_.Path()};
    ScopedEnvironment all_ {"LC_ALL", std::nullopt};
    ScopedEnvironment messages_ {"LC_MESSAGES", std::nullopt};
    ScopedEnvironment lang_ {"LANG", "en_US.UTF-8"};
};

TEST_F(LocalizedTextTest, ValuesAreUnescaped)
{
    struct Case {
        std::string value;  // as written in the file
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"first\\nsecond", "first\nsecond"},
        {"one\\\\two", "one\\two"},
        {"trailing\\", "trailing\\"},
        {"a\\rb\\tc", "a\rb\tc"},
        {"\\q\\\"\\%", "q\"%"},
        {"\\\\n", "\\n"},
        {"\\\\\\", "\\\\"},
        {"Error [%#x]", "Error [%#x]"},
    };
    std::string content = "[Strings_0409]\n";
    for (std::size_t i = 0; i < cases.size(); ++i)
        content += std::to_string(i + 1) + "=" + cases[i].value + "\n";
    std::string path = WriteLanguageFile(content);
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(LookUp(path, "Strings", static_cast<unsigned>(i + 1)), cases[i].expected) << cases[i].value;
}

TEST_F(LocalizedTextTest, LanguageFromTheFileOrTheUserLocale)
{
    struct Case {
        std::string languageSection;
        std::string lang;
        std::uint16_t expected;
    };
    const std::vector<Case> cases = {
        {"[Language]\nLanguageId=040c\n", "de_DE.UTF-8", 0x040C},
        {"[Language]\nLanguageId=0x411\n", "de_DE.UTF-8", 0x0411},
        {"[Language]\nLanguageId=00000040c\n", "de_DE.UTF-8", 0x040C},   // nine digits fit
        {"[Language]\nLanguageId=000000040c\n", "de_DE.UTF-8", 0x0040},  // the tenth is cut
        // 0, an unparsable value, no key, no section: the user's language with the default sub-language.
        {"[Language]\nLanguageId=0\n", "de_DE.UTF-8", 0x0407},
        {"[Language]\nLanguageId=zz\n", "de_DE.UTF-8", 0x0407},
        {"[Language]\nOther=1\n", "de_DE.UTF-8", 0x0407},
        {"", "de_DE.UTF-8", 0x0407},
        {"[Language]\nLanguageId=0\n", "fr_CA.UTF-8", 0x040C},
        {"[Language]\nLanguageId=0\n", "C", 0x0409},
    };
    for (const Case& c : cases) {
        ResetTextLanguageForTesting();
        ScopedEnvironment lang("LANG", c.lang);
        std::string path = WriteLanguageFile(c.languageSection + "[Strings_0407]\n1=Deutsch\n[Strings_040c]\n1=Fran\\tcais\n");
        std::string text = LookUp(path, "Strings", 1);
        EXPECT_EQ(TextLanguage(), c.expected) << c.languageSection << c.lang;
        if (c.expected == 0x0407) {
            EXPECT_EQ(text, "Deutsch") << c.languageSection;
        }
        if (c.expected == 0x040C) {
            EXPECT_EQ(text, "Fran\tcais") << c.languageSection;
        }
    }
}

TEST_F(LocalizedTextTest, LanguageIsChosenOncePerProcess)
{
    std::string path = WriteLanguageFile("[Language]\nLanguageId=0407\n[Strings_0407]\n1=Deutsch\n[Strings_040c]\n1=Francais\n");
    EXPECT_EQ(LookUp(path, "Strings", 1), "Deutsch");
    WriteLanguageFile("[Language]\nLanguageId=040c\n[Strings_0407]\n1=Deutsch\n[Strings_040c]\n1=Francais\n");
    EXPECT_EQ(LookUp(path, "Strings", 1), "Deutsch");
    EXPECT_EQ(TextLanguage(), 0x0407);
}

TEST_F(LocalizedTextTest, MissingFileSectionOrKeyFallsBackToTheBuiltInText)
{
    const std::string builtIn(BuiltInText(10001));
    ASSERT_EQ(builtIn, "Error while sending data through socket [%#x]");
    struct Case {
        std::optional<std::string> file;  // nullopt: no language file
        std::string expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, builtIn},
        {"", builtIn},
        {"[Strings_0407]\n10001=Fehler beim Senden [%#x]\n", builtIn},
        {"[Strings_0409]\n10016=another text\n", builtIn},
        {"[Strings_0409]\n10001=\n", builtIn},
        {"[Strings_0409]\n10001=Send failed \\[%#x\\]\n", "Send failed [%#x]"},
        {"[strings_0409]\n  10001 = \"Quoted\"\n", "Quoted"},
    };
    for (const Case& c : cases) {
        ResetTextLanguageForTesting();
        std::filesystem::remove(directory_.File("ex2qln/qlnconn32.ini"));
        if (c.file)
            WriteLanguageFile(*c.file);
        else if (MachineLanguageFileExists())
            continue;  // this machine's own language file would answer
        EXPECT_EQ(ErrorText(10001), c.expected) << c.file.value_or("(no file)");
    }
}

TEST_F(LocalizedTextTest, UnknownNumbersAndTinyBuffers)
{
    WriteLanguageFile("[Strings_0409]\n10000=Out of memory\n");
    char buffer[8] = "XXXXXXX";
    EXPECT_EQ(LoadErrorText(99999, buffer, sizeof buffer), 0u);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(LoadErrorText(10000, buffer, sizeof buffer), 7u);
    EXPECT_STREQ(buffer, "Out of ");
    EXPECT_EQ(LoadErrorText(10029, buffer, sizeof buffer), 7u);
    EXPECT_STREQ(buffer, "Failed ");
    EXPECT_EQ(LoadErrorText(10000, buffer, 0), 0u);
    EXPECT_EQ(LoadErrorText(10000, nullptr, 10), 0u);
    EXPECT_EQ(ErrorText(10046), "Server Alert:\n%s");
}

TEST_F(LocalizedTextTest, ValuesAreCutAt259Bytes)
{
    ScopedCharacterLocale utf8("C.UTF-8");
    if (!utf8.Active())
        GTEST_SKIP() << "the C.UTF-8 locale is not available";
    const std::string twoByte = "\xC3\xA9";  // e acute
    std::string path = WriteLanguageFile("[Strings_0409]\n"
                                         "1=" + std::string(300, 'a') + "\n"
                                         "2=" + std::string(259, 'b') + "\n"
                                         "3=" + std::string(258, 'c') + twoByte + "\n"
                                         "4=" + std::string(257, 'd') + twoByte + "\n");
    EXPECT_EQ(LookUp(path, "Strings", 1, 1024), std::string(259, 'a'));
    EXPECT_EQ(LookUp(path, "Strings", 2, 1024), std::string(259, 'b'));
    // A character that would be split by the cut is left out whole.
    EXPECT_EQ(LookUp(path, "Strings", 3, 1024), std::string(258, 'c'));
    EXPECT_EQ(LookUp(path, "Strings", 4, 1024), std::string(257, 'd') + twoByte);
    EXPECT_EQ(LookUp(path, "Strings", 1, 100), std::string(99, 'a'));
}

TEST_F(LocalizedTextTest, ValuesThatTheCodePageCannotHoldAreNotFound)
{
    std::string path = WriteLanguageFile("[Strings_0409]\n10001=Gr\xC3\xB6\xC3\x9F" "e\n10016=plain\n");
    {
        ScopedCharacterLocale ascii("C");
        ASSERT_TRUE(ascii.Active());
        EXPECT_EQ(LookUp(path, "Strings", 10001), "");
        EXPECT_EQ(ErrorText(10001), BuiltInText(10001));
        EXPECT_EQ(LookUp(path, "Strings", 10016), "plain");
    }
    ScopedCharacterLocale utf8("C.UTF-8");
    if (!utf8.Active())
        GTEST_SKIP() << "the C.UTF-8 locale is not available";
    EXPECT_EQ(LookUp(path, "Strings", 10001), "Gr\xC3\xB6\xC3\x9F" "e");
}

TEST_F(LocalizedTextTest, LatinOneLocaleRefusesCharactersOutsideIt)
{
    ScopedCharacterLocale latin1("");
    bool found = false;
    for (const char* name : {"de_DE.ISO-8859-1", "de_DE", "en_US.ISO-8859-1", "en_US", "fr_FR.ISO-8859-1", "fr_FR"}) {
        if (std::setlocale(LC_CTYPE, name) && std::string_view(nl_langinfo(CODESET)) == "ISO-8859-1") {
            found = true;
            break;
        }
    }
    if (!found)
        GTEST_SKIP() << "no ISO-8859-1 locale is installed (locale -a); ConvertsToNamedCharacterSets covers the conversion";
    std::string path = WriteLanguageFile("[Strings_0409]\n1=caf\xC3\xA9\n2=10 \xE2\x82\xAC\n");
    EXPECT_EQ(LookUp(path, "Strings", 1), "caf\xE9");
    EXPECT_EQ(LookUp(path, "Strings", 2), "");
}

TEST(ConvertFromUtf8Test, ConvertsToNamedCharacterSets)
{
    struct Case {
        std::string_view utf8;
        const char* codeSet;
        std::optional<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"caf\xC3\xA9", "ISO-8859-1", "caf\xE9"},
        {"10 \xE2\x82\xAC", "ISO-8859-1", std::nullopt},        // euro sign
        {"10 \xE2\x82\xAC", "ISO-8859-15", "10 \xA4"},
        {"\xCE\xA9", "ISO-8859-1", std::nullopt},                // Greek omega
        {"\xD0\x9F\xD1\x80\xD0\xB8", "KOI8-R", "\xF0\xD2\xC9"},  // Cyrillic
        {"\xD0\x9F", "CP1251", "\xCF"},
        {"plain", "ANSI_X3.4-1968", "plain"},
        {"caf\xC3\xA9", "ANSI_X3.4-1968", std::nullopt},
        {"caf\xC3\xA9", "UTF-8", "caf\xC3\xA9"},
        {"broken \xC3", "UTF-8", std::nullopt},                  // cut sequence
        {"broken \xFF", "ISO-8859-1", std::nullopt},             // not UTF-8
        {"", "ISO-8859-1", ""},
        {"x", "NO-SUCH-CHARSET", std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ConvertFromUtf8(c.utf8, c.codeSet), c.expected) << c.utf8 << " -> " << c.codeSet;

    std::string longText(5000, 'z');
    longText += "\xC3\xA9";
    EXPECT_EQ(ConvertFromUtf8(longText, "ISO-8859-1"), std::string(5000, 'z') + "\xE9");
}

TEST_F(LocalizedTextTest, DialogTextsComeFromTheDialogSection)
{
    WriteLanguageFile("[Dialog_101_0409]\n0=Kennwort\n1002=&Benutzername:\n[Dialog_102_0409]\n1=no title here\n");
    char buffer[260];
    ASSERT_TRUE(LookUpDialogText(101, 0, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Kennwort");
    ASSERT_TRUE(LookUpDialogText(101, 1002, buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "&Benutzername:");
    EXPECT_FALSE(LookUpDialogText(101, 1003, buffer, sizeof buffer));
    EXPECT_FALSE(LookUpDialogText(102, 0, buffer, sizeof buffer));
    EXPECT_FALSE(LookUpDialogText(103, 0, buffer, sizeof buffer));
}

TEST_F(LocalizedTextTest, UserFileComesBeforeTheMachineFile)
{
    EXPECT_EQ(LanguageFilePath(), MachineLanguageFileExists() ? "/etc/ex2qln/qlnconn32.ini" : "");
    std::string path = WriteLanguageFile("");
    EXPECT_EQ(LanguageFilePath(), path);
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);  // a directory of that name is no language file
    EXPECT_EQ(LanguageFilePath(), MachineLanguageFileExists() ? "/etc/ex2qln/qlnconn32.ini" : "");
}

} // namespace
} // namespace ex2qln::diag
