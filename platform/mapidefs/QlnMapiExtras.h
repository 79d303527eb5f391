// Entry points of this MAPI runtime that MAPI itself does not have.
#pragma once

#include "mapidefs.h"

// Opens an Outlook .msg file as a message of its own, with a named-property map of its own.
// MAPI_MODIFY (or MAPI_BEST_ACCESS) in ulFlags allows changes, which stay in memory: the file is
// never written. A file that cannot be read gives its error (MAPI_E_CORRUPT_DATA for a damaged
// one) and, when lppszError is given, a text naming the file and the fault, to be freed with
// MAPIFreeBuffer. A damaged named-property entry, recipient or attachment is left out and the
// message opens; PR_QLN_LEFT_OUT_W then names each part left out.
// On a message opened from a damaged .msg file: one text per part the reader left out.
#define PR_QLN_LEFT_OUT_W PROP_TAG(PT_MV_UNICODE, 0x6692)

STDAPI QlnOpenMsgFile(LPCSTR lpszPath, ULONG ulFlags, LPMESSAGE* lppMessage, LPSTR* lppszError);
