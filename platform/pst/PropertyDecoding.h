// Stored property values as the plain values of the .msg model.
#pragma once

#include "platform/cfb/MsgModel.h"
#include "platform/pst/HeapOnNode.h"

namespace platform::pst {

// The value of `raw` in the model's form; PT_OBJECT values are left empty for the caller, which
// knows what they name. Throws PstError for a multi-valued value whose layout is impossible.
cfb::MsgProperty DecodeProperty(const RawProperty& raw);
// The same into `property` (a new one), from the bytes of the value of `tag`.
void DecodeProperty(std::uint32_t tag, std::span<const std::uint8_t> value, cfb::MsgProperty& property);

} // namespace platform::pst
