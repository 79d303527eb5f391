// The password-dump reader: finding a user's line and its NT hash.
#include "ex2qln/inputs/MappedPwd.h"

#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <mapicode.h>

#include <string>

namespace ex2qln::inputs {
namespace {

struct PwdCase {
    const char* name;
    std::string contents;
    std::string account;
    HRESULT status;
    std::string hash;
    std::size_t line = 0;  // of a hash too long
};

TEST(MappedPwd, FindsTheNtHash)
{
    const std::string dump =
        "Administrator:500:AAD3B435B51404EEAAD3B435B51404EE:31D6CFE0D16AE931B73C59D7E0C089C0:::\r\n"
        "user1:1001:LMHASH1:NTHASH1:::\r\n"
        "user10:1002:LMHASH10:NTHASH10:::\r\n";
    const PwdCase cases[] = {
        {"first line", dump, "Administrator", S_OK, "31D6CFE0D16AE931B73C59D7E0C089C0"},
        {"name that is the start of another", dump, "user1", S_OK, "NTHASH1"},
        {"longer name", dump, "user10", S_OK, "NTHASH10"},
        {"names compare with case", dump, "User1", MAPI_E_NOT_FOUND, ""},
        {"missing user", dump, "user2", MAPI_E_NOT_FOUND, ""},
        {"empty name", dump, "", MAPI_E_NOT_FOUND, ""},
        {"LF line ends and blank lines", "a:1:L:NA\n\n\nb:2:L:NB\n", "b", S_OK, "NB"},
        {"CR line ends", "a:1:L:NA\rb:2:L:NB\r", "b", S_OK, "NB"},
        {"last line without a line end", "a:1:L:NA\nb:2:L:NB", "b", S_OK, "NB"},
        {"hash at the end of the file", "b:2:L:NB", "b", S_OK, "NB"},
        {"no fields after the hash", "b:2:L:NB\nc:3:L:NC", "b", S_OK, "NB"},
        {"empty hash", "b:2:L::\n", "b", S_OK, ""},
        {"line ends before the hash", "b:2:L\nc:3:L:NC\n", "b", S_OK, ""},
        {"name alone", "b\n", "b", MAPI_E_NOT_FOUND, ""},
        {"name and colon at the end", "b:", "b", S_OK, ""},
        {"escaped colon in the fields", "b:2\\:x:L\\:M:N\\:T:\n", "b", S_OK, "N:T"},
        {"escaped backslash and quote", "b:2:L:N\\\\\\\"T\n", "b", S_OK, "N\\\\\\\"T"},
        {"backslash before the line end", "b:2:L:NT\\\nc:3:L:NC\n", "b", S_OK, "NT"},
        {"backslash at the end of the file", "b:2:L:NT\\", "b", S_OK, "NT"},
        {"control character", std::string("b:2:L:N\x02T\n"), "b", S_OK, "N\\002T"},
        {"empty file", "", "b", MAPI_E_NOT_FOUND, ""},
        {"longest hash", "b:2:L:" + std::string(CMappedPwd::kMaximumHashLength, 'N') + ":x\n", "b", S_OK,
         std::string(CMappedPwd::kMaximumHashLength, 'N')},
        {"hash too long, on the line counted with every kind of line end",
         "a:1:L:NA\r\n\nc:3\rb:2:L:" + std::string(CMappedPwd::kMaximumHashLength, 'N') + "\\:\n", "b",
         MAPI_E_TOO_BIG, "", 4},
        {"lines of megabytes passed on the way", "a:1:" + std::string(3 << 20, 'L') + ":NA\nb:2:L:NB\n", "b", S_OK,
         "NB"},
        {"hash of megabytes", "b:2:L:" + std::string(3 << 20, 'N') + "\n", "b", MAPI_E_TOO_BIG, "", 1},
    };
    testsupport::TemporaryDirectory directory;
    int count = 0;
    for (const PwdCase& test : cases) {
        SCOPED_TRACE(test.name);
        const std::string path = directory.File("dump" + std::to_string(++count));
        testsupport::WriteFile(path, test.contents);
        CMappedPwd dump;
        ASSERT_EQ(dump.Open(path), S_OK);
        std::string hash = "stale";
        std::size_t line = 99;
        EXPECT_EQ(dump.FindNtHash(test.account, hash, line), test.status);
        EXPECT_EQ(hash, test.hash);
        EXPECT_EQ(line, test.line);
    }
}

} // namespace
} // namespace ex2qln::inputs
