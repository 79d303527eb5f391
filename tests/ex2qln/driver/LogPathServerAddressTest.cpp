// The log path rules and the --server text.
#include "ex2qln/driver/ExitStatus.h"
#include "ex2qln/driver/LogPath.h"
#include "ex2qln/driver/ServerAddress.h"

#include <gtest/gtest.h>

using namespace ex2qln::driver;

namespace {

TEST(LogPath, Locations)
{
    struct Case {
        bool localLog;
        std::optional<std::string> accounts;
        std::string name;
        bool local;
    };
    const Case cases[] = {
        {false, "users.csv", "ex2qln.log", false},
        {false, std::nullopt, "ex2qln.log", false},
        {true, std::nullopt, "/start/ex2qln.log", true},
        {true, "users.csv", "/start/users.log", true},
        {true, "/data/users.csv", "/data/users.log", true},
        {true, "sub/dir/users", "/start/sub/dir/users.log", true},
        {true, "dir.d/users", "/start/dir.d/users.log", true},  // the dot lies before the last "/"
        {true, ".hidden", "/start/.hidden.log", true},          // a leading dot starts no extension
        {true, "a.b.csv", "/start/a.b.log", true},
        {true, "", "/start/ex2qln.log", true},
        {true, ".", "/start/..log", true},
    };
    for (const Case& c : cases) {
        LogLocation location = ChooseLogLocation(c.localLog, c.accounts, "/start");
        EXPECT_EQ(location.name, c.name) << c.accounts.value_or("(none)");
        EXPECT_EQ(location.local, c.local);
    }
}

TEST(ServerAddress, HostAndPorts)
{
    struct Case {
        std::string text;
        std::string host;
        std::int32_t imap;
        std::int32_t cli;
    };
    const Case cases[] = {
        {"host", "host", 143, 106},
        {"host:1143", "host", 1143, 106},
        {"host:1143:2106", "host", 1143, 2106},
        {"host::2106", "host", 0, 2106},
        {"host:", "host", 0, 106},
        {"host: +25x:7", "host", 25, 106},  // the character after the number is not ":"
        {"host:-5:-6", "host", -5, -6},
        {"host:99999999999", "host", INT32_MAX, 106},
        {":143", "", 143, 106},
        {"h:1:2:3", "h", 1, 2},
    };
    for (const Case& c : cases) {
        ServerAddress address = ParseServerAddress(c.text);
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.imapPort, c.imap) << c.text;
        EXPECT_EQ(address.cliPort, c.cli) << c.text;
    }
}

TEST(ExitStatus, NonZeroStatusNeverExitsZero)
{
    const std::pair<std::uint32_t, int> cases[] = {
        {0, 0}, {1, 1}, {0x80004005u, 5}, {0x80040115u, 0x15}, {0x80040100u, 255}, {0x80000000u, 255},
    };
    for (const auto& [status, code] : cases)
        EXPECT_EQ(ProcessExitCode(static_cast<HRESULT>(status)), code) << std::hex << status;
}

} // namespace
