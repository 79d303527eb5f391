// MAPI start-up and the published entry points whose parts are not built yet.
#include <edkmdb.h>
#include <imessage.h>
#include <mapiutil.h>

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

// Keeping the RTF and plain bodies in step is not built; the program only reads bodies.
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
