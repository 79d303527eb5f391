// The support context: forwarding to the support object or session, and the settings readers.
#include "mmconv/message/MMCnvSupport.h"

#include <QlnMapiExtras.h>
#include <mapicode.h>

namespace mmconv {
namespace {

template <typename Interface>
MapiPtr<Interface> Hold(Interface* object)
{
    if (object != nullptr)
        object->AddRef();
    return MapiPtr<Interface>(object);
}

} // namespace

MMCnvSupport::MMCnvSupport(IMAPISupport* support, IMAPISession* session, IConfigProp* config,
    MessageConversion convert)
    : support_(Hold(support)), session_(Hold(session)), config_(config), convert_(convert)
{
}

HRESULT MMCnvSupport::OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
    ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    if (support_)
        return support_->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
    if (session_)
        return session_->OpenEntry(cbEntryID, lpEntryID, lpInterface, ulFlags, lpulObjType, lppUnk);
    return E_FAIL;
}

HRESULT MMCnvSupport::FindCertificate(const char* store, std::span<const std::uint8_t> hash, std::string& certificate)
{
    certificate.clear();
    if (!session_)
        return E_FAIL;
    ULONG size = 0;
    MapiBuffer<BYTE> found;
    const HRESULT hr = QlnFindCertificate(session_.get(), store, static_cast<ULONG>(hash.size()),
        const_cast<LPBYTE>(hash.data()), &size, found.put());
    if (FAILED(hr))
        return hr;
    certificate.assign(reinterpret_cast<const char*>(found.get()), size);
    return S_OK;
}

HRESULT MMCnvSupport::GetProfileOneProp(ULONG ulPropTag, LPSPropValue* lppProp)
{
    if (config_ == nullptr)
        return E_FAIL;
    return config_->GetOneProp(ulPropTag, lppProp);
}

bool MMCnvSupport::GetConfigFlag(ULONG ulPropTag)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(GetProfileOneProp(ulPropTag, value.put())) || !value)
        return false;
    return PROP_TYPE(value->ulPropTag) == PT_BOOLEAN && value->Value.b != 0;
}

std::optional<std::string> MMCnvSupport::GetConfigString(ULONG ulPropTag)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(GetProfileOneProp(ulPropTag, value.put())) || !value)
        return std::nullopt;
    if (PROP_TYPE(value->ulPropTag) != PT_STRING8 || value->Value.lpszA == nullptr)
        return std::nullopt;
    return std::string(value->Value.lpszA);
}

HRESULT MMCnvSupport::ConvertMessage(IMessage* message, MimeOutput& output, ULONG flags, IMessage* calendarContext)
{
    if (convert_ == nullptr)
        return E_FAIL;
    return convert_(message, output, *this, flags, calendarContext);
}

} // namespace mmconv
