// Tests of the .msg writer: documents read back the same, the property streams and the named-property
// mapping are laid out as the format says, the file is saved safely, and an independent reader
// (msgconvert) opens what we write.
#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/CompoundFileWriter.h"
#include "platform/cfb/MsgFile.h"
#include "platform/cfb/MsgWriter.h"
#include "tests/platform/cfb/TestBytes.h"
#include "tests/support/Base64Text.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>
#include <sys/stat.h>

namespace {

using namespace platform::cfb;
using namespace cfbtest;
namespace fs = std::filesystem;


constexpr Guid kAppointmentSet = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                  0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kMapiSet = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                           0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kPublicStringsSet = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                    0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kCustomSet = {0x1F, 0xA4, 0xEB, 0x33, 0xA8, 0x7A, 0x2E, 0x42,
                             0xBE, 0x7B, 0x79, 0xE1, 0xA9, 0x8E, 0x54, 0xB3};

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// Property builders by value kind (Integer and Binary in TestBytes.h).

MsgProperty Real(std::uint32_t tag, double value)
{
    MsgProperty property;
    property.tag = tag;
    property.flags = 2;
    property.real = value;
    return property;
}

MsgProperty Text(std::uint32_t tag, std::u16string value)
{
    MsgProperty property;
    property.tag = tag;
    property.flags = 6;
    property.text = std::move(value);
    return property;
}

// The first difference between two property lists, or "".
std::string PropertyDifference(const MsgPropertyList& a, const MsgPropertyList& b)
{
    if (a.size() != b.size())
        return std::to_string(a.size()) + " properties against " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        const MsgProperty& x = a[i];
        const MsgProperty& y = b[i];
        const std::string name = "property " + std::to_string(i) + " (" + Hex(x.tag) + ")";
        if (x.tag != y.tag)
            return name + " has the tag " + Hex(y.tag) + " after the round trip";
        if (x.flags != y.flags)
            return name + ": flags";
        if (x.integer != y.integer || x.integers != y.integers)
            return name + ": integer value";
        if (std::memcmp(&x.real, &y.real, sizeof x.real) != 0 || x.reals != y.reals)
            return name + ": real value";
        if (x.bytes != y.bytes || x.byteValues != y.byteValues)
            return name + ": bytes";
        if (x.text != y.text || x.texts != y.texts)
            return name + ": text";
    }
    return "";
}

std::string MessageDifference(const MsgMessage& a, const MsgMessage& b, const std::string& where)
{
    if (std::string d = PropertyDifference(a.properties, b.properties); !d.empty())
        return where + ": " + d;
    if (a.codePage != b.codePage)
        return where + ": code page " + std::to_string(a.codePage) + " against " + std::to_string(b.codePage);
    if (a.recipients.size() != b.recipients.size() || a.attachments.size() != b.attachments.size())
        return where + ": recipient or attachment count";
    for (std::size_t i = 0; i < a.recipients.size(); ++i) {
        const std::string place = where + "/recipient " + std::to_string(i);
        if (a.recipients[i].number != b.recipients[i].number)
            return place + ": number";
        if (std::string d = PropertyDifference(a.recipients[i].properties, b.recipients[i].properties); !d.empty())
            return place + ": " + d;
    }
    for (std::size_t i = 0; i < a.attachments.size(); ++i) {
        const MsgAttachment& x = a.attachments[i];
        const MsgAttachment& y = b.attachments[i];
        const std::string place = where + "/attachment " + std::to_string(i);
        if (x.number != y.number)
            return place + ": number";
        if (std::string d = PropertyDifference(x.properties, y.properties); !d.empty())
            return place + ": " + d;
        if ((x.embedded == nullptr) != (y.embedded == nullptr))
            return place + ": embedded message present on one side only";
        if (x.embedded != nullptr) {
            if (std::string d = MessageDifference(*x.embedded, *y.embedded, place + "/embedded"); !d.empty())
                return d;
        }
    }
    return "";
}

std::string NamedDifference(const std::vector<MsgNamedProperty>& a, const std::vector<MsgNamedProperty>& b)
{
    if (a.size() != b.size())
        return std::to_string(a.size()) + " named properties against " + std::to_string(b.size());
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].id != b[i].id || a[i].propertySet != b[i].propertySet || a[i].isString != b[i].isString ||
            a[i].lid != b[i].lid || a[i].name != b[i].name)
            return "named property " + std::to_string(i) + " (id " + Hex(a[i].id) + ")";
    }
    return "";
}

std::string DocumentDifference(const MsgDocument& a, const MsgDocument& b)
{
    if (std::string d = NamedDifference(a.namedProperties, b.namedProperties); !d.empty())
        return d;
    return MessageDifference(a.message, b.message, "message");
}

MsgDocument RoundTrip(const MsgDocument& document, Bytes* image = nullptr)
{
    Bytes bytes;
    std::string error;
    EXPECT_EQ(WriteMsgBytes(document, "written.msg", bytes, error), S_OK) << error;
    MsgDocument again;
    EXPECT_EQ(ReadMsgBytes(bytes, "written.msg", again, error), S_OK) << error;
    if (image != nullptr)
        *image = std::move(bytes);
    return again;
}

// The stream at `path` ("a/b/c") of a compound-file image.
// The 16-byte entry of `tag` in a property stream whose header has `headerSize` bytes.
Bytes EntryOf(const Bytes& stream, std::size_t headerSize, std::uint32_t tag)
{
    for (std::size_t offset = headerSize; offset + 16 <= stream.size(); offset += 16) {
        if (stream[offset] == static_cast<std::uint8_t>(tag) && stream[offset + 1] == static_cast<std::uint8_t>(tag >> 8) &&
            stream[offset + 2] == static_cast<std::uint8_t>(tag >> 16) && stream[offset + 3] == static_cast<std::uint8_t>(tag >> 24))
            return Bytes(stream.begin() + static_cast<std::ptrdiff_t>(offset),
                         stream.begin() + static_cast<std::ptrdiff_t>(offset + 16));
    }
    return {};
}

MsgPropertyList EveryType()
{
    MsgProperty multiI2 = Integer(0x66201002, 0);
    multiI2.integers = {1, -2};
    MsgProperty multiLong = Integer(0x66211003, 0);
    multiLong.integers = {1, -2, 0x7FFFFFFF};
    MsgProperty multiFloat = Integer(0x66221004, 0);
    multiFloat.reals = {0.5, -1};
    MsgProperty multiDouble = Integer(0x66231005, 0);
    multiDouble.reals = {1e300, -0.125};
    MsgProperty multiCurrency = Integer(0x66241006, 0);
    multiCurrency.integers = {-12345678901234};
    MsgProperty multiAppTime = Integer(0x66251007, 0);
    multiAppTime.reals = {45000.25};
    MsgProperty multiI8 = Integer(0x66261014, 0);
    multiI8.integers = {INT64_MIN, INT64_MAX};
    MsgProperty multiTime = Integer(0x66271040, 0);
    multiTime.integers = {0x01D9000000000000, 0};
    MsgProperty multiClsid = Integer(0x66281048, 0);
    multiClsid.byteValues = {Pattern(16, 1), Pattern(16, 2)};
    MsgProperty multiString8 = Integer(0x6629101E, 0);
    multiString8.byteValues = {Ascii("x"), Ascii("yz"), {}};
    MsgProperty multiUnicode = Integer(0x662A101F, 0);
    multiUnicode.texts = {u"a", u"", u"\u65E5\u672C"};
    MsgProperty multiBinary = Integer(0x662B1102, 0);
    multiBinary.byteValues = {{0xAB, 0xCD}, {}};
    MsgProperty emptyMulti = Integer(0x662C101F, 0);

    return {
        Text(0x001A001F, u"IPM.Note"),
        Binary(0x0037001E, {'G', 'r', 0xFC, 0xDF, 'e'}),
        Integer(0x3FFD0003, 1252),
        Integer(0x66000001, 0, 0),
        Integer(0x66010002, -2),
        Integer(0x66020003, -100000),
        Real(0x66030004, 1.5),
        Real(0x66040005, -2.25),
        Integer(0x66050006, 123456789),
        Real(0x66060007, 45000.5),
        Integer(0x6607000A, static_cast<std::int32_t>(0x8004010F)),
        Integer(0x6608000B, 1),
        Integer(0x66090014, -5),
        Integer(0x660A0040, 0x01D9000000000000),
        Binary(0x66100102, {0, 1, 2, 0}),
        Binary(0x66110048, Pattern(16, 7)),
        Binary(0x6612000D, {}),
        Binary(0x661300FB, {1, 2, 3}),
        Binary(0x661400FD, {4, 5}),
        Binary(0x661500FE, {6}),
        Binary(0x662D001E, {}),
        Text(0x662E001F, u""),
        multiI2, multiLong, multiFloat, multiDouble, multiCurrency, multiAppTime, multiI8, multiTime,
        multiClsid, multiString8, multiUnicode, multiBinary, emptyMulti,
        Text(0x8000001F, u"named value"),
        Integer(0x80010003, 5),
    };
}

MsgRecipient Recipient(std::uint32_t number, std::u16string name)
{
    MsgRecipient recipient;
    recipient.number = number;
    recipient.properties = {Text(0x3001001F, std::move(name)), Integer(0x0C150003, 1)};
    return recipient;
}

std::unique_ptr<MsgMessage> Embedded(std::u16string subject, std::unique_ptr<MsgMessage> inner)
{
    auto message = std::make_unique<MsgMessage>();
    message->codePage = 1252;
    message->properties = {Text(0x0037001F, std::move(subject)), Binary(0x1000001E, Ascii("body"))};
    message->recipients.push_back(Recipient(0, u"Inner"));
    MsgAttachment& byValue = message->attachments.emplace_back();
    byValue.properties = {Integer(PR_ATTACH_METHOD, 1), Binary(0x37010102, Pattern(5000, 3))};
    if (inner != nullptr) {
        MsgAttachment& nested = message->attachments.emplace_back();
        nested.number = 1;
        nested.properties = {Integer(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG), Binary(PR_ATTACH_DATA_OBJ, {})};
        nested.embedded = std::move(inner);
    }
    return message;
}

MsgDocument HandBuilt()
{
    MsgDocument document;
    MsgMessage& message = document.message;
    message.codePage = 1252;
    message.properties = EveryType();
    message.recipients.push_back(Recipient(0, u"First"));
    message.recipients.push_back(Recipient(2, u"Third"));
    MsgAttachment& byValue = message.attachments.emplace_back();
    byValue.properties = {Integer(PR_ATTACH_METHOD, 1), Binary(0x37010102, Pattern(300, 9)),
                          Text(0x3707001F, u"data.bin")};
    MsgAttachment& embedded = message.attachments.emplace_back();
    embedded.number = 1;
    embedded.properties = {Integer(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG), Binary(PR_ATTACH_DATA_OBJ, {})};
    embedded.embedded = Embedded(u"outer", Embedded(u"inner", nullptr));
    document.namedProperties = {
        {0x8000, kAppointmentSet, false, 0x8208, u""},
        {0x8001, kPublicStringsSet, true, 0, u"Keywords"},
        {0x8002, kMapiSet, false, 0x1234, u""},
        {0x8003, kCustomSet, true, 0, u"ConversationIndexTrackingEx"},
        {0x8004, kAppointmentSet, false, 0x8580, u""},
        {0x8005, kCustomSet, true, 0, u"X-Odd"},
    };
    return document;
}

TEST(MsgWriterTest, AHandBuiltDocumentWithEveryTypeReadsBackTheSame)
{
    const MsgDocument document = HandBuilt();
    EXPECT_EQ(DocumentDifference(document, RoundTrip(document)), "");
}

TEST(MsgWriterTest, HeadersCountRecipientsAndAttachments)
{
    Bytes image;
    RoundTrip(HandBuilt(), &image);
    const Bytes top = StreamAt(image, {"__properties_version1.0"});
    ASSERT_GE(top.size(), 32u);
    // Reserved, next recipient id, next attachment id, recipient count, attachment count, reserved.
    EXPECT_EQ(Bytes(top.begin(), top.begin() + 32),
              Concat({Le(0, 8), Le(3, 4), Le(2, 4), Le(2, 4), Le(2, 4), Le(0, 8)}));
    EXPECT_EQ((top.size() - 32) % 16, 0u);

    const Bytes outer = StreamAt(image, {"__attach_version1.0_#00000001", "__substg1.0_3701000D", "__properties_version1.0"});
    ASSERT_GE(outer.size(), 24u);
    EXPECT_EQ(Bytes(outer.begin(), outer.begin() + 24), Concat({Le(0, 8), Le(1, 4), Le(2, 4), Le(1, 4), Le(2, 4)}));
    EXPECT_EQ((outer.size() - 24) % 16, 0u);

    const Bytes recipient = StreamAt(image, {"__recip_version1.0_#00000002", "__properties_version1.0"});
    EXPECT_EQ(recipient.size(), 8u + 2 * 16);
    EXPECT_EQ(Bytes(recipient.begin(), recipient.begin() + 8), Le(0, 8));
}

TEST(MsgWriterTest, PropertyEntriesAndValueStreamsFollowTheFormat)
{
    Bytes image;
    RoundTrip(HandBuilt(), &image);
    const Bytes top = StreamAt(image, {"__properties_version1.0"});
    struct Case {
        std::uint32_t tag;
        Bytes entry;  // flags and the 8 value bytes
    };
    const std::vector<Case> cases = {
        {0x001A001F, Concat({Le(6, 4), Le(18, 4), Le(0, 4)})},  // UTF-16 and its terminator
        {0x0037001E, Concat({Le(6, 4), Le(6, 4), Le(0, 4)})},   // 8-bit and its terminator
        {0x66100102, Concat({Le(6, 4), Le(4, 4), Le(0, 4)})},
        {0x6612000D, Concat({Le(6, 4), Le(0xFFFFFFFF, 4), Le(0, 4)})},
        {0x66000001, Concat({Le(0, 4), Le(0, 8)})},
        {0x66010002, Concat({Le(6, 4), Le(0xFFFE, 2), Le(0, 6)})},
        {0x66020003, Concat({Le(6, 4), Le(static_cast<std::uint32_t>(-100000), 4), Le(0, 4)})},
        {0x66030004, Concat({Le(2, 4), Le(0x3FC00000, 4), Le(0, 4)})},
        {0x66040005, Concat({Le(2, 4), Le(0xC002000000000000, 8)})},
        {0x6608000B, Concat({Le(6, 4), Le(1, 8)})},
        {0x66090014, Concat({Le(6, 4), Le(static_cast<std::uint64_t>(-5), 8)})},
        {0x66211003, Concat({Le(6, 4), Le(12, 4), Le(0, 4)})},  // the size of the value stream
        {0x662A101F, Concat({Le(6, 4), Le(12, 4), Le(0, 4)})},  // the size of the length stream
        {0x662B1102, Concat({Le(6, 4), Le(16, 4), Le(0, 4)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(Hex(c.tag));
        EXPECT_EQ(EntryOf(top, 32, c.tag), Concat({Le(c.tag, 4), c.entry}));
    }

    struct StreamCase {
        std::string name;
        Bytes content;
    };
    const std::vector<StreamCase> streams = {
        {"__substg1.0_001A001F", Utf16(u"IPM.Note")},
        {"__substg1.0_0037001E", {'G', 'r', 0xFC, 0xDF, 'e'}},
        {"__substg1.0_662E001F", {}},
        {"__substg1.0_66201002", Concat({Le(1, 2), Le(0xFFFE, 2)})},
        {"__substg1.0_66211003", Concat({Le(1, 4), Le(0xFFFFFFFE, 4), Le(0x7FFFFFFF, 4)})},
        {"__substg1.0_66221004", Concat({Le(0x3F000000, 4), Le(0xBF800000, 4)})},
        {"__substg1.0_6629101E", Concat({Le(2, 4), Le(3, 4), Le(1, 4)})},
        {"__substg1.0_6629101E-00000001", {'y', 'z', 0}},
        {"__substg1.0_662A101F", Concat({Le(4, 4), Le(2, 4), Le(6, 4)})},
        {"__substg1.0_662A101F-00000002", Utf16(std::u16string(u"\u65E5\u672C") + u'\0')},
        {"__substg1.0_662B1102", Concat({Le(2, 4), Le(0, 4), Le(0, 4), Le(0, 4)})},
        {"__substg1.0_662B1102-00000000", {0xAB, 0xCD}},
        {"__substg1.0_662C101F", {}},
    };
    for (const StreamCase& s : streams) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(StreamAt(image, {s.name}), s.content);
    }
}

TEST(MsgWriterTest, NamedPropertyMappingFollowsTheFormat)
{
    Bytes image;
    RoundTrip(HandBuilt(), &image);
    auto nameid = [&](const std::string& stream) { return StreamAt(image, {"__nameid_version1.0", stream}); };
    // PS_MAPI and PS_PUBLIC_STRINGS have the fixed indexes 1 and 2; other sets are listed from 3 on.
    EXPECT_EQ(nameid("__substg1.0_00020102"), Concat({Bytes(kAppointmentSet.begin(), kAppointmentSet.end()),
                                                      Bytes(kCustomSet.begin(), kCustomSet.end())}));
    EXPECT_EQ(nameid("__substg1.0_00030102"),
              Concat({Le(0x8208, 4), Le(3 << 1, 2), Le(0, 2), Le(0, 4), Le(2 << 1 | 1, 2), Le(1, 2),
                      Le(0x1234, 4), Le(1 << 1, 2), Le(2, 2), Le(20, 4), Le(4 << 1 | 1, 2), Le(3, 2),
                      Le(0x8580, 4), Le(3 << 1, 2), Le(4, 2), Le(80, 4), Le(4 << 1 | 1, 2), Le(5, 2)}));
    EXPECT_EQ(nameid("__substg1.0_00040102"),
              Concat({Le(16, 4), Utf16(u"Keywords"), Le(54, 4), Utf16(u"ConversationIndexTrackingEx"), Le(0, 2),
                      Le(10, 4), Utf16(u"X-Odd")}));
    // Stream 0x1000 + (LID xor (index << 1 | kind)) mod 31; a string name counts by its CRC-32,
    // here the value Outlook stored for this name in one of the samples.
    EXPECT_EQ(nameid("__substg1.0_10170102"), Concat({Le(0xA9EF7A79, 4), Le(4 << 1 | 1, 2), Le(3, 2)}));
    EXPECT_EQ(nameid("__substg1.0_" + Hex(0x1000 + (0x8208 ^ 6) % 31).substr(6) + "0102"),
              Concat({Le(0x8208, 4), Le(3 << 1, 2), Le(0, 2)}));
    EXPECT_EQ(nameid("__substg1.0_" + Hex(0x1000 + (0x1234 ^ 2) % 31).substr(6) + "0102"),
              Concat({Le(0x1234, 4), Le(1 << 1, 2), Le(2, 2)}));
}

TEST(MsgWriterTest, AnEmbeddedAttachmentGetsItsObjectPropertyWhenTheListLacksIt)
{
    MsgDocument document = HandBuilt();
    MsgPropertyList& properties = document.message.attachments[1].properties;
    properties.erase(properties.begin() + 1);
    const MsgDocument again = RoundTrip(document);
    ASSERT_EQ(again.message.attachments.size(), 2u);
    const MsgAttachment& attachment = again.message.attachments[1];
    EXPECT_NE(FindProperty(attachment.properties, PR_ATTACH_DATA_OBJ), nullptr);
    ASSERT_NE(attachment.embedded, nullptr);
    EXPECT_EQ(MessageDifference(*document.message.attachments[1].embedded, *attachment.embedded, "embedded"), "");
}

TEST(MsgWriterTest, RefusesDocumentsTheFormatCannotHold)
{
    struct Case {
        const char* what;
        std::function<void(MsgDocument&)> change;
        HRESULT status;
        const char* message;
    };
    const std::vector<Case> cases = {
        {"unknown type", [](MsgDocument& d) { d.message.properties.push_back(Integer(0x6700100B, 0)); }, E_INVALIDARG,
         "bad.msg: the property 0x6700100B has the type 0x100B, which a .msg file cannot hold"},
        {"tag twice", [](MsgDocument& d) { d.message.properties.push_back(Integer(0x66020003, 1)); }, E_INVALIDARG,
         "bad.msg: the property 0x66020003 appears twice"},
        {"recipient numbers", [](MsgDocument& d) { d.message.recipients[1].number = 0; }, E_INVALIDARG,
         "bad.msg: two recipients have the number 0"},
        {"attachment numbers",
         [](MsgDocument& d) { d.message.attachments[1].embedded->attachments[1].number = 0; }, E_INVALIDARG,
         "bad.msg: __attach_version1.0_#00000001/__substg1.0_3701000D: two attachments have the number 0"},
        {"embedded message missing", [](MsgDocument& d) { d.message.attachments[1].embedded.reset(); },
         E_INVALIDARG,
         "bad.msg: __attach_version1.0_#00000001: the attachment is an embedded message (attach method 5) but has "
         "none"},
        {"property in a recipient",
         [](MsgDocument& d) { d.message.recipients[1].properties.push_back(Integer(0x30010000, 0)); }, E_INVALIDARG,
         "bad.msg: __recip_version1.0_#00000002: the property 0x30010000 has the type 0x0000"},
        {"short multi-valued GUID",
         [](MsgDocument& d) { d.message.properties[30].byteValues.push_back(Bytes(15)); }, E_INVALIDARG,
         "bad.msg: a value of the property 0x66281048 has 15 bytes instead of 16"},
        {"named id below 0x8000", [](MsgDocument& d) { d.namedProperties[2].id = 0x7FFF; }, E_INVALIDARG,
         "bad.msg: __nameid_version1.0: the named property id 0x7FFF lies outside 0x8000 to 0xFFFE"},
        {"named id twice", [](MsgDocument& d) { d.namedProperties[2].id = 0x8001; }, E_INVALIDARG,
         "bad.msg: __nameid_version1.0: the named property id 0x8001 appears twice"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MsgDocument document = HandBuilt();
        c.change(document);
        Bytes bytes = {1};
        std::string error;
        EXPECT_EQ(WriteMsgBytes(document, "bad.msg", bytes, error), c.status);
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << error;
        EXPECT_TRUE(bytes.empty());
    }
}

TEST(MsgWriterTest, EmbeddedMessagesNestUpToTheReadersLimit)
{
    for (int depth : {64, 65}) {
        SCOPED_TRACE(depth);
        MsgDocument document;
        MsgMessage* message = &document.message;
        for (int level = 0; level < depth; ++level) {
            MsgAttachment& attachment = message->attachments.emplace_back();
            attachment.properties = {Integer(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG)};
            attachment.embedded = std::make_unique<MsgMessage>();
            message = attachment.embedded.get();
        }
        Bytes bytes;
        std::string error;
        const HRESULT hr = WriteMsgBytes(document, "deep.msg", bytes, error);
        if (depth == 64) {
            EXPECT_EQ(hr, S_OK) << error;
            MsgDocument again;
            EXPECT_EQ(ReadMsgBytes(bytes, "deep.msg", again, error), S_OK) << error;
        } else {
            EXPECT_EQ(hr, E_INVALIDARG);
            EXPECT_NE(error.find("nested more than 64 deep"), std::string::npos) << error;
        }
    }
}

TEST(MsgWriterTest, ALargeAttachmentNeedsTheDifatAndReadsBack)
{
    testsupport::TemporaryDirectory dir;
    ASSERT_FALSE(dir.Path().empty());
    MsgDocument document = HandBuilt();
    const Bytes large = Pattern(7'600'000, 5);
    document.message.attachments[0].properties[1].bytes = large;
    const std::string path = (dir / "ex2qln1.msg").string();
    std::string error;
    ASSERT_EQ(WriteMsgFile(path, document, error), S_OK) << error;
    const Bytes image = Ascii(testsupport::ReadFile(path));
    ASSERT_GE(image.size(), 512u);
    EXPECT_GE(image[72], 1) << "DIFAT sector count";
    MsgDocument again;
    ASSERT_EQ(ReadMsgFile(path, again, error), S_OK) << error;
    // Data this large stays in the file; read whole, it is what was written.
    MsgProperty& data = again.message.attachments[0].properties[1];
    ASSERT_NE(data.streamed, nullptr);
    EXPECT_TRUE(data.bytes.empty());
    ASSERT_EQ(ReadWhole(*data.streamed, data.bytes), S_OK);
    data.streamed.reset();
    EXPECT_TRUE(data.bytes == large);
    EXPECT_EQ(DocumentDifference(document, again), "");
}

TEST(MsgWriterTest, SavingReplacesTheFileAndNeverFollowsALink)
{
    testsupport::TemporaryDirectory dir;
    ASSERT_FALSE(dir.Path().empty());
    const fs::path target = dir / "ex2qln0.msg";
    const fs::path victim = dir / "victim";
    testsupport::WriteFile(victim, "keep me");
    fs::create_symlink(victim, target);

    std::string error;
    ASSERT_EQ(WriteMsgFile(target.string(), HandBuilt(), error), S_OK) << error;
    EXPECT_FALSE(fs::is_symlink(target));
    EXPECT_EQ(Ascii(testsupport::ReadFile(victim)), Ascii("keep me"));
    struct stat info {};
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u) << "a saved message is readable by its owner only";
    MsgDocument again;
    EXPECT_EQ(ReadMsgFile(target.string(), again, error), S_OK) << error;
    // Only the two files remain: no temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.Path()), fs::directory_iterator()), 2);

    ASSERT_EQ(WriteMsgFile(target.string(), MsgDocument(), error), S_OK) << error;
    EXPECT_EQ(ReadMsgFile(target.string(), again, error), S_OK) << error;
    EXPECT_TRUE(again.message.properties.empty());
}

TEST(MsgWriterTest, AnUnwritablePlaceGivesTheSystemErrorAndNamesTheFile)
{
    testsupport::TemporaryDirectory dir;
    ASSERT_FALSE(dir.Path().empty());
    const std::string path = (dir / "missing" / "ex2qln0.msg").string();
    std::string error;
    EXPECT_EQ(WriteMsgFile(path, HandBuilt(), error), HResultFromErrno(ENOENT));
    EXPECT_EQ(error, path + ": cannot be written (No such file or directory)");
    EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(MsgWriterTest, EverySampleReadsBackTheSameAfterWriting)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "the Outlook samples folder " << testsupport::OutlookSamplesDirectory() << " is not there";
    const std::vector<fs::path> files = testsupport::OutlookSampleFiles();
    ASSERT_FALSE(files.empty());
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        MsgDocument original;
        std::string error;
        ASSERT_EQ(ReadMsgFile(file.string(), original, error), S_OK) << error;
        Bytes image;
        const MsgDocument again = RoundTrip(original, &image);
        EXPECT_EQ(DocumentDifference(original, again), "");

        // Outlook's own mapping streams come out byte for byte.
        const Bytes source = Ascii(testsupport::ReadFile(file));
        CompoundFile sourceFile;
        ASSERT_EQ(sourceFile.Open(source), S_OK);
        const DirectoryEntry* nameid = sourceFile.Find(sourceFile.Root(), "__nameid_version1.0");
        if (nameid == nullptr)
            continue;
        for (std::uint32_t child : nameid->children) {
            const DirectoryEntry& stream = sourceFile.Entry(child);
            Bytes expected;
            ASSERT_EQ(sourceFile.ReadStream(stream, expected), S_OK);
            EXPECT_EQ(StreamAt(image, {"__nameid_version1.0", stream.name}), expected) << stream.name;
        }
    }
}

// Runs msgconvert on `msg`; its .eml text (CR LF lines), or "" with a test failure.
std::string ConvertWithMsgconvert(const fs::path& msg, const fs::path& dir)
{
    const fs::path eml = dir / "out.eml";
    testsupport::ProcessRun run;
    run.program = testsupport::FindProgram("msgconvert");
    run.arguments = {"--outfile", eml.string(), msg.string()};
    const testsupport::ProcessResult result = testsupport::RunProcess(run);
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    return testsupport::ReadFile(eml);
}

// The decoded body of the Base64 part whose headers name `filename`.
Bytes AttachmentBytes(const std::string& eml, const std::string& filename)
{
    const std::size_t name = eml.find("filename=" + filename);
    if (name == std::string::npos)
        return {};
    const std::size_t bodyStart = eml.find("\r\n\r\n", name);
    const std::size_t bodyEnd = eml.find("\n--", bodyStart);
    if (bodyStart == std::string::npos || bodyEnd == std::string::npos)
        return {};
    return Ascii(testsupport::DecodeBase64(std::string_view(eml).substr(bodyStart, bodyEnd - bodyStart)));
}

bool HasMsgconvert() { return !testsupport::FindProgram("msgconvert").empty(); }

TEST(MsgWriterTest, MsgconvertOpensAWrittenMessage)
{
    if (!HasMsgconvert())
        GTEST_SKIP() << "msgconvert (Debian package libemail-outlook-message-perl) is not installed";
    testsupport::TemporaryDirectory dir;
    ASSERT_FALSE(dir.Path().empty());
    Bytes every(256);
    for (std::size_t i = 0; i < every.size(); ++i)
        every[i] = static_cast<std::uint8_t>(i);
    MsgDocument document;
    document.message.properties = {
        Text(0x001A001F, u"IPM.Note"),
        Text(0x0037001F, u"Quarterly figures for the board"),
        Text(0x1000001F, u"Please find the figures attached."),
        Text(0x0C1A001F, u"Ann Example"),
        Text(0x0C1F001F, u"ann@example.org"),
    };
    document.message.recipients.push_back(Recipient(0, u"Bob Example"));
    document.message.recipients[0].properties.push_back(Text(0x3003001F, u"bob@example.org"));
    MsgAttachment& attachment = document.message.attachments.emplace_back();
    attachment.properties = {Integer(PR_ATTACH_METHOD, 1), Binary(0x37010102, every),
                             Text(0x3707001F, u"figures.bin"), Text(0x370E001F, u"application/octet-stream")};
    const fs::path msg = dir / "written.msg";
    std::string error;
    ASSERT_EQ(WriteMsgFile(msg.string(), document, error), S_OK) << error;

    const std::string eml = ConvertWithMsgconvert(msg, dir.Path());
    EXPECT_NE(eml.find("Subject: Quarterly figures for the board\r\n"), std::string::npos) << eml;
    EXPECT_NE(eml.find("Please find the figures attached."), std::string::npos) << eml;
    EXPECT_EQ(AttachmentBytes(eml, "figures.bin"), every) << eml;
}

TEST(MsgWriterTest, MsgconvertOpensARewrittenSample)
{
    if (!HasMsgconvert())
        GTEST_SKIP() << "msgconvert (Debian package libemail-outlook-message-perl) is not installed";
    const fs::path sample = testsupport::OutlookSamplesDirectory() / "Sicos1977-MSGReader" / "EmailWithAttachments.msg";
    if (!fs::exists(sample))
        GTEST_SKIP() << "the Outlook sample " << sample << " is not there";
    testsupport::TemporaryDirectory dir;
    ASSERT_FALSE(dir.Path().empty());
    MsgDocument document;
    std::string error;
    ASSERT_EQ(ReadMsgFile(sample.string(), document, error), S_OK) << error;
    const fs::path msg = dir / "rewritten.msg";
    ASSERT_EQ(WriteMsgFile(msg.string(), document, error), S_OK) << error;

    const std::string eml = ConvertWithMsgconvert(msg, dir.Path());
    EXPECT_NE(eml.find("Subject: This is the subject\r\n"), std::string::npos) << eml;
    const MsgProperty* data = nullptr;
    for (const MsgAttachment& attachment : document.message.attachments) {
        const MsgProperty* name = FindProperty(attachment.properties, 0x3707001F);
        if (name != nullptr && name->text == u"peterpan.jpg")
            data = FindProperty(attachment.properties, 0x37010102);
    }
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(AttachmentBytes(eml, "peterpan.jpg"), data->bytes);
}

} // namespace
