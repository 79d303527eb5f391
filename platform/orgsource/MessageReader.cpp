// Reading messages, attachments and .msg files, and moving a file's named properties into the store's.
#include "platform/orgsource/MessageReader.h"

#include "platform/cfb/MsgFile.h"
#include "platform/orgsource/JsonHelpers.h"
#include "platform/orgsource/ReadError.h"

#include <memory>

namespace platform::orgsource {
namespace {

constexpr int kMaxMessageDepth = 32;

// Named-property ids of the file become the store's; a property whose id the file does not map
// cannot be named and is dropped.
void RetagList(cfb::MsgPropertyList& properties, const std::map<std::uint16_t, std::uint16_t>& ids)
{
    cfb::MsgPropertyList kept;
    for (auto& property : properties) {
        if (property.Id() < PROP_ID_NAMED_MIN) {
            kept.push_back(std::move(property));
            continue;
        }
        auto found = ids.find(property.Id());
        if (found == ids.end()) {
            continue;
        }
        property.tag = (static_cast<std::uint32_t>(found->second) << 16) | property.Type();
        kept.push_back(std::move(property));
    }
    properties = std::move(kept);
}

void Retag(cfb::MsgMessage& message, const std::map<std::uint16_t, std::uint16_t>& ids)
{
    RetagList(message.properties, ids);
    for (auto& recipient : message.recipients) {
        RetagList(recipient.properties, ids);
    }
    for (auto& attachment : message.attachments) {
        RetagList(attachment.properties, ids);
        if (attachment.embedded) {
            Retag(*attachment.embedded, ids);
        }
    }
}

} // namespace

cfb::MsgMessage MessageReader::Read(const Json& json, const std::string& path, int depth, bool topLevel)
{
    if (depth > kMaxMessageDepth) {
        Fail(MAPI_E_TOO_BIG, path, "embedded messages are nested too deeply");
    }
    if (json.is_string()) {
        return ReadMsg(json.get<std::string>(), path);
    }
    if (topLevel) {
        CheckMembers(json, path, {"id", "msg", "properties", "recipients", "attachments"});
    } else {
        CheckMembers(json, path, {"msg", "properties", "recipients", "attachments"});
    }
    cfb::MsgMessage message;
    if (auto msg = OptionalString(json, "msg", path)) {
        message = ReadMsg(*msg, MemberPath(path, "msg"));
    }
    if (const Json* properties = Member(json, "properties")) {
        for (auto& property : ReadPropertyObject(*properties, MemberPath(path, "properties"), &named_, source_)) {
            SetProperty(message.properties, std::move(property));
        }
    }
    if (const Json* recipients = OptionalArray(json, "recipients", path)) {
        for (std::size_t i = 0; i < recipients->size(); ++i) {
            cfb::MsgRecipient recipient;
            recipient.number = static_cast<std::uint32_t>(message.recipients.size());
            recipient.properties = ReadPropertyObject((*recipients)[i], ElementPath(MemberPath(path, "recipients"), i),
                                                      &named_, source_);
            message.recipients.push_back(std::move(recipient));
        }
    }
    if (const Json* attachments = OptionalArray(json, "attachments", path)) {
        for (std::size_t i = 0; i < attachments->size(); ++i) {
            cfb::MsgAttachment attachment = ReadAttachment((*attachments)[i], ElementPath(MemberPath(path, "attachments"), i), depth);
            attachment.number = static_cast<std::uint32_t>(message.attachments.size());
            message.attachments.push_back(std::move(attachment));
        }
    }
    return message;
}

cfb::MsgAttachment MessageReader::ReadAttachment(const Json& json, const std::string& path, int depth)
{
    CheckMembers(json, path, {"properties", "data", "message"});
    cfb::MsgAttachment attachment;
    if (const Json* properties = Member(json, "properties")) {
        attachment.properties = ReadPropertyObject(*properties, MemberPath(path, "properties"), &named_, source_);
    }
    const Json* data = Member(json, "data");
    const Json* embedded = Member(json, "message");
    if (data != nullptr && embedded != nullptr) {
        Fail(MAPI_E_BAD_VALUE, path, "an attachment has \"data\" or \"message\", not both");
    }
    if (data != nullptr) {
        if (cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_BIN) != nullptr) {
            Fail(MAPI_E_COLLISION, MemberPath(path, "data"), "PR_ATTACH_DATA_BIN is given twice");
        }
        attachment.properties.push_back(BinaryProperty(PR_ATTACH_DATA_BIN, ReadBinary(*data, MemberPath(path, "data"), source_)));
        if (cfb::FindProperty(attachment.properties, PR_ATTACH_METHOD) == nullptr) {
            attachment.properties.push_back(IntegerProperty(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
        }
    }
    if (embedded != nullptr) {
        attachment.embedded = std::make_unique<cfb::MsgMessage>(Read(*embedded, MemberPath(path, "message"), depth + 1, false));
        SetProperty(attachment.properties, IntegerProperty(PR_ATTACH_METHOD, ATTACH_EMBEDDED_MSG));
        cfb::MsgProperty object;
        object.tag = PR_ATTACH_DATA_OBJ;
        SetProperty(attachment.properties, std::move(object));
    }
    return attachment;
}

cfb::MsgMessage MessageReader::ReadMsg(const std::string& reference, const std::string& path)
{
    cfb::MsgDocument document;
    std::string error;
    HRESULT status = cfb::ReadMsgFile(ResolveFile(reference, path, source_), document, error);
    if (FAILED(status)) {
        Fail(status, path, error);
    }
    std::map<std::uint16_t, std::uint16_t> ids;
    for (const auto& name : document.namedProperties) {
        ids.emplace(name.id, named_.IdOf(name, path));
    }
    Retag(document.message, ids);
    return std::move(document.message);
}

} // namespace platform::orgsource
