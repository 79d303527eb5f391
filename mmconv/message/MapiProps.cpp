// Property reading over GetProps and OpenProperty.
#include "mmconv/message/MapiProps.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>
#include <objidl.h>

namespace mmconv {
namespace {

// A property stream larger than this is refused rather than read into memory.
constexpr std::size_t kLargestPropertyStream = std::size_t{1} << 31;

} // namespace

TagList::TagList(std::span<const ULONG> tags)
{
    if (tags.size() <= kKeptInPlace) {
        storage_ = inPlace_.data();
    } else {
        onHeap_.resize(tags.size() + 1);
        storage_ = onHeap_.data();
    }
    storage_[0] = static_cast<ULONG>(tags.size());
    std::copy(tags.begin(), tags.end(), storage_ + 1);
}

HRESULT PropValues::Read(IMAPIProp* object, std::span<const ULONG> tags)
{
    values_.reset();
    count_ = 0;
    if (object == nullptr)
        return E_INVALIDARG;
    TagList list(tags);
    const HRESULT hr = object->GetProps(list.get(), 0, &count_, values_.put());
    if (FAILED(hr)) {
        count_ = 0;
        return hr;
    }
    if (!values_)
        count_ = 0;
    return S_OK;
}

const SPropValue* PropValues::Find(ULONG tag) const
{
    return FindValue(values_.get(), count_, tag);
}

const SPropValue* PropValues::At(std::size_t index) const
{
    return values_ && index < count_ ? &values_.get()[index] : nullptr;
}

std::optional<std::u16string_view> PropValues::Unicode(ULONG tag) const
{
    return UnicodeValue(Find(tag));
}

std::optional<std::string_view> PropValues::Ansi(ULONG tag) const
{
    return AnsiValue(Find(tag));
}

std::optional<LONG> PropValues::Long(ULONG tag) const
{
    const SPropValue* value = Find(tag);
    if (value == nullptr || PROP_TYPE(tag) != PT_LONG)
        return std::nullopt;
    return value->Value.l;
}

std::optional<bool> PropValues::Boolean(ULONG tag) const
{
    const SPropValue* value = Find(tag);
    if (value == nullptr || PROP_TYPE(tag) != PT_BOOLEAN)
        return std::nullopt;
    return value->Value.b != 0;
}

std::optional<std::uint64_t> PropValues::Time(ULONG tag) const
{
    const SPropValue* value = Find(tag);
    if (value == nullptr || PROP_TYPE(tag) != PT_SYSTIME)
        return std::nullopt;
    return (static_cast<std::uint64_t>(value->Value.ft.dwHighDateTime) << 32) | value->Value.ft.dwLowDateTime;
}

std::optional<std::span<const BYTE>> PropValues::Binary(ULONG tag) const
{
    return BinaryValue(Find(tag));
}

const SPropValue* FindValue(const SPropValue* values, ULONG count, ULONG tag)
{
    if (values == nullptr)
        return nullptr;
    for (ULONG i = 0; i < count; ++i) {
        if (values[i].ulPropTag == tag)
            return &values[i];
    }
    return nullptr;
}

std::optional<std::u16string_view> UnicodeValue(const SPropValue* value)
{
    if (value == nullptr || PROP_TYPE(value->ulPropTag) != PT_UNICODE || value->Value.lpszW == nullptr)
        return std::nullopt;
    return std::u16string_view(value->Value.lpszW);
}

std::optional<std::string_view> AnsiValue(const SPropValue* value)
{
    if (value == nullptr || PROP_TYPE(value->ulPropTag) != PT_STRING8 || value->Value.lpszA == nullptr)
        return std::nullopt;
    return std::string_view(value->Value.lpszA);
}

std::optional<std::span<const BYTE>> BinaryValue(const SPropValue* value)
{
    if (value == nullptr || PROP_TYPE(value->ulPropTag) != PT_BINARY)
        return std::nullopt;
    if (value->Value.bin.cb == 0)
        return std::span<const BYTE>();
    if (value->Value.bin.lpb == nullptr)
        return std::nullopt;
    return std::span<const BYTE>(value->Value.bin.lpb, value->Value.bin.cb);
}

HRESULT ReadPropertyStream(IMAPIProp* object, ULONG tag, std::string& data)
{
    data.clear();
    MapiPtr<IStream> stream;
    HRESULT hr = object->OpenProperty(tag, &IID_IStream, 0, 0, stream.put_unknown());
    if (FAILED(hr))
        return hr;
    STATSTG stat{};
    if (SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME)) && stat.cbSize.QuadPart < kLargestPropertyStream)
        data.reserve(static_cast<std::size_t>(stat.cbSize.QuadPart));
    char buffer[65536];
    for (;;) {
        ULONG read = 0;
        hr = stream->Read(buffer, sizeof buffer, &read);
        if (FAILED(hr))
            return hr;
        if (read == 0)
            return S_OK;
        if (data.size() + read > kLargestPropertyStream)
            return MAPI_E_TOO_BIG;
        data.append(buffer, read);
    }
}

bool PropertyExists(IMAPIProp* object, ULONG tag)
{
    if (object == nullptr)
        return false;
    // One value asked for rather than the whole list scanned: a value too large to give, or an
    // object, still answers with an error of its own, and only a missing one with "not found".
    SizedSPropTagArray(1, wanted) = {1, {CHANGE_PROP_TYPE(tag, PT_UNSPECIFIED)}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    if (FAILED(object->GetProps(reinterpret_cast<LPSPropTagArray>(&wanted), MAPI_UNICODE, &count, values.put())) ||
        count != 1 || !values)
        return false;
    const SPropValue& value = values.get()[0];
    return PROP_TYPE(value.ulPropTag) != PT_ERROR || value.Value.err != MAPI_E_NOT_FOUND;
}

} // namespace mmconv
