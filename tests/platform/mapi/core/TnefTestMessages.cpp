// Building, opening and encoding the messages of the TNEF tests.
#include "tests/platform/mapi/core/TnefTestMessages.h"

#include <QlnMapiExtras.h>
#include <mapix.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

#include <iterator>

#include "platform/cfb/MsgWriter.h"
#include "tests/support/StreamContents.h"

namespace tneftest {

MsgProperty Text(std::uint32_t tag, std::u16string text)
{
    MsgProperty property;
    property.tag = tag;
    property.text = std::move(text);
    return property;
}

MsgProperty Ansi(std::uint32_t tag, std::string text)
{
    MsgProperty property;
    property.tag = tag;
    property.bytes.assign(text.begin(), text.end());
    return property;
}

MsgProperty Integer(std::uint32_t tag, std::int64_t value)
{
    MsgProperty property;
    property.tag = tag;
    property.integer = value;
    return property;
}

MsgProperty Real(std::uint32_t tag, double value)
{
    MsgProperty property;
    property.tag = tag;
    property.real = value;
    return property;
}

MsgProperty Bytes(std::uint32_t tag, std::vector<std::uint8_t> bytes)
{
    MsgProperty property;
    property.tag = tag;
    property.bytes = std::move(bytes);
    return property;
}

MsgProperty Texts(std::uint32_t tag, std::vector<std::u16string> texts)
{
    MsgProperty property;
    property.tag = tag;
    property.texts = std::move(texts);
    return property;
}

MsgProperty Integers(std::uint32_t tag, std::vector<std::int64_t> values)
{
    MsgProperty property;
    property.tag = tag;
    property.integers = std::move(values);
    return property;
}

MsgProperty ByteValues(std::uint32_t tag, std::vector<std::vector<std::uint8_t>> values)
{
    MsgProperty property;
    property.tag = tag;
    property.byteValues = std::move(values);
    return property;
}

MsgAttachment FileAttachment(std::uint32_t number, std::u16string longName, std::u16string shortName,
                             std::vector<std::uint8_t> data)
{
    MsgAttachment attachment;
    attachment.number = number;
    attachment.properties.push_back(Integer(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
    if (!longName.empty())
        attachment.properties.push_back(Text(PR_ATTACH_LONG_FILENAME_W, std::move(longName)));
    if (!shortName.empty())
        attachment.properties.push_back(Text(PR_ATTACH_FILENAME_W, std::move(shortName)));
    attachment.properties.push_back(Bytes(PR_ATTACH_DATA_BIN, std::move(data)));
    return attachment;
}

MsgAttachment EmbeddedAttachment(std::uint32_t number, std::u16string displayName, MsgMessage message)
{
    MsgAttachment attachment;
    attachment.number = number;
    attachment.properties.push_back(Integer(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG));
    attachment.properties.push_back(Text(PR_DISPLAY_NAME_W, std::move(displayName)));
    MsgProperty object;
    object.tag = PR_ATTACH_DATA_OBJ;
    attachment.properties.push_back(object);
    attachment.embedded = std::make_unique<MsgMessage>(std::move(message));
    return attachment;
}

platform::cfb::MsgRecipient Recipient(std::uint32_t number, std::u16string name, std::u16string address,
                                      std::uint32_t type)
{
    platform::cfb::MsgRecipient recipient;
    recipient.number = number;
    recipient.properties.push_back(Text(PR_DISPLAY_NAME_W, std::move(name)));
    recipient.properties.push_back(Text(PR_EMAIL_ADDRESS_W, std::move(address)));
    recipient.properties.push_back(Text(PR_ADDRTYPE_W, u"SMTP"));
    recipient.properties.push_back(Integer(PR_RECIPIENT_TYPE, type));
    return recipient;
}

MapiPtr<IMessage> OpenDocument(const MsgDocument& document, const std::filesystem::path& directory)
{
    static int counter = 0;
    std::filesystem::path path = directory / ("message" + std::to_string(++counter) + ".msg");
    std::string error;
    HRESULT status = platform::cfb::WriteMsgFile(path.string(), document, error);
    EXPECT_EQ(status, S_OK) << error;
    MapiPtr<IMessage> message;
    LPSTR text = nullptr;
    status = QlnOpenMsgFile(path.c_str(), 0, message.put(), &text);
    EXPECT_EQ(status, S_OK) << (text != nullptr ? text : "");
    MAPIFreeBuffer(text);
    return message;
}

std::vector<std::uint8_t> EncodeMessage(IMessage* message, const std::vector<ULONG>& excluded, HRESULT& status,
                                        WORD key)
{
    std::vector<std::uint8_t> bytes;
    MapiPtr<IStream> stream;
    if (FAILED(status = CreateStreamOnHGlobal(nullptr, TRUE, stream.put())))
        return bytes;
    MapiPtr<ITnef> tnef;
    char name[] = "Winmail.dat";
    status = OpenTnefStreamEx(nullptr, stream.get(), name, TNEF_ENCODE | TNEF_PURE, message, key, nullptr, tnef.put());
    if (FAILED(status))
        return bytes;
    std::vector<ULONG> list(excluded);
    MapiBuffer<SPropTagArray> tags;
    MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(list.size())), tags.put_void());
    tags->cValues = static_cast<ULONG>(list.size());
    std::copy(list.begin(), list.end(), tags->aulPropTag);
    if (FAILED(status = tnef->AddProps(TNEF_PROP_EXCLUDE, 0, nullptr, tags.get())) ||
        FAILED(status = tnef->AddProps(TNEF_PROP_EXCLUDE | TNEF_PROP_ATTACHMENTS_ONLY, 0, nullptr, nullptr)) ||
        FAILED(status = tnef->EncodeRecips(0, nullptr)))
        return bytes;
    WORD written = 0;
    LPSTnefProblemArray problems = nullptr;
    status = tnef->Finish(0, &written, &problems);
    MAPIFreeBuffer(problems);
    if (FAILED(status))
        return bytes;
    EXPECT_EQ(written, key);
    const std::string encoded = testsupport::StreamContentsFromStart(stream.get(), 65536);
    bytes.assign(encoded.begin(), encoded.end());
    return bytes;
}

} // namespace tneftest
