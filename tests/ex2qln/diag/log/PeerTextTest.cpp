// Peer text made safe to show: which bytes are escaped, and the length limit that keeps escapes whole.
#include "ex2qln/diag/PeerText.h"

#include <gtest/gtest.h>

#include <string>

namespace ex2qln::diag {
namespace {

TEST(PeerText, EscapesControlCharactersOnly)
{
    struct Case {
        const char* name;
        std::string text;
        std::size_t maximumLength;
        std::string shown;
    };
    const std::size_t all = std::string::npos;
    const Case cases[] = {
        {"plain text and UTF-8 stand as they are", "Gr\xc3\xbc\xc3\x9f" "e \\ \"ok\" \xe2\x82\xac", all,
         "Gr\xc3\xbc\xc3\x9f" "e \\ \"ok\" \xe2\x82\xac"},
        {"C0 controls and DEL", std::string("\x1b[2J\a\r\n\t\0\x7f", 10), all, "\\027[2J\\007\\013\\010\\009\\000\\127"},
        {"C1 controls in UTF-8", "a\xc2\x9b" "31mb\xc2\x80\xc2\x9f\xc2\xa0", all,
         "a\\194\\155" "31mb\\194\\128\\194\\159\xc2\xa0"},
        {"bytes that are no UTF-8 C1 control", "\x9b\xc2", all, "\x9b\xc2"},
        {"an escape that would cross the limit is left out", "ab\x1b" "c", 5, "ab"},
        {"an escape that just fits", "ab\x1b" "c", 6, "ab\\027"},
        {"a C1 control needs both escapes", "ab\xc2\x9b", 9, "ab"},
        {"text cut at the limit", "abcdef", 4, "abcd"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        EXPECT_EQ(EscapeControlCharacters(test.text, test.maximumLength), test.shown);
    }
}

} // namespace
} // namespace ex2qln::diag
