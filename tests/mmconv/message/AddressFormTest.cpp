// The readers and writers of address forms: addr-spec syntax, display names that are addresses,
// names with their addresses, one-off entry identifiers and flat entry lists.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "mmconv/encoding/MMLang.h"
#include "mmconv/message/AddressForm.h"
#include "mmconv/message/EntryIdForms.h"

namespace mmconv {
namespace {

TEST(AddressForm, IsAddrSpec)
{
    struct Case {
        std::u16string text;
        bool valid;
    };
    const Case cases[] = {
        {u"anna@example.com", true},
        {u"first.last+tag@mail.example.co.uk", true},
        {u"\"first last\"@example.com", true},
        {u"anna@[192.0.2.1]", true},
        {u"a@b@example.com", false},  // the local part would be a@b
        {u"anna", false},
        {u"@example.com", false},
        {u"anna@", false},
        {u".anna@example.com", false},
        {u"an..na@example.com", false},
        {u"an na@example.com", false},
        {u"anna@exa mple.com", false},
        {u"m\u00fcller@example.com", false},
        {u"\"open@example.com", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(IsAddrSpec(c.text), c.valid) << std::string(c.text.begin(), c.text.end());
}

TEST(AddressForm, ParseMailbox)
{
    struct Case {
        std::u16string text;
        std::optional<ParsedMailbox> parsed;
    };
    const Case cases[] = {
        {u"anna@example.com", ParsedMailbox{u"", u"anna@example.com"}},
        {u"  <anna@example.com> ", ParsedMailbox{u"", u"anna@example.com"}},
        {u"Anna Example <anna@example.com>", ParsedMailbox{u"Anna Example", u"anna@example.com"}},
        {u"\"Example, Anna\" <anna@example.com>", ParsedMailbox{u"Example, Anna", u"anna@example.com"}},
        {u"\"Say \\\"hi\\\"\" <a@example.com>", ParsedMailbox{u"Say \"hi\"", u"a@example.com"}},
        {u"Anna Example", std::nullopt},
        {u"Anna <not an address>", std::nullopt},
        {u"<a@example.com> <b@example.com>", std::nullopt},
        {u"", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<ParsedMailbox> parsed = ParseMailbox(c.text);
        ASSERT_EQ(parsed.has_value(), c.parsed.has_value()) << std::string(c.text.begin(), c.text.end());
        if (parsed) {
            EXPECT_EQ(parsed->phrase, c.parsed->phrase);
            EXPECT_EQ(parsed->address, c.parsed->address);
        }
    }
}

TEST(AddressForm, EncodeRecepientName)
{
    const CMMLang lang(1252);
    const HeaderText text(lang, 65001);
    EXPECT_EQ(EncodeRecepientName(text, u"Doe, John", "john@example.com", true), "\"Doe, John\" <john@example.com>");
    EXPECT_EQ(EncodeRecepientName(text, u"M\u00fcller", "m@example.com", true), "=?utf-8?B?TcO8bGxlcg==?= <m@example.com>");
    EXPECT_EQ(EncodeRecepientName(text, u"", "x@example.com", true), "<x@example.com>");
    EXPECT_EQ(EncodeRecepientName(text, u"Named", "x@example.com", false), "x@example.com");
    EXPECT_EQ(EmptyGroup(text, u"Team @ Home"), "\"Team @ Home\": ;");
    EXPECT_EQ(EmptyGroup(text, u"J\u00FCrgen"), "=?utf-8?B?SsO8cmdlbg==?= : ;");
}

std::vector<std::uint8_t> Bytes(const std::string& text)
{
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

const std::string kOneOffHeader =
    std::string(4, '\0') + std::string("\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02", 16) +
    std::string(2, '\0');

std::string Utf16Z(const std::u16string& text)
{
    std::string bytes;
    for (char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes + std::string(2, '\0');
}

TEST(EntryIdForms, OneOffEntryIdentifiers)
{
    struct Case {
        const char* label;
        std::string bytes;
        std::optional<OneOffEntry> entry;
    };
    const std::string unicode = kOneOffHeader + std::string("\x00\x80", 2) + Utf16Z(u"Z\u00fcrich Desk") + Utf16Z(u"SMTP") +
                                Utf16Z(u"desk@example.com");
    const std::string ansi = kOneOffHeader + std::string("\x00\x00", 2) + "Z\xFCrich" + std::string(1, '\0') + "SMTP" +
                             std::string(1, '\0') + "z@example.com" + std::string(1, '\0');
    const Case cases[] = {
        {"Unicode strings", unicode, OneOffEntry{u"Z\u00fcrich Desk", u"SMTP", u"desk@example.com"}},
        {"8-bit strings in the code page", ansi, OneOffEntry{u"Z\u00fcrich", u"SMTP", u"z@example.com"}},
        {"another provider", std::string(4, '\0') + std::string(16, '\x11') + std::string(4, '\0') + "a\0b\0c\0", std::nullopt},
        {"non-zero flags", std::string(1, '\x01') + unicode.substr(1), std::nullopt},
        {"header only", kOneOffHeader + std::string(2, '\0'), std::nullopt},
        {"a string runs past the end", unicode.substr(0, unicode.size() - 3), std::nullopt},
        {"an odd byte at the end of a Unicode string", kOneOffHeader + std::string("\x00\x80", 2) + "A", std::nullopt},
        {"too short for the header", kOneOffHeader.substr(0, 10), std::nullopt},
        {"empty", "", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<OneOffEntry> entry = ParseOneOffEntryId(Bytes(c.bytes), 1252);
        ASSERT_EQ(entry.has_value(), c.entry.has_value()) << c.label;
        if (entry) {
            EXPECT_EQ(entry->displayName, c.entry->displayName) << c.label;
            EXPECT_EQ(entry->addressType, c.entry->addressType) << c.label;
            EXPECT_EQ(entry->address, c.entry->address) << c.label;
        }
    }
}

std::string U32(std::uint32_t value)
{
    std::string bytes;
    for (int i = 0; i < 4; ++i)
        bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

TEST(EntryIdForms, FlatEntryLists)
{
    struct Case {
        const char* label;
        std::string bytes;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"two entries, the first padded", U32(2) + U32(16) + U32(3) + "abc" + std::string(1, '\0') + U32(4) + "defg",
            {"abc", "defg"}},
        {"the last entry unpadded", U32(2) + U32(13) + U32(4) + "abcd" + U32(1) + "e", {"abcd", "e"}},
        {"a count larger than the entries", U32(5) + U32(8) + U32(4) + "abcd", {"abcd"}},
        {"an entry size past the end", U32(2) + U32(12) + U32(2) + "ab" + std::string(2, '\0') + U32(100) + "xy", {"ab"}},
        {"an empty entry", U32(1) + U32(4) + U32(0), {""}},
        {"shorter than its header", U32(1), {}},
        {"empty", "", {}},
    };
    for (const Case& c : cases) {
        const std::vector<std::uint8_t> bytes = Bytes(c.bytes);
        std::vector<std::string> entries;
        for (std::span<const std::uint8_t> entry : ParseFlatEntryList(bytes))
            entries.emplace_back(entry.begin(), entry.end());
        EXPECT_EQ(entries, c.entries) << c.label;
    }
}

} // namespace
} // namespace mmconv
