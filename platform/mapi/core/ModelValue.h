// One property of the .msg model as a value the runtime keeps: the conversion that messages and the
// organisation's address book, stores and folders share.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/cfb/MsgModel.h"

#include "platform/mapi/core/PropertyBag.h"

namespace mapi {

// The model keeps a GUID in its stored order: little-endian fields.
GUID GuidFromModel(const platform::cfb::Guid& stored);

// `property` as the value of `tag`. PT_STRING8 texts are read in `codePage` (0 for 1252) and kept
// as PT_UNICODE, except 8-bit PR_HTML, which stays the bytes that readers of the binary PR_HTML
// expect. With `keepAlive`, binary and Unicode values point into the model, which it holds; without
// it every value is a copy of its own. Null for what the runtime has no form for (objects, null
// values, restrictions, rule actions, a GUID of another size); `status` is set when a copy fails for
// want of memory.
ValuePointer ModelValue(const platform::cfb::MsgProperty& property, ULONG tag, std::uint32_t codePage,
                        const std::shared_ptr<const void>& keepAlive, SCODE& status);
// The same made in place, binary and Unicode values pointing into the model, for a caller that
// keeps the model alive as long as the value (LoadMessageState keeps it with a block of values).
std::optional<StoredValue> ModelValueInPlace(const platform::cfb::MsgProperty& property, ULONG tag,
                                             std::uint32_t codePage, SCODE& status);

} // namespace mapi
