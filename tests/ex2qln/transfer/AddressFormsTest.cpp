// What the SMTP address pass writes for an address: search keys and one-off entry identifiers in
// both string forms, and which SMTP address a resolved entry has.
#include "ex2qln/transfer/AddressForms.h"

#include <mapitags.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ex2qln::transfer {
namespace {

std::vector<BYTE> Bytes(std::string_view text, bool withZero = true)
{
    std::vector<BYTE> bytes(text.begin(), text.end());
    if (withZero)
        bytes.push_back(0);
    return bytes;
}

std::vector<BYTE> Utf16Bytes(std::u16string_view text)
{
    std::vector<BYTE> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<BYTE>(unit & 0xFF));
        bytes.push_back(static_cast<BYTE>(unit >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

// The published one-off layout, spelt out: flags, the one-off UID, the version and format word.
std::vector<BYTE> OneOffHead(std::uint32_t flags)
{
    std::vector<BYTE> head = {0, 0, 0, 0, 0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                              0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
    for (int shift = 0; shift < 32; shift += 8)
        head.push_back(static_cast<BYTE>(flags >> shift));
    return head;
}

TEST(AddressForms, SearchKeyIsTypeColonAddressInCapitalsWithItsZero)
{
    EXPECT_EQ(SearchKey("SMTP", "ann.lee@Example.org"), Bytes("SMTP:ANN.LEE@EXAMPLE.ORG"));
    EXPECT_EQ(SearchKey(u"SMTP", u"ann.lee@Example.org"), Bytes("SMTP:ANN.LEE@EXAMPLE.ORG"));
    EXPECT_EQ(SearchKey(u"EX", u"/o=Demo/cn=jweiss"), Bytes("EX:/O=DEMO/CN=JWEISS"));
    // In a UTF-8 locale a letter beyond ASCII is upper-cased and written in UTF-8.
    EXPECT_EQ(SearchKey(u"SMTP", u"j\u00fcrgen@example.de"), Bytes("SMTP:J\xc3\x9cRGEN@EXAMPLE.DE"));
    EXPECT_EQ(SearchKey("", ""), Bytes(":"));
}

TEST(AddressForms, OneOffEntryIdentifierInBothForms)
{
    std::vector<BYTE> wide = OneOffHead(0x80000000u);
    for (const auto& part : {Utf16Bytes(u"J\u00fcrgen Wei\u00df"), Utf16Bytes(u"SMTP"), Utf16Bytes(u"jw@example.de")})
        wide.insert(wide.end(), part.begin(), part.end());
    const std::vector<BYTE> builtWide = OneOffEntryId(u"J\u00fcrgen Wei\u00df", u"SMTP", u"jw@example.de");
    EXPECT_EQ(builtWide, wide);
    // 30 bytes and twice the three text lengths.
    EXPECT_EQ(builtWide.size(), 30u + 2 * (11 + 4 + 13));

    std::vector<BYTE> narrow = OneOffHead(0);
    for (const auto& part : {Bytes("Ann Lee"), Bytes("SMTP"), Bytes("ann@example.org")})
        narrow.insert(narrow.end(), part.begin(), part.end());
    EXPECT_EQ(OneOffEntryId("Ann Lee", "SMTP", "ann@example.org"), narrow);
}

SPropValue Text(ULONG tag, const char* text)
{
    SPropValue value{};
    value.ulPropTag = tag;
    value.Value.lpszA = const_cast<char*>(text);
    return value;
}

SPropValue Missing(ULONG tag)
{
    SPropValue value{};
    value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
    value.Value.err = MAPI_E_NOT_FOUND;
    return value;
}

TEST(AddressForms, SmtpAddressOfAResolvedEntry)
{
    struct Case {
        const char* name;
        std::vector<SPropValue> values;  // the six resolution columns
        const char* smtp;                // null: none
    };
    const SPropValue name = Text(PR_DISPLAY_NAME_A, "Ann Lee");
    const SPropValue key = Missing(PR_SEARCH_KEY);
    const SPropValue id = Missing(PR_ENTRYID);
    const std::vector<Case> cases = {
        {"an SMTP entry gives its address",
         {name, Text(PR_ADDRTYPE_A, "SMTP"), Text(PR_EMAIL_ADDRESS_A, "ann@example.org"), key, id,
          Text(PR_SMTP_ADDRESS_A, "other@example.org")},
         "ann@example.org"},
        {"an Exchange entry gives its SMTP address",
         {name, Text(PR_ADDRTYPE_A, "EX"), Text(PR_EMAIL_ADDRESS_A, "/o=Org/cn=ann"), key, id,
          Text(PR_SMTP_ADDRESS_A, "ann@example.org")},
         "ann@example.org"},
        {"the address type is compared exactly",
         {name, Text(PR_ADDRTYPE_A, "smtp"), Text(PR_EMAIL_ADDRESS_A, "lower@example.org"), key, id,
          Text(PR_SMTP_ADDRESS_A, "ann@example.org")},
         "ann@example.org"},
        {"an SMTP entry without an address falls back",
         {name, Text(PR_ADDRTYPE_A, "SMTP"), Missing(PR_EMAIL_ADDRESS_A), key, id, Text(PR_SMTP_ADDRESS_A, "ann@x.org")},
         "ann@x.org"},
        {"neither", {name, Text(PR_ADDRTYPE_A, "X400"), Text(PR_EMAIL_ADDRESS_A, "c=us"), key, id, Missing(PR_SMTP_ADDRESS_A)},
         nullptr},
        {"an empty SMTP address is none",
         {name, Text(PR_ADDRTYPE_A, "EX"), Text(PR_EMAIL_ADDRESS_A, "/o=Org/cn=x"), key, id, Text(PR_SMTP_ADDRESS_A, "")},
         nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SPropValue* smtp = SmtpAddressOf<AnsiStrings>(c.values.data(), static_cast<ULONG>(c.values.size()));
        if (c.smtp == nullptr) {
            EXPECT_EQ(smtp, nullptr);
        } else {
            ASSERT_NE(smtp, nullptr);
            EXPECT_STREQ(smtp->Value.lpszA, c.smtp);
        }
        // The UTF-16 form looks at the UTF-16 columns, which these values are not.
        EXPECT_EQ(SmtpAddressOf<WideStrings>(c.values.data(), static_cast<ULONG>(c.values.size())), nullptr);
    }
}

} // namespace
} // namespace ex2qln::transfer
