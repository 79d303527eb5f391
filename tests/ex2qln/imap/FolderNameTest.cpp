// The folder-name functions: validity, the fix, and the modified UTF-7 encoding with its cut.
#include "ex2qln/imap/FolderName.h"
#include "ex2qln/imap/ImapUtf7.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ex2qln::imap {
namespace {

std::string Narrow(const std::u16string& text)
{
    std::string narrow;
    for (const char16_t c : text)
        narrow += c < 0x80 ? static_cast<char>(c) : '?';
    return narrow;
}

struct NameCase {
    std::u16string name;
    bool valid;
    std::u16string fixed;
};

TEST(FolderName, ValidityAndFix)
{
    const std::vector<NameCase> cases = {
        {u"Inbox", true, u"Inbox"},
        {u"Sent Items", true, u"Sent Items"},
        {u"Entwürfe", true, u"Entwürfe"},
        {u"a.b~c", true, u"a.b~c"},
        {u"x", true, u"x"},
        {u"", false, u""},
        {u".hidden", false, u"_hidden"},
        {u"~home", false, u"_home"},
        {u" lead", false, u"_lead"},
        {u"/root", false, u"_root"},
        {u"\tTab", false, u"_Tab"},
        {u"trail ", false, u"trail_"},
        {u"two  ", false, u"two _"},
        {u"a/b", false, u"a_b"},
        {u"a\\b", false, u"a_b"},
        {u"a#b", false, u"a_b"},
        {u"say \"hi\"", false, u"say 'hi'"},
        {u"line\nbreak", false, u"line_break"},
        {u"\"quoted\"", false, u"'quoted'"},
        {u"#1", false, u"_1"},
        {u"\\share", false, u"_share"},
        {u".", false, u"_"},
        {u" ", false, u"_"},
        // Only names that need fixing lose the storage suffix.
        {u"Archive.mbox", true, u"Archive.mbox"},
        {u".Archive.MBOX", false, u"_Archive-MBOX"},
        {u"a/b.mdir", false, u"a_b-mdir"},
        {u"#.mslc", false, u"_-mslc"},
        {u".mbox", false, u"_mbox"},
        {u"#mbox", false, u"_mbox"},
        {u"x.mboxy/", false, u"x.mboxy_"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(IsValidFolderName(c.name), c.valid) << Narrow(c.name);
        if (c.valid)
            continue;
        std::u16string fixed = c.name;
        FixFolderName(fixed);
        EXPECT_EQ(fixed, c.fixed) << Narrow(c.name);
        EXPECT_EQ(IsValidFolderName(fixed), !fixed.empty()) << Narrow(c.name);
    }
}

TEST(FolderName, FixOfEveryControlCharacterGivesAValidName)
{
    for (char16_t c = 0; c < 0x20; ++c) {
        std::u16string name = std::u16string(1, c) + u"x" + std::u16string(1, c);
        FixFolderName(name);
        EXPECT_EQ(name, u"_x_") << static_cast<int>(c);
        EXPECT_TRUE(IsValidFolderName(name));
    }
}

TEST(ImapUtf7, EncodesByExample)
{
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {u"", ""},
        {u"INBOX", "INBOX"},
        {u"Entwürfe", "Entw&APw-rfe"},
        {u"Gelöschte Objekte", "Gel&APY-schte Objekte"},
        {u"~peter/mail/台北/日本語", "~peter/mail/&U,BTFw-/&ZeVnLIqe-"},
        {u"Tom & Jerry", "Tom &- Jerry"},
        {u"&", "&-"},
        {u"Ünïcödé ✓", "&ANw-n&AO8-c&APY-d&AOk- &JxM-"},
        {u"\t", "&AAk-"},
        {u"\x7F", "&AH8-"},
        // Characters beyond the BMP travel as their surrogate pair.
        {u"😀", "&2D3eAA-"},
        {u"a😀b", "a&2D3eAA-b"},
        // An unpaired surrogate makes the name malformed.
        {u"a\xD800" u"b", "-BAD-a&2AA-b"},
        {u"x\xDC00", "-BAD-x&3AA-"},
        {u"\xDE00\xD83D", "-BAD-&3gDYPQ-"},
    };
    for (const auto& [name, encoded] : cases)
        EXPECT_EQ(EncodeImapName(name), encoded) << encoded;
}

TEST(ImapUtf7, CutsAtACharacterBoundaryWithinTheLimit)
{
    std::string run;
    for (int i = 0; i < 127; ++i)
        run += "APwA,AD8";
    const std::string umlauts = "&" + run + "APwA,A-";
    const std::vector<std::pair<std::u16string, std::string>> cases = {
        {std::u16string(2000, u'a'), std::string(1025, 'a')},
        {std::u16string(1020, u'a') + u"ü", std::string(1020, 'a') + "&APw-"},
        {std::u16string(1021, u'a') + u"ü", std::string(1021, 'a')},
        {std::u16string(1017, u'a') + u"😀", std::string(1017, 'a') + "&2D3eAA-"},
        {std::u16string(1018, u'a') + u"😀", std::string(1018, 'a')},
        {std::u16string(1023, u'a') + u"&", std::string(1025, 'a').substr(0, 1023) + "&-"},
        {std::u16string(1024, u'a') + u"&", std::string(1024, 'a')},
        {std::u16string(600, u'ü'), umlauts},
    };
    for (const auto& [name, encoded] : cases) {
        const std::string result = EncodeImapName(name);
        EXPECT_EQ(result, encoded);
        EXPECT_LE(result.size(), kMaximumImapNameLength);
    }
    EXPECT_EQ(umlauts.size(), 1024u);
}

} // namespace
} // namespace ex2qln::imap
