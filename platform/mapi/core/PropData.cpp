// CreateIProp: an IPropData whose properties live in memory.
#include <mapiutil.h>

#include <MapiPtr.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/PropAnswers.h"
#include "platform/mapi/core/PropValues.h"

namespace mapi {
namespace {

class PropData final : public ComObject<IPropData> {
public:
    PropData(ALLOCATEBUFFER* allocateBuffer, ALLOCATEMORE* allocateMore, FREEBUFFER* freeBuffer)
        : allocateBuffer_(allocateBuffer), allocateMore_(allocateMore), freeBuffer_(freeBuffer)
    {
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_IMAPIProp, &IID_IMAPIPropData});
    }

    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override { return NoLastError(lppMAPIError); }

    HRESULT SaveChanges(ULONG) override { return S_OK; }

    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                     LPSPropValue* lppPropArray) override
    {
        if (lpcValues == nullptr || lppPropArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lpcValues = 0;
        *lppPropArray = nullptr;
        std::lock_guard lock(mutex_);
        std::vector<ULONG> wanted;
        if (lpPropTagArray != nullptr) {
            wanted.assign(lpPropTagArray->aulPropTag, lpPropTagArray->aulPropTag + lpPropTagArray->cValues);
        } else {
            for (const Stored& stored : properties_)
                wanted.push_back(CHANGE_PROP_TYPE(stored.tag, StringFormForFlags(PROP_TYPE(stored.tag), ulFlags)));
        }
        void* buffer = nullptr;
        SCODE status = allocateBuffer_(static_cast<ULONG>(std::max<std::size_t>(wanted.size(), 1) * sizeof(SPropValue)),
                                       &buffer);
        if (status != S_OK)
            return status;
        auto* values = static_cast<LPSPropValue>(buffer);
        ChainAllocator allocator(allocateMore_, buffer);
        HRESULT result = S_OK;
        for (std::size_t i = 0; i < wanted.size(); ++i) {
            const Stored* stored = Find(wanted[i]);
            status = AnswerValue(stored == nullptr ? nullptr : stored->value.get(), wanted[i], values[i], allocator);
            if (FAILED(status)) {
                freeBuffer_(buffer);
                return status;
            }
            if (status == MAPI_W_ERRORS_RETURNED)
                result = MAPI_W_ERRORS_RETURNED;
        }
        *lpcValues = static_cast<ULONG>(wanted.size());
        *lppPropArray = values;
        return result;
    }

    HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override
    {
        if (lppPropTagArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppPropTagArray = nullptr;
        std::lock_guard lock(mutex_);
        void* buffer = nullptr;
        SCODE status = allocateBuffer_(static_cast<ULONG>(CbNewSPropTagArray(properties_.size())), &buffer);
        if (status != S_OK)
            return status;
        auto* tags = static_cast<LPSPropTagArray>(buffer);
        tags->cValues = static_cast<ULONG>(properties_.size());
        for (std::size_t i = 0; i < properties_.size(); ++i) {
            ULONG tag = properties_[i].tag;
            tags->aulPropTag[i] = CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(tag), ulFlags));
        }
        *lppPropTagArray = tags;
        return S_OK;
    }

    HRESULT OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN* lppUnk) override
    {
        if (lppUnk != nullptr)
            *lppUnk = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

    HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems != nullptr)
            *lppProblems = nullptr;
        if (cValues > 0 && lpPropArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        if (objectAccess_ == IPROP_READONLY)
            return MAPI_E_NO_ACCESS;
        std::vector<SPropProblem> problems;
        for (ULONG i = 0; i < cValues; ++i) {
            SCODE status = SetOne(lpPropArray[i]);
            if (status != S_OK)
                problems.push_back({i, lpPropArray[i].ulPropTag, status});
        }
        return ReportProblems(problems, lppProblems, allocateBuffer_);
    }

    HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override
    {
        if (lppProblems != nullptr)
            *lppProblems = nullptr;
        if (lpPropTagArray == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        if (objectAccess_ == IPROP_READONLY)
            return MAPI_E_NO_ACCESS;
        std::vector<SPropProblem> problems;
        for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
            ULONG tag = lpPropTagArray->aulPropTag[i];
            auto stored = FindPosition(tag);
            if (stored == properties_.end())
                problems.push_back({i, tag, MAPI_E_NOT_FOUND});
            else if ((stored->access & IPROP_READWRITE) == 0)
                problems.push_back({i, tag, MAPI_E_NO_ACCESS});
            else
                properties_.erase(stored);
        }
        return ReportProblems(problems, lppProblems, allocateBuffer_);
    }

    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray* lppProblems) override
    {
        return RefuseCopy(lppProblems, MAPI_E_NO_SUPPORT);
    }

    HRESULT CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                      LPSPropProblemArray* lppProblems) override
    {
        return RefuseCopy(lppProblems, MAPI_E_NO_SUPPORT);
    }

    // A property object in memory has no named properties (as MAPI's own one).
    HRESULT GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override
    {
        return MAPI_E_NO_SUPPORT;
    }
    HRESULT GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { return MAPI_E_NO_SUPPORT; }

    HRESULT HrSetObjAccess(ULONG ulAccess) override
    {
        if (ulAccess != IPROP_READONLY && ulAccess != IPROP_READWRITE)
            return MAPI_E_INVALID_PARAMETER;
        std::lock_guard lock(mutex_);
        objectAccess_ = ulAccess;
        return S_OK;
    }

    HRESULT HrSetPropAccess(LPSPropTagArray lpPropTagArray, ULONG* rgulAccess) override
    {
        if (lpPropTagArray == nullptr || rgulAccess == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
            ULONG access = rgulAccess[i];
            bool oneRight = ((access & IPROP_READONLY) != 0) != ((access & IPROP_READWRITE) != 0);
            bool oneState = ((access & IPROP_CLEAN) != 0) != ((access & IPROP_DIRTY) != 0);
            if (!oneRight || !oneState)
                return MAPI_E_INVALID_PARAMETER;
        }
        std::lock_guard lock(mutex_);
        for (ULONG i = 0; i < lpPropTagArray->cValues; ++i) {
            auto stored = FindPosition(lpPropTagArray->aulPropTag[i]);
            if (stored != properties_.end())
                stored->access = rgulAccess[i];
        }
        return S_OK;
    }

    HRESULT HrGetPropAccess(LPSPropTagArray* lppPropTagArray, ULONG** lprgulAccess) override
    {
        if (lppPropTagArray == nullptr || lprgulAccess == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        *lppPropTagArray = nullptr;
        *lprgulAccess = nullptr;
        std::lock_guard lock(mutex_);
        void* tagBuffer = nullptr;
        SCODE status = allocateBuffer_(static_cast<ULONG>(CbNewSPropTagArray(properties_.size())), &tagBuffer);
        if (status != S_OK)
            return status;
        void* accessBuffer = nullptr;
        status = allocateBuffer_(static_cast<ULONG>(std::max<std::size_t>(properties_.size(), 1) * sizeof(ULONG)),
                                 &accessBuffer);
        if (status != S_OK) {
            freeBuffer_(tagBuffer);
            return status;
        }
        auto* tags = static_cast<LPSPropTagArray>(tagBuffer);
        auto* access = static_cast<ULONG*>(accessBuffer);
        tags->cValues = static_cast<ULONG>(properties_.size());
        for (std::size_t i = 0; i < properties_.size(); ++i) {
            tags->aulPropTag[i] = properties_[i].tag;
            access[i] = properties_[i].access;
        }
        *lppPropTagArray = tags;
        *lprgulAccess = access;
        return S_OK;
    }

    HRESULT HrAddObjProps(LPSPropTagArray, LPSPropProblemArray* lprgulAccess) override
    {
        if (lprgulAccess != nullptr)
            *lprgulAccess = nullptr;
        return MAPI_E_NO_SUPPORT;
    }

private:
    struct Stored {
        ULONG tag;
        MapiBuffer<SPropValue> value;
        ULONG access;
    };

    std::vector<Stored>::iterator FindPosition(ULONG tag)
    {
        return std::find_if(properties_.begin(), properties_.end(),
                            [tag](const Stored& stored) { return PROP_ID(stored.tag) == PROP_ID(tag); });
    }

    const Stored* Find(ULONG tag)
    {
        auto position = FindPosition(tag);
        return position == properties_.end() ? nullptr : &*position;
    }

    SCODE SetOne(const SPropValue& value)
    {
        ULONG type = PROP_TYPE(value.ulPropTag);
        // Unset slots (PR_NULL) and error values carry nothing to keep.
        if (type == PT_NULL || type == PT_ERROR)
            return S_OK;
        if (PROP_ID(value.ulPropTag) == PROP_ID_NULL || PROP_ID(value.ulPropTag) == PROP_ID_INVALID)
            return MAPI_E_INVALID_PARAMETER;
        if (type == PT_OBJECT || type == PT_UNSPECIFIED || !IsCopyableType(type))
            return MAPI_E_INVALID_TYPE;
        auto stored = FindPosition(value.ulPropTag);
        if (stored != properties_.end() && (stored->access & IPROP_READWRITE) == 0)
            return MAPI_E_NO_ACCESS;
        MapiBuffer<SPropValue> copy;
        SCODE status = DuplicateValues(std::span<const SPropValue>(&value, 1), MAPIAllocateBuffer, copy.put());
        if (status != S_OK)
            return status;
        if (stored == properties_.end()) {
            properties_.push_back({value.ulPropTag, std::move(copy), IPROP_READWRITE | IPROP_DIRTY});
            return S_OK;
        }
        stored->tag = value.ulPropTag;
        stored->value = std::move(copy);
        stored->access = (stored->access & ~IPROP_CLEAN) | IPROP_DIRTY;
        return S_OK;
    }

    ALLOCATEBUFFER* allocateBuffer_;
    ALLOCATEMORE* allocateMore_;
    FREEBUFFER* freeBuffer_;
    std::mutex mutex_;
    std::vector<Stored> properties_;
    ULONG objectAccess_ = IPROP_READWRITE;
};

} // namespace
} // namespace mapi

STDAPI_(SCODE) CreateIProp(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                           FREEBUFFER* lpFreeBuffer, LPVOID, LPPROPDATA* lppPropData)
{
    if (lppPropData == nullptr || lpAllocateBuffer == nullptr || lpAllocateMore == nullptr || lpFreeBuffer == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppPropData = nullptr;
    if (lpInterface != nullptr && *lpInterface != IID_IMAPIPropData)
        return MAPI_E_INTERFACE_NOT_SUPPORTED;
    *lppPropData = new (std::nothrow) mapi::PropData(lpAllocateBuffer, lpAllocateMore, lpFreeBuffer);
    return *lppPropData == nullptr ? MAPI_E_NOT_ENOUGH_MEMORY : S_OK;
}
