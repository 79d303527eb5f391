// Encoding of MAPI property values in the TNEF property list: tag, name, counts, sizes, padding.
#include "platform/tnef/PropertyListWriter.h"

#include <bit>
#include <cstring>
#include <limits>

#include "platform/tnef/TnefWriter.h"

namespace platform::tnef {
namespace {


bool IsFixedType(ULONG type)
{
    switch (type) {
    case PT_I2: case PT_LONG: case PT_R4: case PT_DOUBLE: case PT_CURRENCY: case PT_APPTIME:
    case PT_BOOLEAN: case PT_I8: case PT_SYSTIME: case PT_CLSID:
        return true;
    default:
        return false;
    }
}

bool IsCountedType(ULONG type)
{
    return type == PT_STRING8 || type == PT_UNICODE || type == PT_BINARY;
}

// A fixed-size value, padded to four bytes (the 16-bit types take two bytes and two of padding).
void AppendFixed(std::vector<std::uint8_t>& out, ULONG type, const PV& value)
{
    switch (type) {
    case PT_I2: AppendU32(out, static_cast<std::uint16_t>(value.i)); break;
    case PT_BOOLEAN: AppendU32(out, value.b != 0 ? 1u : 0u); break;
    case PT_LONG: AppendU32(out, static_cast<std::uint32_t>(value.l)); break;
    case PT_R4: AppendU32(out, std::bit_cast<std::uint32_t>(value.flt)); break;
    case PT_DOUBLE: AppendU64(out, std::bit_cast<std::uint64_t>(value.dbl)); break;
    case PT_APPTIME: AppendU64(out, std::bit_cast<std::uint64_t>(value.at)); break;
    case PT_CURRENCY: AppendU64(out, static_cast<std::uint64_t>(value.cur.int64)); break;
    case PT_I8: AppendU64(out, static_cast<std::uint64_t>(value.li.QuadPart)); break;
    case PT_SYSTIME:
        AppendU32(out, value.ft.dwLowDateTime);
        AppendU32(out, value.ft.dwHighDateTime);
        break;
    case PT_CLSID: AppendGuid(out, *value.lpguid); break;
    default: break;
    }
}

// One counted value: its size, its bytes and the padding.
HRESULT AppendCounted(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes)
{
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        return MAPI_E_TOO_BIG;
    AppendU32(out, static_cast<std::uint32_t>(bytes.size()));
    AppendBytes(out, bytes);
    AppendPadding(out);
    return S_OK;
}

HRESULT AppendString8(std::vector<std::uint8_t>& out, const char* text)
{
    std::size_t length = text == nullptr ? 0 : std::strlen(text);
    std::vector<std::uint8_t> bytes(length + 1, 0);
    if (length > 0)
        std::memcpy(bytes.data(), text, length);
    return AppendCounted(out, bytes);
}

HRESULT AppendUnicode(std::vector<std::uint8_t>& out, const WCHAR* text)
{
    std::vector<std::uint8_t> bytes;
    for (const WCHAR* next = text; next != nullptr && *next != 0; ++next)
        AppendU16(bytes, static_cast<std::uint16_t>(*next));
    AppendU16(bytes, 0);
    return AppendCounted(out, bytes);
}

HRESULT AppendBinary(std::vector<std::uint8_t>& out, const SBinary& binary)
{
    if (binary.cb > 0 && binary.lpb == nullptr)
        return E_INVALIDARG;
    return AppendCounted(out, {binary.lpb, binary.cb});
}

HRESULT AppendName(std::vector<std::uint8_t>& out, const PropertyName& name)
{
    AppendGuid(out, name.propertySet);
    AppendU32(out, name.isString ? MNID_STRING : MNID_ID);
    if (!name.isString) {
        AppendU32(out, name.lid);
        return S_OK;
    }
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : name.name)
        AppendU16(bytes, static_cast<std::uint16_t>(unit));
    AppendU16(bytes, 0);
    return AppendCounted(out, bytes);
}

HRESULT AppendHead(std::vector<std::uint8_t>& out, ULONG tag, const PropertyName* name)
{
    AppendU32(out, tag);
    if (PROP_ID(tag) < PROP_ID_NAMED_MIN)
        return S_OK;
    if (name == nullptr)
        return E_INVALIDARG;
    return AppendName(out, *name);
}

// One value of a base type, without a value count.
HRESULT AppendValue(std::vector<std::uint8_t>& out, ULONG type, const PV& value)
{
    if (IsFixedType(type)) {
        if (type == PT_CLSID && value.lpguid == nullptr)
            return E_INVALIDARG;
        AppendFixed(out, type, value);
        return S_OK;
    }
    switch (type) {
    case PT_STRING8: return AppendString8(out, value.lpszA);
    case PT_UNICODE: return AppendUnicode(out, value.lpszW);
    case PT_BINARY: return AppendBinary(out, value.bin);
    default: return MAPI_E_INVALID_TYPE;
    }
}

HRESULT AppendSingle(std::vector<std::uint8_t>& out, ULONG type, const PV& value)
{
    if (IsCountedType(type))
        AppendU32(out, 1);  // counted types carry a value count even when single
    return AppendValue(out, type, value);
}

// The elements of a multi-valued value as single values of its base type.
template <typename Element>
HRESULT AppendElements(std::vector<std::uint8_t>& out, ULONG count, const Element* elements, ULONG type,
                       void (*assign)(PV&, const Element&))
{
    if (count > 0 && elements == nullptr)
        return E_INVALIDARG;
    AppendU32(out, count);
    for (ULONG i = 0; i < count; ++i) {
        PV single{};
        assign(single, elements[i]);
        HRESULT status = AppendValue(out, type, single);
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

HRESULT AppendMultiple(std::vector<std::uint8_t>& out, ULONG type, const PV& value)
{
    switch (type) {
    case PT_I2: return AppendElements<SHORT>(out, value.MVi.cValues, value.MVi.lpi, type, [](PV& v, const SHORT& e) { v.i = e; });
    case PT_LONG: return AppendElements<LONG>(out, value.MVl.cValues, value.MVl.lpl, type, [](PV& v, const LONG& e) { v.l = e; });
    case PT_R4: return AppendElements<float>(out, value.MVflt.cValues, value.MVflt.lpflt, type, [](PV& v, const float& e) { v.flt = e; });
    case PT_DOUBLE: return AppendElements<double>(out, value.MVdbl.cValues, value.MVdbl.lpdbl, type, [](PV& v, const double& e) { v.dbl = e; });
    case PT_APPTIME: return AppendElements<double>(out, value.MVat.cValues, value.MVat.lpat, type, [](PV& v, const double& e) { v.at = e; });
    case PT_CURRENCY: return AppendElements<CURRENCY>(out, value.MVcur.cValues, value.MVcur.lpcur, type, [](PV& v, const CURRENCY& e) { v.cur = e; });
    case PT_I8: return AppendElements<LARGE_INTEGER>(out, value.MVli.cValues, value.MVli.lpli, type, [](PV& v, const LARGE_INTEGER& e) { v.li = e; });
    case PT_SYSTIME: return AppendElements<FILETIME>(out, value.MVft.cValues, value.MVft.lpft, type, [](PV& v, const FILETIME& e) { v.ft = e; });
    case PT_CLSID: return AppendElements<GUID>(out, value.MVguid.cValues, value.MVguid.lpguid, type, [](PV& v, const GUID& e) { v.lpguid = const_cast<GUID*>(&e); });
    case PT_STRING8: return AppendElements<LPSTR>(out, value.MVszA.cValues, value.MVszA.lppszA, type, [](PV& v, const LPSTR& e) { v.lpszA = e; });
    case PT_UNICODE: return AppendElements<LPWSTR>(out, value.MVszW.cValues, value.MVszW.lppszW, type, [](PV& v, const LPWSTR& e) { v.lpszW = e; });
    case PT_BINARY: return AppendElements<SBinary>(out, value.MVbin.cValues, value.MVbin.lpbin, type, [](PV& v, const SBinary& e) { v.bin = e; });
    default: return MAPI_E_INVALID_TYPE;
    }
}

} // namespace

bool IsEncodableType(ULONG type)
{
    if ((type & MV_INSTANCE) != 0)
        return false;
    ULONG base = type & ~MV_FLAG;
    return IsFixedType(base) || IsCountedType(base);
}

void AppendGuid(std::vector<std::uint8_t>& out, const GUID& guid)
{
    AppendU32(out, guid.Data1);
    AppendU16(out, guid.Data2);
    AppendU16(out, guid.Data3);
    AppendBytes(out, guid.Data4);
}

HRESULT PropertyListWriter::Add(const SPropValue& value, const PropertyName* name)
{
    ULONG type = PROP_TYPE(value.ulPropTag);
    if (!IsEncodableType(type))
        return MAPI_E_INVALID_TYPE;
    if ((type & MV_FLAG) != 0 && value.Value.MVl.cValues == 0)
        return S_FALSE;
    std::vector<std::uint8_t> encoded;
    HRESULT status = AppendHead(encoded, value.ulPropTag, name);
    if (SUCCEEDED(status))
        status = (type & MV_FLAG) != 0 ? AppendMultiple(encoded, type & ~MV_FLAG, value.Value)
                                       : AppendSingle(encoded, type, value.Value);
    if (FAILED(status))
        return status;
    AppendBytes(values_, encoded);
    ++count_;
    return S_OK;
}

HRESULT PropertyListWriter::AddObject(ULONG tag, const PropertyName* name, const GUID& iid,
                                      std::span<const std::uint8_t> data)
{
    if (PROP_TYPE(tag) != PT_OBJECT)
        return MAPI_E_INVALID_TYPE;
    if (data.size() > std::numeric_limits<std::uint32_t>::max() - sizeof(GUID))
        return MAPI_E_TOO_BIG;
    std::vector<std::uint8_t> encoded;
    HRESULT status = AppendHead(encoded, tag, name);
    if (FAILED(status))
        return status;
    encoded.reserve(encoded.size() + data.size() + 28);
    AppendU32(encoded, 1);
    AppendU32(encoded, static_cast<std::uint32_t>(data.size() + sizeof(GUID)));
    AppendGuid(encoded, iid);
    AppendBytes(encoded, data);
    AppendPadding(encoded);
    AppendBytes(values_, encoded);
    ++count_;
    return S_OK;
}

std::vector<std::uint8_t> PropertyListWriter::Take()
{
    std::vector<std::uint8_t> list;
    list.reserve(values_.size() + 4);
    AppendU32(list, count_);
    AppendBytes(list, values_);
    values_.clear();
    count_ = 0;
    return list;
}

} // namespace platform::tnef
