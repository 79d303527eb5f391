// The MAPI session of a logon: its message stores, address book and entries.
#pragma once

#include <string>

#include <mapix.h>

#include "platform/mapi/provider/OrgContext.h"

namespace mapi {

// `profile` is the profile logged on to, empty for a logon by the path of an organisation file.
HRESULT CreateSession(OrgContextPointer context, std::string profile, LPMAPISESSION* result);

// The organisation of a session this runtime made; null for any other object.
OrgContextPointer ContextOfSession(IMAPISession* session);

} // namespace mapi
