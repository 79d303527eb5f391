// The configuration source over the server settings.
#include "ex2qln/transfer/ConfigProp.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <algorithm>
#include <iterator>

namespace ex2qln::transfer {
namespace {

// The tags answered by the identity object as they are.
constexpr ULONG kIdentityTags[] = {0x3001001E, 0x3003001E, 0x0C1A001E, 0x0C1F001E, 0x669F001E, 0x66A0001E, 0x66A1001E};

MapiPtr<IMAPIProp> Hold(IMAPIProp* object)
{
    if (object != nullptr)
        object->AddRef();
    return MapiPtr<IMAPIProp>(object);
}

bool IsIdentityTag(ULONG tag)
{
    return std::find(std::begin(kIdentityTags), std::end(kIdentityTags), tag) != std::end(kIdentityTags);
}

} // namespace

CConfigProp::CConfigProp(IMAPIProp* settings, IMAPIProp* identity) : settings_(Hold(settings)), identity_(Hold(identity))
{
}

HRESULT CConfigProp::QueryInterface(REFIID, LPVOID* ppvObj)
{
    if (ppvObj != nullptr)
        *ppvObj = nullptr;
    return E_NOINTERFACE;
}

HRESULT CConfigProp::GetOneProp(ULONG ulPropTag, LPSPropValue* lppProp)
{
    if (lppProp == nullptr)
        return E_INVALIDARG;
    *lppProp = nullptr;
    ULONG askedTag = ulPropTag;
    IMAPIProp* source = settings_.get();
    if (ulPropTag == PR_RECEIVED_BY_NAME_A) {
        askedTag = PR_DISPLAY_NAME_A;
        source = identity_.get();
    } else if (ulPropTag == PR_RECEIVED_BY_EMAIL_ADDRESS_A) {
        askedTag = PR_EMAIL_ADDRESS_A;
        source = identity_.get();
    } else if (IsIdentityTag(ulPropTag)) {
        source = identity_.get();
    }
    if (source == nullptr)
        return MAPI_E_NOT_FOUND;
    HRESULT hr = HrGetOneProp(source, askedTag, lppProp);
    if (FAILED(hr))
        return hr;
    (*lppProp)->ulPropTag = ulPropTag;
    return S_OK;
}

} // namespace ex2qln::transfer
