// Fuzzes the whole conversion of a .msg file: QlnOpenMsgFile and MapiToMime as qlnconvert and the
// transfer call them. The first byte chooses the input's form: the rest of the input as the file
// itself, or a message built from it (classes of every converter, bodies in all forms, recipients,
// attachments of every method, embedded messages, named properties and carried headers, list
// members, certificates and photos) and
// written with the .msg writer, so that the converters see well-formed files with hostile values.
// Every conversion must end with a status; a successful one writes a message.
#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cfb/MsgWriter.h"

#include "ConversionFuzz.h"

namespace {

using namespace platform::cfb;

constexpr const char* kClasses[] = {"IPM.Note", "IPM.Note.MyForm", "IPM.Post", "IPM.StickyNote", "IPM.Activity",
    "IPM.Note.SMIME", "IPM.Note.SMIME.MultipartSigned", "IPM.Note.RECEIPT.SMIME", "REPORT.IPM.Note.NDR",
    "REPORT.IPM.Note.IPNRN", "REPORT.IPM.Note.DR", "IPM.Recall.Report.Failure",
    "IPM.Appointment", "IPM.Schedule.Meeting.Request", "IPM.Contact", "IPM.DistList", "IPM.Task", "", "IPMX"};
constexpr std::uint32_t kTextTags[] = {PR_SUBJECT_W, PR_BODY_W, PR_CONVERSATION_TOPIC_W, 0x1037001F,
    PR_SENDER_NAME_W, PR_SENDER_EMAIL_ADDRESS_W, PR_SENDER_ADDRTYPE_W, PR_SENT_REPRESENTING_EMAIL_ADDRESS_W,
    PR_SENT_REPRESENTING_ADDRTYPE_W, PR_SENDER_SMTP_ADDRESS_W, PR_INTERNET_MESSAGE_ID_W, PR_IN_REPLY_TO_ID_W};
constexpr std::uint32_t kBinaryTags[] = {PR_HTML, PR_RTF_COMPRESSED, PR_REPORT_TAG, PR_CONVERSATION_INDEX,
    PR_REPLY_RECIPIENT_ENTRIES, PR_SENDER_ENTRYID};
constexpr std::uint32_t kLongTags[] = {PR_INTERNET_CPID, PR_MSG_EDITOR_FORMAT, PR_IMPORTANCE, PR_PRIORITY,
    PR_SENSITIVITY, PR_MESSAGE_FLAGS};
constexpr std::uint32_t kTimeTags[] = {PR_CLIENT_SUBMIT_TIME, PR_CREATION_TIME, PR_EXPIRY_TIME, PR_REPLY_TIME};
constexpr std::uint32_t kAttachTextTags[] = {PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_FILENAME_W, PR_ATTACH_MIME_TAG_W,
    PR_ATTACH_EXTENSION_W, PR_ATTACH_CONTENT_ID_W, PR_ATTACH_CONTENT_LOCATION_W};
constexpr std::int64_t kMethods[] = {ATTACH_BY_VALUE, ATTACH_BY_VALUE, ATTACH_EMBEDDED_MSG, ATTACH_OLE,
    ATTACH_BY_REFERENCE, 0};
constexpr std::uint32_t kCodePages[] = {65001, 1252, 932, 50220, 28591, 20127, 1251, 12345};

std::u16string Text(FuzzedDataProvider& data)
{
    const std::string bytes = data.ConsumeRandomLengthString(80);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8);
    if (bytes.size() % 2 != 0)
        text += static_cast<char16_t>(static_cast<unsigned char>(bytes.back()));
    return text;
}

MsgProperty Property(std::uint32_t tag)
{
    MsgProperty property;
    property.tag = tag;
    return property;
}

void AddUnique(MsgPropertyList& list, MsgProperty property)
{
    for (const MsgProperty& known : list) {
        if (known.tag == property.tag)
            return;
    }
    list.push_back(std::move(property));
}

std::uint16_t Named(MsgDocument& document, const Guid& set, bool isString, std::uint32_t lid, std::u16string name)
{
    MsgNamedProperty named;
    named.id = static_cast<std::uint16_t>(0x8000 + document.namedProperties.size());
    named.propertySet = set;
    named.isString = isString;
    named.lid = lid;
    named.name = std::move(name);
    document.namedProperties.push_back(named);
    return named.id;
}

Guid StoredGuid(const GUID& guid)
{
    Guid bytes{};
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<std::uint8_t>(guid.Data1 >> (8 * i));
    for (int i = 0; i < 2; ++i) {
        bytes[4 + i] = static_cast<std::uint8_t>(guid.Data2 >> (8 * i));
        bytes[6 + i] = static_cast<std::uint8_t>(guid.Data3 >> (8 * i));
    }
    for (int i = 0; i < 8; ++i)
        bytes[8 + i] = guid.Data4[i];
    return bytes;
}

void FillMessage(FuzzedDataProvider& data, MsgDocument& document, MsgMessage& message, int depth)
{
    MsgProperty messageClass = Property(PR_MESSAGE_CLASS_W);
    const std::string chosen = data.PickValueInArray(kClasses);
    messageClass.text.assign(chosen.begin(), chosen.end());
    message.properties.push_back(messageClass);
    for (int count = data.ConsumeIntegralInRange(0, 12); count > 0 && data.remaining_bytes() > 0; --count) {
        switch (data.ConsumeIntegralInRange(0, 6)) {
        case 0: {
            MsgProperty property = Property(data.PickValueInArray(kTextTags));
            property.text = Text(data);
            AddUnique(message.properties, std::move(property));
            break;
        }
        case 1: {
            MsgProperty property = Property(data.PickValueInArray(kBinaryTags));
            property.bytes = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 400));
            AddUnique(message.properties, std::move(property));
            break;
        }
        case 2: {
            MsgProperty property = Property(data.PickValueInArray(kLongTags));
            property.integer = data.ConsumeBool() ? data.PickValueInArray(kCodePages) : data.ConsumeIntegral<std::int32_t>();
            AddUnique(message.properties, std::move(property));
            break;
        }
        case 3: {
            MsgProperty property = Property(data.PickValueInArray(kTimeTags));
            property.integer = data.ConsumeIntegral<std::int64_t>();
            AddUnique(message.properties, std::move(property));
            break;
        }
        case 4: {
            // A carried header, a category list or a custom-form marker.
            const bool headers = data.ConsumeBool();
            const std::uint16_t id = Named(document, StoredGuid(headers ? PS_INTERNET_HEADERS : PS_PUBLIC_STRINGS), true,
                0, Text(data));
            MsgProperty property = Property(static_cast<std::uint32_t>(id) << 16 | (data.ConsumeBool() ? PT_UNICODE : PT_MV_STRING8));
            property.text = Text(data);
            property.byteValues.push_back(data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 60)));
            AddUnique(message.properties, std::move(property));
            break;
        }
        case 5: {
            // A list's members, a contact's certificates or photo flag: values of binary forms.
            const std::uint32_t lid = data.PickValueInArray({0x8054u, 0x8055u, 0x8015u});
            const bool certificate = data.ConsumeBool();
            const std::uint32_t tag = certificate ? PR_USER_X509_CERTIFICATE
                                                  : static_cast<std::uint32_t>(Named(document, StoredGuid(PSETID_Address),
                                                        false, lid, {})) << 16 | (lid == 0x8015u ? PT_BOOLEAN : PT_MV_BINARY);
            MsgProperty property = Property(tag);
            property.integer = data.ConsumeBool();
            for (int values = data.ConsumeIntegralInRange(0, 4); values > 0; --values)
                property.byteValues.push_back(data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 120)));
            AddUnique(message.properties, std::move(property));
            break;
        }
        default: {
            const std::uint16_t id = Named(document, StoredGuid(data.ConsumeBool() ? PSETID_Common : PSETID_Note), false,
                data.ConsumeIntegralInRange<std::uint32_t>(0x8500, 0x8B05), {});
            MsgProperty property = Property(static_cast<std::uint32_t>(id) << 16 | (data.ConsumeBool() ? PT_LONG : PT_BINARY));
            property.integer = data.ConsumeIntegral<std::int32_t>();
            property.bytes = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 40));
            AddUnique(message.properties, std::move(property));
            break;
        }
        }
    }
    for (int count = data.ConsumeIntegralInRange(0, 3); count > 0 && data.remaining_bytes() > 0; --count) {
        MsgRecipient& recipient = message.recipients.emplace_back();
        recipient.number = static_cast<std::uint32_t>(message.recipients.size() - 1);
        MsgProperty type = Property(PR_RECIPIENT_TYPE);
        type.integer = data.ConsumeIntegralInRange(0, 4);
        recipient.properties.push_back(type);
        for (std::uint32_t tag : {PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W}) {
            if (data.ConsumeBool()) {
                MsgProperty property = Property(tag);
                property.text = Text(data);
                recipient.properties.push_back(property);
            }
        }
    }
    for (int count = data.ConsumeIntegralInRange(0, 3); count > 0 && data.remaining_bytes() > 0; --count) {
        MsgAttachment& attachment = message.attachments.emplace_back();
        attachment.number = static_cast<std::uint32_t>(message.attachments.size() - 1);
        MsgProperty method = Property(PR_ATTACH_METHOD);
        method.integer = data.PickValueInArray(kMethods);
        if (method.integer == ATTACH_EMBEDDED_MSG && depth >= 3)
            method.integer = ATTACH_BY_VALUE;
        attachment.properties.push_back(method);
        for (std::uint32_t tag : kAttachTextTags) {
            if (data.ConsumeBool()) {
                MsgProperty property = Property(tag);
                property.text = Text(data);
                attachment.properties.push_back(property);
            }
        }
        if (data.ConsumeBool()) {
            MsgProperty photo = Property(PR_ATTACHMENT_CONTACTPHOTO);
            photo.integer = 1;
            attachment.properties.push_back(photo);
        }
        MsgProperty flags = Property(PR_ATTACH_FLAGS);
        flags.integer = data.ConsumeIntegralInRange(0, 7);
        attachment.properties.push_back(flags);
        if (data.ConsumeBool()) {
            MsgProperty encoding = Property(PR_ATTACH_ENCODING);
            encoding.bytes = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x14, 0x03, 0x0B, 0x01};
            attachment.properties.push_back(encoding);
        }
        if (method.integer == ATTACH_EMBEDDED_MSG) {
            attachment.properties.push_back(Property(PR_ATTACH_DATA_OBJ));
            attachment.embedded = std::make_unique<MsgMessage>();
            FillMessage(data, document, *attachment.embedded, depth + 1);
        } else {
            MsgProperty bytes = Property(PR_ATTACH_DATA_BIN);
            bytes.bytes = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 600));
            attachment.properties.push_back(bytes);
        }
    }
}

// The built form: a file the writer accepts, or nothing when it refuses the document.
std::vector<std::uint8_t> BuiltFile(FuzzedDataProvider& data)
{
    MsgDocument document;
    FillMessage(data, document, document.message, 0);
    std::vector<std::uint8_t> bytes;
    std::string error;
    if (FAILED(WriteMsgBytes(document, "fuzz.msg", bytes, error)))
        bytes.clear();
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    if (size == 0)
        return 0;
    std::vector<std::uint8_t> file;
    if (input[0] % 4 == 0) {
        file.assign(input + 1, input + size);
    } else {
        FuzzedDataProvider data(input + 1, size - 1);
        file = BuiltFile(data);
        if (file.empty())
            return 0;
    }
    fuzzing::ConvertMsgFile(file, input[0] & 0x02 ? 0 : 0x01);
    return 0;
}
