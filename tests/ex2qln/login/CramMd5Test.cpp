// CRAM-MD5 against the published test vectors of RFC 2195 and RFC 2202.
#include "ex2qln/login/CramMd5.h"

#include <gtest/gtest.h>

#include <string>

namespace ex2qln::login {
namespace {

TEST(CramMd5, AnswersTheRfc2195Example)
{
    Secret response;
    ASSERT_EQ(CramMd5Response("tim", "tanstaaftanstaaf", "PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+",
                              response),
              S_OK);
    EXPECT_EQ(response.View(), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

struct HmacCase {
    std::string key;
    std::string message;
    std::string digest;
};

TEST(CramMd5, ComputesHmacMd5)
{
    // RFC 2202, test cases 2, 6 and 7: the last two have keys longer than the 64-byte block.
    const HmacCase cases[] = {
        {"Jefe", "what do ya want for nothing?", "750c783e6ab0b503eaa86e310a5db738"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "6b1ab7fe4bd7bf8f0b62e6ce61b9d0cd"},
        {std::string(80, '\xaa'), "Test Using Larger Than Block-Size Key and Larger Than One Block-Size Data",
         "6f630fad67cda0ee1fb1f562db3aa53e"},
    };
    for (const HmacCase& test : cases) {
        SCOPED_TRACE(test.message);
        Secret digest;
        ASSERT_EQ(HmacMd5Hex(test.key, test.message, digest), S_OK);
        EXPECT_EQ(digest.View(), test.digest);
    }
}

TEST(CramMd5, RefusesChallengesThatAreEmptyNotBase64OrLongerThan135Bytes)
{
    struct Case {
        std::string challenge;
        std::string_view fault;
    };
    constexpr std::string_view kNotBase64 = "The server's CRAM-MD5 challenge is not Base64";
    // 135 decoded bytes are 180 Base64 characters; 138 bytes (184 characters) are too many.
    const Case cases[] = {
        {"PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+", ""},
        {"QUI=", ""},
        {"QUI", ""},
        {"QQ==", ""},
        {std::string(180, 'A'), ""},
        {"", "The server's CRAM-MD5 challenge is empty"},
        {"====", kNotBase64},
        {"\x1b[2J\x07", kNotBase64},
        {"PDE4 OTY=", kNotBase64},
        {"QUI=\r", kNotBase64},
        {"QU=I", kNotBase64},
        {"QUI==", kNotBase64},
        {"Q===", kNotBase64},
        {"QUJDR", kNotBase64},
        {"-_-_", kNotBase64},
        {std::string(184, 'A'), "The server's CRAM-MD5 challenge is longer than 135 bytes"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.challenge);
        EXPECT_EQ(CramMd5ChallengeFault(test.challenge), test.fault);
        Secret response;
        EXPECT_EQ(CramMd5Response("tim", "pw", test.challenge, response), test.fault.empty() ? S_OK : E_FAIL);
        EXPECT_EQ(response.View().empty(), !test.fault.empty());
    }
}

} // namespace
} // namespace ex2qln::login
