// Reading MAPI properties for the converters: tag lists, one GetProps answer with typed look-ups,
// single values, and whole property streams.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <MapiPtr.h>
#include <mapidefs.h>

namespace mmconv {

// An SPropTagArray kept in a vector.
class TagList {
public:
    TagList(std::initializer_list<ULONG> tags) : TagList(std::span<const ULONG>(tags.begin(), tags.size())) {}
    explicit TagList(std::span<const ULONG> tags);
    // It points into itself.
    TagList(const TagList&) = delete;
    TagList& operator=(const TagList&) = delete;
    SPropTagArray* get() { return reinterpret_cast<SPropTagArray*>(storage_); }

private:
    // A few tags (as most reads ask for) are kept in place, more on the heap.
    static constexpr std::size_t kKeptInPlace = 8;
    std::array<ULONG, kKeptInPlace + 1> inPlace_{};
    std::vector<ULONG> onHeap_;
    ULONG* storage_;
};

// The values of one GetProps call. A look-up answers only a value of exactly the asked tag (a
// missing property comes back with the error type and is absent here).
class PropValues {
public:
    HRESULT Read(IMAPIProp* object, std::span<const ULONG> tags);

    const SPropValue* Find(ULONG tag) const;
    // The value of the tag at `index` of those read (its error value when it has none); null past
    // the end. Only when the value has exactly that tag does it stand for it (see Find).
    const SPropValue* At(std::size_t index) const;
    std::optional<std::u16string_view> Unicode(ULONG tag) const;
    std::optional<std::string_view> Ansi(ULONG tag) const;
    std::optional<LONG> Long(ULONG tag) const;
    std::optional<bool> Boolean(ULONG tag) const;
    std::optional<std::uint64_t> Time(ULONG tag) const;  // the FILETIME as one number
    std::optional<std::span<const BYTE>> Binary(ULONG tag) const;

private:
    MapiBuffer<SPropValue> values_;
    ULONG count_ = 0;
};

// One value of a row or property array with exactly this tag, or null.
const SPropValue* FindValue(const SPropValue* values, ULONG count, ULONG tag);
std::optional<std::u16string_view> UnicodeValue(const SPropValue* value);
std::optional<std::string_view> AnsiValue(const SPropValue* value);
std::optional<std::span<const BYTE>> BinaryValue(const SPropValue* value);

// The whole of a property opened as a stream (PT_BINARY, PT_STRING8 or PT_UNICODE data);
// MAPI_E_NOT_FOUND when the object has no such property.
HRESULT ReadPropertyStream(IMAPIProp* object, ULONG tag, std::string& data);

// Whether a tag's property exists with any type (PT_UNSPECIFIED).
bool PropertyExists(IMAPIProp* object, ULONG tag);

} // namespace mmconv
