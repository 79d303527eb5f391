// Locale facts: the ANSI code page, language identifiers of locale names, the user.
#include "platform/locale/Locale.h"
#include "tests/support/ScopedEnvironment.h"

#include <clocale>
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

namespace platform {
namespace {

using testsupport::ScopedEnvironment;

TEST(LocaleTest, AnsiCodePageFollowsTheCharacterTypeLocale)
{
    std::string previous = std::setlocale(LC_CTYPE, nullptr);
    ASSERT_TRUE(std::setlocale(LC_CTYPE, "C"));
    EXPECT_EQ(AnsiCodeSetName(), "ANSI_X3.4-1968");
    EXPECT_EQ(AnsiCodePage(), 20127u);
    if (std::setlocale(LC_CTYPE, "C.UTF-8")) {
        EXPECT_EQ(AnsiCodeSetName(), "UTF-8");
        EXPECT_EQ(AnsiCodePage(), 65001u);
    }
    std::setlocale(LC_CTYPE, previous.c_str());
}

TEST(LocaleTest, LanguageIdsOfLocaleNames)
{
    struct Case {
        std::string_view locale;
        std::uint16_t languageId;
    };
    const std::vector<Case> cases = {
        {"de_DE.UTF-8", 0x0407}, {"de_AT", 0x0C07},       {"de_CH.utf8", 0x0807}, {"de", 0x0407},
        {"en_US", 0x0409},       {"en_GB.ISO-8859-1", 0x0809}, {"fr_FR", 0x040C}, {"fr_CA", 0x0C0C},
        {"ja_JP.EUC-JP", 0x0411}, {"zh_CN.GB2312", 0x0804}, {"zh_TW.BIG5", 0x0404}, {"pt_BR", 0x0416},
        {"pt_PT", 0x0816},       {"ru_RU.KOI8-R", 0x0419}, {"es_ES@euro", 0x0C0A}, {"es_MX", 0x080A},
        {"nb_NO", 0x0414},       {"sr_RS", 0x281A},       {"sr_RS@latin", 0x241A}, {"it_XX", 0x0410},
        {"C", 0x0409},           {"POSIX", 0x0409},       {"C.UTF-8", 0x0409},    {"xx_YY", 0x0409},
        {"", 0x0409},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LanguageIdFromLocaleName(c.locale), c.languageId) << c.locale;
}

TEST(LocaleTest, AnsiCodePagesOfLocaleIds)
{
    struct Case {
        std::uint32_t localeId;
        std::uint32_t codePage;
    };
    // Territories that differ from their language's default come first; the sort bits above the
    // LANGID do not count.
    const std::vector<Case> cases = {
        {0x0804, 936},  {0x0404, 950},  {0x0C04, 950},  {0x0C1A, 1251}, {0x081A, 1250}, {0x042C, 1254},
        {0x082C, 1251}, {0x0411, 932},  {0x00010411, 932}, {0x0412, 949}, {0x041E, 874}, {0x0415, 1250},
        {0x0419, 1251}, {0x0408, 1253}, {0x041F, 1254}, {0x040D, 1255}, {0x0401, 1256}, {0x0C01, 1256},
        {0x0426, 1257}, {0x042A, 1258}, {0x0407, 1252}, {0x0409, 1252}, {0x0000, 1252},
    };
    for (const Case& c : cases)
        EXPECT_EQ(AnsiCodePageOfLocale(c.localeId), c.codePage) << std::hex << c.localeId;
}

TEST(LocaleTest, UserLanguageComesFromTheEnvironmentInPosixOrder)
{
    // The test program never sets its message locale, so the environment decides.
    ASSERT_STREQ(std::setlocale(LC_MESSAGES, nullptr), "C");
    struct Case {
        std::optional<std::string> lcAll, lcMessages, lang;
        std::uint16_t expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, "de_DE.UTF-8", 0x0407},
        {std::nullopt, "fr_FR.UTF-8", "de_DE.UTF-8", 0x040C},
        {"ja_JP.UTF-8", "fr_FR.UTF-8", "de_DE.UTF-8", 0x0411},
        {"", "", "fr_CA", 0x0C0C},
        {std::nullopt, std::nullopt, "C", 0x0409},
        {std::nullopt, std::nullopt, std::nullopt, 0x0409},
    };
    for (const Case& c : cases) {
        ScopedEnvironment all("LC_ALL", c.lcAll);
        ScopedEnvironment messages("LC_MESSAGES", c.lcMessages);
        ScopedEnvironment lang("LANG", c.lang);
        EXPECT_EQ(UserDefaultLanguageId(), c.expected) << c.lang.value_or("(unset)");
    }
}

TEST(LocaleTest, ListSeparatorAndUserName)
{
    EXPECT_EQ(ListSeparator(), ",");
    std::string name = UserName();
    ASSERT_FALSE(name.empty());
    passwd* entry = getpwnam(name.c_str());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->pw_uid, geteuid());
}

} // namespace
} // namespace platform
