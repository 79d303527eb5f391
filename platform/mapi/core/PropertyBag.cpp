// Stored property values, property bags and the values objects work out on request.
#include "platform/mapi/core/PropertyBag.h"

#include <algorithm>
#include <utility>

#include "platform/cfb/MsgLayout.h"
#include "platform/mapi/core/PropValues.h"

namespace mapi {
namespace {

bool IdBefore(const std::pair<ULONG, std::size_t>& entry, ULONG id)
{
    return entry.first < id;
}

} // namespace

std::optional<StoredValue> StoredValue::CopyInPlace(const SPropValue& value, SCODE& status)
{
    StoredValue stored;
    status = S_OK;
    if (platform::cfb::IsInlineType(static_cast<std::uint16_t>(PROP_TYPE(value.ulPropTag)))) {
        // A value with nothing out of line is copied whole with its SPropValue, with no buffer of its own.
        stored.view_ = value;
        return stored;
    }
    status = DuplicateValues(std::span<const SPropValue>(&value, 1), MAPIAllocateBuffer, stored.owned_.put());
    if (status != S_OK)
        return std::nullopt;
    return stored;
}

StoredValue StoredValue::View(const SPropValue& value, std::shared_ptr<const void> keepAlive)
{
    StoredValue stored;
    stored.view_ = value;
    stored.keepAlive_ = std::move(keepAlive);
    return stored;
}

StoredValue StoredValue::Streamed(ULONG tag, std::shared_ptr<const platform::cfb::StreamedValue> streamed)
{
    StoredValue stored;
    stored.view_.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
    stored.view_.Value.err = MAPI_E_NOT_ENOUGH_MEMORY;
    stored.streamed_ = std::move(streamed);
    stored.streamedTag_ = tag;
    return stored;
}

std::shared_ptr<const StoredValue> StoredValue::Copy(const SPropValue& value, SCODE& status)
{
    std::optional<StoredValue> stored = CopyInPlace(value, status);
    return stored ? std::make_shared<const StoredValue>(std::move(*stored)) : nullptr;
}

std::size_t PropertyBag::PositionOf(ULONG id) const
{
    auto found = std::lower_bound(index_.begin(), index_.end(), id, IdBefore);
    return found != index_.end() && found->first == id ? found->second : values_.size();
}

const StoredValue* PropertyBag::FindStored(ULONG tag) const
{
    std::size_t position = PositionOf(PROP_ID(tag));
    return position < values_.size() ? values_[position].get() : nullptr;
}

const SPropValue* PropertyBag::Find(ULONG tag) const
{
    const StoredValue* stored = FindStored(tag);
    return stored != nullptr ? &stored->value() : nullptr;
}

void PropertyBag::Put(ValuePointer value)
{
    ULONG id = PROP_ID(value->value().ulPropTag);
    auto found = std::lower_bound(index_.begin(), index_.end(), id, IdBefore);
    if (found != index_.end() && found->first == id) {
        values_[found->second] = std::move(value);
        return;
    }
    index_.insert(found, {id, values_.size()});
    values_.push_back(std::move(value));
}

void PropertyBag::Load(std::vector<ValuePointer> values)
{
    if (!values_.empty()) {
        for (ValuePointer& value : values)
            Put(std::move(value));
        return;
    }
    // (id, position in `values`) by id, then position; of the values with one id, the first keeps
    // the place and the last is the value, as when each replaces the one before.
    std::vector<std::pair<ULONG, std::size_t>> byId;
    byId.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i)
        byId.emplace_back(PROP_ID(values[i]->value().ulPropTag), i);
    std::sort(byId.begin(), byId.end());
    std::vector<std::size_t> last(values.size(), values.size());
    for (std::size_t run = 0; run < byId.size();) {
        std::size_t end = run + 1;
        while (end < byId.size() && byId[end].first == byId[run].first)
            ++end;
        last[byId[run].second] = byId[end - 1].second;
        run = end;
    }
    std::vector<std::size_t> kept(values.size());
    values_.reserve(values.size());
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (last[i] == values.size())
            continue;
        kept[i] = values_.size();
        values_.push_back(std::move(values[last[i]]));
    }
    index_.reserve(values_.size());
    for (std::size_t run = 0; run < byId.size(); ++run) {
        if (run == 0 || byId[run].first != byId[run - 1].first)
            index_.emplace_back(byId[run].first, kept[byId[run].second]);
    }
}

SCODE PropertyBag::Set(const SPropValue& value)
{
    SCODE status = S_OK;
    ValuePointer copy = StoredValue::Copy(value, status);
    if (copy != nullptr)
        Put(std::move(copy));
    return status;
}

bool PropertyBag::Erase(ULONG tag)
{
    auto found = std::lower_bound(index_.begin(), index_.end(), PROP_ID(tag), IdBefore);
    if (found == index_.end() || found->first != PROP_ID(tag))
        return false;
    std::size_t position = found->second;
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(position));
    index_.erase(found);
    for (auto& entry : index_) {
        if (entry.second > position)
            --entry.second;
    }
    return true;
}

std::vector<SPropValue> PropertyBag::Values() const
{
    std::vector<SPropValue> values;
    values.reserve(values_.size());
    for (const ValuePointer& stored : values_)
        values.push_back(stored->value());
    return values;
}

void ComputedValues::Add(SPropValue value, Computed kind, Deferred deferred)
{
    if (values_.empty()) {
        // Enough for what a message works out, in one allocation each.
        constexpr std::size_t kUsual = 12;
        values_.reserve(kUsual);
        kinds_.reserve(kUsual);
        deferred_.reserve(kUsual);
    }
    idBits_ |= IdBit(value.ulPropTag);
    values_.push_back(value);
    kinds_.push_back(kind);
    deferred_.push_back(std::move(deferred));
}

void ComputedValues::Long(ULONG tag, LONG value, Computed kind)
{
    SPropValue computed{};
    computed.ulPropTag = CHANGE_PROP_TYPE(tag, PT_LONG);
    computed.Value.l = value;
    Add(computed, kind);
}

void ComputedValues::Boolean(ULONG tag, bool value, Computed kind)
{
    SPropValue computed{};
    computed.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BOOLEAN);
    computed.Value.b = value ? 1 : 0;
    Add(computed, kind);
}

void ComputedValues::Binary(ULONG tag, std::vector<BYTE> bytes, Computed kind)
{
    const std::vector<BYTE>& kept = bytes_.emplace_back(std::move(bytes));
    SPropValue computed{};
    computed.ulPropTag = CHANGE_PROP_TYPE(tag, PT_BINARY);
    computed.Value.bin.cb = static_cast<ULONG>(kept.size());
    computed.Value.bin.lpb = const_cast<BYTE*>(kept.data());
    Add(computed, kind);
}

void ComputedValues::Unicode(ULONG tag, std::u16string text, Computed kind)
{
    const std::u16string& kept = texts_.emplace_back(std::move(text));
    SPropValue computed{};
    computed.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
    computed.Value.lpszW = const_cast<WCHAR*>(kept.c_str());
    Add(computed, kind);
}

void ComputedValues::Long(ULONG tag, std::function<LONG()> value, Computed kind)
{
    SPropValue computed{};
    computed.ulPropTag = CHANGE_PROP_TYPE(tag, PT_LONG);
    Add(computed, kind, {std::move(value), nullptr});
}

void ComputedValues::Unicode(ULONG tag, std::function<std::u16string()> text, Computed kind)
{
    SPropValue computed{};
    computed.ulPropTag = CHANGE_PROP_TYPE(tag, PT_UNICODE);
    Add(computed, kind, {nullptr, std::move(text)});
}

const SPropValue& ComputedValues::Ready(std::size_t index) const
{
    Deferred& deferred = deferred_[index];
    SPropValue& value = values_[index];
    if (deferred.number)
        value.Value.l = std::exchange(deferred.number, nullptr)();
    else if (deferred.text)
        value.Value.lpszW = const_cast<WCHAR*>(texts_.emplace_back(std::exchange(deferred.text, nullptr)()).c_str());
    return value;
}

void ComputedValues::Object(ULONG tag)
{
    objects_.push_back(CHANGE_PROP_TYPE(tag, PT_OBJECT));
}

const SPropValue* ComputedValues::Find(ULONG tag, Computed kind) const
{
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (kinds_[i] == kind && PROP_ID(values_[i].ulPropTag) == PROP_ID(tag))
            return &Ready(i);
    }
    return nullptr;
}

bool ComputedValues::IsReadOnly(ULONG tag) const
{
    return Find(tag, Computed::ReadOnly) != nullptr || IsObject(tag);
}

bool ComputedValues::IsObject(ULONG tag) const
{
    return std::any_of(objects_.begin(), objects_.end(), [tag](ULONG object) { return PROP_ID(object) == PROP_ID(tag); });
}

std::size_t ComputedValues::ShownIndex(ULONG tag, const PropertyBag& stored) const
{
    if ((idBits_ & IdBit(tag)) == 0)
        return values_.size();
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (PROP_ID(values_[i].ulPropTag) != PROP_ID(tag))
            continue;
        if (kinds_[i] != Computed::Fallback || stored.Find(tag) == nullptr)
            return i;
    }
    return values_.size();
}

const SPropValue* ComputedValues::Shown(ULONG tag, const PropertyBag& stored) const
{
    std::size_t index = ShownIndex(tag, stored);
    return index < values_.size() ? &Ready(index) : nullptr;
}

std::vector<SPropValue> ComputedValues::Merge(const PropertyBag& stored) const
{
    std::vector<SPropValue> merged;
    merged.reserve(stored.Size() + values_.size());
    for (const ValuePointer& kept : stored.Stored()) {
        const SPropValue* computed = Shown(kept->value().ulPropTag, stored);
        merged.push_back(computed != nullptr ? *computed : kept->value());
    }
    for (std::size_t i = 0; i < values_.size(); ++i) {
        if (stored.Find(values_[i].ulPropTag) == nullptr)
            merged.push_back(Ready(i));
    }
    return merged;
}

std::vector<ULONG> ComputedValues::MergedTags(const PropertyBag& stored) const
{
    std::vector<ULONG> merged;
    merged.reserve(stored.Size() + values_.size());
    for (const ValuePointer& kept : stored.Stored()) {
        std::size_t computed = ShownIndex(kept->value().ulPropTag, stored);
        merged.push_back(computed < values_.size() ? values_[computed].ulPropTag : kept->value().ulPropTag);
    }
    for (const SPropValue& value : values_) {
        if (stored.Find(value.ulPropTag) == nullptr)
            merged.push_back(value.ulPropTag);
    }
    return merged;
}

} // namespace mapi
