// Reading an IMessage through MAPI into the .msg model.
#include "ex2qln/transfer/MessageSnapshot.h"

#include <MapiPtr.h>
#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <cstring>
#include <map>
#include <new>

namespace ex2qln::transfer {
namespace {

using platform::cfb::MsgAttachment;
using platform::cfb::MsgMessage;
using platform::cfb::MsgNamedProperty;
using platform::cfb::MsgProperty;
using platform::cfb::MsgPropertyList;
using platform::cfb::MsgRecipient;

constexpr ULONG kFirstNamedId = 0x8000;
constexpr ULONG kAttachEmbeddedMessage = 5;
// Embedded messages nest at most this deep in a .msg file.
constexpr int kDeepestNesting = 64;

using NamedProperties = std::map<std::uint16_t, MsgNamedProperty>;

std::vector<std::uint8_t> BytesOf(const SBinary& binary)
{
    return binary.lpb == nullptr ? std::vector<std::uint8_t>() : std::vector<std::uint8_t>(binary.lpb, binary.lpb + binary.cb);
}

std::vector<std::uint8_t> GuidBytes(const GUID* guid)
{
    std::vector<std::uint8_t> bytes(sizeof(GUID));
    if (guid != nullptr)
        std::memcpy(bytes.data(), guid, sizeof(GUID));
    return bytes;
}

// The value in the model's form; false for a type that a .msg file does not keep.
bool ToModel(const SPropValue& value, MsgProperty& property)
{
    property.tag = value.ulPropTag;
    const PV& v = value.Value;
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_I2: property.integer = v.i; return true;
    case PT_LONG: property.integer = v.l; return true;
    case PT_BOOLEAN: property.integer = v.b != 0 ? 1 : 0; return true;
    case PT_CURRENCY: property.integer = v.cur.int64; return true;
    case PT_I8: property.integer = v.li.QuadPart; return true;
    case PT_SYSTIME:
        property.integer = static_cast<std::int64_t>(static_cast<std::uint64_t>(v.ft.dwHighDateTime) << 32 | v.ft.dwLowDateTime);
        return true;
    case PT_FLOAT: property.real = v.flt; return true;
    case PT_DOUBLE: property.real = v.dbl; return true;
    case PT_APPTIME: property.real = v.at; return true;
    case PT_STRING8:
        property.bytes.assign(v.lpszA, v.lpszA + std::strlen(v.lpszA));
        return true;
    case PT_UNICODE: property.text = v.lpszW; return true;
    case PT_BINARY: property.bytes = BytesOf(v.bin); return true;
    case PT_CLSID: property.bytes = GuidBytes(v.lpguid); return true;
    case PT_MV_I2: property.integers.assign(v.MVi.lpi, v.MVi.lpi + v.MVi.cValues); return true;
    case PT_MV_LONG: property.integers.assign(v.MVl.lpl, v.MVl.lpl + v.MVl.cValues); return true;
    case PT_MV_I8:
        for (ULONG i = 0; i < v.MVli.cValues; ++i)
            property.integers.push_back(v.MVli.lpli[i].QuadPart);
        return true;
    case PT_MV_CURRENCY:
        for (ULONG i = 0; i < v.MVcur.cValues; ++i)
            property.integers.push_back(v.MVcur.lpcur[i].int64);
        return true;
    case PT_MV_SYSTIME:
        for (ULONG i = 0; i < v.MVft.cValues; ++i) {
            const FILETIME& time = v.MVft.lpft[i];
            property.integers.push_back(
                static_cast<std::int64_t>(static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime));
        }
        return true;
    case PT_MV_FLOAT: property.reals.assign(v.MVflt.lpflt, v.MVflt.lpflt + v.MVflt.cValues); return true;
    case PT_MV_DOUBLE: property.reals.assign(v.MVdbl.lpdbl, v.MVdbl.lpdbl + v.MVdbl.cValues); return true;
    case PT_MV_APPTIME: property.reals.assign(v.MVat.lpat, v.MVat.lpat + v.MVat.cValues); return true;
    case PT_MV_BINARY:
        for (ULONG i = 0; i < v.MVbin.cValues; ++i)
            property.byteValues.push_back(BytesOf(v.MVbin.lpbin[i]));
        return true;
    case PT_MV_CLSID:
        for (ULONG i = 0; i < v.MVguid.cValues; ++i)
            property.byteValues.push_back(GuidBytes(&v.MVguid.lpguid[i]));
        return true;
    case PT_MV_STRING8:
        for (ULONG i = 0; i < v.MVszA.cValues; ++i)
            property.byteValues.emplace_back(v.MVszA.lppszA[i], v.MVszA.lppszA[i] + std::strlen(v.MVszA.lppszA[i]));
        return true;
    case PT_MV_UNICODE:
        for (ULONG i = 0; i < v.MVszW.cValues; ++i)
            property.texts.emplace_back(v.MVszW.lppszW[i]);
        return true;
    default: return false;
    }
}

// A value too large for GetProps, read through its stream.
HRESULT ReadLargeValue(IMAPIProp* object, ULONG tag, MsgProperty& property)
{
    MapiPtr<IStream> stream;
    HRESULT status = object->OpenProperty(tag, &IID_IStream, 0, 0, stream.put_unknown());
    if (FAILED(status))
        return status;
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[65536];
    for (;;) {
        ULONG read = 0;
        if (status = stream->Read(chunk, sizeof chunk, &read); FAILED(status))
            return status;
        if (read == 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    property.tag = tag;
    if (PROP_TYPE(tag) == PT_UNICODE) {
        property.text.resize(bytes.size() / 2);
        std::memcpy(property.text.data(), bytes.data(), property.text.size() * 2);
        while (!property.text.empty() && property.text.back() == u'\0')
            property.text.pop_back();
    } else {
        property.bytes = std::move(bytes);
        while (PROP_TYPE(tag) == PT_STRING8 && !property.bytes.empty() && property.bytes.back() == 0)
            property.bytes.pop_back();
    }
    return S_OK;
}

// The names of the object's named properties among `tags`, added to `names` under their ids.
void CollectNames(IMAPIProp* object, const SPropTagArray& tags, NamedProperties& names)
{
    std::vector<ULONG> named;
    for (ULONG i = 0; i < tags.cValues; ++i) {
        if (PROP_ID(tags.aulPropTag[i]) >= kFirstNamedId && !names.contains(static_cast<std::uint16_t>(PROP_ID(tags.aulPropTag[i]))))
            named.push_back(tags.aulPropTag[i]);
    }
    if (named.empty())
        return;
    MapiBuffer<SPropTagArray> asked;
    if (FAILED(MAPIAllocateBuffer(CbNewSPropTagArray(named.size()), asked.put_void())))
        return;
    asked->cValues = static_cast<ULONG>(named.size());
    std::copy(named.begin(), named.end(), asked->aulPropTag);
    LPSPropTagArray askedTags = asked.get();
    ULONG count = 0;
    MapiBuffer<LPMAPINAMEID> found;
    if (FAILED(object->GetNamesFromIDs(&askedTags, nullptr, 0, &count, found.put())))
        return;
    for (ULONG i = 0; i < count && i < named.size(); ++i) {
        const MAPINAMEID* name = found[i];
        if (name == nullptr || name->lpguid == nullptr)
            continue;
        MsgNamedProperty entry;
        entry.id = static_cast<std::uint16_t>(PROP_ID(named[i]));
        std::memcpy(entry.propertySet.data(), name->lpguid, sizeof(GUID));
        entry.isString = name->ulKind == MNID_STRING;
        if (entry.isString && name->Kind.lpwstrName != nullptr)
            entry.name = name->Kind.lpwstrName;
        else if (entry.isString)
            continue;
        else
            entry.lid = static_cast<std::uint32_t>(name->Kind.lID);
        names.emplace(entry.id, std::move(entry));
    }
}

HRESULT ReadProperties(IMAPIProp* object, MsgPropertyList& properties, NamedProperties& names)
{
    MapiBuffer<SPropTagArray> tags;
    HRESULT status = object->GetPropList(MAPI_UNICODE, tags.put());
    if (FAILED(status))
        return status;
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    status = object->GetProps(tags.get(), MAPI_UNICODE, &count, values.put());
    if (FAILED(status))
        return status;
    CollectNames(object, *tags.get(), names);
    for (ULONG i = 0; i < count && i < tags->cValues; ++i) {
        MsgProperty property;
        const SPropValue& value = values[i];
        if (PROP_TYPE(value.ulPropTag) == PT_ERROR) {
            const ULONG wanted = tags->aulPropTag[i];
            const ULONG type = PROP_TYPE(wanted);
            if (value.Value.err != MAPI_E_NOT_ENOUGH_MEMORY || (type != PT_BINARY && type != PT_UNICODE && type != PT_STRING8))
                continue;
            if (FAILED(ReadLargeValue(object, wanted, property)))
                continue;
        } else if (!ToModel(value, property)) {
            continue;
        }
        if (PROP_ID(property.tag) >= kFirstNamedId && !names.contains(static_cast<std::uint16_t>(PROP_ID(property.tag))))
            continue;
        properties.push_back(std::move(property));
    }
    return S_OK;
}

HRESULT ReadRecipients(IMessage* message, std::vector<MsgRecipient>& recipients)
{
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    HRESULT status = message->GetRecipientTable(MAPI_UNICODE, table.put());
    if (SUCCEEDED(status))
        status = HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.put());
    if (FAILED(status))
        return status;
    for (ULONG i = 0; i < rows.size(); ++i) {
        MsgRecipient recipient;
        recipient.number = i;
        const SRow& row = rows->aRow[i];
        for (ULONG j = 0; j < row.cValues; ++j) {
            MsgProperty property;
            const ULONG tag = row.lpProps[j].ulPropTag;
            if (tag == PR_ROWID || tag == PR_INSTANCE_KEY || PROP_ID(tag) >= kFirstNamedId || !ToModel(row.lpProps[j], property))
                continue;
            recipient.properties.push_back(std::move(property));
        }
        recipients.push_back(std::move(recipient));
    }
    return S_OK;
}

HRESULT ReadMessage(IMessage* message, MsgMessage& model, NamedProperties& names, int depth);

HRESULT ReadAttachments(IMessage* message, std::vector<MsgAttachment>& attachments, NamedProperties& names, int depth)
{
    SizedSPropTagArray(1, columns) = {1, {PR_ATTACH_NUM}};
    MapiPtr<IMAPITable> table;
    MapiRows rows;
    HRESULT status = message->GetAttachmentTable(0, table.put());
    if (SUCCEEDED(status))
        status = HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put());
    if (FAILED(status))
        return status;
    for (ULONG i = 0; i < rows.size(); ++i) {
        const SRow& row = rows->aRow[i];
        if (row.cValues < 1 || row.lpProps[0].ulPropTag != PR_ATTACH_NUM)
            continue;
        MapiPtr<IAttach> opened;
        if (status = message->OpenAttach(row.lpProps[0].Value.ul, nullptr, 0, opened.put()); FAILED(status))
            return status;
        MsgAttachment attachment;
        attachment.number = i;
        if (status = ReadProperties(opened.get(), attachment.properties, names); FAILED(status))
            return status;
        const MsgProperty* method = platform::cfb::FindProperty(attachment.properties, PR_ATTACH_METHOD);
        if (method != nullptr && method->integer == kAttachEmbeddedMessage) {
            MapiPtr<IMessage> embedded;
            status = opened->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, embedded.put_unknown());
            auto model = std::make_unique<MsgMessage>();
            if (SUCCEEDED(status))
                status = ReadMessage(embedded.get(), *model, names, depth + 1);
            if (FAILED(status))
                return status;
            attachment.embedded = std::move(model);
        }
        attachments.push_back(std::move(attachment));
    }
    return S_OK;
}

HRESULT ReadMessage(IMessage* message, MsgMessage& model, NamedProperties& names, int depth)
{
    if (depth > kDeepestNesting)
        return MAPI_E_TOO_COMPLEX;
    HRESULT status = ReadProperties(message, model.properties, names);
    if (SUCCEEDED(status))
        status = ReadRecipients(message, model.recipients);
    if (SUCCEEDED(status))
        status = ReadAttachments(message, model.attachments, names, depth);
    return status;
}

} // namespace

HRESULT SnapshotMessage(IMessage* message, platform::cfb::MsgDocument& document)
{
    if (message == nullptr)
        return E_INVALIDARG;
    try {
        NamedProperties names;
        HRESULT status = ReadMessage(message, document.message, names, 0);
        if (FAILED(status))
            return status;
        for (auto& [id, name] : names)
            document.namedProperties.push_back(std::move(name));
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

} // namespace ex2qln::transfer
