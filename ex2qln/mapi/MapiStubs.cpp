// The stubs of the bound MAPI functions: same names and signatures as the library's, each
// forwarding to the function of its name in the current MAPI module.
#include <QlnMapiExtras.h>
#include <edkmdb.h>
#include <imessage.h>
#include <mapiutil.h>
#include <tnef.h>

#include "ex2qln/mapi/BoundFunction.h"

using ex2qln::mapi::Forward;
using ex2qln::mapi::ForwardIfBound;
using ex2qln::mapi::kBindingFailure;

MAPI_EXPORT HRESULT MAPIInitialize(LPVOID lpMapiInit)
{
    return Forward<&MAPIInitialize>("MAPIInitialize", kBindingFailure, lpMapiInit);
}

MAPI_EXPORT void MAPIUninitialize()
{
    ForwardIfBound<&MAPIUninitialize>("MAPIUninitialize");
}

MAPI_EXPORT HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG ulFlags,
                                LPMAPISESSION* lppSession)
{
    return Forward<&MAPILogonEx>("MAPILogonEx", kBindingFailure, ulUIParam, lpszProfileName, lpszPassword, ulFlags,
                                 lppSession);
}

MAPI_EXPORT HRESULT MAPIAdminProfiles(ULONG ulFlags, LPPROFADMIN* lppProfAdmin)
{
    return Forward<&MAPIAdminProfiles>("MAPIAdminProfiles", kBindingFailure, ulFlags, lppProfAdmin);
}

MAPI_EXPORT SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    return Forward<&MAPIAllocateBuffer>("MAPIAllocateBuffer", kBindingFailure, cbSize, lppBuffer);
}

MAPI_EXPORT SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer)
{
    return Forward<&MAPIAllocateMore>("MAPIAllocateMore", kBindingFailure, cbSize, lpObject, lppBuffer);
}

MAPI_EXPORT ULONG MAPIFreeBuffer(LPVOID lpBuffer)
{
    return Forward<&MAPIFreeBuffer>("MAPIFreeBuffer", 0, lpBuffer);
}

MAPI_EXPORT SCODE CreateIProp(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                              FREEBUFFER* lpFreeBuffer, LPVOID lpvReserved, LPPROPDATA* lppPropData)
{
    return Forward<&CreateIProp>("CreateIProp", kBindingFailure, lpInterface, lpAllocateBuffer, lpAllocateMore,
                                 lpFreeBuffer, lpvReserved, lppPropData);
}

MAPI_EXPORT SCODE CreateTable(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                              FREEBUFFER* lpFreeBuffer, LPVOID lpvReserved, ULONG ulTableType,
                              ULONG ulPropTagIndexColumn, LPSPropTagArray lpSPropTagArrayColumns,
                              LPTABLEDATA* lppTableData)
{
    return Forward<&CreateTable>("CreateTable", kBindingFailure, lpInterface, lpAllocateBuffer, lpAllocateMore,
                                 lpFreeBuffer, lpvReserved, ulTableType, ulPropTagIndexColumn, lpSPropTagArrayColumns,
                                 lppTableData);
}

MAPI_EXPORT HRESULT HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                                   LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows)
{
    return Forward<&HrQueryAllRows>("HrQueryAllRows", kBindingFailure, lpTable, lpPropTags, lpRestriction,
                                    lpSortOrderSet, crowsMax, lppRows);
}

MAPI_EXPORT HRESULT HrAddColumnsEx(LPMAPITABLE lpTable, LPSPropTagArray lpPropTagColumnsNew,
                                   LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer,
                                   void (*lpfnFilterColumns)(LPSPropTagArray ptaga))
{
    return Forward<&HrAddColumnsEx>("HrAddColumnsEx", kBindingFailure, lpTable, lpPropTagColumnsNew, lpAllocateBuffer,
                                    lpFreeBuffer, lpfnFilterColumns);
}

MAPI_EXPORT HRESULT HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp)
{
    return Forward<&HrGetOneProp>("HrGetOneProp", kBindingFailure, lpMapiProp, ulPropTag, lppProp);
}

MAPI_EXPORT HRESULT HrSetOneProp(LPMAPIPROP lpMapiProp, LPSPropValue lpProp)
{
    return Forward<&HrSetOneProp>("HrSetOneProp", kBindingFailure, lpMapiProp, lpProp);
}

MAPI_EXPORT BOOL FPropExists(LPMAPIPROP lpMapiProp, ULONG ulPropTag)
{
    return Forward<&FPropExists>("FPropExists", FALSE, lpMapiProp, ulPropTag);
}

MAPI_EXPORT LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag)
{
    return Forward<&PpropFindProp>("PpropFindProp", nullptr, lpPropArray, cValues, ulPropTag);
}

MAPI_EXPORT void FreeProws(LPSRowSet lpRows)
{
    ForwardIfBound<&FreeProws>("FreeProws", lpRows);
}

MAPI_EXPORT void FreePadrlist(LPADRLIST lpAdrList)
{
    ForwardIfBound<&FreePadrlist>("FreePadrlist", lpAdrList);
}

MAPI_EXPORT SCODE ScDupPropset(int cValues, LPSPropValue lpPropArray, LPALLOCATEBUFFER lpAllocateBuffer,
                               LPSPropValue* lppPropArray)
{
    return Forward<&ScDupPropset>("ScDupPropset", kBindingFailure, cValues, lpPropArray, lpAllocateBuffer,
                                  lppPropArray);
}

MAPI_EXPORT SCODE ScCountProps(int cValues, LPSPropValue lpPropArray, ULONG* lpcb)
{
    return Forward<&ScCountProps>("ScCountProps", kBindingFailure, cValues, lpPropArray, lpcb);
}

MAPI_EXPORT SCODE ScCopyProps(int cValues, LPSPropValue lpPropArray, LPVOID lpvDst, ULONG* lpcb)
{
    return Forward<&ScCopyProps>("ScCopyProps", kBindingFailure, cValues, lpPropArray, lpvDst, lpcb);
}

MAPI_EXPORT SCODE PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc, ALLOCATEMORE* lpfAllocMore,
                               LPVOID lpvObject)
{
    return Forward<&PropCopyMore>("PropCopyMore", kBindingFailure, lpSPropValueDest, lpSPropValueSrc, lpfAllocMore,
                                  lpvObject);
}

MAPI_EXPORT ULONG UlPropSize(LPSPropValue lpSPropValue)
{
    return Forward<&UlPropSize>("UlPropSize", 0, lpSPropValue);
}

MAPI_EXPORT LONG LPropCompareProp(LPSPropValue lpSPropValueA, LPSPropValue lpSPropValueB)
{
    return Forward<&LPropCompareProp>("LPropCompareProp", 0, lpSPropValueA, lpSPropValueB);
}

MAPI_EXPORT BOOL FPropCompareProp(LPSPropValue lpSPropValue1, ULONG ulRelOp, LPSPropValue lpSPropValue2)
{
    return Forward<&FPropCompareProp>("FPropCompareProp", FALSE, lpSPropValue1, ulRelOp, lpSPropValue2);
}

MAPI_EXPORT HRESULT OpenStreamOnFile(LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer, ULONG ulFlags,
                                     LPCTSTR lpszFileName, LPCTSTR lpszPrefix, LPSTREAM* lppStream)
{
    return Forward<&OpenStreamOnFile>("OpenStreamOnFile", kBindingFailure, lpAllocateBuffer, lpFreeBuffer, ulFlags,
                                      lpszFileName, lpszPrefix, lppStream);
}

MAPI_EXPORT HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm)
{
    return Forward<&CreateStreamOnHGlobal>("CreateStreamOnHGlobal", kBindingFailure, hGlobal, fDeleteOnRelease, ppstm);
}

MAPI_EXPORT HRESULT OpenTnefStreamEx(LPVOID lpvSupport, LPSTREAM lpStream, LPTSTR lpszStreamName, ULONG ulFlags,
                                     LPMESSAGE lpMessage, WORD wKeyVal, LPADRBOOK lpAdressBook, LPITNEF* lppTNEF)
{
    return Forward<&OpenTnefStreamEx>("OpenTnefStreamEx", kBindingFailure, lpvSupport, lpStream, lpszStreamName,
                                      ulFlags, lpMessage, wKeyVal, lpAdressBook, lppTNEF);
}

MAPI_EXPORT HRESULT RTFSync(LPMESSAGE lpMessage, ULONG ulFlags, BOOL* lpfMessageUpdated)
{
    return Forward<&RTFSync>("RTFSync", kBindingFailure, lpMessage, ulFlags, lpfMessageUpdated);
}

MAPI_EXPORT HRESULT WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags,
                                            LPSTREAM* lpUncompressedRTFStream)
{
    return Forward<&WrapCompressedRTFStream>("WrapCompressedRTFStream", kBindingFailure, lpCompressedRTFStream, ulFlags,
                                             lpUncompressedRTFStream);
}

MAPI_EXPORT SCODE OpenIMsgOnIStg(LPMSGSESS lpMsgSess, LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                 LPFREEBUFFER lpFreeBuffer, LPMALLOC lpMalloc, LPVOID lpMapiSup, LPSTORAGE lpStg,
                                 MSGCALLRELEASE* lpfMsgCallRelease, ULONG ulCallerData, ULONG ulFlags,
                                 LPMESSAGE* lppMsg)
{
    return Forward<&OpenIMsgOnIStg>("OpenIMsgOnIStg", kBindingFailure, lpMsgSess, lpAllocateBuffer, lpAllocateMore,
                                    lpFreeBuffer, lpMalloc, lpMapiSup, lpStg, lpfMsgCallRelease, ulCallerData, ulFlags,
                                    lppMsg);
}

MAPI_EXPORT HRESULT SetAttribIMsgOnIStg(LPVOID lpObject, LPSPropTagArray lpPropTags, LPSPropAttrArray lpPropAttrs,
                                        LPSPropProblemArray* lppPropProblems)
{
    return Forward<&SetAttribIMsgOnIStg>("SetAttribIMsgOnIStg", kBindingFailure, lpObject, lpPropTags, lpPropAttrs,
                                         lppPropProblems);
}

// The runtime's own certificate look-up; a MAPI module without it finds no certificate.
MAPI_EXPORT HRESULT QlnFindCertificate(LPMAPISESSION lpSession, LPCSTR lpszStore, ULONG cbHash, LPBYTE lpbHash,
                                       ULONG* lpcbCertificate, LPBYTE* lppbCertificate)
{
    return Forward<&QlnFindCertificate>("QlnFindCertificate", kBindingFailure, lpSession, lpszStore, cbHash, lpbHash,
                                        lpcbCertificate, lppbCertificate);
}
