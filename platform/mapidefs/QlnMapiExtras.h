// Entry points of this MAPI runtime that MAPI itself does not have.
#pragma once

#include "mapidefs.h"

// Opens an Outlook .msg file as a message of its own, with a named-property map of its own.
// MAPI_MODIFY (or MAPI_BEST_ACCESS) in ulFlags allows changes, which stay in memory: the file is
// never written. A file that cannot be read gives its error (MAPI_E_CORRUPT_DATA for a damaged
// one) and, when lppszError is given, a text naming the file and the fault, to be freed with
// MAPIFreeBuffer.
STDAPI QlnOpenMsgFile(LPCSTR lpszPath, ULONG ulFlags, LPMESSAGE* lppMessage, LPSTR* lppszError);
