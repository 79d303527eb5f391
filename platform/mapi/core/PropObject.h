// The IMAPIProp part that the runtime's messages and attachments share: properties from a bag
// and computed values, named properties from the store's map, property streams.
#pragma once

#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/NamedPropertyMap.h"
#include "platform/mapi/core/PropAnswers.h"
#include "platform/mapi/core/PropertyStream.h"
#include "platform/mapi/core/StreamedValueStream.h"

namespace mapi {

template <typename Interface>
class PropObject : public ComObject<Interface> {
public:
    HRESULT GetLastError(HRESULT, ULONG, LPMAPIERROR* lppMAPIError) override { return this->NoLastError(lppMAPIError); }

    HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                     LPSPropValue* lppPropArray) override
    {
        return WithValues([&](const ComputedValues& computed) {
            return AnswerProps(Bag(), computed, lpPropTagArray, ulFlags, lpcValues, lppPropArray);
        });
    }

    HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) override
    {
        return WithValues([&](const ComputedValues& computed) {
            return ListProps(Bag(), computed, ulFlags, lppPropTagArray);
        });
    }

    HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) override
    {
        return Change(lppProblems, [&](const ComputedValues& computed) {
            return ChangeProps(Bag(), computed, *names_, cValues, lpPropArray, lppProblems);
        });
    }

    HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) override
    {
        return Change(lppProblems, [&](const ComputedValues& computed) {
            return RemoveProps(Bag(), computed, lpPropTagArray, lppProblems);
        });
    }

    HRESULT CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                   LPSPropProblemArray* lppProblems) override
    {
        // Only whole messages copy (MessageObject::CopyTo); attachments on their own do not.
        return RefuseCopy(lppProblems, E_NOTIMPL);
    }

    HRESULT CopyProps(LPSPropTagArray, ULONG_PTR, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                      LPSPropProblemArray* lppProblems) override
    {
        // Copying chosen properties into another object is not built.
        return RefuseCopy(lppProblems, E_NOTIMPL);
    }

    HRESULT GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags, ULONG* lpcPropNames,
                            LPMAPINAMEID** lpppPropNames) override
    {
        return Guard([&] { return names_->GetNamesFromIDs(lppPropTags, lpPropSetGuid, ulFlags, lpcPropNames, lpppPropNames); });
    }

    HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                            LPSPropTagArray* lppPropTags) override
    {
        if ((ulFlags & MAPI_CREATE) != 0 && !writable_) {
            if (lppPropTags != nullptr)
                *lppPropTags = nullptr;
            return MAPI_E_NO_ACCESS;
        }
        return Guard([&] { return names_->GetIDsFromNames(cPropNames, lppPropNames, ulFlags, lppPropTags); });
    }

private:
    // Runs `step` with the object's computed values, under its lock.
    template <typename Step>
    HRESULT WithValues(Step step)
    {
        return Guard([&] {
            std::lock_guard lock(mutex_);
            return step(Worked());
        });
    }

    // The same for a change, which a read-only object refuses.
    template <typename Step>
    HRESULT Change(LPSPropProblemArray* lppProblems, Step step)
    {
        if (lppProblems != nullptr)
            *lppProblems = nullptr;
        if (!writable_)
            return MAPI_E_NO_ACCESS;
        return Guard([&] {
            std::unique_lock lock = LockForChange();
            ComputedValues computed;
            Compute(computed);
            return step(static_cast<const ComputedValues&>(computed));
        });
    }

    // The computed values, worked out once until the object changes; with mutex_ held.
    const ComputedValues& Worked()
    {
        if (!computed_) {
            computed_.emplace();
            Compute(*computed_);
        }
        return *computed_;
    }

protected:
    PropObject(std::shared_ptr<NamedPropertyMap> names, bool writable) : names_(std::move(names)), writable_(writable) {}

    // Both are called with mutex_ held. What Compute gives is kept until LockForChange.
    virtual PropertyBag& Bag() = 0;
    virtual void Compute(ComputedValues& computed) = 0;

    // OpenProperty with IID_IStream: the value in the form of the tag. MAPI_MODIFY gives a stream
    // whose Commit stores the value; MAPI_CREATE also starts it empty (and creates the property).
    HRESULT OpenStream(ULONG tag, ULONG flags, LPUNKNOWN* result)
    {
        if (!IsStreamType(PROP_TYPE(tag)))
            return MAPI_E_INVALID_TYPE;
        bool write = (flags & (MAPI_MODIFY | MAPI_CREATE)) != 0;
        if (write && !writable_)
            return MAPI_E_NO_ACCESS;
        std::vector<BYTE> content;
        {
            std::lock_guard lock(mutex_);
            const ComputedValues& computed = Worked();
            if (write && computed.IsReadOnly(tag))
                return MAPI_E_COMPUTED;
            // A value kept in its file is read from there, never whole into memory.
            if (auto streamed = StreamedContent(Bag(), computed, tag); streamed != nullptr && !write)
                return StreamedValueStream::Create(std::move(streamed), reinterpret_cast<LPSTREAM*>(result));
            HRESULT status = StreamContent(Bag(), computed, tag, content);
            if ((flags & MAPI_CREATE) != 0)
                content.clear();
            else if (FAILED(status))
                return status;
        }
        PropertyStream::Store store;
        if (write) {
            this->AddRef();
            std::shared_ptr<PropObject> owner(this, [](PropObject* object) { object->Release(); });
            store = [owner, tag](std::vector<BYTE> written) {
                std::unique_lock lock = owner->LockForChange();
                return static_cast<HRESULT>(StoreStreamContent(owner->Bag(), tag, std::move(written)));
            };
        }
        return PropertyStream::Create(content, std::move(store), reinterpret_cast<LPSTREAM*>(result));
    }

    // Locks the object for a change to what it holds: the values it works out from that are
    // worked out again when next asked for.
    std::unique_lock<std::mutex> LockForChange()
    {
        std::unique_lock lock(mutex_);
        computed_.reset();
        return lock;
    }

    std::mutex mutex_;
    std::shared_ptr<NamedPropertyMap> names_;
    const bool writable_;

private:
    std::optional<ComputedValues> computed_;
};

} // namespace mapi
