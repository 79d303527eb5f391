// The values of the organisation model (GAL entries, stores, folders) as the runtime keeps them.
#pragma once

#include <cstdint>
#include <map>

#include "platform/cfb/MsgModel.h"

#include "platform/mapi/core/PropertyBag.h"

namespace mapi {

// Copies every property of `properties` into `bag` (ModelValue, with code page 0: the model's own
// 8-bit texts are in 1252); values the runtime has no form for are left out. With `namedIds`, ids from 0x8000 on are named properties of a store and take the store's
// ids (those it does not name are left out); without it they stay as they are (address-book
// properties of that range are plain tags).
// A value the provider works out, set in `bag` (inside Guard: std::bad_alloc when it cannot be
// copied); PutIfMissing leaves a value the model gave in place.
void Put(PropertyBag& bag, const SPropValue& value);
void PutIfMissing(PropertyBag& bag, const SPropValue& value);

SCODE LoadModelValues(const platform::cfb::MsgPropertyList& properties,
                      const std::map<std::uint16_t, ULONG>* namedIds, PropertyBag& bag);

} // namespace mapi
