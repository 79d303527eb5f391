// The profile settings file: byte order of numbers, %username%, unset slots.
#include "ex2qln/mapi/ProfileSettingsFile.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

using namespace ex2qln::mapi;

namespace {

std::size_t IndexOf(std::uint32_t tag)
{
    for (std::size_t i = 0; i < kProfileTags.size(); ++i)
        if (kProfileTags[i] == tag)
            return i;
    return kProfileTags.size();
}

TEST(ProfileSettingsFile, MemoryOrderHex)
{
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"8f000000", 0x8F}, {"8f", 0x8F},       {"0000008f", 0x8F000000}, {"1", 1},
        {"6a00", 0x6A},     {"abc", 0xABC},     {"01020304", 0x04030201}, {"zz", 0},
        {"ffffffffff", 0xFFFFFFFF},
    };
    for (const auto& [text, number] : cases)
        EXPECT_EQ(ReadMemoryOrderHex(text), number) << text;
}

TEST(ProfileSettingsFile, OnlyHostLeavesFourteenSlotsUnset)
{
    testsupport::TemporaryDirectory directory;
    testsupport::WriteFile(directory.File("p.inf"), "[QLNGT_Section]\r\n6608001e=mail.example.com\r\n");
    ProfileEntries entries;
    EXPECT_EQ(ReadProfileSettings(directory.File("p.inf"), "alice", entries), 1u);
    EXPECT_EQ(entries[0].tag, 0x6608001Eu);
    EXPECT_EQ(entries[0].text, "mail.example.com");
    for (std::size_t i = 1; i < entries.size(); ++i)
        EXPECT_EQ(entries[i].tag, 0x00000001u) << i;
}

TEST(ProfileSettingsFile, ValuesByType)
{
    testsupport::TemporaryDirectory directory;
    testsupport::WriteFile(directory.File("p.inf"),
                           "[QLNGT_Section]\n"
                           "6607001e=%USERNAME%x\n"
                           "66a40003=8f000000\n"
                           "66a5000b=01000000\n"
                           "66a6000b=0\n"
                           "669b001e=\n"          // empty: unset
                           "00010003=5\n"         // the unused slot is never read
                           "[Other]\n669c001e=elsewhere\n");
    ProfileEntries entries;
    EXPECT_EQ(ReadProfileSettings(directory.File("p.inf"), "alice", entries), 4u);
    EXPECT_EQ(entries[IndexOf(0x6607001E)].text, "alicex");
    EXPECT_EQ(entries[IndexOf(0x66A40003)].number, 143u);
    EXPECT_EQ(entries[IndexOf(0x66A5000B)].number, 1u);
    EXPECT_EQ(entries[IndexOf(0x66A6000B)].tag, 0x66A6000Bu);
    EXPECT_EQ(entries[IndexOf(0x66A6000B)].number, 0u);
    EXPECT_EQ(entries[IndexOf(0x669B001E)].tag, 0x00000001u);
    EXPECT_EQ(entries[IndexOf(0x669C001E)].tag, 0x00000001u);
    EXPECT_EQ(entries[2].tag, 0x00000001u);
}

TEST(ProfileSettingsFile, AccountPrefixOnlyAtTheStartAndLongValuesAreCut)
{
    testsupport::TemporaryDirectory directory;
    std::string longHost(300, 'h');
    testsupport::WriteFile(directory.File("p.inf"),
                           "[QLNGT_Section]\n6607001e=x%username%\n6608001e=" + longHost + "\n");
    ProfileEntries entries;
    ASSERT_EQ(ReadProfileSettings(directory.File("p.inf"), "alice", entries), 2u);
    EXPECT_EQ(entries[IndexOf(0x6607001E)].text, "x%username%");
    EXPECT_EQ(entries[0].text, std::string(259, 'h'));
}

TEST(ProfileSettingsFile, TextReadsAsTheFileDoes)
{
    const std::string text = "[QLNGT_Section]\n6607001e=%username%\n66a40003=8f000000\n";
    testsupport::TemporaryDirectory directory;
    ProfileEntries fromFile;
    ProfileEntries fromText;
    ASSERT_EQ(ReadProfileSettings(directory.Write("p.inf", text), "alice", fromFile), 2u);
    ASSERT_EQ(ParseProfileSettings(text, "alice", fromText), 2u);
    for (std::size_t i = 0; i < fromFile.size(); ++i) {
        EXPECT_EQ(fromText[i].tag, fromFile[i].tag) << i;
        EXPECT_EQ(fromText[i].text, fromFile[i].text) << i;
        EXPECT_EQ(fromText[i].number, fromFile[i].number) << i;
    }
    EXPECT_EQ(fromText[IndexOf(0x6607001E)].text, "alice");
}

TEST(ProfileSettingsFile, MissingOrEmptyFileFindsNothing)
{
    testsupport::TemporaryDirectory directory;
    ProfileEntries entries;
    EXPECT_EQ(ReadProfileSettings(directory.File("absent.inf"), "alice", entries), 0u);
    testsupport::WriteFile(directory.File("empty.inf"), "");
    EXPECT_EQ(ReadProfileSettings(directory.File("empty.inf"), "alice", entries), 0u);
}

} // namespace
