// Turning the plain message model (properties, recipients, attachments) into the runtime's values.
#include "platform/mapi/core/MessageState.h"

#include <cstring>
#include <map>
#include <optional>

#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

namespace cfb = platform::cfb;

constexpr ULONG kHtmlId = 0x1013;  // PR_HTML

GUID ToGuid(const cfb::Guid& stored)
{
    // The model keeps a GUID in its stored order: little-endian fields.
    GUID guid{};
    guid.Data1 = static_cast<DWORD>(stored[0] | stored[1] << 8 | stored[2] << 16 | static_cast<DWORD>(stored[3]) << 24);
    guid.Data2 = static_cast<WORD>(stored[4] | stored[5] << 8);
    guid.Data3 = static_cast<WORD>(stored[6] | stored[7] << 8);
    std::memcpy(guid.Data4, stored.data() + 8, 8);
    return guid;
}

class Loader {
public:
    Loader(std::span<const cfb::MsgNamedProperty> modelNames, NamedPropertyMap& names, std::shared_ptr<const void> keepAlive)
        : keepAlive_(std::move(keepAlive))
    {
        for (const cfb::MsgNamedProperty& model : modelNames) {
            PropertyName name;
            name.propertySet = ToGuid(model.propertySet);
            name.isString = model.isString;
            name.lid = static_cast<LONG>(model.lid);
            name.name = model.name;
            if (std::optional<ULONG> id = names.Resolve(name, true))
                ids_[model.id] = *id;
        }
    }

    std::shared_ptr<const MessageState> Message(const cfb::MsgMessage& model)
    {
        auto state = std::make_shared<MessageState>();
        Properties(model.properties, model.codePage, state->properties);
        for (const cfb::MsgRecipient& recipient : model.recipients) {
            RecipientState& row = state->recipients.emplace_back();
            row.rowId = state->nextRowId++;
            Properties(recipient.properties, model.codePage, row.properties);
        }
        for (const cfb::MsgAttachment& attachment : model.attachments) {
            auto loaded = std::make_shared<AttachmentState>();
            loaded->number = state->nextAttachNumber++;
            Properties(attachment.properties, model.codePage, loaded->properties);
            if (attachment.embedded != nullptr)
                loaded->embedded = Message(*attachment.embedded);
            else
                loaded->otherObject = cfb::FindProperty(attachment.properties, PR_ATTACH_DATA_OBJ) != nullptr;
            state->attachments.push_back(std::move(loaded));
        }
        return state;
    }

private:
    void Properties(const cfb::MsgPropertyList& model, std::uint32_t codePage, PropertyBag& bag)
    {
        for (const cfb::MsgProperty& property : model) {
            ULONG id = property.Id();
            if (id >= NamedPropertyMap::kFirstId) {
                auto mapped = ids_.find(static_cast<std::uint16_t>(id));
                if (mapped == ids_.end())
                    continue;
                id = mapped->second;
            }
            if (ValuePointer value = Value(property, PROP_TAG(property.Type(), id), codePage))
                bag.Put(std::move(value));
        }
    }

    ValuePointer Own(const SPropValue& value)
    {
        SCODE status = S_OK;
        return StoredValue::Copy(value, status);
    }

    // Multi-valued numbers: the model's 64-bit integers or reals as the MAPI element type.
    template <typename Element, typename Source>
    ValuePointer Numbers(ULONG tag, const std::vector<Source>& source, auto convert)
    {
        std::vector<Element> elements;
        elements.reserve(source.size());
        for (const Source& item : source)
            elements.push_back(convert(item));
        SPropValue value{};
        value.ulPropTag = tag;
        value.Value.MVl.cValues = static_cast<ULONG>(elements.size());
        value.Value.MVl.lpl = reinterpret_cast<LONG*>(elements.data());
        return Own(value);
    }

    ValuePointer Value(const cfb::MsgProperty& property, ULONG tag, std::uint32_t codePage)
    {
        SPropValue value{};
        value.ulPropTag = tag;
        switch (property.Type()) {
        case PT_I2: value.Value.i = static_cast<SHORT>(property.integer); return Own(value);
        case PT_LONG: value.Value.l = static_cast<LONG>(property.integer); return Own(value);
        case PT_ERROR: value.Value.err = static_cast<SCODE>(property.integer); return Own(value);
        case PT_BOOLEAN: value.Value.b = property.integer != 0; return Own(value);
        case PT_I8: value.Value.li.QuadPart = property.integer; return Own(value);
        case PT_CURRENCY: value.Value.cur.int64 = property.integer; return Own(value);
        case PT_SYSTIME:
            value.Value.ft.dwLowDateTime = static_cast<DWORD>(property.integer);
            value.Value.ft.dwHighDateTime = static_cast<DWORD>(static_cast<std::uint64_t>(property.integer) >> 32);
            return Own(value);
        case PT_FLOAT: value.Value.flt = static_cast<float>(property.real); return Own(value);
        case PT_DOUBLE:
        case PT_APPTIME: value.Value.dbl = property.real; return Own(value);
        case PT_BINARY:
        case PT_SVREID:
            value.Value.bin.cb = static_cast<ULONG>(property.bytes.size());
            value.Value.bin.lpb = const_cast<BYTE*>(property.bytes.data());
            return StoredValue::View(value, keepAlive_);
        case PT_UNICODE:
            value.Value.lpszW = const_cast<WCHAR*>(property.text.c_str());
            return StoredValue::View(value, keepAlive_);
        case PT_STRING8: {
            // Some writers store PR_HTML as 8-bit text; its bytes are what readers of PR_HTML
            // (a binary) expect, in the charset the HTML itself names.
            if (PROP_ID(tag) == kHtmlId) {
                value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BINARY);
                value.Value.bin.cb = static_cast<ULONG>(property.bytes.size());
                value.Value.bin.lpb = const_cast<BYTE*>(property.bytes.data());
                return StoredValue::View(value, keepAlive_);
            }
            std::u16string text = Text(property.bytes, codePage);
            value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
            value.Value.lpszW = text.data();
            return Own(value);
        }
        case PT_CLSID: {
            if (property.bytes.size() != sizeof(GUID))
                return nullptr;
            cfb::Guid stored{};
            std::memcpy(stored.data(), property.bytes.data(), stored.size());
            GUID guid = ToGuid(stored);
            value.Value.lpguid = &guid;
            return Own(value);
        }
        default: return Multiple(property, tag, codePage);
        }
    }

    ValuePointer Multiple(const cfb::MsgProperty& property, ULONG tag, std::uint32_t codePage)
    {
        SPropValue value{};
        value.ulPropTag = tag;
        switch (property.Type()) {
        case MV_FLAG | PT_I2:
            return Numbers<SHORT>(tag, property.integers, [](std::int64_t v) { return static_cast<SHORT>(v); });
        case MV_FLAG | PT_LONG:
            return Numbers<LONG>(tag, property.integers, [](std::int64_t v) { return static_cast<LONG>(v); });
        case MV_FLAG | PT_I8:
        case MV_FLAG | PT_CURRENCY:
        case MV_FLAG | PT_SYSTIME:
            // LARGE_INTEGER, CURRENCY and FILETIME are all the 64-bit value in little-endian order.
            return Numbers<std::int64_t>(tag, property.integers, [](std::int64_t v) { return v; });
        case MV_FLAG | PT_FLOAT:
            return Numbers<float>(tag, property.reals, [](double v) { return static_cast<float>(v); });
        case MV_FLAG | PT_DOUBLE:
        case MV_FLAG | PT_APPTIME:
            return Numbers<double>(tag, property.reals, [](double v) { return v; });
        case MV_FLAG | PT_BINARY: {
            std::vector<SBinary> binaries;
            for (const std::vector<std::uint8_t>& bytes : property.byteValues)
                binaries.push_back({static_cast<ULONG>(bytes.size()), const_cast<BYTE*>(bytes.data())});
            value.Value.MVbin = {static_cast<ULONG>(binaries.size()), binaries.data()};
            return Own(value);
        }
        case MV_FLAG | PT_CLSID: {
            std::vector<GUID> guids;
            for (const std::vector<std::uint8_t>& bytes : property.byteValues) {
                if (bytes.size() != sizeof(GUID))
                    return nullptr;
                cfb::Guid stored{};
                std::memcpy(stored.data(), bytes.data(), stored.size());
                guids.push_back(ToGuid(stored));
            }
            value.Value.MVguid = {static_cast<ULONG>(guids.size()), guids.data()};
            return Own(value);
        }
        case MV_FLAG | PT_UNICODE:
            return Texts(tag, std::vector<std::u16string>(property.texts));
        case MV_FLAG | PT_STRING8: {
            std::vector<std::u16string> texts;
            for (const std::vector<std::uint8_t>& bytes : property.byteValues)
                texts.push_back(Text(bytes, codePage));
            return Texts(CHANGE_PROP_TYPE(tag, PT_MV_UNICODE), std::move(texts));
        }
        default:
            // Objects are reached through OpenProperty; null values, restrictions and rule actions
            // have nothing a caller of this runtime reads.
            return nullptr;
        }
    }

    ValuePointer Texts(ULONG tag, std::vector<std::u16string> texts)
    {
        std::vector<LPWSTR> pointers;
        for (std::u16string& text : texts)
            pointers.push_back(text.data());
        SPropValue value{};
        value.ulPropTag = tag;
        value.Value.MVszW = {static_cast<ULONG>(pointers.size()), pointers.data()};
        return Own(value);
    }

    static std::u16string Text(const std::vector<std::uint8_t>& bytes, std::uint32_t codePage)
    {
        std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        // A stored terminator is not part of the text.
        while (!text.empty() && text.back() == '\0')
            text.remove_suffix(1);
        return CodePageToUtf16(text, codePage);
    }

    std::shared_ptr<const void> keepAlive_;
    std::map<std::uint16_t, ULONG> ids_;
};

} // namespace

std::shared_ptr<const MessageState> LoadMessageState(const platform::cfb::MsgMessage& message,
                                                     std::span<const platform::cfb::MsgNamedProperty> modelNames,
                                                     NamedPropertyMap& names, std::shared_ptr<const void> keepAlive)
{
    return Loader(modelNames, names, std::move(keepAlive)).Message(message);
}

} // namespace mapi
