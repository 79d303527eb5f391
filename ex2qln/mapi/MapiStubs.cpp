// The stubs of the bound MAPI functions: same names and signatures as the library's, each
// forwarding to the function of its name in the current MAPI module.
#include <edkmdb.h>
#include <imessage.h>
#include <mapiutil.h>
#include <tnef.h>

#include "ex2qln/mapi/BoundFunction.h"

using ex2qln::mapi::BoundFunction;
using ex2qln::mapi::kBindingFailure;

MAPI_EXPORT HRESULT MAPIInitialize(LPVOID lpMapiInit)
{
    static BoundFunction<decltype(&MAPIInitialize)> bound("MAPIInitialize");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpMapiInit) : kBindingFailure;
}

MAPI_EXPORT void MAPIUninitialize()
{
    static BoundFunction<decltype(&MAPIUninitialize)> bound("MAPIUninitialize");
    auto function = bound.Resolve();
    if (function != nullptr)
        function();
}

MAPI_EXPORT HRESULT MAPILogonEx(ULONG_PTR ulUIParam, LPTSTR lpszProfileName, LPTSTR lpszPassword, ULONG ulFlags,
                                LPMAPISESSION* lppSession)
{
    static BoundFunction<decltype(&MAPILogonEx)> bound("MAPILogonEx");
    auto function = bound.Resolve();
    return function != nullptr ? function(ulUIParam, lpszProfileName, lpszPassword, ulFlags, lppSession)
                               : kBindingFailure;
}

MAPI_EXPORT HRESULT MAPIAdminProfiles(ULONG ulFlags, LPPROFADMIN* lppProfAdmin)
{
    static BoundFunction<decltype(&MAPIAdminProfiles)> bound("MAPIAdminProfiles");
    auto function = bound.Resolve();
    return function != nullptr ? function(ulFlags, lppProfAdmin) : kBindingFailure;
}

MAPI_EXPORT SCODE MAPIAllocateBuffer(ULONG cbSize, LPVOID* lppBuffer)
{
    static BoundFunction<decltype(&MAPIAllocateBuffer)> bound("MAPIAllocateBuffer");
    auto function = bound.Resolve();
    return function != nullptr ? function(cbSize, lppBuffer) : kBindingFailure;
}

MAPI_EXPORT SCODE MAPIAllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer)
{
    static BoundFunction<decltype(&MAPIAllocateMore)> bound("MAPIAllocateMore");
    auto function = bound.Resolve();
    return function != nullptr ? function(cbSize, lpObject, lppBuffer) : kBindingFailure;
}

MAPI_EXPORT ULONG MAPIFreeBuffer(LPVOID lpBuffer)
{
    static BoundFunction<decltype(&MAPIFreeBuffer)> bound("MAPIFreeBuffer");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpBuffer) : 0;
}

MAPI_EXPORT SCODE CreateIProp(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                              FREEBUFFER* lpFreeBuffer, LPVOID lpvReserved, LPPROPDATA* lppPropData)
{
    static BoundFunction<decltype(&CreateIProp)> bound("CreateIProp");
    auto function = bound.Resolve();
    return function != nullptr
               ? function(lpInterface, lpAllocateBuffer, lpAllocateMore, lpFreeBuffer, lpvReserved, lppPropData)
               : kBindingFailure;
}

MAPI_EXPORT SCODE CreateTable(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                              FREEBUFFER* lpFreeBuffer, LPVOID lpvReserved, ULONG ulTableType,
                              ULONG ulPropTagIndexColumn, LPSPropTagArray lpSPropTagArrayColumns,
                              LPTABLEDATA* lppTableData)
{
    static BoundFunction<decltype(&CreateTable)> bound("CreateTable");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpInterface, lpAllocateBuffer, lpAllocateMore, lpFreeBuffer, lpvReserved,
                                          ulTableType, ulPropTagIndexColumn, lpSPropTagArrayColumns, lppTableData)
                               : kBindingFailure;
}

MAPI_EXPORT HRESULT HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                                   LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows)
{
    static BoundFunction<decltype(&HrQueryAllRows)> bound("HrQueryAllRows");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpTable, lpPropTags, lpRestriction, lpSortOrderSet, crowsMax, lppRows)
                               : kBindingFailure;
}

MAPI_EXPORT HRESULT HrAddColumnsEx(LPMAPITABLE lpTable, LPSPropTagArray lpPropTagColumnsNew,
                                   LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer,
                                   void (*lpfnFilterColumns)(LPSPropTagArray ptaga))
{
    static BoundFunction<decltype(&HrAddColumnsEx)> bound("HrAddColumnsEx");
    auto function = bound.Resolve();
    return function != nullptr
               ? function(lpTable, lpPropTagColumnsNew, lpAllocateBuffer, lpFreeBuffer, lpfnFilterColumns)
               : kBindingFailure;
}

MAPI_EXPORT HRESULT HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp)
{
    static BoundFunction<decltype(&HrGetOneProp)> bound("HrGetOneProp");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpMapiProp, ulPropTag, lppProp) : kBindingFailure;
}

MAPI_EXPORT HRESULT HrSetOneProp(LPMAPIPROP lpMapiProp, LPSPropValue lpProp)
{
    static BoundFunction<decltype(&HrSetOneProp)> bound("HrSetOneProp");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpMapiProp, lpProp) : kBindingFailure;
}

MAPI_EXPORT BOOL FPropExists(LPMAPIPROP lpMapiProp, ULONG ulPropTag)
{
    static BoundFunction<decltype(&FPropExists)> bound("FPropExists");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpMapiProp, ulPropTag) : FALSE;
}

MAPI_EXPORT LPSPropValue PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag)
{
    static BoundFunction<decltype(&PpropFindProp)> bound("PpropFindProp");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpPropArray, cValues, ulPropTag) : nullptr;
}

MAPI_EXPORT void FreeProws(LPSRowSet lpRows)
{
    static BoundFunction<decltype(&FreeProws)> bound("FreeProws");
    auto function = bound.Resolve();
    if (function != nullptr)
        function(lpRows);
}

MAPI_EXPORT void FreePadrlist(LPADRLIST lpAdrList)
{
    static BoundFunction<decltype(&FreePadrlist)> bound("FreePadrlist");
    auto function = bound.Resolve();
    if (function != nullptr)
        function(lpAdrList);
}

MAPI_EXPORT SCODE ScDupPropset(int cValues, LPSPropValue lpPropArray, LPALLOCATEBUFFER lpAllocateBuffer,
                               LPSPropValue* lppPropArray)
{
    static BoundFunction<decltype(&ScDupPropset)> bound("ScDupPropset");
    auto function = bound.Resolve();
    return function != nullptr ? function(cValues, lpPropArray, lpAllocateBuffer, lppPropArray) : kBindingFailure;
}

MAPI_EXPORT SCODE ScCountProps(int cValues, LPSPropValue lpPropArray, ULONG* lpcb)
{
    static BoundFunction<decltype(&ScCountProps)> bound("ScCountProps");
    auto function = bound.Resolve();
    return function != nullptr ? function(cValues, lpPropArray, lpcb) : kBindingFailure;
}

MAPI_EXPORT SCODE ScCopyProps(int cValues, LPSPropValue lpPropArray, LPVOID lpvDst, ULONG* lpcb)
{
    static BoundFunction<decltype(&ScCopyProps)> bound("ScCopyProps");
    auto function = bound.Resolve();
    return function != nullptr ? function(cValues, lpPropArray, lpvDst, lpcb) : kBindingFailure;
}

MAPI_EXPORT SCODE PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc, ALLOCATEMORE* lpfAllocMore,
                               LPVOID lpvObject)
{
    static BoundFunction<decltype(&PropCopyMore)> bound("PropCopyMore");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpSPropValueDest, lpSPropValueSrc, lpfAllocMore, lpvObject) : kBindingFailure;
}

MAPI_EXPORT ULONG UlPropSize(LPSPropValue lpSPropValue)
{
    static BoundFunction<decltype(&UlPropSize)> bound("UlPropSize");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpSPropValue) : 0;
}

MAPI_EXPORT LONG LPropCompareProp(LPSPropValue lpSPropValueA, LPSPropValue lpSPropValueB)
{
    static BoundFunction<decltype(&LPropCompareProp)> bound("LPropCompareProp");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpSPropValueA, lpSPropValueB) : 0;
}

MAPI_EXPORT BOOL FPropCompareProp(LPSPropValue lpSPropValue1, ULONG ulRelOp, LPSPropValue lpSPropValue2)
{
    static BoundFunction<decltype(&FPropCompareProp)> bound("FPropCompareProp");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpSPropValue1, ulRelOp, lpSPropValue2) : FALSE;
}

MAPI_EXPORT HRESULT OpenStreamOnFile(LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer, ULONG ulFlags,
                                     LPCTSTR lpszFileName, LPCTSTR lpszPrefix, LPSTREAM* lppStream)
{
    static BoundFunction<decltype(&OpenStreamOnFile)> bound("OpenStreamOnFile");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpAllocateBuffer, lpFreeBuffer, ulFlags, lpszFileName, lpszPrefix, lppStream)
                               : kBindingFailure;
}

MAPI_EXPORT HRESULT CreateStreamOnHGlobal(HGLOBAL hGlobal, BOOL fDeleteOnRelease, LPSTREAM* ppstm)
{
    static BoundFunction<decltype(&CreateStreamOnHGlobal)> bound("CreateStreamOnHGlobal");
    auto function = bound.Resolve();
    return function != nullptr ? function(hGlobal, fDeleteOnRelease, ppstm) : kBindingFailure;
}

MAPI_EXPORT HRESULT OpenTnefStreamEx(LPVOID lpvSupport, LPSTREAM lpStream, LPTSTR lpszStreamName, ULONG ulFlags,
                                     LPMESSAGE lpMessage, WORD wKeyVal, LPADRBOOK lpAdressBook, LPITNEF* lppTNEF)
{
    static BoundFunction<decltype(&OpenTnefStreamEx)> bound("OpenTnefStreamEx");
    auto function = bound.Resolve();
    return function != nullptr
               ? function(lpvSupport, lpStream, lpszStreamName, ulFlags, lpMessage, wKeyVal, lpAdressBook, lppTNEF)
               : kBindingFailure;
}

MAPI_EXPORT HRESULT RTFSync(LPMESSAGE lpMessage, ULONG ulFlags, BOOL* lpfMessageUpdated)
{
    static BoundFunction<decltype(&RTFSync)> bound("RTFSync");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpMessage, ulFlags, lpfMessageUpdated) : kBindingFailure;
}

MAPI_EXPORT HRESULT WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags,
                                            LPSTREAM* lpUncompressedRTFStream)
{
    static BoundFunction<decltype(&WrapCompressedRTFStream)> bound("WrapCompressedRTFStream");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpCompressedRTFStream, ulFlags, lpUncompressedRTFStream) : kBindingFailure;
}

MAPI_EXPORT SCODE OpenIMsgOnIStg(LPMSGSESS lpMsgSess, LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                                 LPFREEBUFFER lpFreeBuffer, LPMALLOC lpMalloc, LPVOID lpMapiSup, LPSTORAGE lpStg,
                                 MSGCALLRELEASE* lpfMsgCallRelease, ULONG ulCallerData, ULONG ulFlags,
                                 LPMESSAGE* lppMsg)
{
    static BoundFunction<decltype(&OpenIMsgOnIStg)> bound("OpenIMsgOnIStg");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpMsgSess, lpAllocateBuffer, lpAllocateMore, lpFreeBuffer, lpMalloc,
                                          lpMapiSup, lpStg, lpfMsgCallRelease, ulCallerData, ulFlags, lppMsg)
                               : kBindingFailure;
}

MAPI_EXPORT HRESULT SetAttribIMsgOnIStg(LPVOID lpObject, LPSPropTagArray lpPropTags, LPSPropAttrArray lpPropAttrs,
                                        LPSPropProblemArray* lppPropProblems)
{
    static BoundFunction<decltype(&SetAttribIMsgOnIStg)> bound("SetAttribIMsgOnIStg");
    auto function = bound.Resolve();
    return function != nullptr ? function(lpObject, lpPropTags, lpPropAttrs, lppPropProblems) : kBindingFailure;
}
