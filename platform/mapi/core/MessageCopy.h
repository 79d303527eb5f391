// Copying a message, with its recipients, attachments and embedded messages, into another IMessage.
#pragma once

#include <span>

#include "platform/mapi/core/MessageState.h"

namespace mapi {

// Copies `message` into `target` (CopyTo of IMessage): the stored properties but those whose ids
// `excluded` holds, named ones under the ids that the target gives their names (created there),
// the recipients unless PR_MESSAGE_RECIPIENTS is excluded, and the attachments, each with its
// embedded message, unless PR_MESSAGE_ATTACHMENTS is; attachments are saved into the target,
// the target itself is not saved. Problems of the target's SetProps on the message go to `problems`.
HRESULT CopyMessage(const MessageState& message, const NamedPropertyMap& names, std::span<const ULONG> excluded,
                    IMessage* target, LPSPropProblemArray* problems);

} // namespace mapi
