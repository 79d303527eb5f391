// An opened MAPI message read whole into the plain .msg model: its properties (large ones through
// streams), recipients, attachments, embedded messages and the names of its named properties.
#pragma once

#include "platform/base/HResult.h"
#include "platform/cfb/MsgModel.h"

#include <mapidefs.h>

namespace ex2qln::transfer {

// Reads `message` into `document`. Values that a .msg file cannot hold (objects, errors) are left
// out; so are named properties whose names the message cannot give.
HRESULT SnapshotMessage(IMessage* message, platform::cfb::MsgDocument& document);

} // namespace ex2qln::transfer
