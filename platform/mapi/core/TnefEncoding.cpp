// Reads a message through IMessage and lays it out as TNEF: message attributes, the recipient
// table, the encapsulated properties, then each attachment with its data or embedded message.
#include "platform/mapi/core/TnefEncoding.h"

#include <mapitags.h>
#include <mapiutil.h>

#include <algorithm>
#include <cstring>
#include <list>
#include <optional>
#include <string>

#include "platform/locale/Locale.h"
#include "platform/tnef/PropertyListWriter.h"
#include "platform/tnef/TnefWriter.h"

#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

namespace tnef = platform::tnef;

constexpr ULONG kAttachDataId = PROP_ID(PR_ATTACH_DATA_BIN);
constexpr ULONG kMessageClassId = PROP_ID(PR_MESSAGE_CLASS);
// Embedded messages inside embedded messages: deeper than any real item nests.
constexpr int kMaxNesting = 64;
// PR_ATTACH_ENCODING of an attachment whose data is MacBinary.
constexpr BYTE kMacBinaryOid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x14, 0x03, 0x0B, 0x01};

HRESULT EncodeMessage(IMessage* message, const TnefRequest& request, int depth, std::vector<BYTE>& output,
                      std::vector<TnefProblem>& problems);

HRESULT ReadAll(IStream* stream, std::vector<BYTE>& bytes)
{
    bytes.clear();
    std::vector<BYTE> buffer(1 << 16);
    for (;;) {
        ULONG got = 0;
        HRESULT status = stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got);
        if (FAILED(status))
            return status;
        if (got == 0)
            return S_OK;
        bytes.insert(bytes.end(), buffer.begin(), buffer.begin() + got);
    }
}

HRESULT ReadPropertyStream(IMAPIProp* object, ULONG tag, std::vector<BYTE>& bytes)
{
    MapiPtr<IStream> stream;
    HRESULT status = object->OpenProperty(tag, &IID_IStream, 0, 0, stream.put_unknown());
    if (FAILED(status))
        return status;
    return ReadAll(stream.get(), bytes);
}

MapiBuffer<SPropTagArray> TagArrayOf(const std::vector<ULONG>& tags)
{
    MapiBuffer<SPropTagArray> array;
    if (NewTagArray(tags, array.put()) != S_OK)
        throw std::bad_alloc();
    return array;
}

// Values read through a stream because GetProps found them too large to give.
class StreamedValues {
public:
    SPropValue Make(ULONG tag, std::vector<BYTE> bytes)
    {
        SPropValue value{};
        value.ulPropTag = tag;
        ULONG type = PROP_TYPE(tag);
        if (type == PT_UNICODE)
            bytes.insert(bytes.end(), {0, 0});
        else if (type == PT_STRING8)
            bytes.push_back(0);
        std::vector<BYTE>& kept = buffers_.emplace_back(std::move(bytes));
        if (type == PT_UNICODE)
            value.Value.lpszW = reinterpret_cast<LPWSTR>(kept.data());
        else if (type == PT_STRING8)
            value.Value.lpszA = reinterpret_cast<LPSTR>(kept.data());
        else
            value.Value.bin = {static_cast<ULONG>(kept.size()), kept.data()};
        return value;
    }

private:
    std::list<std::vector<BYTE>> buffers_;
};

bool IsStreamable(ULONG type)
{
    return type == PT_BINARY || type == PT_STRING8 || type == PT_UNICODE;
}

// The names of the named ids among `tags`; ids without a name are missing from `names`.
HRESULT LookUpNames(IMAPIProp* object, const std::vector<ULONG>& tags, std::map<ULONG, tnef::PropertyName>& names)
{
    std::vector<ULONG> named;
    for (ULONG tag : tags) {
        ULONG tagOfId = PROP_TAG(PT_UNSPECIFIED, PROP_ID(tag));
        if (PROP_ID(tag) >= PROP_ID_NAMED_MIN && std::find(named.begin(), named.end(), tagOfId) == named.end())
            named.push_back(tagOfId);
    }
    if (named.empty())
        return S_OK;
    MapiBuffer<SPropTagArray> array = TagArrayOf(named);
    LPSPropTagArray asked = array.get();
    ULONG count = 0;
    MapiBuffer<LPMAPINAMEID> found;
    HRESULT status = object->GetNamesFromIDs(&asked, nullptr, 0, &count, found.put());
    if (FAILED(status))
        return status;
    for (ULONG i = 0; i < std::min<ULONG>(count, static_cast<ULONG>(named.size())); ++i) {
        const MAPINAMEID* name = found[i];
        if (name == nullptr || name->lpguid == nullptr)
            continue;
        tnef::PropertyName entry;
        entry.propertySet = *name->lpguid;
        entry.isString = name->ulKind == MNID_STRING;
        if (!entry.isString)
            entry.lid = static_cast<std::uint32_t>(name->Kind.lID);
        else if (name->Kind.lpwstrName != nullptr)
            entry.name = name->Kind.lpwstrName;
        else
            continue;
        names.emplace(PROP_ID(named[i]), std::move(entry));
    }
    return S_OK;
}

// Writes `values` into `writer`, each named one with its name; the ones that cannot go in become problems.
HRESULT WriteValues(IMAPIProp* names, const std::vector<SPropValue>& values, tnef::PropertyListWriter& writer,
                    TnefProblem where, std::vector<TnefProblem>& problems)
{
    std::vector<ULONG> tags;
    for (const SPropValue& value : values)
        tags.push_back(value.ulPropTag);
    std::map<ULONG, tnef::PropertyName> found;
    HRESULT namesStatus = LookUpNames(names, tags, found);
    for (const SPropValue& value : values) {
        where.tag = value.ulPropTag;
        const tnef::PropertyName* name = nullptr;
        if (PROP_ID(value.ulPropTag) >= PROP_ID_NAMED_MIN) {
            auto entry = found.find(PROP_ID(value.ulPropTag));
            if (entry == found.end()) {
                where.scode = FAILED(namesStatus) ? namesStatus : MAPI_E_NOT_FOUND;
                problems.push_back(where);
                continue;
            }
            name = &entry->second;
        }
        HRESULT status = writer.Add(value, name);
        if (status == MAPI_E_TOO_BIG)
            return status;
        if (FAILED(status)) {
            where.scode = status;
            problems.push_back(where);
        }
    }
    return S_OK;
}

std::string AnsiMessageClass(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE && value.Value.lpszW != nullptr)
        return Utf16ToAnsi(value.Value.lpszW);
    if (PROP_TYPE(value.ulPropTag) == PT_STRING8 && value.Value.lpszA != nullptr)
        return value.Value.lpszA;
    return {};
}

// The selected properties of a message or attachment (an attachment's data is handled apart),
// then the overrides, into `writer`; `messageClass` gets PR_MESSAGE_CLASS when it is among them.
HRESULT CollectProperties(IMAPIProp* object, const ComponentRequest& request, bool attachment,
                          tnef::PropertyListWriter& writer, TnefProblem where, std::vector<TnefProblem>& problems,
                          std::string* messageClass)
{
    MapiBuffer<SPropTagArray> list;
    HRESULT status = object->GetPropList(MAPI_UNICODE, list.put());
    if (FAILED(status))
        return status;
    std::vector<ULONG> wanted;
    for (ULONG i = 0; i < list->cValues; ++i) {
        ULONG tag = list->aulPropTag[i];
        if (!request.selection.Selects(tag) || request.overrides.Find(tag) != nullptr)
            continue;
        if (attachment && PROP_ID(tag) == kAttachDataId)
            continue;
        if (tnef::IsEncodableType(PROP_TYPE(tag)))
            wanted.push_back(tag);
        else if (PROP_TYPE(tag) != PT_OBJECT)
            problems.push_back({where.component, where.attribute, tag, MAPI_E_INVALID_TYPE});
    }
    MapiBuffer<SPropValue> read;
    ULONG count = 0;
    if (!wanted.empty()) {
        MapiBuffer<SPropTagArray> asked = TagArrayOf(wanted);
        status = object->GetProps(asked.get(), MAPI_UNICODE, &count, read.put());
        if (FAILED(status))
            return status;
    }
    StreamedValues streamed;
    std::vector<SPropValue> values;
    for (ULONG i = 0; i < count && i < wanted.size(); ++i) {
        SPropValue value = read[i];
        if (PROP_TYPE(value.ulPropTag) == PT_ERROR) {
            // Absent or unreadable values are left out; large ones come through a stream.
            if (value.Value.err != MAPI_E_NOT_ENOUGH_MEMORY || !IsStreamable(PROP_TYPE(wanted[i])))
                continue;
            std::vector<BYTE> bytes;
            status = ReadPropertyStream(object, wanted[i], bytes);
            if (FAILED(status)) {
                problems.push_back({where.component, where.attribute, wanted[i], status});
                continue;
            }
            value = streamed.Make(wanted[i], std::move(bytes));
        }
        values.push_back(value);
    }
    for (const SPropValue* value : request.overrides.Values()) {
        if (attachment && PROP_ID(value->ulPropTag) == kAttachDataId)
            continue;
        values.push_back(*value);
    }
    if (messageClass != nullptr) {
        for (const SPropValue& value : values) {
            if (PROP_ID(value.ulPropTag) == kMessageClassId)
                *messageClass = AnsiMessageClass(value);
        }
    }
    return WriteValues(object, values, writer, where, problems);
}

HRESULT ReadRecipientRows(IMessage* message, MapiRows& rows)
{
    MapiPtr<IMAPITable> table;
    HRESULT status = message->GetRecipientTable(MAPI_UNICODE, table.put());
    if (FAILED(status))
        return status;
    return HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.put());
}

// attRecipTable: the row count, then each row as a property list.
HRESULT EncodeRecipients(IMessage* message, const SRowSet& rows, std::vector<BYTE>& data,
                         std::vector<TnefProblem>& problems)
{
    platform::AppendU32(data, rows.cRows);
    for (ULONG r = 0; r < rows.cRows; ++r) {
        const SRow& row = rows.aRow[r];
        std::vector<SPropValue> values;
        for (ULONG i = 0; i < row.cValues && row.lpProps != nullptr; ++i) {
            if (tnef::IsEncodableType(PROP_TYPE(row.lpProps[i].ulPropTag)))
                values.push_back(row.lpProps[i]);
        }
        tnef::PropertyListWriter writer;
        HRESULT status = WriteValues(message, values, writer, {0, tnef::kAttRecipTable, 0, S_OK}, problems);
        if (FAILED(status))
            return status;
        tnef::AppendBytes(data, writer.Take());
    }
    return S_OK;
}

HRESULT AttachmentNumbers(IMessage* message, std::vector<ULONG>& numbers)
{
    MapiPtr<IMAPITable> table;
    HRESULT status = message->GetAttachmentTable(0, table.put());
    if (FAILED(status))
        return status;
    SizedSPropTagArray(1, columns) = {1, {PR_ATTACH_NUM}};
    MapiRows rows;
    status = HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
    if (FAILED(status))
        return status;
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SRow& row = rows->aRow[i];
        if (row.cValues > 0 && row.lpProps[0].ulPropTag == PR_ATTACH_NUM)
            numbers.push_back(static_cast<ULONG>(row.lpProps[0].Value.l));
    }
    return S_OK;
}

// What an attachment says about itself: method, rendering, encoding and file names.
struct AttachmentFacts {
    ULONG method = ATTACH_BY_VALUE;
    tnef::RenderData render;
    std::string title;  // attAttachTitle, in the ANSI code page
};

HRESULT ReadFacts(IAttach* attach, AttachmentFacts& facts)
{
    SizedSPropTagArray(6, tags) = {6, {PR_ATTACH_METHOD, PR_RENDERING_POSITION, PR_ATTACH_ENCODING,
                                       PR_ATTACH_FILENAME_W, PR_ATTACH_LONG_FILENAME_W, PR_DISPLAY_NAME_W}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    HRESULT status = attach->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), MAPI_UNICODE, &count, values.put());
    if (FAILED(status))
        return status;
    if (count < 6)
        return MAPI_E_CALL_FAILED;
    if (values[0].ulPropTag == PR_ATTACH_METHOD)
        facts.method = static_cast<ULONG>(values[0].Value.l);
    facts.render.type = facts.method == ATTACH_OLE ? tnef::kRenderOle : tnef::kRenderFile;
    if (values[1].ulPropTag == PR_RENDERING_POSITION)
        facts.render.position = static_cast<std::uint32_t>(values[1].Value.l);
    if (values[2].ulPropTag == PR_ATTACH_ENCODING && values[2].Value.bin.cb == sizeof(kMacBinaryOid) &&
        std::memcmp(values[2].Value.bin.lpb, kMacBinaryOid, sizeof(kMacBinaryOid)) == 0)
        facts.render.flags = tnef::kRenderDataMacBinary;
    // Decoders name the file after the title: the short name, else the long one, else the display name.
    for (ULONG i : {3u, 4u, 5u}) {
        if (facts.title.empty() && PROP_TYPE(values[i].ulPropTag) == PT_UNICODE && values[i].Value.lpszW != nullptr)
            facts.title = Utf16ToAnsi(values[i].Value.lpszW);
    }
    return S_OK;
}

// Everything in an embedded message, as a TNEF stream of its own.
HRESULT EncodeEmbedded(IAttach* attach, ULONG number, WORD key, int depth, std::vector<BYTE>& stream,
                       std::vector<TnefProblem>& problems)
{
    if (depth >= kMaxNesting)
        return MAPI_E_TOO_COMPLEX;
    MapiPtr<IMessage> embedded;
    HRESULT status = attach->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, embedded.put_unknown());
    if (FAILED(status))
        return status;
    TnefRequest request;
    request.key = key;
    request.message.selection.Exclude(nullptr);
    request.everyAttachment.Exclude(nullptr);
    request.encodeRecipients = true;
    // Problems inside the embedded message are its own; the outer caller sees the attachment.
    std::vector<TnefProblem> inner;
    status = EncodeMessage(embedded.get(), request, depth + 1, stream, inner);
    if (!inner.empty())
        problems.push_back({number, tnef::kAttAttachment, PR_ATTACH_DATA_OBJ, MAPI_W_ERRORS_RETURNED});
    return status;
}

HRESULT EncodeAttachment(IMessage* message, ULONG number, const ComponentRequest& request, WORD key, int depth,
                         tnef::TnefWriter& writer, std::vector<TnefProblem>& problems)
{
    MapiPtr<IAttach> attach;
    HRESULT status = message->OpenAttach(number, nullptr, 0, attach.put());
    if (FAILED(status))
        return status;
    AttachmentFacts facts;
    if (FAILED(status = ReadFacts(attach.get(), facts)) || FAILED(status = writer.AttachRenderData(facts.render)))
        return status;
    TnefProblem where{number, tnef::kAttAttachment, 0, S_OK};
    tnef::PropertyListWriter properties;
    status = CollectProperties(attach.get(), request, true, properties, where, problems, nullptr);
    if (FAILED(status))
        return status;

    const SPropValue* dataOverride = request.overrides.Find(PR_ATTACH_DATA_BIN);
    bool wantData = request.selection.Selects(PR_ATTACH_DATA_BIN) || dataOverride != nullptr;
    if (wantData && facts.method == ATTACH_EMBEDDED_MSG) {
        std::vector<BYTE> stream;
        status = EncodeEmbedded(attach.get(), number, key, depth, stream, problems);
        if (FAILED(status))
            return status;
        status = properties.AddObject(PR_ATTACH_DATA_OBJ, nullptr, IID_IMessage, stream);
        if (FAILED(status))
            return status;
    } else if (wantData && facts.method == ATTACH_OLE) {
        problems.push_back({number, tnef::kAttAttachment, PR_ATTACH_DATA_OBJ, MAPI_E_NO_SUPPORT});
    } else if (wantData) {
        std::vector<BYTE> data;
        if (dataOverride != nullptr && PROP_TYPE(dataOverride->ulPropTag) == PT_BINARY)
            data.assign(dataOverride->Value.bin.lpb, dataOverride->Value.bin.lpb + dataOverride->Value.bin.cb);
        else
            status = ReadPropertyStream(attach.get(), PR_ATTACH_DATA_BIN, data);
        if (FAILED(status) && status != MAPI_E_NOT_FOUND)
            return status;
        if (!facts.title.empty()) {
            std::vector<BYTE> title(facts.title.begin(), facts.title.end());
            title.push_back(0);
            if (FAILED(status = writer.Attribute(tnef::Level::kAttachment, tnef::kAttAttachTitle, title)))
                return status;
        }
        if (!data.empty()) {
            if (FAILED(status = writer.Attribute(tnef::Level::kAttachment, tnef::kAttAttachData, data)))
                return status;
        } else if (status != MAPI_E_NOT_FOUND) {
            // Decoders refuse an empty attAttachData; an empty file stays a property.
            SPropValue empty{};
            empty.ulPropTag = PR_ATTACH_DATA_BIN;
            properties.Add(empty, nullptr);
        }
    }
    return writer.Attribute(tnef::Level::kAttachment, tnef::kAttAttachment, properties.Take());
}

HRESULT EncodeAttachments(IMessage* message, const TnefRequest& request, int depth, tnef::TnefWriter& writer,
                          std::vector<TnefProblem>& problems)
{
    if (request.everyAttachment.Empty() && request.attachments.empty())
        return S_OK;
    std::vector<ULONG> numbers;
    HRESULT status = AttachmentNumbers(message, numbers);
    if (FAILED(status))
        return status;
    for (ULONG number : numbers) {
        auto own = request.attachments.find(number);
        if (request.everyAttachment.Empty() && own == request.attachments.end())
            continue;
        ComponentRequest component;
        component.selection.Merge(request.everyAttachment);
        if (own != request.attachments.end()) {
            component.selection.Merge(own->second.selection);
            for (const SPropValue* value : own->second.overrides.Values()) {
                if (FAILED(status = component.overrides.Add(1, const_cast<SPropValue*>(value))))
                    return status;
            }
        }
        status = EncodeAttachment(message, number, component, request.key, depth, writer, problems);
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

HRESULT EncodeMessage(IMessage* message, const TnefRequest& request, int depth, std::vector<BYTE>& output,
                      std::vector<TnefProblem>& problems)
{
    tnef::PropertyListWriter properties;
    std::string messageClass;
    bool withProperties = !request.message.selection.Empty() || !request.message.overrides.Empty();
    HRESULT status = S_OK;
    if (withProperties) {
        status = CollectProperties(message, request.message, false, properties, {0, tnef::kAttMsgProps, 0, S_OK},
                                   problems, &messageClass);
        if (FAILED(status))
            return status;
    }
    tnef::TnefWriter writer(output, request.key);
    status = writer.MessageHeader(platform::AnsiCodePage(),
                                  {reinterpret_cast<const BYTE*>(messageClass.data()), messageClass.size()});
    if (FAILED(status))
        return status;
    if (request.encodeRecipients) {
        MapiRows own;
        const SRowSet* rows = request.recipientRows.get();
        if (rows == nullptr && SUCCEEDED(ReadRecipientRows(message, own)))
            rows = own.get();
        if (rows != nullptr && rows->cRows > 0) {
            std::vector<BYTE> data;
            if (FAILED(status = EncodeRecipients(message, *rows, data, problems)) ||
                FAILED(status = writer.Attribute(tnef::Level::kMessage, tnef::kAttRecipTable, data)))
                return status;
        }
    }
    if (withProperties &&
        FAILED(status = writer.Attribute(tnef::Level::kMessage, tnef::kAttMsgProps, properties.Take())))
        return status;
    return EncodeAttachments(message, request, depth, writer, problems);
}

} // namespace

void PropertySelection::AddRule(bool exclude, const SPropTagArray* tags)
{
    Rule rule;
    rule.exclude = exclude;
    for (ULONG i = 0; tags != nullptr && i < tags->cValues; ++i)
        rule.ids.push_back(PROP_ID(tags->aulPropTag[i]));
    rules_.push_back(std::move(rule));
}

void PropertySelection::Merge(const PropertySelection& other)
{
    rules_.insert(rules_.end(), other.rules_.begin(), other.rules_.end());
}

bool PropertySelection::Selects(ULONG tag) const
{
    ULONG id = PROP_ID(tag);
    return std::any_of(rules_.begin(), rules_.end(), [id](const Rule& rule) {
        bool listed = std::find(rule.ids.begin(), rule.ids.end(), id) != rule.ids.end();
        return listed != rule.exclude;
    });
}

HRESULT PropertyOverrides::Add(ULONG count, const SPropValue* values)
{
    if (count == 0)
        return S_OK;
    if (values == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    LPSPropValue copies = nullptr;
    SCODE status = DuplicateValues({values, count}, MAPIAllocateBuffer, &copies);
    if (status != S_OK)
        return status;
    buffers_.emplace_back(copies);
    for (ULONG i = 0; i < count; ++i) {
        ULONG type = PROP_TYPE(copies[i].ulPropTag);
        if (type == PT_ERROR || type == PT_NULL)
            continue;
        ULONG id = PROP_ID(copies[i].ulPropTag);
        std::erase_if(values_, [id](const SPropValue* value) { return PROP_ID(value->ulPropTag) == id; });
        values_.push_back(&copies[i]);
    }
    return S_OK;
}

const SPropValue* PropertyOverrides::Find(ULONG tag) const
{
    for (const SPropValue* value : values_) {
        if (PROP_ID(value->ulPropTag) == PROP_ID(tag))
            return value;
    }
    return nullptr;
}

HRESULT EncodeTnefStream(IMessage* message, const TnefRequest& request, std::vector<BYTE>& output,
                         std::vector<TnefProblem>& problems)
{
    if (message == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    return EncodeMessage(message, request, 0, output, problems);
}

} // namespace mapi
