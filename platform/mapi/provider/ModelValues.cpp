// Turning the model's property lists into stored property values.
#include "platform/mapi/provider/ModelValues.h"

#include <new>

#include "platform/mapi/core/ModelValue.h"

namespace mapi {

void Put(PropertyBag& bag, const SPropValue& value)
{
    if (bag.Set(value) != S_OK)
        throw std::bad_alloc();
}

void PutIfMissing(PropertyBag& bag, const SPropValue& value)
{
    if (bag.Find(value.ulPropTag) == nullptr)
        Put(bag, value);
}

SCODE LoadModelValues(const platform::cfb::MsgPropertyList& properties, const std::map<std::uint16_t, ULONG>* namedIds,
                      PropertyBag& bag)
{
    for (const platform::cfb::MsgProperty& property : properties) {
        ULONG id = property.Id();
        if (namedIds != nullptr && id >= PROP_ID_NAMED_MIN) {
            auto mapped = namedIds->find(static_cast<std::uint16_t>(id));
            if (mapped == namedIds->end())
                continue;
            id = mapped->second;
        }
        SCODE status = S_OK;
        ValuePointer value = ModelValue(property, PROP_TAG(property.Type(), id), 0, nullptr, status);
        if (status != S_OK)
            return status;
        if (value != nullptr)
            bag.Put(std::move(value));
    }
    return S_OK;
}

} // namespace mapi
