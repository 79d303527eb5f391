// Profile administration over the runtime's profiles: IProfAdmin, IMsgServiceAdmin and IProfSect.
#pragma once

#include <string>

#include <mapix.h>

namespace mapi {

HRESULT CreateProfileAdmin(LPPROFADMIN* result);
// The services of an existing profile.
HRESULT CreateServiceAdmin(std::string profile, LPSERVICEADMIN* result);
// A section of a profile; MAPI_MODIFY in `flags` allows SetProps and DeleteProps, which are
// written through at once.
HRESULT OpenProfileSectionObject(std::string profile, const MAPIUID& section, ULONG flags, LPPROFSECT* result);

// A text argument of a MAPI call: UTF-16 with MAPI_UNICODE in `flags`, else 8-bit text.
std::string TextArgument(LPTSTR text, ULONG flags);

} // namespace mapi
