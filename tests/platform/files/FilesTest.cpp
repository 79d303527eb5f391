// The temporary and configuration directories and read-only input mappings.
#include "platform/files/ConfigDirectory.h"
#include "platform/files/ReadOnlyMapping.h"
#include "platform/files/TempDirectory.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace platform {
namespace {

using testsupport::ScopedEnvironment;
using testsupport::TemporaryDirectory;

TEST(TempDirectoryTest, FromTmpdirAlwaysEndingInASlash)
{
    struct Case {
        std::optional<std::string> tmpdir;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "/tmp/"}, {"", "/tmp/"}, {"/var/tmp", "/var/tmp/"}, {"/var/tmp/", "/var/tmp/"}, {"/", "/"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment tmpdir("TMPDIR", c.tmpdir);
        EXPECT_EQ(TempDirectory(), c.expected) << c.tmpdir.value_or("(unset)");
    }
}

TEST(ConfigDirectoryTest, UserDirectoryFollowsXdgRules)
{
    struct Case {
        std::optional<std::string> configHome;
        std::optional<std::string> home;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/xdg", "/home/a", "/xdg/ex2qln/"},
        {"/xdg/", "/home/a", "/xdg/ex2qln/"},
        {"relative/ignored", "/home/a", "/home/a/.config/ex2qln/"},
        {std::nullopt, "/home/a/", "/home/a/.config/ex2qln/"},
        {"", "/home/b", "/home/b/.config/ex2qln/"},
    };
    for (const Case& c : cases) {
        ScopedEnvironment configHome("XDG_CONFIG_HOME", c.configHome);
        ScopedEnvironment home("HOME", c.home);
        EXPECT_EQ(UserConfigDirectory(), c.expected);
    }
    EXPECT_EQ(MachineConfigDirectory(), "/etc/ex2qln/");
}

TEST(ReadOnlyMappingTest, MapsOrReadsWholeFilesAndRefusesOthers)
{
    TemporaryDirectory directory;
    ASSERT_FALSE(directory.Path().empty());
    std::string fifo = directory.File("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path;
        HRESULT status;
        std::string content;
    };
    const std::vector<Case> cases = {
        {directory.Write("text", std::string("line\r\n\0binary\xFF", 13)), S_OK, std::string("line\r\n\0binary\xFF", 13)},
        {directory.Write("empty", ""), S_OK, ""},
        {directory.File("missing"), HResultFromErrno(ENOENT), ""},
        {directory.Path(), HResultFromErrno(EISDIR), ""},
        {fifo, HResultFromErrno(EINVAL), ""},
    };
    for (const Case& c : cases) {
        ReadOnlyMapping mapping;
        EXPECT_EQ(mapping.Open(c.path), c.status) << c.path;
        EXPECT_EQ(std::string(mapping.Bytes().data(), mapping.Bytes().size()), c.content) << c.path;
        std::vector<std::uint8_t> bytes(3, 'x');
        EXPECT_EQ(ReadWholeFile(c.path, bytes), c.status) << c.path;
        EXPECT_EQ(std::string(bytes.begin(), bytes.end()), c.content) << c.path;
    }
}

TEST(ReadOnlyMappingTest, MovingHandsOverTheMapping)
{
    TemporaryDirectory directory;
    ASSERT_FALSE(directory.Path().empty());
    ReadOnlyMapping first;
    ASSERT_EQ(first.Open(directory.Write("a", "first file")), S_OK);
    ReadOnlyMapping second(std::move(first));
    EXPECT_TRUE(first.Bytes().empty());
    EXPECT_EQ(std::string(second.Bytes().data(), second.Bytes().size()), "first file");

    ReadOnlyMapping third;
    ASSERT_EQ(third.Open(directory.Write("b", "second")), S_OK);
    third = std::move(second);
    EXPECT_EQ(std::string(third.Bytes().data(), third.Bytes().size()), "first file");
    // A failed reopen leaves nothing mapped.
    EXPECT_NE(third.Open(directory.File("missing")), S_OK);
    EXPECT_TRUE(third.Bytes().empty());
}

} // namespace
} // namespace platform
