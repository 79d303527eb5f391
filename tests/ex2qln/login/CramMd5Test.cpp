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

TEST(CramMd5, RefusesChallengesLongerThan135Bytes)
{
    // 135 decoded bytes are 180 Base64 characters; 138 bytes (184 characters) are too many.
    Secret response;
    EXPECT_EQ(CramMd5Response("tim", "pw", std::string(180, 'A'), response), S_OK);
    EXPECT_EQ(CramMd5Response("tim", "pw", std::string(184, 'A'), response), E_FAIL);
}

} // namespace
} // namespace ex2qln::login
