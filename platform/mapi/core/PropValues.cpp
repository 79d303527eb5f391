// Property value copies, sizes, string forms and ordering.
#include "platform/mapi/core/PropValues.h"

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <string>

#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

ULONG ElementSize(ULONG type)
{
    switch (type & ~MV_FLAG) {
    case PT_I2:
        return sizeof(SHORT);
    case PT_LONG:
    case PT_R4:
        return 4;
    case PT_DOUBLE:
    case PT_APPTIME:
    case PT_CURRENCY:
    case PT_I8:
    case PT_SYSTIME:
        return 8;
    case PT_CLSID:
        return sizeof(GUID);
    case PT_BINARY:
        return sizeof(SBinary);
    case PT_STRING8:
        return sizeof(LPSTR);
    case PT_UNICODE:
        return sizeof(LPWSTR);
    default:
        return 0;
    }
}

bool IsFixedType(ULONG type);
SPropValue ElementAtImpl(const SPropValue& values, ULONG index);

bool IsFixedType(ULONG type)
{
    switch (type) {
    case PT_UNSPECIFIED:
    case PT_NULL:
    case PT_I2:
    case PT_LONG:
    case PT_R4:
    case PT_DOUBLE:
    case PT_CURRENCY:
    case PT_APPTIME:
    case PT_ERROR:
    case PT_BOOLEAN:
    case PT_OBJECT:
    case PT_I8:
    case PT_SYSTIME:
        return true;
    default:
        return false;
    }
}

ULONG StringBytes(LPCSTR text) { return text == nullptr ? 0 : AlignedSize(std::strlen(text) + 1); }
ULONG WideBytes(LPCWSTR text) { return text == nullptr ? 0 : AlignedSize((Utf16Length(text) + 1) * sizeof(WCHAR)); }

template <typename T>
T* CopyArray(const T* source, std::size_t count, ValueAllocator& allocator)
{
    if (count == 0 || source == nullptr)
        return nullptr;
    auto* target = static_cast<T*>(allocator.Allocate(AlignedSize(count * sizeof(T))));
    if (target != nullptr)
        std::memcpy(target, source, count * sizeof(T));
    return target;
}

bool CopyString(LPSTR& target, LPCSTR source, ValueAllocator& allocator)
{
    target = nullptr;
    if (source == nullptr)
        return true;
    target = CopyArray(source, std::strlen(source) + 1, allocator);
    return target != nullptr;
}

bool CopyWide(LPWSTR& target, LPCWSTR source, ValueAllocator& allocator)
{
    target = nullptr;
    if (source == nullptr)
        return true;
    target = CopyArray(source, Utf16Length(source) + 1, allocator);
    return target != nullptr;
}

bool CopyBinary(SBinary& target, const SBinary& source, ValueAllocator& allocator)
{
    target.cb = source.cb;
    target.lpb = CopyArray(source.lpb, source.cb, allocator);
    return source.cb == 0 || source.lpb == nullptr || target.lpb != nullptr;
}

// Copies the pointer array of a multi-valued string or binary property, then each element.
template <typename Element, typename CopyOne>
bool CopyElements(Element*& target, Element* source, ULONG count, ValueAllocator& allocator, CopyOne copyOne)
{
    target = nullptr;
    if (count == 0 || source == nullptr)
        return true;
    target = static_cast<Element*>(allocator.Allocate(AlignedSize(count * sizeof(Element))));
    if (target == nullptr)
        return false;
    for (ULONG i = 0; i < count; ++i) {
        if (!copyOne(target[i], source[i]))
            return false;
    }
    return true;
}

std::u16string ToWide(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE)
        return value.Value.lpszW == nullptr ? std::u16string() : std::u16string(value.Value.lpszW);
    return value.Value.lpszA == nullptr ? std::u16string() : AnsiToUtf16(value.Value.lpszA);
}

char16_t Fold(char16_t c)
{
    if (c < 0x80)
        return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c;
    return static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
}

int CompareText(const std::u16string& a, const std::u16string& b, bool ignoreCase)
{
    std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        char16_t x = ignoreCase ? Fold(a[i]) : a[i];
        char16_t y = ignoreCase ? Fold(b[i]) : b[i];
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

int CompareBytes(const BYTE* a, ULONG aSize, const BYTE* b, ULONG bSize)
{
    ULONG common = std::min(aSize, bSize);
    int order = common == 0 ? 0 : std::memcmp(a, b, common);
    if (order != 0)
        return order < 0 ? -1 : 1;
    return aSize == bSize ? 0 : (aSize < bSize ? -1 : 1);
}

template <typename T>
int Order(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

ULONGLONG FileTimeValue(const FILETIME& time)
{
    return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

SPropValue ElementAtImpl(const SPropValue& values, ULONG index)
{
    SPropValue element{};
    element.ulPropTag = CHANGE_PROP_TYPE(values.ulPropTag, PROP_TYPE(values.ulPropTag) & ~MV_FLAG);
    const PV& v = values.Value;
    switch (PROP_TYPE(values.ulPropTag)) {
    case PT_MV_I2: element.Value.i = v.MVi.lpi[index]; break;
    case PT_MV_LONG: element.Value.l = v.MVl.lpl[index]; break;
    case PT_MV_R4: element.Value.flt = v.MVflt.lpflt[index]; break;
    case PT_MV_DOUBLE: element.Value.dbl = v.MVdbl.lpdbl[index]; break;
    case PT_MV_APPTIME: element.Value.at = v.MVat.lpat[index]; break;
    case PT_MV_CURRENCY: element.Value.cur = v.MVcur.lpcur[index]; break;
    case PT_MV_I8: element.Value.li = v.MVli.lpli[index]; break;
    case PT_MV_SYSTIME: element.Value.ft = v.MVft.lpft[index]; break;
    case PT_MV_CLSID: element.Value.lpguid = &v.MVguid.lpguid[index]; break;
    case PT_MV_BINARY: element.Value.bin = v.MVbin.lpbin[index]; break;
    case PT_MV_STRING8: element.Value.lpszA = v.MVszA.lppszA[index]; break;
    case PT_MV_UNICODE: element.Value.lpszW = v.MVszW.lppszW[index]; break;
    default: break;
    }
    return element;
}

SCODE ConvertString(SPropValue& answer, const SPropValue& stored, ULONG wantedType, ValueAllocator& allocator)
{
    answer.ulPropTag = CHANGE_PROP_TYPE(stored.ulPropTag, wantedType);
    auto toAnsi = [&](LPSTR& target, const SPropValue& single) {
        std::string text = Utf16ToAnsi(ToWide(single));
        return CopyString(target, text.c_str(), allocator);
    };
    auto toWide = [&](LPWSTR& target, const SPropValue& single) {
        std::u16string text = ToWide(single);
        return CopyWide(target, text.c_str(), allocator);
    };
    bool copied = true;
    switch (wantedType) {
    case PT_STRING8:
        copied = toAnsi(answer.Value.lpszA, stored);
        break;
    case PT_UNICODE:
        copied = toWide(answer.Value.lpszW, stored);
        break;
    case PT_MV_STRING8:
    case PT_MV_UNICODE: {
        ULONG count = stored.Value.MVl.cValues;
        answer.Value.MVl.cValues = count;
        answer.Value.MVl.lpl = nullptr;
        if (count == 0 || stored.Value.MVl.lpl == nullptr)
            break;
        void* pointers = allocator.Allocate(AlignedSize(std::size_t{count} * sizeof(void*)));
        if (pointers == nullptr)
            return MAPI_E_NOT_ENOUGH_MEMORY;
        answer.Value.MVszA.lppszA = static_cast<LPSTR*>(pointers);
        for (ULONG i = 0; i < count && copied; ++i) {
            SPropValue element = ElementAtImpl(stored, i);
            copied = wantedType == PT_MV_STRING8 ? toAnsi(answer.Value.MVszA.lppszA[i], element)
                                                 : toWide(answer.Value.MVszW.lppszW[i], element);
        }
        break;
    }
    default:
        return MAPI_E_INVALID_TYPE;
    }
    return copied ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

} // namespace

void* ChainAllocator::Allocate(ULONG size)
{
    void* buffer = nullptr;
    if (allocateMore_(size, parent_, &buffer) != S_OK)
        return nullptr;
    return buffer;
}

void* PackedAllocator::Allocate(ULONG size)
{
    void* piece = next_;
    next_ += AlignedSize(size);
    return piece;
}

SPropValue ElementAt(const SPropValue& values, ULONG index) { return ElementAtImpl(values, index); }

bool IsCopyableType(ULONG type)
{
    return IsFixedType(type) || type == PT_CLSID || type == PT_STRING8 || type == PT_UNICODE ||
           type == PT_BINARY || type == PT_SVREID || ((type & MV_FLAG) != 0 && ElementSize(type) != 0);
}

ULONG AlignedSize(std::size_t size) { return static_cast<ULONG>((size + 7) & ~static_cast<std::size_t>(7)); }

ULONG ExtraBytes(const SPropValue& value)
{
    ULONG type = PROP_TYPE(value.ulPropTag);
    const PV& v = value.Value;
    switch (type) {
    case PT_CLSID:
        return v.lpguid == nullptr ? 0 : AlignedSize(sizeof(GUID));
    case PT_STRING8:
        return StringBytes(v.lpszA);
    case PT_UNICODE:
        return WideBytes(v.lpszW);
    case PT_BINARY:
    case PT_SVREID:
        return v.bin.lpb == nullptr ? 0 : AlignedSize(v.bin.cb);
    default:
        break;
    }
    if ((type & MV_FLAG) == 0 || ElementSize(type) == 0)
        return 0;
    ULONG count = v.MVl.cValues;
    if (count == 0 || v.MVl.lpl == nullptr)
        return 0;
    ULONG bytes = AlignedSize(std::size_t{count} * ElementSize(type));
    for (ULONG i = 0; i < count; ++i) {
        if (type == PT_MV_STRING8)
            bytes += StringBytes(v.MVszA.lppszA[i]);
        else if (type == PT_MV_UNICODE)
            bytes += WideBytes(v.MVszW.lppszW[i]);
        else if (type == PT_MV_BINARY && v.MVbin.lpbin[i].lpb != nullptr)
            bytes += AlignedSize(v.MVbin.lpbin[i].cb);
    }
    return bytes;
}

SCODE CopyValue(SPropValue& target, const SPropValue& source, ValueAllocator& allocator)
{
    target = source;
    ULONG type = PROP_TYPE(source.ulPropTag);
    if (IsFixedType(type))
        return S_OK;
    const PV& s = source.Value;
    PV& t = target.Value;
    bool copied = true;
    switch (type) {
    case PT_CLSID:
        t.lpguid = CopyArray(s.lpguid, 1, allocator);
        copied = s.lpguid == nullptr || t.lpguid != nullptr;
        break;
    case PT_STRING8:
        copied = CopyString(t.lpszA, s.lpszA, allocator);
        break;
    case PT_UNICODE:
        copied = CopyWide(t.lpszW, s.lpszW, allocator);
        break;
    case PT_BINARY:
    case PT_SVREID:
        copied = CopyBinary(t.bin, s.bin, allocator);
        break;
    case PT_MV_STRING8:
        copied = CopyElements(t.MVszA.lppszA, s.MVszA.lppszA, s.MVszA.cValues, allocator,
                              [&](LPSTR& to, LPSTR from) { return CopyString(to, from, allocator); });
        break;
    case PT_MV_UNICODE:
        copied = CopyElements(t.MVszW.lppszW, s.MVszW.lppszW, s.MVszW.cValues, allocator,
                              [&](LPWSTR& to, LPWSTR from) { return CopyWide(to, from, allocator); });
        break;
    case PT_MV_BINARY:
        copied = CopyElements(t.MVbin.lpbin, s.MVbin.lpbin, s.MVbin.cValues, allocator,
                              [&](SBinary& to, const SBinary& from) { return CopyBinary(to, from, allocator); });
        break;
    default:
        if ((type & MV_FLAG) == 0 || ElementSize(type) == 0)
            return MAPI_E_INVALID_TYPE;
        // Arrays of fixed-size elements share one layout: a count and a pointer.
        t.MVl.lpl = reinterpret_cast<LONG*>(CopyArray(reinterpret_cast<const BYTE*>(s.MVl.lpl),
                                                      std::size_t{s.MVl.cValues} * ElementSize(type), allocator));
        copied = s.MVl.cValues == 0 || s.MVl.lpl == nullptr || t.MVl.lpl != nullptr;
        break;
    }
    return copied ? S_OK : MAPI_E_NOT_ENOUGH_MEMORY;
}

SCODE DuplicateValues(std::span<const SPropValue> values, ALLOCATEBUFFER* allocateBuffer, LPSPropValue* result)
{
    *result = nullptr;
    std::size_t bytes = AlignedSize(values.size() * sizeof(SPropValue));
    for (const SPropValue& value : values) {
        if (!IsCopyableType(PROP_TYPE(value.ulPropTag)))
            return MAPI_E_INVALID_TYPE;
        bytes += ExtraBytes(value);
    }
    if (bytes > 0xFFFFFFF0u)
        return MAPI_E_NOT_ENOUGH_MEMORY;
    void* buffer = nullptr;
    SCODE status = allocateBuffer(static_cast<ULONG>(std::max<std::size_t>(bytes, 1)), &buffer);
    if (status != S_OK)
        return status;
    auto* copies = static_cast<LPSPropValue>(buffer);
    PackedAllocator allocator(static_cast<BYTE*>(buffer) + AlignedSize(values.size() * sizeof(SPropValue)));
    for (std::size_t i = 0; i < values.size(); ++i) {
        CopyValue(copies[i], values[i], allocator);  // cannot fail: types checked, room counted
    }
    *result = copies;
    return S_OK;
}

bool AreStringForms(ULONG typeA, ULONG typeB)
{
    ULONG a = typeA & ~MV_FLAG;
    ULONG b = typeB & ~MV_FLAG;
    return (typeA & MV_FLAG) == (typeB & MV_FLAG) && (a == PT_STRING8 || a == PT_UNICODE) &&
           (b == PT_STRING8 || b == PT_UNICODE);
}

ULONG StringFormForFlags(ULONG type, ULONG flags)
{
    if (!AreStringForms(type, PT_STRING8 | (type & MV_FLAG)))
        return type;
    return ((flags & MAPI_UNICODE) != 0 ? PT_UNICODE : PT_STRING8) | (type & MV_FLAG);
}

SCODE AnswerValue(const SPropValue* stored, ULONG wantedTag, SPropValue& answer, ValueAllocator& allocator)
{
    ULONG wantedType = PROP_TYPE(wantedTag);
    if (stored != nullptr) {
        ULONG storedType = PROP_TYPE(stored->ulPropTag);
        if (wantedType == PT_UNSPECIFIED || wantedType == storedType)
            return CopyValue(answer, *stored, allocator);
        // Too large a value answers so in any form asked for; OpenProperty reads it.
        if (storedType == PT_ERROR && stored->Value.err == MAPI_E_NOT_ENOUGH_MEMORY) {
            answer = *stored;
            answer.ulPropTag = CHANGE_PROP_TYPE(wantedTag, PT_ERROR);
            return MAPI_W_ERRORS_RETURNED;
        }
        if (AreStringForms(wantedType, storedType))
            return ConvertString(answer, *stored, wantedType, allocator);
    }
    answer = SPropValue{};
    answer.ulPropTag = CHANGE_PROP_TYPE(wantedTag, PT_ERROR);
    answer.Value.err = MAPI_E_NOT_FOUND;
    return MAPI_W_ERRORS_RETURNED;
}

std::optional<int> CompareValues(const SPropValue& a, const SPropValue& b, bool ignoreCase)
{
    ULONG typeA = PROP_TYPE(a.ulPropTag);
    ULONG typeB = PROP_TYPE(b.ulPropTag);
    if (typeA != typeB && !AreStringForms(typeA, typeB))
        return std::nullopt;
    const PV& x = a.Value;
    const PV& y = b.Value;
    switch (typeA) {
    case PT_I2: return Order(x.i, y.i);
    case PT_LONG: return Order(x.l, y.l);
    case PT_ERROR: return Order(x.ul, y.ul);
    case PT_R4: return Order(x.flt, y.flt);
    case PT_DOUBLE:
    case PT_APPTIME: return Order(x.dbl, y.dbl);
    case PT_CURRENCY: return Order(x.cur.int64, y.cur.int64);
    case PT_I8: return Order(x.li.QuadPart, y.li.QuadPart);
    case PT_SYSTIME: return Order(FileTimeValue(x.ft), FileTimeValue(y.ft));
    case PT_BOOLEAN: return Order(x.b != 0, y.b != 0);
    case PT_NULL: return 0;
    case PT_CLSID:
        if (x.lpguid == nullptr || y.lpguid == nullptr)
            return Order(x.lpguid != nullptr, y.lpguid != nullptr);
        return CompareBytes(reinterpret_cast<const BYTE*>(x.lpguid), sizeof(GUID),
                            reinterpret_cast<const BYTE*>(y.lpguid), sizeof(GUID));
    case PT_BINARY:
    case PT_SVREID: return CompareBytes(x.bin.lpb, x.bin.cb, y.bin.lpb, y.bin.cb);
    case PT_STRING8:
    case PT_UNICODE: return CompareText(ToWide(a), ToWide(b), ignoreCase);
    default: break;
    }
    if ((typeA & MV_FLAG) == 0 || ElementSize(typeA) == 0)
        return std::nullopt;
    ULONG common = std::min(x.MVl.cValues, y.MVl.cValues);
    for (ULONG i = 0; i < common; ++i) {
        std::optional<int> order = CompareValues(ElementAtImpl(a, i), ElementAtImpl(b, i), ignoreCase);
        if (!order || *order != 0)
            return order;
    }
    return Order(x.MVl.cValues, y.MVl.cValues);
}

const SPropValue* FindById(std::span<const SPropValue> values, ULONG tag)
{
    for (const SPropValue& value : values) {
        if (PROP_ID(value.ulPropTag) == PROP_ID(tag))
            return &value;
    }
    return nullptr;
}

SCODE NewTagArray(std::size_t count, LPSPropTagArray* result)
{
    void* buffer = nullptr;
    SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(count)), &buffer);
    if (status != S_OK)
        return status;
    *result = static_cast<LPSPropTagArray>(buffer);
    (*result)->cValues = static_cast<ULONG>(count);
    return S_OK;
}

SCODE NewTagArray(std::span<const ULONG> tags, LPSPropTagArray* result)
{
    SCODE status = NewTagArray(tags.size(), result);
    if (status == S_OK && !tags.empty())
        std::memcpy((*result)->aulPropTag, tags.data(), tags.size() * sizeof(ULONG));
    return status;
}

SCODE NewEntryId(std::span<const BYTE> bytes, ULONG* size, LPENTRYID* result)
{
    void* buffer = nullptr;
    SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(std::max<std::size_t>(bytes.size(), 1)), &buffer);
    if (status != S_OK)
        return status;
    if (!bytes.empty())
        std::memcpy(buffer, bytes.data(), bytes.size());
    *size = static_cast<ULONG>(bytes.size());
    *result = static_cast<LPENTRYID>(buffer);
    return S_OK;
}

} // namespace mapi
