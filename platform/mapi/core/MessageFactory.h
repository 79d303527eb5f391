// Opening a message of the plain message model as an IMessage: what the runtime's folders and
// stores call for each message they hand out.
#pragma once

#include <memory>
#include <span>

#include <mapidefs.h>

#include "platform/cfb/MsgModel.h"

#include "platform/mapi/core/NamedPropertyMap.h"

namespace mapi {

// Opens `message` as an IMessage whose named properties are those of the store's map `names`
// (the model's own ids, named by `modelNames`, are given the store's ids). MAPI_MODIFY or
// MAPI_BEST_ACCESS in `flags` lets the caller change the message, in memory only; nothing ever
// goes back into the model. `extra` values are added over the model's (entry identifiers, say).
// The message keeps `message` (and whatever it shares ownership with) alive while it needs it.
HRESULT OpenModelMessage(std::shared_ptr<const platform::cfb::MsgMessage> message,
                         std::span<const platform::cfb::MsgNamedProperty> modelNames,
                         std::shared_ptr<NamedPropertyMap> names, ULONG flags, std::span<const SPropValue> extra,
                         LPMESSAGE* result);

} // namespace mapi
