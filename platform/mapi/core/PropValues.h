// Deep copies, sizes, comparisons and string-form answers for property values.
#pragma once

#include <optional>
#include <span>

#include <mapix.h>

namespace mapi {

// Where the out-of-line data of a copied value goes.
class ValueAllocator {
public:
    virtual void* Allocate(ULONG size) = 0;

protected:
    ~ValueAllocator() = default;
};

// Allocates with MAPIAllocateMore-style functions onto the chain of `parent`.
class ChainAllocator final : public ValueAllocator {
public:
    ChainAllocator(ALLOCATEMORE* allocateMore, void* parent) : allocateMore_(allocateMore), parent_(parent) {}
    void* Allocate(ULONG size) override;

private:
    ALLOCATEMORE* allocateMore_;
    void* parent_;
};

// Hands out consecutive 8-byte aligned pieces of one buffer that is known to be large enough.
class PackedAllocator final : public ValueAllocator {
public:
    explicit PackedAllocator(BYTE* next) : next_(next) {}
    void* Allocate(ULONG size) override;
    BYTE* next() const { return next_; }

private:
    BYTE* next_;
};

ULONG AlignedSize(std::size_t size);

// A new tag array in one MAPI buffer: `count` tags to be filled in, or a copy of `tags`.
SCODE NewTagArray(std::size_t count, LPSPropTagArray* result);
SCODE NewTagArray(std::span<const ULONG> tags, LPSPropTagArray* result);

// A new MAPI buffer holding `bytes` as an entry identifier (one byte long when it is empty), and
// its size.
SCODE NewEntryId(std::span<const BYTE> bytes, ULONG* size, LPENTRYID* result);

// Copies `source` into `target`, its strings, binaries and arrays through `allocator`.
SCODE CopyValue(SPropValue& target, const SPropValue& source, ValueAllocator& allocator);
// The bytes CopyValue asks of a PackedAllocator for `value`.
ULONG ExtraBytes(const SPropValue& value);

// Copies `count` values into one buffer from `allocateBuffer`.
SCODE DuplicateValues(std::span<const SPropValue> values, ALLOCATEBUFFER* allocateBuffer, LPSPropValue* result);

// The value of a stored property as asked for by `wantedTag`: its own type for PT_UNSPECIFIED,
// the other string form when that is asked for, else PT_ERROR with MAPI_E_NOT_FOUND (also for
// `stored` null). Returns S_OK, MAPI_W_ERRORS_RETURNED for an error value, or a failure.
SCODE AnswerValue(const SPropValue* stored, ULONG wantedTag, SPropValue& answer, ValueAllocator& allocator);

// Whether the two types are the two forms of a string (single or multi-valued).
bool AreStringForms(ULONG typeA, ULONG typeB);
// The string form asked for by MAPI_UNICODE in `flags` for a stored type (other types unchanged).
ULONG StringFormForFlags(ULONG type, ULONG flags);

// Orders two values of the same type (the string forms count as one). Strings compare without
// case when `ignoreCase`. nullopt when the values cannot be compared.
std::optional<int> CompareValues(const SPropValue& a, const SPropValue& b, bool ignoreCase);

// Element `index` of a multi-valued property as a single value pointing into it.
SPropValue ElementAt(const SPropValue& values, ULONG index);
bool IsCopyableType(ULONG type);

const SPropValue* FindById(std::span<const SPropValue> values, ULONG tag);

} // namespace mapi
