// The conversion tests' harness.
#include "tests/mmconv/message/ConversionHarness.h"

#include <gtest/gtest.h>

#include <MapiPtr.h>
#include <QlnMapiExtras.h>
#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstdlib>
#include <ctime>
#include <regex>

#include "mmconv/MMConv.h"
#include "platform/cfb/MsgWriter.h"
#include "platform/rtf/RtfCompressor.h"
#include "tests/support/StreamContents.h"
#include "tests/support/TemporaryDirectory.h"

namespace convtest {
namespace {

// The conversion tests run in UTC with the library started.
class ConversionEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        setenv("TZ", "UTC", 1);
        tzset();
        ASSERT_EQ(mmconv::MMConvInit(MAPIAllocateBuffer, MAPIFreeBuffer, 1, 0), S_OK);
    }
    void TearDown() override { mmconv::MMConvFree(); }
};

const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new ConversionEnvironment);

platform::cfb::Guid StoredGuid(const GUID& guid)
{
    platform::cfb::Guid bytes{};
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(guid.Data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) {
        bytes[4 + i] = static_cast<std::uint8_t>(guid.Data2 >> (8 * i));
        bytes[6 + i] = static_cast<std::uint8_t>(guid.Data3 >> (8 * i));
    }
    std::copy(std::begin(guid.Data4), std::end(guid.Data4), bytes.begin() + 8);
    return bytes;
}

MsgProperty Tagged(ULONG tag)
{
    MsgProperty property;
    property.tag = tag;
    return property;
}

} // namespace

MsgProperty Unicode(ULONG tag, std::u16string text)
{
    MsgProperty property = Tagged(CHANGE_PROP_TYPE(tag, PT_UNICODE));
    property.text = std::move(text);
    return property;
}

MsgProperty Ansi(ULONG tag, std::string text)
{
    MsgProperty property = Tagged(CHANGE_PROP_TYPE(tag, PT_STRING8));
    property.bytes.assign(text.begin(), text.end());
    return property;
}

MsgProperty Long(ULONG tag, std::int64_t value)
{
    MsgProperty property = Tagged(tag);
    property.integer = value;
    return property;
}

MsgProperty Double(ULONG tag, double value)
{
    MsgProperty property = Tagged(tag);
    property.real = value;
    return property;
}

MsgProperty Boolean(ULONG tag, bool value)
{
    return Long(tag, value ? 1 : 0);
}

MsgProperty Time(ULONG tag, std::uint64_t fileTime)
{
    return Long(tag, static_cast<std::int64_t>(fileTime));
}

MsgProperty Binary(ULONG tag, std::string_view bytes)
{
    MsgProperty property = Tagged(tag);
    property.bytes.assign(bytes.begin(), bytes.end());
    return property;
}

MsgProperty MultiUnicode(ULONG tag, std::vector<std::u16string> texts)
{
    MsgProperty property = Tagged(CHANGE_PROP_TYPE(tag, PT_MV_UNICODE));
    property.texts = std::move(texts);
    return property;
}

MsgProperty MultiLong(ULONG tag, std::vector<std::int64_t> values)
{
    MsgProperty property = Tagged(CHANGE_PROP_TYPE(tag, PT_MV_LONG));
    property.integers = std::move(values);
    return property;
}

MsgProperty MultiAnsi(ULONG tag, std::vector<std::string> texts)
{
    MsgProperty property = Tagged(CHANGE_PROP_TYPE(tag, PT_MV_STRING8));
    for (const std::string& text : texts)
        property.byteValues.emplace_back(text.begin(), text.end());
    return property;
}

MsgProperty MultiBinary(ULONG tag, std::vector<std::string> values)
{
    MsgProperty property = Tagged(CHANGE_PROP_TYPE(tag, PT_MV_BINARY));
    for (const std::string& value : values)
        property.byteValues.emplace_back(value.begin(), value.end());
    return property;
}

std::string OneOff(std::u16string name, std::u16string type, std::u16string address)
{
    std::string id(4, '\0');
    id += std::string("\x81\x2B\x1F\xA4\xBE\xA3\x10\x19\x9D\x6E\x00\xDD\x01\x0F\x54\x02", 16);
    id += std::string("\0\0\x01\x90", 4);
    for (const std::u16string& text : {name, type, address}) {
        for (char16_t c : text) {
            id += static_cast<char>(c & 0xFF);
            id += static_cast<char>(c >> 8);
        }
        id += std::string(2, '\0');
    }
    return id;
}

MsgProperty CompressedRtf(std::string_view rtf)
{
    std::vector<std::uint8_t> compressed;
    EXPECT_EQ(platform::rtf::CompressRtf(std::span(reinterpret_cast<const std::uint8_t*>(rtf.data()), rtf.size()),
                  compressed),
        S_OK);
    return Binary(PR_RTF_COMPRESSED, std::string_view(reinterpret_cast<const char*>(compressed.data()), compressed.size()));
}

std::uint64_t FileTime(int year, int month, int day, int hour, int minute, int second)
{
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_sec = second;
    return static_cast<std::uint64_t>(timegm(&fields)) * 10000000u + 116444736000000000u;
}

MessageBuilder& MessageBuilder::Add(MsgMessage& message, MsgProperty property)
{
    std::erase_if(message.properties, [&](const MsgProperty& old) { return old.tag == property.tag; });
    message.properties.push_back(std::move(property));
    return *this;
}

ULONG MessageBuilder::NameId(const platform::cfb::MsgNamedProperty& name)
{
    for (const platform::cfb::MsgNamedProperty& known : document_.namedProperties) {
        if (known.propertySet == name.propertySet && known.isString == name.isString && known.lid == name.lid &&
            known.name == name.name)
            return known.id;
    }
    platform::cfb::MsgNamedProperty added = name;
    added.id = static_cast<std::uint16_t>(0x8000 + document_.namedProperties.size());
    document_.namedProperties.push_back(added);
    return added.id;
}

ULONG MessageBuilder::Named(const GUID& set, ULONG lid, ULONG type)
{
    platform::cfb::MsgNamedProperty name;
    name.propertySet = StoredGuid(set);
    name.lid = lid;
    return PROP_TAG(type, NameId(name));
}

ULONG MessageBuilder::Named(const GUID& set, std::u16string text, ULONG type)
{
    platform::cfb::MsgNamedProperty name;
    name.propertySet = StoredGuid(set);
    name.isString = true;
    name.name = std::move(text);
    return PROP_TAG(type, NameId(name));
}

MsgRecipient& MessageBuilder::AddRecipient(ULONG type, std::u16string name, std::u16string addressType,
    std::u16string address)
{
    MsgRecipient& recipient = document_.message.recipients.emplace_back();
    recipient.number = static_cast<std::uint32_t>(document_.message.recipients.size() - 1);
    recipient.properties.push_back(Long(PR_RECIPIENT_TYPE, type));
    if (!name.empty())
        recipient.properties.push_back(Unicode(PR_DISPLAY_NAME_W, std::move(name)));
    if (!addressType.empty())
        recipient.properties.push_back(Unicode(PR_ADDRTYPE_W, std::move(addressType)));
    if (!address.empty())
        recipient.properties.push_back(Unicode(PR_EMAIL_ADDRESS_W, std::move(address)));
    return recipient;
}

MsgAttachment& MessageBuilder::AddFile(std::u16string fileName, std::string_view data, std::u16string mimeTag)
{
    MsgAttachment& attachment = document_.message.attachments.emplace_back();
    attachment.number = static_cast<std::uint32_t>(document_.message.attachments.size() - 1);
    attachment.properties.push_back(Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
    attachment.properties.push_back(Unicode(PR_ATTACH_LONG_FILENAME_W, std::move(fileName)));
    attachment.properties.push_back(Binary(PR_ATTACH_DATA_BIN, data));
    if (!mimeTag.empty())
        attachment.properties.push_back(Unicode(PR_ATTACH_MIME_TAG_W, std::move(mimeTag)));
    return attachment;
}

MsgMessage& MessageBuilder::AddEmbedded(MsgMessage& parent, std::u16string displayName)
{
    MsgAttachment& attachment = parent.attachments.emplace_back();
    attachment.number = static_cast<std::uint32_t>(parent.attachments.size() - 1);
    attachment.properties.push_back(Long(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG));
    attachment.properties.push_back(Unicode(PR_DISPLAY_NAME_W, std::move(displayName)));
    attachment.properties.push_back(Tagged(PR_ATTACH_DATA_OBJ));
    attachment.embedded = std::make_unique<MsgMessage>();
    return *attachment.embedded;
}

MessageBuilder SentMail(std::string messageClass, std::u16string subject)
{
    MessageBuilder builder;
    builder.Add(Ansi(PR_MESSAGE_CLASS_A, std::move(messageClass)))
        .Add(Unicode(PR_SUBJECT_W, std::move(subject)))
        .Add(Time(PR_CLIENT_SUBMIT_TIME, FileTime(2024, 3, 25, 10, 0, 0)))
        .Add(Long(PR_INTERNET_CPID, 65001))
        .Add(Unicode(PR_SENDER_ADDRTYPE_W, u"SMTP"))
        .Add(Unicode(PR_SENDER_EMAIL_ADDRESS_W, u"anna@example.com"))
        .Add(Unicode(PR_SENDER_NAME_W, u"Anna"));
    return builder;
}

void ExpectTexts(const std::string& output, const std::vector<std::string>& present,
    const std::vector<std::string>& absent, const std::string& label)
{
    for (const std::string& text : present)
        EXPECT_NE(output.find(text), std::string::npos) << label << "\nmissing: " << text << "\n" << output;
    for (const std::string& text : absent)
        EXPECT_EQ(output.find(text), std::string::npos) << label << "\nunexpected: " << text;
}

TestConfig& TestConfig::Flag(ULONG tag, bool value)
{
    flags_[tag] = value;
    return *this;
}

TestConfig& TestConfig::Text(ULONG tag, std::string value)
{
    texts_[tag] = std::move(value);
    return *this;
}

HRESULT TestConfig::QueryInterface(REFIID, LPVOID* object)
{
    *object = nullptr;
    return E_NOINTERFACE;
}

HRESULT TestConfig::GetOneProp(ULONG tag, LPSPropValue* value)
{
    *value = nullptr;
    const auto flag = flags_.find(tag);
    const auto text = texts_.find(tag);
    if (flag == flags_.end() && text == texts_.end())
        return MAPI_E_NOT_FOUND;
    const std::size_t extra = text != texts_.end() ? text->second.size() + 1 : 0;
    void* buffer = nullptr;
    if (HRESULT hr = MAPIAllocateBuffer(static_cast<ULONG>(sizeof(SPropValue) + extra), &buffer); FAILED(hr))
        return hr;
    auto* answer = static_cast<SPropValue*>(buffer);
    answer->ulPropTag = tag;
    if (flag != flags_.end()) {
        answer->Value.b = flag->second ? 1 : 0;
    } else {
        char* copy = static_cast<char*>(buffer) + sizeof(SPropValue);
        std::memcpy(copy, text->second.c_str(), extra);
        answer->Value.lpszA = copy;
    }
    *value = answer;
    return S_OK;
}

MapiPtr<IMessage> Open(const MsgDocument& document)
{
    testsupport::TemporaryDirectory directory;
    const std::string path = directory.File("message.msg");
    std::string error;
    if (FAILED(platform::cfb::WriteMsgFile(path, document, error))) {
        ADD_FAILURE() << error;
        return {};
    }
    MapiPtr<IMessage> message;
    if (HRESULT hr = QlnOpenMsgFile(path.c_str(), 0, message.put(), nullptr); FAILED(hr))
        ADD_FAILURE() << "QlnOpenMsgFile " << std::hex << hr;
    return message;
}

Conversion Convert(const MsgDocument& document, ULONG flags, mmconv::IConfigProp* config)
{
    Conversion result;
    const MapiPtr<IMessage> message = Open(document);
    if (!message)
        return result;
    MapiPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    result.status = mmconv::MapiToMime(message.get(), stream.get(), static_cast<LPMAPISESSION>(nullptr), config, flags);
    result.output = testsupport::StreamContentsFromStart(stream.get());
    return result;
}

std::string NormaliseBoundaries(const std::string& message)
{
    static const std::regex kBoundary("----_=_NextPart_[0-9]+_[0-9]{8}\\.[0-9]{8}");
    std::map<std::string, std::string> names;
    std::string normalised;
    auto last = message.cbegin();
    for (std::sregex_iterator it(message.begin(), message.end(), kBoundary), end; it != end; ++it) {
        const std::string found = it->str();
        auto [name, added] = names.try_emplace(found, "B" + std::to_string(names.size() + 1));
        normalised.append(last, message.cbegin() + it->position());
        normalised += name->second;
        last = message.cbegin() + it->position() + it->length();
    }
    normalised.append(last, message.cend());
    return normalised;
}

std::string HeaderBlock(const std::string& message)
{
    const std::size_t end = message.find("\r\n\r\n");
    return end == std::string::npos ? message : message.substr(0, end + 2);
}

std::string Field(const std::string& header, const std::string& name)
{
    const std::string block = "\r\n" + header;
    const std::size_t start = block.find("\r\n" + name + ": ");
    if (start == std::string::npos)
        return {};
    std::size_t end = start + 2;
    do {
        end = block.find("\r\n", end + 1);
    } while (end != std::string::npos && end + 2 < block.size() && block[end + 2] == ' ');
    return block.substr(start + 2, end - start - 2);
}

} // namespace convtest
