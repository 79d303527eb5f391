// MAPI start-up and the published entry points whose parts are not built yet.
#include <edkmdb.h>
#include <imessage.h>
#include <mapiutil.h>
#include <tnef.h>

#include <atomic>

namespace {

std::atomic<int> initializeCount{0};

} // namespace

// Nothing has to be set up: every object works without it. The count only pairs the calls.
STDAPI MAPIInitialize(LPVOID lpMapiInit)
{
    if (lpMapiInit != nullptr && static_cast<LPMAPIINIT_0>(lpMapiInit)->ulVersion != MAPI_INIT_VERSION)
        return MAPI_E_VERSION;
    ++initializeCount;
    return S_OK;
}

STDAPI_(void) MAPIUninitialize()
{
    int count = initializeCount.load();
    while (count > 0 && !initializeCount.compare_exchange_weak(count, count - 1)) {
    }
}

// TNEF, compressed RTF and messages on storages come with the format libraries; until then these
// entry points say so with E_NOTIMPL.
STDAPI OpenTnefStreamEx(LPVOID, LPSTREAM, LPTSTR, ULONG, LPMESSAGE, WORD, LPADRBOOK, LPITNEF* lppTNEF)
{
    if (lppTNEF != nullptr)
        *lppTNEF = nullptr;
    return E_NOTIMPL;
}

STDAPI WrapCompressedRTFStream(LPSTREAM, ULONG, LPSTREAM* lpUncompressedRTFStream)
{
    if (lpUncompressedRTFStream != nullptr)
        *lpUncompressedRTFStream = nullptr;
    return E_NOTIMPL;
}

STDAPI RTFSync(LPMESSAGE, ULONG, BOOL* lpfMessageUpdated)
{
    if (lpfMessageUpdated != nullptr)
        *lpfMessageUpdated = FALSE;
    return E_NOTIMPL;
}

STDAPI_(SCODE) OpenIMsgOnIStg(LPMSGSESS, LPALLOCATEBUFFER, LPALLOCATEMORE, LPFREEBUFFER, LPMALLOC, LPVOID, LPSTORAGE,
                              MSGCALLRELEASE*, ULONG, ULONG, LPMESSAGE* lppMsg)
{
    if (lppMsg != nullptr)
        *lppMsg = nullptr;
    return E_NOTIMPL;
}

STDAPI SetAttribIMsgOnIStg(LPVOID, LPSPropTagArray, LPSPropAttrArray, LPSPropProblemArray* lppPropProblems)
{
    if (lppPropProblems != nullptr)
        *lppPropProblems = nullptr;
    return E_NOTIMPL;
}
