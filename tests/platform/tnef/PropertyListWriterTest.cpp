// The TNEF byte layout, byte for byte: attributes with checksums and the encoded property values.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/tnef/PropertyListWriter.h"
#include "platform/tnef/TnefWriter.h"

namespace {

using platform::tnef::PropertyListWriter;
using platform::tnef::PropertyName;
using Bytes = std::vector<std::uint8_t>;

SPropValue Value(ULONG tag)
{
    SPropValue value{};
    value.ulPropTag = tag;
    return value;
}

TEST(TnefWriterTest, AttributeLayoutAndChecksum)
{
    Bytes out;
    platform::tnef::TnefWriter writer(out, 0x0102);
    ASSERT_EQ(writer.Attribute(platform::tnef::Level::kAttachment, 0x0006800F, Bytes{0xFF, 0xFF, 0x02}), S_OK);
    const Bytes expected = {0x78, 0x9F, 0x3E, 0x22, 0x02, 0x01,           // signature, key
                            0x02, 0x0F, 0x80, 0x06, 0x00, 0x03, 0, 0, 0,   // level, id, length
                            0xFF, 0xFF, 0x02, 0x00, 0x02};                 // data, 0x200 % 65536
    EXPECT_EQ(out, expected);
    EXPECT_EQ(platform::tnef::Checksum(Bytes(300, 0xFF)), (300 * 255) % 65536);
}

TEST(PropertyListWriterTest, ValuesByType)
{
    static char ansi[] = "ab";
    static WCHAR wide[] = u"a";
    static BYTE binary[] = {1, 2, 3, 4, 5};
    static SHORT shorts[] = {7, -8};
    static LPWSTR texts[] = {wide, wide};
    static GUID guid = {0x04030201, 0x0605, 0x0807, {9, 10, 11, 12, 13, 14, 15, 16}};
    struct Case {
        const char* name;
        SPropValue value;
        Bytes expected;
    };
    std::vector<Case> cases;
    SPropValue v = Value(0x60010002);
    v.Value.i = -5;
    cases.push_back({"PT_I2 takes four bytes", v, {0x02, 0, 0x01, 0x60, 0xFB, 0xFF, 0, 0}});
    v = Value(0x6002000B);
    v.Value.b = 7;
    cases.push_back({"PT_BOOLEAN is 0 or 1", v, {0x0B, 0, 0x02, 0x60, 1, 0, 0, 0}});
    v = Value(0x60030005);
    v.Value.dbl = 2.5;
    cases.push_back({"PT_DOUBLE", v, {0x05, 0, 0x03, 0x60, 0, 0, 0, 0, 0, 0, 0x04, 0x40}});
    v = Value(0x60040040);
    v.Value.ft = {0x11223344, 0x55667788};
    cases.push_back({"PT_SYSTIME", v, {0x40, 0, 0x04, 0x60, 0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55}});
    v = Value(0x60050048);
    v.Value.lpguid = &guid;
    cases.push_back({"PT_CLSID", v, {0x48, 0, 0x05, 0x60, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}});
    v = Value(0x6006001E);
    v.Value.lpszA = ansi;
    cases.push_back({"PT_STRING8: count, size with the zero, padding", v,
                     {0x1E, 0, 0x06, 0x60, 1, 0, 0, 0, 3, 0, 0, 0, 'a', 'b', 0, 0}});
    v = Value(0x6007001F);
    v.Value.lpszW = wide;
    cases.push_back({"PT_UNICODE", v, {0x1F, 0, 0x07, 0x60, 1, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 0, 0}});
    v = Value(0x60080102);
    v.Value.bin = {5, binary};
    cases.push_back({"PT_BINARY padded, size without the padding", v,
                     {0x02, 0x01, 0x08, 0x60, 1, 0, 0, 0, 5, 0, 0, 0, 1, 2, 3, 4, 5, 0, 0, 0}});
    v = Value(0x60091002);
    v.Value.MVi = {2, shorts};
    cases.push_back({"PT_MV_I2: each value padded", v, {0x02, 0x10, 0x09, 0x60, 2, 0, 0, 0, 7, 0, 0, 0, 0xF8, 0xFF, 0, 0}});
    v = Value(0x600A101F);
    v.Value.MVszW = {2, texts};
    cases.push_back({"PT_MV_UNICODE", v,
                     {0x1F, 0x10, 0x0A, 0x60, 2, 0, 0, 0, 4, 0, 0, 0, 'a', 0, 0, 0, 4, 0, 0, 0, 'a', 0, 0, 0}});
    for (const Case& test : cases) {
        PropertyListWriter writer;
        ASSERT_EQ(writer.Add(test.value, nullptr), S_OK) << test.name;
        Bytes expected = {1, 0, 0, 0};
        expected.insert(expected.end(), test.expected.begin(), test.expected.end());
        EXPECT_EQ(writer.Take(), expected) << test.name;
    }
}

TEST(PropertyListWriterTest, NamesAndObjects)
{
    PropertyName byNumber{{0x00062008, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}, false, 0x8580, {}};
    PropertyName byName{{0x00020329, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}, true, 0, u"Xy"};
    SPropValue v = Value(0x80000003);
    v.Value.l = 1;
    PropertyListWriter writer;
    ASSERT_EQ(writer.Add(v, &byNumber), S_OK);
    v.ulPropTag = 0x80010003;
    ASSERT_EQ(writer.Add(v, &byName), S_OK);
    ASSERT_EQ(writer.AddObject(0x3701000D, nullptr, GUID{0x00020307, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}}, Bytes{0xAA}),
              S_OK);
    const Bytes expected = {
        3, 0, 0, 0,
        0x03, 0, 0x00, 0x80, 0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46, 0, 0, 0, 0,
        0x80, 0x85, 0, 0, 1, 0, 0, 0,
        0x03, 0, 0x01, 0x80, 0x29, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46, 1, 0, 0, 0,
        6, 0, 0, 0, 'X', 0, 'y', 0, 0, 0, 0, 0, 1, 0, 0, 0,
        0x0D, 0, 0x01, 0x37, 1, 0, 0, 0, 17, 0, 0, 0, 0x07, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46,
        0xAA, 0, 0, 0};
    EXPECT_EQ(writer.Take(), expected);
}

TEST(PropertyListWriterTest, RefusedValuesLeaveTheListAlone)
{
    static LONG none[1] = {0};
    SPropValue named = Value(0x80000003);
    SPropValue error = Value(0x6001000A);
    SPropValue object = Value(0x6002000D);
    SPropValue badBinary = Value(0x60030102);
    badBinary.Value.bin = {4, nullptr};
    SPropValue emptyList = Value(0x60041003);
    emptyList.Value.MVl = {0, none};
    PropertyListWriter writer;
    EXPECT_EQ(writer.Add(named, nullptr), E_INVALIDARG);
    EXPECT_EQ(writer.Add(error, nullptr), MAPI_E_INVALID_TYPE);
    EXPECT_EQ(writer.Add(object, nullptr), MAPI_E_INVALID_TYPE);
    EXPECT_EQ(writer.Add(badBinary, nullptr), E_INVALIDARG);
    EXPECT_EQ(writer.Add(emptyList, nullptr), S_FALSE);
    EXPECT_EQ(writer.Count(), 0u);
    EXPECT_EQ(writer.Take(), (Bytes{0, 0, 0, 0}));
}

} // namespace
