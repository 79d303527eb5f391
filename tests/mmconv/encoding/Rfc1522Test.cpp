// Encoded words: the width rule, the UTF-8 no-split rule, the one-word rule for other multi-byte code
// pages, the charset fallback, and folded Base64 header values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mmconv/encoding/Base64.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/Rfc1522.h"
#include "mmconv/encoding/Utf8.h"

namespace mmconv {
namespace {

const std::string kA45 = "YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFh";
const std::string kA44 = "YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWE=";
const std::string kA43 = "YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYQ==";
const std::string kA42 = "YWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFhYWFh";

std::vector<std::string> SplitWords(const std::string& encoded)
{
    std::vector<std::string> words;
    std::size_t start = 0;
    for (;;) {
        const std::size_t fold = encoded.find("\r\n ", start);
        words.push_back(encoded.substr(start, fold - start));
        if (fold == std::string::npos)
            return words;
        start = fold + 3;
    }
}

TEST(EncodedWords, LayoutByteForByte)
{
    struct Case {
        const char* label;
        std::string bytes;
        const char* charset;
        unsigned codePage;
        unsigned maxCharSize;
        std::string expected;
    };
    const Case cases[] = {
        {"empty", "", "utf-8", 65001, 4, ""},
        {"short", "Hello", "utf-8", 65001, 4, "=?utf-8?B?SGVsbG8=?="},
        {"exactly one word", std::string(45, 'a'), "utf-8", 65001, 4, "=?utf-8?B?" + kA45 + "?="},
        {"one byte more", std::string(46, 'a'), "utf-8", 65001, 4,
            "=?utf-8?B?" + kA45 + "?=\r\n =?utf-8?B?YQ==?="},
        {"two-byte character on the border", std::string(44, 'a') + "\xC3\xA9", "utf-8", 65001, 4,
            "=?utf-8?B?" + kA44 + "?=\r\n =?utf-8?B?w6k=?="},
        {"three-byte character on the border", std::string(43, 'a') + "\xE2\x82\xAC", "utf-8", 65001,
            4, "=?utf-8?B?" + kA43 + "?=\r\n =?utf-8?B?4oKs?="},
        {"four-byte character on the border", std::string(42, 'a') + "\xF0\x9F\x98\x80", "utf-8",
            65001, 4, "=?utf-8?B?" + kA42 + "?=\r\n =?utf-8?B?8J+YgA==?="},
        {"single-byte code page split at the width alone", std::string(50, '\xE9'), "iso-8859-1",
            28591, 1,
            "=?iso-8859-1?B?6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp6enp?=\r\n"
            " =?iso-8859-1?B?6enp6enp6ek=?="},
        {"double-byte code page never split", [] {
             std::string s;
             for (int i = 0; i < 60; ++i)
                 s += "\x93\xFA";
             return s;
         }(),
            "shift_jis", 932, 2,
            [] {
                std::string s = "=?shift_jis?B?";
                for (int i = 0; i < 20; ++i)
                    s += "k/qT+pP6";
                return s + "?=";
            }()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodedWords(c.bytes, c.charset, c.codePage, c.maxCharSize), c.expected)
            << c.label;
}

TEST(EncodedWords, LongUtf8TextSplitsOnlyBetweenCharactersWithinTheWidth)
{
    std::string text;
    for (int i = 0; i < 40; ++i)
        text += "x\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";  // 1, 2, 3 and 4 bytes
    const std::vector<std::string> words = SplitWords(EncodedWords(text, "utf-8", 65001, 4));
    ASSERT_GT(words.size(), 4u);
    std::string joined;
    for (const std::string& word : words) {
        ASSERT_EQ(word.rfind("=?utf-8?B?", 0), 0u) << word;
        ASSERT_EQ(word.substr(word.size() - 2), "?=");
        EXPECT_LE(word.size(), 72u) << word;
        const std::string payload = word.substr(10, word.size() - 12);
        std::string decoded(payload.size(), '\0');
        decoded.resize(Base64Decode(payload, std::span(
            reinterpret_cast<std::uint8_t*>(decoded.data()), decoded.size())));
        // Each word on its own is whole UTF-8: nothing decodes to a replacement character.
        EXPECT_EQ(Utf8ToWide(decoded).find(u'\uFFFD'), std::u16string::npos) << word;
        joined += decoded;
    }
    EXPECT_EQ(joined, text);
}

TEST(EncodeRfc1522W, UsesTheMessageCharsetElseTheDefaultOne)
{
    struct Case {
        const char* label;
        std::optional<unsigned> messageCodePage;
        unsigned defaultAnsiPage;
        std::u16string text;
        std::string expected;
    };
    const Case cases[] = {
        {"utf-8", 65001, 1252, u"M\u00fcller", "=?utf-8?B?TcO8bGxlcg==?="},
        {"windows-1252", 1252, 65001, u"Gr\u00fc\u00dfe", "=?windows-1252?B?R3L832U=?="},
        {"koi8-r", 20866, 1252, u"\u043f\u0440\u0438\u0432\u0435\u0442", "=?koi8-r?B?0NLJ18XU?="},
        {"koi8-u announced for 21866", 21866, 1252, u"\u0491\u0430\u043d\u043e\u043a",
            "=?koi8-u?B?rcHOz8s=?="},
        {"no message code page", std::nullopt, 1252, u"Gr\u00fc\u00dfe",
            "=?windows-1252?B?R3L832U=?="},
        {"unknown message code page", 12345, 1252, u"Gr\u00fc\u00dfe",
            "=?windows-1252?B?R3L832U=?="},
        {"tab alone", 65001, 1252, u"\t", "=?utf-8?B?CQ==?="},
        {"empty", 65001, 1252, u"", ""},
    };
    for (const Case& c : cases) {
        std::string result = "stale";
        ASSERT_EQ(EncodeRfc1522W(CMMLang(c.defaultAnsiPage), c.messageCodePage, c.text, result),
            S_OK)
            << c.label;
        EXPECT_EQ(result, c.expected) << c.label;
    }
}

TEST(EncodeRfc1522W, FailsWhenNeitherCharsetCanBeNamed)
{
    std::string result;
    EXPECT_EQ(EncodeRfc1522W(CMMLang(12345), 54321, u"x\u00e9", result), E_FAIL);
    EXPECT_TRUE(result.empty());
}

TEST(EncodeRfc1522W, TextTheMessageCodePageCannotHoldGoesIntoUtf8)
{
    std::string result;
    ASSERT_EQ(EncodeRfc1522W(CMMLang(1252), 1252, u"Caf\u00e9 \u65e5\u672c", result), S_OK);
    EXPECT_EQ(result, "=?utf-8?B?Q2Fmw6kg5pel5pys?=");
}

// Each word of a long text in a multi-byte code page stays within 75 characters and decodes on its
// own (a stateful code page starts and ends each word in its initial state); together the words
// give the text back.
TEST(EncodeRfc1522W, MultiByteCodePagesSplitAtWholeCharacters)
{
    std::u16string text;
    for (int i = 0; i < 12; ++i)
        text += u"\u4f1a\u8b70\u306e\u8b70\u4e8b\u9332 ";
    struct Case {
        unsigned codePage;
        const char* charset;
    };
    for (const Case c : {Case{932, "shift_jis"}, Case{50220, "iso-2022-jp"}, Case{936, "gb2312"}}) {
        std::string result;
        ASSERT_EQ(EncodeRfc1522W(CMMLang(1252), c.codePage, text, result), S_OK) << c.charset;
        const std::vector<std::string> words = SplitWords(result);
        ASSERT_GT(words.size(), 1u) << c.charset;
        std::u16string decoded;
        const std::string prefix = "=?" + std::string(c.charset) + "?B?";
        for (const std::string& word : words) {
            EXPECT_LE(word.size(), 75u) << c.charset;
            ASSERT_TRUE(word.starts_with(prefix) && word.ends_with("?=")) << word;
            const std::string payload = word.substr(prefix.size(), word.size() - prefix.size() - 2);
            std::vector<std::uint8_t> bytes(payload.size());
            bytes.resize(Base64Decode(payload, bytes));
            std::u16string piece;
            ASSERT_EQ(Encoding2Unicode(std::string(bytes.begin(), bytes.end()), c.codePage, piece), S_OK);
            decoded += piece;
        }
        EXPECT_EQ(decoded, text) << c.charset;
    }
}

TEST(EncodeRfc1522, WidensFromTheDefaultAnsiCodePageFirst)
{
    std::string result;
    ASSERT_EQ(EncodeRfc1522(CMMLang(1252), 65001, "M\xFCller", result), S_OK);
    EXPECT_EQ(result, "=?utf-8?B?TcO8bGxlcg==?=");
}

TEST(GetRfc1522EncodedString, EncodesOnlyWhatNeedsIt)
{
    struct Case {
        std::u16string text;
        std::string expected;
    };
    const Case cases[] = {
        {u"Plain printable subject", "Plain printable subject"},
        {u"Tab\there", "=?utf-8?B?VGFiCWhlcmU=?="},
        {u"M\u00fcller", "=?utf-8?B?TcO8bGxlcg==?="},
        {u"", ""},
    };
    for (const Case& c : cases) {
        std::string result;
        ASSERT_EQ(GetRfc1522EncodedString(CMMLang(1252), 65001, c.text, result), S_OK);
        EXPECT_EQ(result, c.expected);
    }
}

TEST(Binary2Rfc1522, FoldsEvery75Characters)
{
    std::vector<std::uint8_t> bytes(100);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i);
    const std::string plain =
        "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4OTo7PD0+P0BBQk"
        "NERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiYw==";
    std::string result;
    ASSERT_EQ(Binary2Rfc1522(bytes, false, result), S_OK);
    EXPECT_EQ(result, plain);
    ASSERT_EQ(Binary2Rfc1522(bytes, true, result), S_OK);
    EXPECT_EQ(result, plain.substr(0, 75) + "\r\n " + plain.substr(75));
    ASSERT_EQ(Binary2Rfc1522({}, true, result), S_OK);
    EXPECT_EQ(result, "");
}

} // namespace
} // namespace mmconv
