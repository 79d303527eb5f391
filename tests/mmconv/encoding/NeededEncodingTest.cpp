// When header text must become encoded words: narrow, wide and stream forms.
#include <gtest/gtest.h>

#include <string>

#include "mmconv/encoding/NeededEncoding.h"

namespace mmconv {
namespace {

TEST(NeededEncoding, NarrowText)
{
    struct Case {
        std::string text;
        bool needed;
    };
    const Case cases[] = {
        {"", false},
        {"Plain printable subject ~!@#$%^&*()", false},
        {" ", false},
        {"tab\there", true},
        {"line\r\nbreak", true},
        {"a\x1F", true},
        {"del\x7F", true},
        {"M\xC3\xBCller", true},
        {"\x80", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNeededEncoding(c.text), c.needed) << c.text;
}

TEST(NeededEncoding, WideText)
{
    struct Case {
        std::u16string text;
        bool needed;
    };
    const Case cases[] = {
        {u"", false},
        {u"Plain ~", false},
        {u"tab\there", true},
        {u"\x7F", true},
        {u"M\u00fcller", true},
        {u"\u65e5", true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsNeededEncodingW(c.text), c.needed);
}

// A source that fails on its second read.
class FailingSource final : public ByteSource {
public:
    HRESULT Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead) override
    {
        if (reads_++ > 0)
            return E_FAIL;
        std::fill(buffer.begin(), buffer.end(), 'a');
        bytesRead = buffer.size();
        return S_OK;
    }

private:
    int reads_ = 0;
};

TEST(NeededEncoding, StreamIsTestedChunkByChunkUpToEachChunksFirstZero)
{
    struct Case {
        const char* label;
        std::string data;
        bool needed;
    };
    const std::string chunk(2048, 'a');
    const Case cases[] = {
        {"empty", "", false},
        {"plain", chunk + chunk + "tail", false},
        {"non-ASCII in the second chunk", chunk + "\xE9", true},
        {"after a zero in the same chunk", std::string("ab\0\xE9", 4), false},
        {"after a zero in an earlier chunk", std::string("ab\0", 3) + std::string(2045, 'a') + "\xE9",
            true},
        {"zero then non-ASCII within the last chunk", chunk + std::string("a\0\x80", 3), false},
    };
    for (const Case& c : cases) {
        MemorySource source(c.data);
        bool needed = !c.needed;
        ASSERT_EQ(IsNeededEncoding(source, needed), S_OK) << c.label;
        EXPECT_EQ(needed, c.needed) << c.label;
    }
    FailingSource failing;
    bool needed = true;
    EXPECT_EQ(IsNeededEncoding(failing, needed), E_FAIL);
}

} // namespace
} // namespace mmconv
