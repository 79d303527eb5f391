// The encapsulated MAPI property list of attMsgProps, attAttachment and each attRecipTable row.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <mapidefs.h>

#include "platform/base/HResult.h"

namespace platform::tnef {

// What a named property (id 0x8000 and above) stands for; the list carries it after the tag.
struct PropertyName {
    GUID propertySet{};
    bool isString = false;
    std::uint32_t lid = 0;    // when !isString
    std::u16string name;      // when isString
};

// Whether a value of this type (single or multi-valued) can be written: not PT_NULL, PT_ERROR,
// PT_OBJECT (see AddObject), PT_UNSPECIFIED or a type TNEF does not know.
bool IsEncodableType(ULONG type);

// Collects values and gives the counted list. Values are padded to four bytes, and the padding
// is not counted in their sizes; strings carry their terminating zero.
class PropertyListWriter {
public:
    // MAPI_E_INVALID_TYPE for a type IsEncodableType refuses, E_INVALIDARG for a named id without
    // a name or a value whose pointers do not match its counts, MAPI_E_TOO_BIG for a value whose
    // size does not fit 32 bits. A refused value leaves the list unchanged. A multi-valued value
    // without values is left out with S_FALSE: decoders cannot take an empty value list.
    HRESULT Add(const SPropValue& value, const PropertyName* name);

    // A PT_OBJECT value: the interface identifier and then the object's bytes (an embedded
    // message as its own TNEF stream); the size counts both.
    HRESULT AddObject(ULONG tag, const PropertyName* name, const GUID& iid, std::span<const std::uint8_t> data);

    ULONG Count() const { return count_; }

    // The property count followed by the values.
    std::vector<std::uint8_t> Take();

private:
    std::vector<std::uint8_t> values_;
    ULONG count_ = 0;
};

void AppendGuid(std::vector<std::uint8_t>& out, const GUID& guid);

} // namespace platform::tnef
