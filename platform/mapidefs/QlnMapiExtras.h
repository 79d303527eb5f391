// Entry points of this MAPI runtime that MAPI itself does not have.
#pragma once

#include "mapidefs.h"
#include "mapix.h"

// Opens an Outlook .msg file as a message of its own, with a named-property map of its own.
// MAPI_MODIFY (or MAPI_BEST_ACCESS) in ulFlags allows changes, which stay in memory: the file is
// never written. A file that cannot be read gives its error (MAPI_E_CORRUPT_DATA for a damaged
// one) and, when lppszError is given, a text naming the file and the fault, to be freed with
// MAPIFreeBuffer. A damaged named-property entry, recipient or attachment is left out and the
// message opens; PR_QLN_LEFT_OUT_W then names each part left out.
// On a message opened from a damaged .msg file: one text per part the reader left out.
#define PR_QLN_LEFT_OUT_W PROP_TAG(PT_MV_UNICODE, 0x6692)

STDAPI QlnOpenMsgFile(LPCSTR lpszPath, ULONG ulFlags, LPMESSAGE* lppMessage, LPSTR* lppszError);

// Looks a certificate up by the SHA-1 hash of its DER form in a certificate store of the session's
// organisation ("addressbook": the certificates of the address book's contacts), letter case of the
// store name ignored. The DER bytes are allocated with MAPIAllocateBuffer and freed by the caller.
// MAPI_E_NOT_FOUND when the store or the certificate is not there, MAPI_E_INVALID_PARAMETER for a
// session this runtime did not make.
STDAPI QlnFindCertificate(LPMAPISESSION lpSession, LPCSTR lpszStore, ULONG cbHash, LPBYTE lpbHash,
                          ULONG* lpcbCertificate, LPBYTE* lppbCertificate);
