// The session's address book: the Global Address List of the organisation and one-off addresses.
#pragma once

#include <mapix.h>

#include "platform/mapi/provider/OrgContext.h"

namespace mapi {

HRESULT CreateAddressBook(OrgContextPointer context, LPADRBOOK* result);

} // namespace mapi
