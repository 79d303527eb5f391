// The IMAPIProp part of the runtime's read-only provider objects (address-book entries,
// containers, stores, folders): values fixed when the object is opened, refused changes.
#pragma once

#include <MapiPtr.h>

#include "platform/mapi/core/PropObject.h"

namespace mapi {

template <typename Interface>
class ProviderProp : public PropObject<Interface> {
public:
    HRESULT SaveChanges(ULONG) override { return MAPI_E_NO_ACCESS; }

    HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG, ULONG ulFlags, LPUNKNOWN* lppUnk) override
    {
        if (lppUnk == nullptr || lpiid == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppUnk = nullptr;
        return Guard([&]() -> HRESULT {
            if (*lpiid == IID_IMAPITable)
                return OpenTable(ulPropTag, ulFlags, reinterpret_cast<LPMAPITABLE*>(lppUnk));
            if (*lpiid == IID_IStream)
                return this->OpenStream(ulPropTag, ulFlags, lppUnk);
            return MAPI_E_INTERFACE_NOT_SUPPORTED;
        });
    }

protected:
    ProviderProp(std::shared_ptr<NamedPropertyMap> names, PropertyBag values)
        : PropObject<Interface>(std::move(names), false), values_(std::move(values))
    {
    }

    // The tables an object offers as PT_OBJECT properties (its hierarchy, its contents).
    virtual HRESULT OpenTable(ULONG, ULONG, LPMAPITABLE*) { return MAPI_E_NO_SUPPORT; }

    PropertyBag& Bag() override { return values_; }
    void Compute(ComputedValues&) override {}

    PropertyBag values_;
};

// Hands `object` out as the interface asked for (its own when `iid` is null), with its type.
template <typename Object>
HRESULT HandOut(Object* object, LPCIID iid, ULONG objectType, ULONG* lpulObjType, LPUNKNOWN* lppUnk)
{
    MapiPtr<Object> owner(object);
    if (iid != nullptr) {
        HRESULT status = owner->QueryInterface(*iid, reinterpret_cast<LPVOID*>(lppUnk));
        if (FAILED(status))
            return status;
    } else {
        *lppUnk = owner.release();
    }
    if (lpulObjType != nullptr)
        *lpulObjType = objectType;
    return S_OK;
}

} // namespace mapi
