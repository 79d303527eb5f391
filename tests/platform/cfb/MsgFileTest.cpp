// Tests of the .msg reader on messages built here: value types, multiple values, named
// properties, recipients, attachments, embedded messages, code pages and damaged layouts.
#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/MsgCodePage.h"
#include "platform/cfb/MsgFile.h"
#include "tests/platform/cfb/CompoundFileBuilder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using namespace platform::cfb;
using namespace cfbtest;

Bytes DoubleBits(double value)
{
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Le(bits);
}

Bytes FloatBits(float value)
{
    std::uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return Le(bits);
}

std::string ValueName(std::uint32_t tag)
{
    char name[32];
    std::snprintf(name, sizeof name, "__substg1.0_%08X", tag);
    return name;
}

// A property stream: the header, then tag, flags and eight value bytes per property.
Node PropertyStream(std::size_t headerSize, const std::vector<std::pair<std::uint32_t, Bytes>>& entries)
{
    Bytes data(headerSize, 0);
    for (const auto& [tag, value] : entries) {
        Bytes entry = Concat({Le(tag, 4), Le(6, 4), value});
        entry.resize(16, 0);
        data.insert(data.end(), entry.begin(), entry.end());
    }
    return Stream("__properties_version1.0", data);
}

Bytes VariableSize(std::size_t size) { return Le(size, 4); }

constexpr Guid kCustomSet = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                             0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

Node NameIdStorage(Bytes entries)
{
    Bytes strings = Concat({Le(16, 4), Utf16(u"Keywords")});
    return Storage("__nameid_version1.0", {Stream("__substg1.0_00020102", Bytes(kCustomSet.begin(), kCustomSet.end())),
                                           Stream("__substg1.0_00030102", std::move(entries)),
                                           Stream("__substg1.0_00040102", std::move(strings))});
}

// 0x8000: LID 0x8208 in the custom set; 0x8001: "Keywords" in PS_PUBLIC_STRINGS; 0x8002: LID
// 0x1234 in PS_MAPI.
Bytes NameIdEntries()
{
    return Concat({Le(0x8208, 4), Le(3 << 1, 2), Le(0, 2), Le(0, 4), Le(2 << 1 | 1, 2), Le(1, 2), Le(0x1234, 4),
                   Le(1 << 1, 2), Le(2, 2)});
}

Node EmbeddedMessage(std::vector<Node> extra = {})
{
    std::vector<Node> children = {
        PropertyStream(24, {{0x0037001E, VariableSize(6)}}),
        Stream(ValueName(0x0037001E), {'i', 'n', 'n', 'e', 'r'}),
        Storage("__attach_version1.0_#00000000",
                {PropertyStream(8, {{0x37050003, Le(1)}, {0x37010102, VariableSize(3)}}),
                 Stream(ValueName(0x37010102), {7, 8, 9})}),
    };
    children.insert(children.end(), extra.begin(), extra.end());
    return Storage(ValueName(0x3701000D), std::move(children));
}

std::vector<Node> MessageTree()
{
    std::vector<std::pair<std::uint32_t, Bytes>> top = {
        {0x001A001F, VariableSize(18)},
        {0x0037001E, VariableSize(6)},
        {0x3FF10003, Le(1031)},
        {0x66000002, Le(0xFFFE)},
        {0x66010003, Le(static_cast<std::uint32_t>(-100000))},
        {0x66020004, FloatBits(1.5f)},
        {0x66030005, DoubleBits(-2.25)},
        {0x66040006, Le(123456789)},
        {0x66050007, DoubleBits(45000.5)},
        {0x6606000A, Le(0x8004010F)},
        {0x6607000B, Le(0xFF01)},  // only the first byte counts
        {0x66080014, Le(static_cast<std::uint64_t>(-5))},
        {0x66090040, Le(0x01D9000000000000)},
        {0x66100102, VariableSize(4)},
        {0x66110048, VariableSize(16)},
        {0x66201003, VariableSize(12)},
        {0x6621101F, VariableSize(8)},
        {0x66221102, VariableSize(16)},
        {0x6623101E, VariableSize(4)},
        {0x66241005, VariableSize(16)},
        {0x8000001F, VariableSize(4)},
        {0x66120102, VariableSize(9)},  // listed, but its stream is missing
    };
    Bytes clsid(16);
    for (std::size_t i = 0; i < 16; ++i)
        clsid[i] = static_cast<std::uint8_t>(0xA0 + i);
    return {
        PropertyStream(32, top),
        Stream(ValueName(0x001A001F), Utf16(u"IPM.Note")),
        Stream(ValueName(0x0037001E), {'G', 'r', 0xFC, 0xDF, 'e', 0}),
        Stream(ValueName(0x66100102), {0, 1, 2, 0}),
        Stream(ValueName(0x66110048), clsid),
        Stream(ValueName(0x66201003), Concat({Le(1, 4), Le(static_cast<std::uint32_t>(-2), 4), Le(3, 4)})),
        Stream(ValueName(0x6621101F), Concat({Le(4, 4), Le(6, 4)})),
        Stream(ValueName(0x6621101F) + "-00000000", Utf16Terminated(u"a")),
        Stream(ValueName(0x6621101F) + "-00000001", Utf16Terminated(u"bc")),
        Stream(ValueName(0x66221102), Concat({Le(2, 4), Le(0, 4), Le(0, 4), Le(0, 4)})),
        Stream(ValueName(0x66221102) + "-00000000", {0xAB, 0xCD}),
        Stream(ValueName(0x66221102) + "-00000001", {}),
        Stream(ValueName(0x6623101E), Le(3, 4)),
        Stream(ValueName(0x6623101E) + "-00000000", {'x', 'y', 0}),
        Stream(ValueName(0x66241005), Concat({DoubleBits(0.5), DoubleBits(-8)})),
        Stream(ValueName(0x8000001F), Utf16Terminated(u"Z")),
        Stream(ValueName(0x6630001F), Utf16Terminated(u"unlisted")),
        NameIdStorage(NameIdEntries()),
        Storage("__recip_version1.0_#00000001",
                {PropertyStream(8, {{0x3001001F, VariableSize(14)}}), Stream(ValueName(0x3001001F), Utf16Terminated(u"Second"))}),
        Storage("__recip_version1.0_#00000000",
                {PropertyStream(8, {{0x3001001F, VariableSize(12)}}), Stream(ValueName(0x3001001F), Utf16Terminated(u"First"))}),
        Storage("__attach_version1.0_#00000000",
                {PropertyStream(8, {{0x37050003, Le(5)}, {0x3701000D, Le(0xFFFFFFFF)}}), EmbeddedMessage()}),
    };
}

MsgDocument ReadTree(const std::vector<Node>& tree)
{
    BuiltFile built = BuildCompoundFile(tree);
    MsgDocument document;
    std::string error;
    EXPECT_EQ(ReadMsgBytes(built.bytes, "fixture.msg", document, error), S_OK) << error;
    return document;
}

TEST(MsgFileTest, ReadsFixedSizeValues)
{
    const MsgDocument document = ReadTree(MessageTree());
    struct Case {
        std::uint32_t tag;
        std::int64_t integer;
        double real;
    };
    const std::vector<Case> cases = {
        {0x66000002, -2, 0},         {0x66010003, -100000, 0},
        {0x66020004, 0, 1.5},        {0x66030005, 0, -2.25},
        {0x66040006, 123456789, 0},  {0x66050007, 0, 45000.5},
        {0x6606000A, static_cast<std::int32_t>(0x8004010F), 0},
        {0x6607000B, 1, 0},          {0x66080014, -5, 0},
        {0x66090040, 0x01D9000000000000, 0},
    };
    for (const Case& c : cases) {
        const MsgProperty* property = FindProperty(document.message.properties, c.tag);
        ASSERT_NE(property, nullptr) << std::hex << c.tag;
        EXPECT_EQ(property->integer, c.integer) << std::hex << c.tag;
        EXPECT_EQ(property->real, c.real) << std::hex << c.tag;
        EXPECT_EQ(property->flags, 6u);
    }
}

TEST(MsgFileTest, ReadsStreamedValues)
{
    const MsgDocument document = ReadTree(MessageTree());
    const MsgPropertyList& properties = document.message.properties;
    ASSERT_NE(FindProperty(properties, 0x001A001F), nullptr);
    EXPECT_EQ(FindProperty(properties, 0x001A001F)->text, u"IPM.Note");
    // 8-bit strings keep their bytes without the terminator; binaries keep every byte.
    ASSERT_NE(FindProperty(properties, 0x0037001E), nullptr);
    EXPECT_EQ(FindProperty(properties, 0x0037001E)->bytes, (Bytes{'G', 'r', 0xFC, 0xDF, 'e'}));
    ASSERT_NE(FindProperty(properties, 0x66100102), nullptr);
    EXPECT_EQ(FindProperty(properties, 0x66100102)->bytes, (Bytes{0, 1, 2, 0}));
    ASSERT_NE(FindProperty(properties, 0x66110048), nullptr);
    EXPECT_EQ(FindProperty(properties, 0x66110048)->bytes.size(), 16u);
    EXPECT_EQ(FindProperty(properties, 0x66110048)->bytes[15], 0xAF);
    // A stream the property stream does not list still counts; a listed value without its
    // stream is left out.
    ASSERT_NE(FindProperty(properties, 0x6630001F), nullptr);
    EXPECT_EQ(FindProperty(properties, 0x6630001F)->text, u"unlisted");
    EXPECT_EQ(FindProperty(properties, 0x66120102), nullptr);
}

TEST(MsgFileTest, ReadsMultipleValues)
{
    const MsgDocument document = ReadTree(MessageTree());
    const MsgPropertyList& properties = document.message.properties;
    const MsgProperty* longs = FindProperty(properties, 0x66201003);
    ASSERT_NE(longs, nullptr);
    EXPECT_EQ(longs->integers, (std::vector<std::int64_t>{1, -2, 3}));
    const MsgProperty* texts = FindProperty(properties, 0x6621101F);
    ASSERT_NE(texts, nullptr);
    EXPECT_EQ(texts->texts, (std::vector<std::u16string>{u"a", u"bc"}));
    const MsgProperty* binaries = FindProperty(properties, 0x66221102);
    ASSERT_NE(binaries, nullptr);
    EXPECT_EQ(binaries->byteValues, (std::vector<Bytes>{{0xAB, 0xCD}, {}}));
    const MsgProperty* strings = FindProperty(properties, 0x6623101E);
    ASSERT_NE(strings, nullptr);
    EXPECT_EQ(strings->byteValues, (std::vector<Bytes>{{'x', 'y'}}));
    const MsgProperty* doubles = FindProperty(properties, 0x66241005);
    ASSERT_NE(doubles, nullptr);
    EXPECT_EQ(doubles->reals, (std::vector<double>{0.5, -8}));
}

TEST(MsgFileTest, ReadsTheNamedPropertyMapping)
{
    const MsgDocument document = ReadTree(MessageTree());
    ASSERT_EQ(document.namedProperties.size(), 3u);
    const MsgNamedProperty& byLid = document.namedProperties[0];
    EXPECT_EQ(byLid.id, 0x8000);
    EXPECT_EQ(byLid.propertySet, kCustomSet);
    EXPECT_FALSE(byLid.isString);
    EXPECT_EQ(byLid.lid, 0x8208u);
    const MsgNamedProperty& byName = document.namedProperties[1];
    EXPECT_EQ(byName.id, 0x8001);
    EXPECT_EQ(byName.propertySet, kPublicStrings);
    EXPECT_TRUE(byName.isString);
    EXPECT_EQ(byName.name, u"Keywords");
    EXPECT_EQ(document.namedProperties[2].id, 0x8002);
    EXPECT_EQ(document.namedProperties[2].propertySet, kMapi);
    EXPECT_EQ(document.namedProperties[2].lid, 0x1234u);
    ASSERT_NE(FindProperty(document.message.properties, 0x8000001F), nullptr);
    EXPECT_EQ(FindProperty(document.message.properties, 0x8000001F)->text, u"Z");
}

TEST(MsgFileTest, ReadsRecipientsAttachmentsAndEmbeddedMessages)
{
    const MsgDocument document = ReadTree(MessageTree());
    const MsgMessage& message = document.message;
    ASSERT_EQ(message.recipients.size(), 2u);
    EXPECT_EQ(message.recipients[0].number, 0u);
    EXPECT_EQ(FindProperty(message.recipients[0].properties, 0x3001001F)->text, u"First");
    EXPECT_EQ(FindProperty(message.recipients[1].properties, 0x3001001F)->text, u"Second");

    ASSERT_EQ(message.attachments.size(), 1u);
    const MsgAttachment& attachment = message.attachments[0];
    const MsgProperty* object = FindProperty(attachment.properties, PR_ATTACH_DATA_OBJ);
    ASSERT_NE(object, nullptr);
    EXPECT_TRUE(object->bytes.empty());
    ASSERT_NE(attachment.embedded, nullptr);
    const MsgMessage& inner = *attachment.embedded;
    EXPECT_EQ(FindProperty(inner.properties, 0x0037001E)->bytes, (Bytes{'i', 'n', 'n', 'e', 'r'}));
    ASSERT_EQ(inner.attachments.size(), 1u);
    EXPECT_EQ(inner.attachments[0].embedded, nullptr);
    EXPECT_EQ(FindProperty(inner.attachments[0].properties, 0x37010102)->bytes, (Bytes{7, 8, 9}));
    // The embedded message says nothing of its code page: it shares the German one around it.
    EXPECT_EQ(message.codePage, 1252u);
    EXPECT_EQ(inner.codePage, 1252u);
}

TEST(MsgFileTest, ChoosesTheCodePageOfEightBitStrings)
{
    struct Case {
        const char* what;
        std::uint32_t messageCodePage;
        std::uint32_t localeId;
        std::uint32_t internetCodePage;
        std::uint32_t enclosing;
        std::uint32_t expected;
    };
    const std::vector<Case> cases = {
        {"message code page first", 1250, 1041, 50220, 936, 1250},
        {"then the locale", 0, 1041, 50220, 0, 932},
        {"Russian locale", 0, 1049, 1252, 0, 1251},
        {"Chinese (Taiwan) locale", 0, 0x0404, 0, 0, 950},
        {"Serbian (Cyrillic) locale", 0, 0x0C1A, 0, 0, 1251},
        {"Croatian locale", 0, 0x041A, 0, 0, 1250},
        {"US English locale", 0, 1033, 28591, 0, 1252},
        {"then the enclosing message", 0, 0, 65001, 949, 949},
        {"then the internet code page", 0, 0, 28591, 0, 28591},
        {"ISO-2022-JP means Shift_JIS strings", 0, 0, 50220, 0, 932},
        {"EUC-KR means the Korean code page", 0, 0, 51949, 0, 949},
        {"nothing known", 0, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        MsgPropertyList properties;
        auto add = [&](std::uint32_t tag, std::uint32_t value) {
            if (value == 0)
                return;
            MsgProperty property;
            property.tag = tag;
            property.integer = value;
            properties.push_back(property);
        };
        add(PR_MESSAGE_CODEPAGE, c.messageCodePage);
        add(PR_MESSAGE_LOCALE_ID, c.localeId);
        add(PR_INTERNET_CPID, c.internetCodePage);
        EXPECT_EQ(StringCodePage(properties, c.enclosing), c.expected) << c.what;
    }
}

Node* FindNode(std::vector<Node>& nodes, const std::string& name)
{
    for (Node& node : nodes) {
        if (node.name == name)
            return &node;
    }
    return nullptr;
}

void Remove(std::vector<Node>& nodes, const std::string& name)
{
    std::erase_if(nodes, [&](const Node& node) { return node.name == name; });
}

std::vector<Node>& AttachmentChildren(std::vector<Node>& tree)
{
    return FindNode(tree, "__attach_version1.0_#00000000")->children;
}

Node NestedMessages(int depth)
{
    std::vector<Node> children = {PropertyStream(24, {})};
    if (depth > 0) {
        children.push_back(Storage("__attach_version1.0_#00000000",
                                   {PropertyStream(8, {{0x37050003, Le(5)}}), NestedMessages(depth - 1)}));
    }
    return Storage(ValueName(0x3701000D), std::move(children));
}

// Reads the fixture's tree with one damage done to it.
HRESULT ReadDamaged(const std::function<void(std::vector<Node>&)>& damage, MsgDocument& document, std::string& error)
{
    std::vector<Node> tree = MessageTree();
    damage(tree);
    const BuiltFile built = BuildCompoundFile(tree);
    return ReadMsgBytes(built.bytes, "fixture.msg", document, error);
}

// A message whose own property stream is damaged cannot be read at all.
TEST(MsgFileTest, DamagedMessagesNameTheFileAndThePlace)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<Node>&)> damage;
        const char* error;
    };
    const std::vector<Case> cases = {
        {"no property stream", [](std::vector<Node>& tree) { Remove(tree, "__properties_version1.0"); },
         "fixture.msg: there is no \"__properties_version1.0\" stream"},
        {"property stream shorter than its header",
         [](std::vector<Node>& tree) { FindNode(tree, "__properties_version1.0")->data.resize(20); },
         "fixture.msg: the property stream is shorter than its header (20 bytes)"},
        {"missing value of a multi-valued property",
         [](std::vector<Node>& tree) { Remove(tree, ValueName(0x6621101F) + "-00000001"); },
         "fixture.msg: value 1 of the multi-valued property 0x6621101F has no stream"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MsgDocument document;
        std::string error;
        EXPECT_EQ(ReadDamaged(c.damage, document, error), MAPI_E_CORRUPT_DATA);
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
        EXPECT_TRUE(document.message.properties.empty());
    }
}

// A damaged recipient, attachment or named-property entry is left out and named; the rest of the
// message is read.
TEST(MsgFileTest, DamagedPartsAreLeftOutAndNamed)
{
    struct Case {
        const char* what;
        std::function<void(std::vector<Node>&)> damage;
        const char* leftOut;
        std::size_t recipients;
        std::size_t attachments;
    };
    auto replaceNames = [](Bytes entries) {
        return [entries](std::vector<Node>& tree) {
            Remove(tree, "__nameid_version1.0");
            tree.push_back(NameIdStorage(entries));
        };
    };
    const std::vector<Case> cases = {
        {"recipient without property stream",
         [](std::vector<Node>& tree) { Remove(FindNode(tree, "__recip_version1.0_#00000001")->children, "__properties_version1.0"); },
         "__recip_version1.0_#00000001: there is no \"__properties_version1.0\" stream", 1, 1},
        {"embedded message without its storage",
         [](std::vector<Node>& tree) { Remove(AttachmentChildren(tree), ValueName(0x3701000D)); },
         "__attach_version1.0_#00000000: the attachment is an embedded message but has no "
         "\"__substg1.0_3701000D\" storage", 2, 0},
        {"embedded message with a stream in place of its storage",
         [](std::vector<Node>& tree) {
             Remove(AttachmentChildren(tree), ValueName(0x3701000D));
             AttachmentChildren(tree).push_back(Stream(ValueName(0x3701000D), {1, 2}));
         },
         "the attachment is an embedded message but has no", 2, 0},
        {"embedded message without property stream",
         [](std::vector<Node>& tree) {
             Remove(AttachmentChildren(tree), ValueName(0x3701000D));
             AttachmentChildren(tree).push_back(Storage(ValueName(0x3701000D), {}));
         },
         "__attach_version1.0_#00000000/__substg1.0_3701000D: there is no", 2, 0},
        {"embedded messages nested too deep",
         [](std::vector<Node>& tree) {
             Remove(AttachmentChildren(tree), ValueName(0x3701000D));
             AttachmentChildren(tree).push_back(NestedMessages(70));
         },
         "embedded messages are nested more than 64 deep", 2, 1},  // only the innermost attachment goes
        {"named property in a missing property set", replaceNames(Concat({Le(1, 4), Le(4 << 1, 2), Le(0, 2)})),
         "__nameid_version1.0: named property 0x8000 refers to property set 4, which does not exist", 2, 1},
        {"named property in property set 0", replaceNames(Concat({Le(1, 4), Le(0, 2), Le(0, 2)})),
         "refers to property set 0", 2, 1},
        {"name outside the string stream", replaceNames(Concat({Le(400, 4), Le(2 << 1 | 1, 2), Le(5, 2)})),
         "__nameid_version1.0: the name of named property 0x8005 lies outside the string stream", 2, 1},
        {"name longer than the string stream",
         [](std::vector<Node>& tree) {
             Remove(tree, "__nameid_version1.0");
             Node names = NameIdStorage(Concat({Le(0, 4), Le(2 << 1 | 1, 2), Le(0, 2)}));
             FindNode(names.children, "__substg1.0_00040102")->data = Concat({Le(0x7FFFFFF0, 4), Utf16Terminated(u"x")});
             tree.push_back(names);
         },
         "runs past the end of the string stream", 2, 1},
        {"property index past the named range", replaceNames(Concat({Le(1, 4), Le(1 << 1, 2), Le(0x7FFF, 2)})),
         "named property index 32767 is out of range", 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MsgDocument document;
        std::string error;
        ASSERT_EQ(ReadDamaged(c.damage, document, error), S_OK) << error;
        EXPECT_EQ(error, "");
        ASSERT_EQ(document.leftOut.size(), 1u);
        EXPECT_NE(document.leftOut.front().find(c.leftOut), std::string::npos) << document.leftOut.front();
        EXPECT_NE(FindProperty(document.message.properties, 0x001A001F), nullptr);
        EXPECT_EQ(document.message.recipients.size(), c.recipients);
        EXPECT_EQ(document.message.attachments.size(), c.attachments);
    }
    // A sound file leaves nothing out.
    EXPECT_TRUE(ReadTree(MessageTree()).leftOut.empty());
}

TEST(MsgFileTest, StreamsSharingSectorsCannotMultiplyTheFile)
{
    // Fifty values of a multi-valued binary all point at the sectors of one 100 000-byte stream.
    constexpr int kValues = 50;
    constexpr std::size_t kBigSize = 100000;
    std::vector<Node> tree = MessageTree();
    Bytes lengths;
    for (int i = 0; i < kValues; ++i) {
        lengths = Concat({lengths, Le(1, 4), Le(0, 4)});
        tree.push_back(Stream(ValueName(0x66501102) + "-" + ValueName(i).substr(12), {1}));
    }
    tree.push_back(Stream(ValueName(0x66501102), lengths));
    tree.push_back(Stream(ValueName(0x66510102), Bytes(kBigSize, 0x5A)));
    BuiltFile built = BuildCompoundFile(tree);
    const std::uint32_t bigStart = built.StartSector(ValueName(0x66510102));
    for (int i = 0; i < kValues; ++i) {
        std::size_t entry = built.EntryOffset(built.entryNumbers.at(ValueName(0x66501102) + "-" + ValueName(i).substr(12)));
        built.SetU32(entry + kStartField, bigStart);
        built.SetU64(entry + kSizeField, kBigSize);
    }
    MsgDocument document;
    std::string error;
    EXPECT_EQ(ReadMsgBytes(built.bytes, "shared.msg", document, error), MAPI_E_CORRUPT_DATA);
    EXPECT_EQ(error, "shared.msg: the streams hold more data than the file (they share sectors)");
}

TEST(MsgFileTest, NestingUpToTheLimitIsRead)
{
    std::vector<Node> tree = MessageTree();
    Remove(AttachmentChildren(tree), ValueName(0x3701000D));
    AttachmentChildren(tree).push_back(NestedMessages(63));
    const MsgDocument document = ReadTree(tree);
    int depth = 0;
    for (const MsgMessage* message = &document.message; !message->attachments.empty();
         message = message->attachments[0].embedded.get()) {
        ASSERT_NE(message->attachments[0].embedded, nullptr);
        ++depth;
    }
    EXPECT_EQ(depth, 64);
}

} // namespace
