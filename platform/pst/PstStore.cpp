// The messaging layer of a data file: the store, its name-to-id map, folders and messages.
#include "platform/pst/PstStore.h"

#include "platform/base/LittleEndian.h"
#include "platform/cfb/MsgCodePage.h"
#include "platform/pst/EightBitText.h"
#include "platform/pst/HeapOnNode.h"
#include "platform/pst/PropertyDecoding.h"
#include "platform/pst/PstError.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace platform::pst {
namespace {

constexpr std::uint32_t kRecipientTableNode = 0x692;
constexpr std::uint32_t kAttachmentTableNode = 0x671;
constexpr std::uint32_t kHierarchyTableType = 0x0D;
constexpr std::uint32_t kContentsTableType = 0x0E;
constexpr std::uint32_t kAssociatedTableType = 0x0F;
constexpr std::uint32_t kNameGuids = 0x00020102;
constexpr std::uint32_t kNameEntries = 0x00030102;
constexpr std::uint32_t kNameStrings = 0x00040102;
constexpr int kMaxEmbeddingDepth = 32;

constexpr cfb::Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr cfb::Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                        0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

const Bytes* FindRaw(const std::vector<RawProperty>& properties, std::uint32_t tag)
{
    for (const auto& property : properties) {
        if (property.tag == tag) {
            return &property.value;
        }
    }
    return nullptr;
}

// A folder's or the store's property, with 8-bit strings made Unicode: they have no code page of
// their own, so the caller's stands for the file's.
cfb::MsgProperty DecodeAsUnicode(const RawProperty& raw, unsigned codePage)
{
    cfb::MsgProperty property = DecodeProperty(raw);
    if (property.Type() == PT_STRING8) {
        property.tag = CHANGE_PROP_TYPE(property.tag, PT_UNICODE);
        property.text = EightBitToUtf16(property.bytes, codePage);
        property.bytes.clear();
    } else if (property.Type() == PT_MV_STRING8) {
        property.tag = CHANGE_PROP_TYPE(property.tag, PT_MV_UNICODE);
        for (const auto& value : property.byteValues) {
            property.texts.push_back(EightBitToUtf16(value, codePage));
        }
        property.byteValues.clear();
    }
    return property;
}

// A stored subject may begin with 0x01 and the length of its prefix ("RE: "), which are the file's
// own bookkeeping and no part of the subject.
void StripSubjectMarker(cfb::MsgPropertyList& properties)
{
    for (auto& property : properties) {
        if (property.tag == PR_SUBJECT_W && property.text.size() >= 2 && property.text[0] == 0x01) {
            property.text.erase(0, 2);
        } else if (property.tag == PR_SUBJECT_A && property.bytes.size() >= 2 && property.bytes[0] == 0x01) {
            property.bytes.erase(property.bytes.begin(), property.bytes.begin() + 2);
        }
    }
}

std::uint32_t TableNode(std::uint32_t folderNid, std::uint32_t type)
{
    return (folderNid & ~0x1Fu) | type;
}

std::vector<std::uint32_t> RowIds(const NodeDatabase& database, std::uint32_t nid)
{
    std::vector<std::uint32_t> ids;
    if (!database.HasNode(nid)) {
        return ids;
    }
    HeapOnNode heap(database, database.FindNode(nid), kTableContextHeap);
    TableContext table(heap);
    ids.reserve(table.RowCount());
    for (std::size_t row = 0; row < table.RowCount(); ++row) {
        ids.push_back(table.RowId(row));
    }
    return ids;
}

// Reads one message, its recipients and attachments and its embedded messages.
class MessageBuilder {
public:
    MessageBuilder(const NodeDatabase& database, const std::map<std::uint16_t, cfb::MsgNamedProperty>& named,
                   std::uint32_t defaultCodePage, cfb::MsgDocument& document)
        : database_(database), named_(named), defaultCodePage_(defaultCodePage), document_(document)
    {
    }

    void Read(std::uint32_t nid)
    {
        ReadMessage(database_.FindNode(nid), 0, 0, document_.message);
        std::sort(used_.begin(), used_.end());
        used_.erase(std::unique(used_.begin(), used_.end()), used_.end());
        document_.namedProperties.reserve(used_.size());
        for (std::uint16_t id : used_) {
            document_.namedProperties.push_back(named_.at(id));
        }
    }

private:
    void ReadMessage(const NodeEntry& node, int depth, std::uint32_t enclosingCodePage, cfb::MsgMessage& message)
    {
        if (depth > kMaxEmbeddingDepth) {
            throw PstError{MAPI_E_TOO_BIG, "embedded messages are nested more than " +
                                               std::to_string(kMaxEmbeddingDepth) + " levels deep"};
        }
        HeapOnNode heap(database_, node, kPropertyContextHeap);
        message.properties = Decode(heap, "the message");
        StripSubjectMarker(message.properties);
        message.codePage = cfb::StringCodePage(message.properties, enclosingCodePage);
        if (message.codePage == 0) {
            message.codePage = defaultCodePage_;
        }
        const Subnodes& subnodes = heap.SubnodeTree();
        if (auto table = subnodes.find(kRecipientTableNode); table != subnodes.end()) {
            ReadRecipients(table->second, message);
        }
        if (auto table = subnodes.find(kAttachmentTableNode); table != subnodes.end()) {
            ReadAttachments(table->second, subnodes, depth, message);
        }
    }

    void ReadRecipients(const NodeEntry& node, cfb::MsgMessage& message)
    {
        HeapOnNode heap(database_, node, kTableContextHeap);
        TableContext table(heap);
        for (std::size_t row = 0; row < table.RowCount(); ++row) {
            const std::string place = "recipient " + std::to_string(row);
            try {
                cfb::MsgRecipient recipient;
                recipient.number = static_cast<std::uint32_t>(row);
                recipient.properties = Decode(table.Row(row), place);
                message.recipients.push_back(std::move(recipient));
            } catch (const PstError& e) {
                document_.leftOut.push_back(place + ": " + e.message);
            }
        }
    }

    void ReadAttachments(const NodeEntry& node, const Subnodes& subnodes, int depth, cfb::MsgMessage& message)
    {
        HeapOnNode heap(database_, node, kTableContextHeap);
        TableContext table(heap);
        for (std::size_t row = 0; row < table.RowCount(); ++row) {
            const std::string place = "attachment " + std::to_string(row);
            try {
                auto found = subnodes.find(table.RowId(row));
                if (found == subnodes.end()) {
                    Corrupt("its node is not there");
                }
                cfb::MsgAttachment attachment;
                attachment.number = static_cast<std::uint32_t>(row);
                ReadAttachment(found->second, depth, message.codePage, attachment, place);
                message.attachments.push_back(std::move(attachment));
            } catch (const PstError& e) {
                // An embedded message too deep fails the whole message, as a .msg file would.
                if (e.status == MAPI_E_TOO_BIG) {
                    throw;
                }
                document_.leftOut.push_back(place + ": " + e.message);
            }
        }
    }

    void ReadAttachment(const NodeEntry& node, int depth, std::uint32_t codePage, cfb::MsgAttachment& attachment,
                        const std::string& place)
    {
        HeapOnNode heap(database_, node, kPropertyContextHeap);
        std::vector<RawProperty> raw = ReadPropertyContext(heap);
        attachment.properties = Decode(raw, place);
        const cfb::MsgProperty* method = cfb::FindProperty(attachment.properties, PR_ATTACH_METHOD);
        if (method == nullptr || method->integer != ATTACH_EMBEDDED_MSG) {
            return;
        }
        const Bytes* object = FindRaw(raw, PR_ATTACH_DATA_OBJ);
        if (object == nullptr || object->size() < 4) {
            Corrupt("the attachment is an embedded message but does not say where it is");
        }
        auto found = heap.SubnodeTree().find(ReadU32(*object, 0));
        if (found == heap.SubnodeTree().end()) {
            Corrupt("the embedded message's node is not there");
        }
        attachment.embedded = std::make_unique<cfb::MsgMessage>();
        ReadMessage(found->second, depth + 1, codePage, *attachment.embedded);
    }

    cfb::MsgPropertyList Decode(const std::vector<RawProperty>& raw, const std::string& place)
    {
        cfb::MsgPropertyList properties;
        properties.reserve(raw.size() + kAddedLater);
        for (const RawProperty& property : raw) {
            if (Keeps(property.tag, place)) {
                DecodeProperty(property.tag, property.value, properties.emplace_back());
            }
        }
        return properties;
    }

    // The same for a property context, its values decoded where they are in the heap.
    cfb::MsgPropertyList Decode(const HeapOnNode& heap, const std::string& place)
    {
        cfb::MsgPropertyList properties;
        const std::size_t count = PropertyCount(heap);
        properties.reserve(count + kAddedLater);
        used_.reserve(used_.size() + count);
        ForEachProperty(heap, [&](std::uint32_t tag, std::span<const std::uint8_t> value) {
            if (Keeps(tag, place)) {
                DecodeProperty(tag, value, properties.emplace_back());
            }
        });
        return properties;
    }

    // Whether a property is read: one in the named range must have a name in the file.
    bool Keeps(std::uint32_t tag, const std::string& place)
    {
        const auto id = static_cast<std::uint16_t>(tag >> 16);
        if (id < 0x8000) {
            return true;
        }
        if (named_.count(id) == 0) {
            document_.leftOut.push_back(place + ": property " + std::to_string(tag) + " has no name in the file");
            return false;
        }
        used_.push_back(id);
        return true;
    }

    // With room for the few that the organisation adds to every message (its entry identifiers,
    // type and flags), so that the list is not moved whole to take them.
    static constexpr std::size_t kAddedLater = 8;

    const NodeDatabase& database_;
    const std::map<std::uint16_t, cfb::MsgNamedProperty>& named_;
    std::uint32_t defaultCodePage_;
    cfb::MsgDocument& document_;
    std::vector<std::uint16_t> used_;  // the named ids the message uses, sorted once it is read
};

} // namespace

HRESULT PstStore::Open(const std::string& path, std::string& error)
{
    HRESULT status = database_.Open(path, error);
    if (FAILED(status)) {
        return status;
    }
    return CatchPstError(path, error, [&] {
        if (!database_.HasNode(kMessageStoreNode) || !database_.HasNode(kRootFolderNode)) {
            Corrupt("the file has no message store or no root folder");
        }
        ReadNameMap();
    });
}

void PstStore::ReadNameMap()
{
    if (!database_.HasNode(kNameMapNode)) {
        return;
    }
    HeapOnNode heap(database_, database_.FindNode(kNameMapNode), kPropertyContextHeap);
    std::vector<RawProperty> raw = ReadPropertyContext(heap);
    static const Bytes kNone;
    const Bytes* guids = FindRaw(raw, kNameGuids);
    const Bytes* entries = FindRaw(raw, kNameEntries);
    const Bytes* strings = FindRaw(raw, kNameStrings);
    guids = guids != nullptr ? guids : &kNone;
    strings = strings != nullptr ? strings : &kNone;
    if (entries == nullptr) {
        return;
    }
    for (std::size_t at = 0; at + 8 <= entries->size(); at += 8) {
        const std::uint32_t value = ReadU32(*entries, at);
        const std::uint16_t guidAndKind = ReadU16(*entries, at + 4);
        const std::uint16_t index = ReadU16(*entries, at + 6);
        if (index >= 0x7FFF) {
            Corrupt("the name-to-id map has an entry beyond the named range");
        }
        cfb::MsgNamedProperty name;
        name.id = static_cast<std::uint16_t>(0x8000 + index);
        const std::size_t guid = guidAndKind >> 1;
        if (guid == 1) {
            name.propertySet = kPsMapi;
        } else if (guid == 2) {
            name.propertySet = kPsPublicStrings;
        } else if (guid >= 3 && (guid - 3) * 16 + 16 <= guids->size()) {
            std::copy_n(guids->begin() + static_cast<std::ptrdiff_t>((guid - 3) * 16), 16, name.propertySet.begin());
        } else {
            Corrupt("the name-to-id map names property set " + std::to_string(guid) + ", which it does not hold");
        }
        name.isString = (guidAndKind & 1) != 0;
        if (!name.isString) {
            name.lid = value;
        } else {
            if (value + std::size_t{4} > strings->size() || ReadU32(*strings, value) > strings->size() - value - 4) {
                Corrupt("a name of the name-to-id map lies outside its strings");
            }
            const std::size_t length = ReadU32(*strings, value);
            for (std::size_t i = 0; i + 1 < length; i += 2) {
                name.name += static_cast<char16_t>(ReadU16(*strings, value + 4 + i));
            }
        }
        named_[name.id] = std::move(name);
    }
}

HRESULT PstStore::ReadStoreProperties(unsigned codePage, cfb::MsgPropertyList& properties, std::string& error) const
{
    properties.clear();
    return CatchPstError(database_.Path(), error, [&] {
        HeapOnNode heap(database_, database_.FindNode(kMessageStoreNode), kPropertyContextHeap);
        for (const RawProperty& raw : ReadPropertyContext(heap)) {
            properties.push_back(DecodeAsUnicode(raw, codePage));
        }
    });
}

HRESULT PstStore::ReadFolder(std::uint32_t nid, unsigned codePage, PstFolder& folder, std::string& error) const
{
    folder = PstFolder();
    folder.nid = nid;
    return CatchPstError(database_.Path(), error, [&] {
        HeapOnNode heap(database_, database_.FindNode(nid), kPropertyContextHeap);
        for (const RawProperty& raw : ReadPropertyContext(heap)) {
            // A named property that the file does not name cannot be named for the store either.
            if ((raw.tag >> 16) < 0x8000 || named_.count(static_cast<std::uint16_t>(raw.tag >> 16)) != 0) {
                folder.properties.push_back(DecodeAsUnicode(raw, codePage));
            }
        }
        folder.subfolders = RowIds(database_, TableNode(nid, kHierarchyTableType));
    });
}

HRESULT PstStore::ReadMessageIds(std::uint32_t folderNid, bool associated, std::vector<std::uint32_t>& ids,
                                 std::string& error) const
{
    ids.clear();
    return CatchPstError(database_.Path(), error, [&] {
        ids = RowIds(database_, TableNode(folderNid, associated ? kAssociatedTableType : kContentsTableType));
    });
}

HRESULT PstStore::ReadMessage(std::uint32_t nid, std::uint32_t defaultCodePage, cfb::MsgDocument& document,
                              std::string& error) const
{
    document = cfb::MsgDocument();
    HRESULT status = CatchPstError(database_.Path(), error, [&] {
        MessageBuilder(database_, named_, defaultCodePage, document).Read(nid);
    });
    if (FAILED(status)) {
        document = cfb::MsgDocument();
    }
    return status;
}

std::uint32_t PstStore::NodeOfEntryId(const std::vector<std::uint8_t>& entryId)
{
    return entryId.size() == 24 ? ReadU32(entryId, 20) : 0;
}

} // namespace platform::pst
