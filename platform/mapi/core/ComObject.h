// The reference count and interface look-up shared by the runtime's objects.
#pragma once

#include <atomic>
#include <initializer_list>

#include <mapidefs.h>

namespace mapi {

template <typename Interface>
class ComObject : public Interface {
public:
    ULONG AddRef() override { return references_.fetch_add(1) + 1; }
    ULONG Release() override
    {
        ULONG left = references_.fetch_sub(1) - 1;
        if (left == 0)
            delete this;
        return left;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // Answers QueryInterface for the identifiers this object's one interface chain covers.
    HRESULT QueryFor(REFIID riid, LPVOID* ppvObj, std::initializer_list<const IID*> supported)
    {
        if (ppvObj == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *ppvObj = nullptr;
        for (const IID* iid : supported) {
            if (*iid == riid) {
                AddRef();
                *ppvObj = static_cast<Interface*>(this);
                return S_OK;
            }
        }
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    }

    // Answers GetLastError for an object that keeps no error text: there is none to give.
    static HRESULT NoLastError(LPMAPIERROR* lppMAPIError)
    {
        if (lppMAPIError == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppMAPIError = nullptr;
        return S_OK;
    }

private:
    std::atomic<ULONG> references_{1};
};

} // namespace mapi
