// The TNEF encoder behind OpenTnefStreamEx: streams decoded by Debian's tnef and ytnef, with the
// decoded properties and attachment bytes compared with what went in.
#include <QlnMapiExtras.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <functional>
#include <optional>

#include "tests/platform/mapi/core/TnefDecoders.h"
#include "tests/platform/mapi/core/TnefTestMessages.h"
#include "tests/support/StreamContents.h"
#include "tests/support/TemporaryDirectory.h"

namespace tneftest {
namespace {

using platform::cfb::Guid;
using platform::cfb::MsgNamedProperty;

class Utf8Locale : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new Utf8Locale);

constexpr Guid kPsetidCommon = {0x08, 0x20, 0x06, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
constexpr Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
constexpr std::uint8_t kImessageIid[16] = {0x07, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};

// The addressing properties the conversion leaves out of a TNEF part.
const std::vector<ULONG> kConversionExclusions = {
    PR_MESSAGE_ATTACHMENTS, PR_MESSAGE_RECIPIENTS, 0x0077001E, 0x0044001E, 0x0078001E, 0x00430102, 0x00520102,
    0x0064001E, 0x0042001E, 0x0065001E, 0x00410102, 0x003B0102, 0x5D02001E, 0x0C1E001E, 0x0C1A001E, 0x0C1F001E,
    0x0C190102, 0x0C1D0102, 0x0075001E, 0x0040001E, 0x0076001E, 0x003F0102, 0x00510102, 0x0029000B};

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed)
{
    std::vector<std::uint8_t> bytes(size);
    for (std::uint8_t& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<std::uint8_t>(seed >> 16);
    }
    return bytes;
}

std::string Hex32Pair(std::int64_t value)
{
    char text[32];
    auto bits = static_cast<std::uint64_t>(value);
    std::snprintf(text, sizeof(text), "0x%08x 0x%08x", static_cast<unsigned>(bits), static_cast<unsigned>(bits >> 32));
    return text;
}

std::string ByteList(const std::vector<std::uint8_t>& bytes)
{
    std::string text;
    char one[8];
    for (std::uint8_t byte : bytes) {
        std::snprintf(one, sizeof(one), "0x%02x ", byte);
        text += one;
    }
    return text;
}

std::string GuidText(const std::vector<std::uint8_t>& b)
{
    char text[128];
    std::snprintf(text, sizeof(text), "{ 0x%x 0x%x 0x%x { 0x%02x 0x%02x 0x%02x 0x%02x 0x%02x 0x%02x 0x%02x 0x%02x }",
                  b[0] | b[1] << 8 | b[2] << 16 | static_cast<unsigned>(b[3]) << 24, b[4] | b[5] << 8, b[6] | b[7] << 8,
                  b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]);
    return text;
}

// A value as tnef --debug prints it; nullopt for the real types, which it does not print.
std::optional<std::string> TnefText(std::uint16_t type, const platform::cfb::MsgProperty& p, std::size_t i, bool multi)
{
    std::int64_t integer = !multi ? p.integer : i < p.integers.size() ? p.integers[i] : 0;
    switch (type) {
    case PT_UNICODE: {
        std::string text = platform::Utf16ToUtf8(multi ? p.texts[i] : p.text);
        for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at))
            text.erase(at, 1);
        return text;
    }
    case PT_STRING8: {
        const auto& bytes = multi ? p.byteValues[i] : p.bytes;
        return std::string(bytes.begin(), bytes.end());
    }
    case PT_LONG: return std::to_string(static_cast<std::int32_t>(integer));
    case PT_I2: return std::to_string(static_cast<std::int16_t>(integer));
    case PT_BOOLEAN: return integer != 0 ? "true" : "false";
    case PT_BINARY: return ByteList(multi ? p.byteValues[i] : p.bytes);
    case PT_SYSTIME: case PT_I8: case PT_CURRENCY: return Hex32Pair(integer);
    case PT_CLSID: return GuidText(multi ? p.byteValues[i] : p.bytes);
    default: return std::nullopt;
    }
}

std::size_t ValueCount(const platform::cfb::MsgProperty& p)
{
    return std::max({p.texts.size(), p.integers.size(), p.reals.size(), p.byteValues.size()});
}

// The listed id of a property: its tag's id, or for a named property its LID (tnef prints the
// LID) or its own id (for a string name).
std::string ListedId(const platform::cfb::MsgProperty& p, const MsgDocument& document, const MsgNamedProperty** named)
{
    *named = nullptr;
    for (const MsgNamedProperty& entry : document.namedProperties) {
        if (entry.id == p.Id()) {
            *named = &entry;
            return entry.isString ? Hex4(entry.id) : Hex4(entry.lid);
        }
    }
    return Hex4(p.Id());
}

// Every property of `properties` (objects apart) is listed by tnef in `component` with its type and values.
void ExpectListed(const DecoderReport& report, int component, const platform::cfb::MsgPropertyList& properties,
                  const MsgDocument& document, const std::vector<ULONG>& excluded = {})
{
    for (const auto& p : properties) {
        bool multi = (p.Type() & MV_FLAG) != 0;
        if ((p.Type() & ~MV_FLAG) == PT_OBJECT || p.Id() == PROP_ID(PR_ATTACH_DATA_BIN))
            continue;
        bool isExcluded = std::any_of(excluded.begin(), excluded.end(), [&](ULONG tag) { return PROP_ID(tag) == p.Id(); });
        const MsgNamedProperty* named = nullptr;
        std::string id = ListedId(p, document, &named);
        const ListedProperty* listed = nullptr;
        for (const ListedProperty* candidate : FindListed(report, id)) {
            if (candidate->component == component)
                listed = candidate;
        }
        SCOPED_TRACE("property " + id + " of component " + std::to_string(component));
        if (isExcluded || (multi && ValueCount(p) == 0)) {  // an empty list is left out
            EXPECT_EQ(listed, nullptr);
            continue;
        }
        ASSERT_NE(listed, nullptr);
        std::uint16_t base = p.Type() & ~MV_FLAG;
        std::uint16_t listedType = base == PT_STRING8 ? PT_UNICODE : base;  // read in the Unicode form
        EXPECT_EQ(listed->type, Hex4(listedType));  // tnef names the base type of a multi-valued one
        if (named != nullptr) {
            EXPECT_NE(listed->guid, "");
            if (named->isString) {
                EXPECT_EQ(listed->name, platform::Utf16ToUtf8(named->name));
            }
        }
        std::size_t count = multi ? ValueCount(p) : 1;
        ASSERT_EQ(listed->values.size(), count);
        // tnef shows the values of a multi-valued PT_I2 or PT_I8 all in the first place: ytnef checks them.
        bool shownInPlace = !(multi && (base == PT_I2 || base == PT_I8));
        for (std::size_t i = 0; i < count && shownInPlace; ++i) {
            auto expected = TnefText(base, p, i, multi);
            if (expected) {
                EXPECT_EQ(listed->values[i], *expected) << "value " << i;
            }
        }
    }
}

// ytnef's listing of the message's own-numbered properties (0x6000 to 0x7FFF) of the types it
// prints in full: 16- and 32-bit integers and texts, single and multi-valued.
void ExpectYtnefListed(const DecoderReport& report, const platform::cfb::MsgPropertyList& properties)
{
    for (const auto& p : properties) {
        std::uint16_t base = p.Type() & ~MV_FLAG;
        bool multi = (p.Type() & MV_FLAG) != 0;
        if (p.Id() < 0x6000 || p.Id() >= 0x8000 || (base != PT_I2 && base != PT_LONG && base != PT_UNICODE))
            continue;
        if (multi && ValueCount(p) == 0)
            continue;
        SCOPED_TRACE("ytnef, property " + Hex4(p.Id()));
        auto listed = FindListed(report, Hex4(p.Id()));
        ASSERT_EQ(listed.size(), 1u);
        std::size_t count = multi ? ValueCount(p) : 1;
        ASSERT_EQ(listed[0]->values.size(), count);
        for (std::size_t i = 0; i < count; ++i)
            EXPECT_EQ(listed[0]->values[i], *TnefText(base, p, i, multi)) << "value " << i;
    }
}

bool HasTypesYtnefLacks(const platform::cfb::MsgPropertyList& properties)
{
    return std::any_of(properties.begin(), properties.end(), [](const auto& p) {
        std::uint16_t base = p.Type() & ~MV_FLAG;
        return base == PT_CURRENCY || base == PT_APPTIME;
    });
}

bool MessageHasTypesYtnefLacks(const MsgMessage& message)
{
    if (HasTypesYtnefLacks(message.properties))
        return true;
    for (const auto& recipient : message.recipients) {
        if (HasTypesYtnefLacks(recipient.properties))
            return true;
    }
    for (const auto& attachment : message.attachments) {
        if (HasTypesYtnefLacks(attachment.properties) ||
            (attachment.embedded && MessageHasTypesYtnefLacks(*attachment.embedded)))
            return true;
    }
    return false;
}

// ytnef does not know PT_CURRENCY and PT_APPTIME and loses its place in a list that holds them.
bool ListsTypesYtnefLacks(const DecoderReport& tnef)
{
    return std::any_of(tnef.properties.begin(), tnef.properties.end(), [](const ListedProperty& p) {
        return p.type == "0006" || p.type == "0007" || p.type == "1006" || p.type == "1007";
    });
}

// The data of every attachment by value of `message`.
std::vector<std::string> AttachmentData(IMessage* message)
{
    std::vector<std::string> found;
    MapiPtr<IMAPITable> table;
    EXPECT_EQ(message->GetAttachmentTable(0, table.put()), S_OK);
    SizedSPropTagArray(2, columns) = {2, {PR_ATTACH_NUM, PR_ATTACH_METHOD}};
    MapiRows rows;
    EXPECT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put()),
              S_OK);
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SPropValue* values = rows->aRow[i].lpProps;
        if (values[1].ulPropTag != PR_ATTACH_METHOD || values[1].Value.l != ATTACH_BY_VALUE)
            continue;
        MapiPtr<IAttach> attach;
        MapiPtr<IStream> stream;
        EXPECT_EQ(message->OpenAttach(static_cast<ULONG>(values[0].Value.l), nullptr, 0, attach.put()), S_OK);
        if (FAILED(attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.put_unknown())))
            continue;
        const std::string data = testsupport::StreamContents(stream.get(), 65536);
        if (!data.empty())
            found.push_back(data);
    }
    return found;
}

std::u16string FileName(const MsgAttachment& attachment, std::uint32_t tag)
{
    const auto* name = platform::cfb::FindProperty(attachment.properties, tag);
    return name != nullptr ? name->text : std::u16string();
}

// The nested stream of an embedded message as tnef wrote it: the interface identifier, then TNEF.
std::vector<std::uint8_t> NestedStream(const std::string& file)
{
    EXPECT_GE(file.size(), 16u);
    if (file.size() < 16)
        return {};
    EXPECT_EQ(std::memcmp(file.data(), kImessageIid, 16), 0);
    return {file.begin() + 16, file.end()};
}

// Decodes `stream` with both decoders and checks it against `message`, nested messages included.
void CheckStream(const std::vector<std::uint8_t>& stream, const MsgMessage& message, const MsgDocument& document,
                 const std::filesystem::path& directory, const std::vector<ULONG>& excluded = {}, int depth = 0)
{
    SCOPED_TRACE("nesting depth " + std::to_string(depth));
    ASSERT_GE(stream.size(), 6u);
    EXPECT_EQ(std::memcmp(stream.data(), "\x78\x9f\x3e\x22", 4), 0);
    std::filesystem::path here = directory / ("level" + std::to_string(depth));
    std::filesystem::create_directories(here);

    DecoderReport tnef = DecodeWithTnef(stream, here);
    EXPECT_EQ(tnef.exitCode, 0) << tnef.output;
    EXPECT_TRUE(tnef.errors.empty()) << tnef.errors.front();
    EXPECT_EQ(tnef.extractionError, "");
    ExpectListed(tnef, 0, message.properties, document, excluded);

    if (!MessageHasTypesYtnefLacks(message)) {
        DecoderReport ytnef = DecodeWithYtnef(stream, here);
        EXPECT_EQ(ytnef.exitCode, 0) << ytnef.output;
        EXPECT_TRUE(ytnef.errors.empty()) << ytnef.errors.front();
        EXPECT_EQ(ytnef.extractionError, "");
        ExpectYtnefListed(ytnef, message.properties);
        for (const auto& attachment : message.attachments) {
            const auto* data = platform::cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_BIN);
            std::u16string name = FileName(attachment, PR_ATTACH_FILENAME_W);
            if (name.empty())
                name = FileName(attachment, PR_ATTACH_LONG_FILENAME_W);
            if (data == nullptr || data->bytes.empty() || name.empty())
                continue;
            auto file = ytnef.files.find(platform::Utf16ToUtf8(name));
            ASSERT_NE(file, ytnef.files.end()) << platform::Utf16ToUtf8(name);
            EXPECT_EQ(file->second, std::string(data->bytes.begin(), data->bytes.end()));
        }
    }

    for (std::size_t i = 0; i < message.attachments.size(); ++i) {
        const MsgAttachment& attachment = message.attachments[i];
        ExpectListed(tnef, static_cast<int>(i) + 1, attachment.properties, document);
        if (attachment.embedded) {
            auto file = tnef.files.find("tnef-tmp");
            ASSERT_NE(file, tnef.files.end());
            CheckStream(NestedStream(file->second), *attachment.embedded, document, here, {}, depth + 1);
            continue;
        }
        const auto* data = platform::cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_BIN);
        std::u16string name = FileName(attachment, PR_ATTACH_LONG_FILENAME_W);
        if (data == nullptr || name.empty())
            continue;
        auto file = tnef.files.find(platform::Utf16ToUtf8(name));
        ASSERT_NE(file, tnef.files.end()) << platform::Utf16ToUtf8(name);
        EXPECT_EQ(file->second, std::string(data->bytes.begin(), data->bytes.end()));
    }
}

class TnefDecoderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveProgram("tnef") || !HaveProgram("ytnef"))
            GTEST_SKIP() << "the TNEF decoders are not installed (Debian packages tnef and ytnef-tools)";
    }
    testsupport::TemporaryDirectory directory_;
};

MsgMessage PlainMessage()
{
    MsgMessage message;
    message.properties.push_back(Text(PR_MESSAGE_CLASS_W, u"IPM.Note"));
    message.properties.push_back(Text(PR_SUBJECT_W, u"Quarterly figures \u2013 Gr\u00fc\u00dfe"));
    message.properties.push_back(Text(PR_BODY_W, u"Hello,\r\nthe figures are attached.\r\n"));
    message.properties.push_back(Integer(PR_IMPORTANCE, 2));
    message.properties.push_back(Integer(PR_CLIENT_SUBMIT_TIME, 133500000000000000LL));
    message.properties.push_back(Text(PR_SENDER_NAME_W, u"Sender Name"));
    return message;
}

struct EncoderCase {
    std::string name;
    std::function<void(MsgDocument&)> build;
    std::vector<ULONG> excluded;
};

std::vector<EncoderCase> EncoderCases()
{
    return {
        {"plain message", [](MsgDocument& d) { d.message = PlainMessage(); }, {}},
        {"addressing properties excluded", [](MsgDocument& d) { d.message = PlainMessage(); }, kConversionExclusions},
        {"every single-valued type",
         [](MsgDocument& d) {
             auto& p = d.message.properties;
             p.push_back(Text(PR_MESSAGE_CLASS_W, u"IPM.Note"));
             p.push_back(Integer(PROP_TAG(PT_I2, 0x6001), -5));
             p.push_back(Integer(PROP_TAG(PT_LONG, 0x6002), -123456));
             p.push_back(Real(PROP_TAG(PT_FLOAT, 0x6003), 1.5));
             p.push_back(Real(PROP_TAG(PT_DOUBLE, 0x6004), -2.25));
             p.push_back(Integer(PROP_TAG(PT_CURRENCY, 0x6005), 1234567890));
             p.push_back(Real(PROP_TAG(PT_APPTIME, 0x6006), 45000.75));
             p.push_back(Integer(PROP_TAG(PT_BOOLEAN, 0x6007), 1));
             p.push_back(Integer(PROP_TAG(PT_BOOLEAN, 0x6008), 0));
             p.push_back(Integer(PROP_TAG(PT_I8, 0x6009), -9876543210LL));
             p.push_back(Ansi(PROP_TAG(PT_STRING8, 0x600A), "eight-bit text"));
             p.push_back(Text(PROP_TAG(PT_UNICODE, 0x600B), u"\u65e5\u672c\u8a9e text"));
             p.push_back(Integer(PROP_TAG(PT_SYSTIME, 0x600C), 133500000000000000LL));
             p.push_back(Bytes(PROP_TAG(PT_CLSID, 0x600D), {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
             p.push_back(Bytes(PROP_TAG(PT_BINARY, 0x600E), {0, 1, 2, 0xFE, 0xFF}));
             p.push_back(Bytes(PROP_TAG(PT_BINARY, 0x600F), {}));
             p.push_back(Text(PROP_TAG(PT_UNICODE, 0x6010), u""));
             p.push_back(Integer(PROP_TAG(PT_LONG, 0x6011), 7));  // after every type: still in step
         },
         {}},
        {"multi-valued properties",
         [](MsgDocument& d) {
             auto& p = d.message.properties;
             p.push_back(Texts(PROP_TAG(PT_MV_UNICODE, 0x6101), {u"one", u"", u"thr\u00e9\u00e9"}));
             p.push_back(Integers(PROP_TAG(PT_MV_LONG, 0x6102), {1, -2, 3}));
             p.push_back(Integers(PROP_TAG(PT_MV_I2, 0x6103), {7, -8, 9}));
             p.push_back(ByteValues(PROP_TAG(PT_MV_BINARY, 0x6104), {{1, 2, 3}, {}, {4, 5}}));
             p.push_back(Integers(PROP_TAG(PT_MV_SYSTIME, 0x6105), {133500000000000000LL, 1}));
             p.push_back(Integers(PROP_TAG(PT_MV_I8, 0x6106), {1LL << 40, -1}));
             p.push_back(ByteValues(PROP_TAG(PT_MV_CLSID, 0x6107), {std::vector<std::uint8_t>(16, 0xAB)}));
             MsgProperty reals;
             reals.tag = PROP_TAG(PT_MV_DOUBLE, 0x6108);
             reals.reals = {0.5, -1.25};
             p.push_back(reals);
             p.push_back(Texts(PROP_TAG(PT_MV_UNICODE, 0x6109), {}));
             p.push_back(Integer(PROP_TAG(PT_LONG, 0x610A), 11));
         },
         {}},
        {"named properties by number and by name",
         [](MsgDocument& d) {
             d.message = PlainMessage();
             auto& p = d.message.properties;
             p.push_back(Text(PROP_TAG(PT_UNICODE, 0x8000), u"Categories by LID"));
             p.push_back(Integer(PROP_TAG(PT_LONG, 0x8001), 42));
             p.push_back(Texts(PROP_TAG(PT_MV_UNICODE, 0x8002), {u"red", u"green"}));
             p.push_back(Integer(PROP_TAG(PT_BOOLEAN, 0x8003), 1));
             d.namedProperties.push_back({0x8000, kPsetidCommon, false, 0x8580, {}});
             d.namedProperties.push_back({0x8001, kPsPublicStrings, true, 0, u"X-Custom-Header"});
             d.namedProperties.push_back({0x8002, kPsPublicStrings, true, 0, u"Keywords"});
             d.namedProperties.push_back({0x8003, kPsetidCommon, false, 0x8503, {}});
         },
         {}},
        {"recipients",
         [](MsgDocument& d) {
             d.message = PlainMessage();
             d.message.recipients.push_back(Recipient(0, u"Ann Example", u"ann@example.com", MAPI_TO));
             d.message.recipients.push_back(Recipient(1, u"B\u00e9a Exemple", u"bea@example.org", MAPI_CC));
             d.message.recipients.push_back(Recipient(2, u"Carl", u"carl@example.net", MAPI_BCC));
         },
         {}},
        {"attachments with binary data and long names",
         [](MsgDocument& d) {
             d.message = PlainMessage();
             std::vector<std::uint8_t> every(256);
             for (std::size_t i = 0; i < every.size(); ++i)
                 every[i] = static_cast<std::uint8_t>(i);
             auto& a = d.message.attachments;
             a.push_back(FileAttachment(0, u"every byte value.bin", u"EVERYB~1.BIN", every));
             a.push_back(FileAttachment(1, u"A report with a rather long name, written in 2024 (final version).pdf",
                                        u"AREPOR~1.PDF", Pattern(1001, 7)));
             a.push_back(FileAttachment(2, u"odd.txt", u"ODD.TXT", {'a', 'b', 'c'}));
             a[1].properties.push_back(Text(PR_ATTACH_MIME_TAG_W, u"application/pdf"));
             a[1].properties.push_back(Text(PR_ATTACH_EXTENSION_W, u".pdf"));
         },
         {}},
        {"a large attachment",
         [](MsgDocument& d) {
             d.message = PlainMessage();
             d.message.attachments.push_back(FileAttachment(0, u"large.bin", u"LARGE.BIN", Pattern(6 << 20, 99)));
         },
         {}},
        {"embedded messages two levels deep",
         [](MsgDocument& d) {
             MsgMessage innermost;
             innermost.properties.push_back(Text(PR_MESSAGE_CLASS_W, u"IPM.Note"));
             innermost.properties.push_back(Text(PR_SUBJECT_W, u"Innermost"));
             innermost.attachments.push_back(FileAttachment(0, u"deep file.txt", u"DEEPFI~1.TXT", {'d', 'e', 'e', 'p'}));
             MsgMessage middle;
             middle.properties.push_back(Text(PR_MESSAGE_CLASS_W, u"IPM.Note"));
             middle.properties.push_back(Text(PR_SUBJECT_W, u"Middle"));
             middle.recipients.push_back(Recipient(0, u"Dana", u"dana@example.com", MAPI_TO));
             middle.attachments.push_back(EmbeddedAttachment(0, u"Innermost", std::move(innermost)));
             d.message = PlainMessage();
             d.message.attachments.push_back(FileAttachment(0, u"outer.txt", u"OUTER.TXT", {'o', 'u', 't'}));
             d.message.attachments.push_back(EmbeddedAttachment(1, u"Middle", std::move(middle)));
         },
         {}},
    };
}

TEST_F(TnefDecoderTest, DecodersReadWhatWasEncoded)
{
    for (const EncoderCase& test : EncoderCases()) {
        SCOPED_TRACE(test.name);
        MsgDocument document;
        test.build(document);
        testsupport::TemporaryDirectory work;
        MapiPtr<IMessage> message = OpenDocument(document, work.Path());
        ASSERT_TRUE(message);
        HRESULT status = S_OK;
        std::vector<std::uint8_t> stream = EncodeMessage(message.get(), test.excluded, status, 0x1234);
        ASSERT_EQ(status, S_OK) << std::hex << status;
        EXPECT_EQ(stream[4] | stream[5] << 8, 0x1234);
        CheckStream(stream, document.message, document, work.Path(), test.excluded);
    }
}

// The recipient rows travel in attRecipTable, which the decoders accept but do not list.
TEST_F(TnefDecoderTest, RecipientRowsCarryTheirValues)
{
    MsgDocument document;
    document.message = PlainMessage();
    document.message.recipients.push_back(Recipient(0, u"Ann Example", u"ann@example.com", MAPI_TO));
    document.message.recipients.push_back(Recipient(1, u"Bob Example", u"bob@example.com", MAPI_CC));
    MapiPtr<IMessage> message = OpenDocument(document, directory_.Path());
    HRESULT status = S_OK;
    std::vector<std::uint8_t> stream = EncodeMessage(message.get(), {}, status);
    ASSERT_EQ(status, S_OK);
    const std::uint8_t head[] = {0x01, 0x04, 0x90, 0x06, 0x00};  // message level, attRecipTable
    auto found = std::search(stream.begin(), stream.end(), std::begin(head), std::end(head));
    ASSERT_NE(found, stream.end());
    std::uint32_t length = found[5] | found[6] << 8 | found[7] << 16 | static_cast<std::uint32_t>(found[8]) << 24;
    std::string data(found + 9, found + 9 + length);
    EXPECT_EQ(std::string(data, 0, 4), std::string("\x02\x00\x00\x00", 4));  // two rows
    for (const std::u16string& text : {std::u16string(u"Ann Example"), std::u16string(u"bob@example.com")}) {
        std::string utf16;
        for (char16_t c : text)
            utf16 += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
        EXPECT_NE(data.find(utf16), std::string::npos) << platform::Utf16ToUtf8(text);
    }
}

// Part of the outcome of the conversion: one attachment chosen, a property set over the message's.
TEST_F(TnefDecoderTest, ContainedAttachmentAndOverrides)
{
    MsgDocument document;
    document.message = PlainMessage();
    document.message.attachments.push_back(FileAttachment(0, u"first.txt", u"FIRST.TXT", {'1'}));
    document.message.attachments.push_back(FileAttachment(1, u"second.txt", u"SECOND.TXT", {'2', '2'}));
    MapiPtr<IMessage> message = OpenDocument(document, directory_.Path());
    MapiPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    MapiPtr<ITnef> tnef;
    char name[] = "Winmail.dat";
    ASSERT_EQ(OpenTnefStreamEx(nullptr, stream.get(), name, TNEF_ENCODE | TNEF_PURE, message.get(), 7, nullptr,
                               tnef.put()),
              S_OK);
    SizedSPropTagArray(1, excluded) = {1, {PR_MESSAGE_ATTACHMENTS}};
    ASSERT_EQ(tnef->AddProps(TNEF_PROP_EXCLUDE, 0, nullptr, reinterpret_cast<LPSPropTagArray>(&excluded)), S_OK);
    ASSERT_EQ(tnef->AddProps(TNEF_PROP_EXCLUDE | TNEF_PROP_CONTAINED, 1, nullptr, nullptr), S_OK);
    WCHAR subject[] = u"Replaced subject";
    SPropValue value{};
    value.ulPropTag = PR_SUBJECT_W;
    value.Value.lpszW = subject;
    ASSERT_EQ(tnef->SetProps(0, 0, 1, &value), S_OK);
    WORD key = 0;
    ASSERT_EQ(tnef->Finish(0, &key, nullptr), S_OK);
    EXPECT_EQ(key, 7);
    EXPECT_EQ(tnef->Finish(0, &key, nullptr), MAPI_E_CALL_FAILED);

    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, 0), S_OK);
    std::vector<std::uint8_t> bytes(stat.cbSize.QuadPart);
    LARGE_INTEGER start{};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    ULONG got = 0;
    ASSERT_EQ(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &got), S_OK);
    DecoderReport report = DecodeWithTnef(bytes, directory_.Path());
    EXPECT_TRUE(report.errors.empty()) << report.output;
    auto subjects = FindListed(report, Hex4(PROP_ID(PR_SUBJECT_W)));
    ASSERT_EQ(subjects.size(), 1u);
    EXPECT_EQ(subjects[0]->values, std::vector<std::string>{"Replaced subject"});
    EXPECT_EQ(report.files.count("first.txt"), 0u);
    ASSERT_EQ(report.files.count("second.txt"), 1u);
    EXPECT_EQ(report.files["second.txt"], "22");
}

TEST(OpenTnefStreamExTest, RefusesWhatItCannotDo)
{
    testsupport::TemporaryDirectory directory;
    MsgDocument document;
    document.message = PlainMessage();
    MapiPtr<IMessage> message = OpenDocument(document, directory.Path());
    MapiPtr<IStream> stream;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    char good[] = "Winmail.dat";
    char colon[] = "bad:name";
    char empty[] = "";
    struct Case {
        const char* name;
        IStream* stream;
        char* streamName;
        ULONG flags;
        IMessage* message;
        HRESULT expected;
    };
    const Case cases[] = {
        {"decoding is not built", stream.get(), good, TNEF_DECODE, message.get(), E_NOTIMPL},
        {"legacy attribute forms are not built", stream.get(), good, TNEF_ENCODE | TNEF_BEST_DATA, message.get(), E_NOTIMPL},
        {"no stream", nullptr, good, TNEF_ENCODE | TNEF_PURE, message.get(), MAPI_E_INVALID_PARAMETER},
        {"no message", stream.get(), good, TNEF_ENCODE | TNEF_PURE, nullptr, MAPI_E_INVALID_PARAMETER},
        {"no name", stream.get(), nullptr, TNEF_ENCODE | TNEF_PURE, message.get(), MAPI_E_INVALID_PARAMETER},
        {"empty name", stream.get(), empty, TNEF_ENCODE | TNEF_PURE, message.get(), MAPI_E_INVALID_PARAMETER},
        {"name with a colon", stream.get(), colon, TNEF_ENCODE | TNEF_PURE, message.get(), MAPI_E_INVALID_PARAMETER},
    };
    for (const Case& test : cases) {
        LPITNEF tnef = reinterpret_cast<LPITNEF>(1);
        EXPECT_EQ(OpenTnefStreamEx(nullptr, test.stream, test.streamName, test.flags, test.message, 1, nullptr, &tnef),
                  test.expected)
            << test.name;
        EXPECT_EQ(tnef, nullptr) << test.name;
    }

    MapiPtr<ITnef> tnef;
    ASSERT_EQ(OpenTnefStreamEx(nullptr, stream.get(), good, TNEF_ENCODE | TNEF_PURE, message.get(), 0, nullptr,
                               tnef.put()),
              S_OK);
    EXPECT_EQ(tnef->AddProps(TNEF_PROP_INCLUDE, 0, nullptr, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(tnef->AddProps(TNEF_PROP_INCLUDE | TNEF_PROP_EXCLUDE, 0, nullptr, nullptr), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(tnef->AddProps(TNEF_PROP_EXCLUDE | TNEF_PROP_CONTAINED_TNEF, 0, nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(tnef->AddProps(0x100000, 0, nullptr, nullptr), MAPI_E_UNKNOWN_FLAGS);
    LPSTnefProblemArray problems = nullptr;
    EXPECT_EQ(tnef->ExtractProps(0, nullptr, &problems), E_NOTIMPL);
    // A zero key would break the attachment cross-references: the stream gets 1.
    WORD key = 0;
    ASSERT_EQ(tnef->Finish(0, &key, &problems), S_OK);
    EXPECT_EQ(key, 1);
    EXPECT_EQ(problems, nullptr);
}

// Every real Outlook sample is encoded as the conversion encodes it and read by both decoders.
TEST_F(TnefDecoderTest, OutlookSamples)
{
    std::filesystem::path samples = std::filesystem::path(EX2QLN_SAMPLES_DIR) / "outlook";
    if (!std::filesystem::is_directory(samples))
        GTEST_SKIP() << "the shared Outlook samples are not at " << samples;
    int count = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(samples)) {
        if (entry.path().extension() != ".msg")
            continue;
        SCOPED_TRACE(entry.path().string());
        MapiPtr<IMessage> message;
        LPSTR error = nullptr;
        HRESULT status = QlnOpenMsgFile(entry.path().c_str(), 0, message.put(), &error);
        MAPIFreeBuffer(error);
        if (FAILED(status))
            continue;  // the reader's own tests cover files it refuses
        std::vector<std::uint8_t> stream = EncodeMessage(message.get(), kConversionExclusions, status);
        ASSERT_EQ(status, S_OK) << std::hex << status;
        std::filesystem::path here = directory_ / std::to_string(++count);
        std::filesystem::create_directories(here);
        DecoderReport tnef = DecodeWithTnef(stream, here);
        EXPECT_EQ(tnef.exitCode, 0);
        EXPECT_TRUE(tnef.errors.empty()) << tnef.errors.front();
        for (const std::string& data : AttachmentData(message.get())) {
            bool extracted = std::any_of(tnef.files.begin(), tnef.files.end(),
                                         [&](const auto& file) { return file.second == data; });
            EXPECT_TRUE(extracted) << "an attachment of " << data.size() << " bytes";
        }
        if (ListsTypesYtnefLacks(tnef))
            continue;
        // ytnef cannot write the file of an attachment without any name; its reading is checked.
        DecoderReport ytnef = DecodeWithYtnef(stream, here);
        EXPECT_EQ(ytnef.exitCode, 0);
        EXPECT_TRUE(ytnef.errors.empty()) << ytnef.errors.front();
    }
    EXPECT_GT(count, 20);
}

} // namespace
} // namespace tneftest
