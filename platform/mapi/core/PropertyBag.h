// The properties of a message, recipient or attachment as the runtime keeps them: immutable values
// shared between an object and the copies it hands out, replaced whole when they change.
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <MapiPtr.h>

#include "platform/cfb/MsgModel.h"

namespace mapi {

// One stored value. Either a MAPI copy of its own, or a view whose data belongs to an outside
// object (the message model it was read from) that `keepAlive` holds, or that whatever keeps the
// value holds (a loaded message's block of values), or a binary value that stays in its file: that
// one shows as MAPI_E_NOT_ENOUGH_MEMORY, as too large a value does in MAPI, and is read through
// OpenProperty.
class StoredValue {
public:
    // A copy of its own, shared; fails only when memory runs out.
    static std::shared_ptr<const StoredValue> Copy(const SPropValue& value, SCODE& status);
    // Values made in place, for a caller that keeps them (LoadMessageState keeps a message's values
    // together in one block): a copy (none when memory runs out), a view (whose data `keepAlive`
    // holds, or the caller), a value kept in its file.
    static std::optional<StoredValue> CopyInPlace(const SPropValue& value, SCODE& status);
    static StoredValue View(const SPropValue& value, std::shared_ptr<const void> keepAlive);
    static StoredValue Streamed(ULONG tag, std::shared_ptr<const platform::cfb::StreamedValue> streamed);

    const SPropValue& value() const { return owned_ ? *owned_.get() : view_; }
    // The tag the property has: that of value(), or for a streamed value the tag it was stored with.
    ULONG tag() const { return streamed_ ? streamedTag_ : value().ulPropTag; }
    const std::shared_ptr<const platform::cfb::StreamedValue>& streamed() const { return streamed_; }

private:
    SPropValue view_{};
    MapiBuffer<SPropValue> owned_;
    std::shared_ptr<const void> keepAlive_;
    std::shared_ptr<const platform::cfb::StreamedValue> streamed_;
    ULONG streamedTag_ = 0;
};
using ValuePointer = std::shared_ptr<const StoredValue>;

// Properties by id, in the order they were first set.
class PropertyBag {
public:
    const SPropValue* Find(ULONG tag) const;
    // The stored value with the id of `tag`, or nullptr.
    const StoredValue* FindStored(ULONG tag) const;
    void Put(ValuePointer value);
    // Puts `values` in as Put would one after another; into an empty bag with one sort of the
    // index in place of a search and an insertion for each.
    void Load(std::vector<ValuePointer> values);
    // Copies `value` in; fails only when memory runs out.
    SCODE Set(const SPropValue& value);
    bool Erase(ULONG tag);
    std::vector<SPropValue> Values() const;
    // The stored values as they are kept, streamed ones included.
    const std::vector<ValuePointer>& Stored() const { return values_; }
    std::size_t Size() const { return values_.size(); }

private:
    // The position in values_ of the value with `id`, or values_.size().
    std::size_t PositionOf(ULONG id) const;

    std::vector<ValuePointer> values_;
    // (id, position in values_) of each value, by id: a look-up is a binary search.
    std::vector<std::pair<ULONG, std::size_t>> index_;
};

// How a value that an object works out relates to a stored one of the same id.
enum class Computed {
    ReadOnly,  // always the computed value; SetProps and DeleteProps are refused (MAPI_E_COMPUTED)
    Overlay,   // always the computed value, worked out from the stored one, which may be set
    Fallback,  // the stored value when there is one
};

// Values an object works out when asked, kept alive for one answer.
class ComputedValues {
public:
    void Long(ULONG tag, LONG value, Computed kind);
    void Boolean(ULONG tag, bool value, Computed kind);
    void Binary(ULONG tag, std::vector<BYTE> bytes, Computed kind);
    void Unicode(ULONG tag, std::u16string text, Computed kind);
    // The same for values that cost to work out (a size over every value, a list of names): worked
    // out only when an answer shows them, at most once.
    void Long(ULONG tag, std::function<LONG()> value, Computed kind);
    void Unicode(ULONG tag, std::function<std::u16string()> text, Computed kind);
    // A PT_OBJECT property: listed, opened with OpenProperty, never given as a value.
    void Object(ULONG tag);

    // The computed value of the id that shows over (or, for Fallback, under) a stored one.
    const SPropValue* Find(ULONG tag, Computed kind) const;
    // The computed value that shows for the id given what is stored, or nullptr.
    const SPropValue* Shown(ULONG tag, const PropertyBag& stored) const;
    bool IsReadOnly(ULONG tag) const;
    bool IsObject(ULONG tag) const;
    const std::vector<ULONG>& Objects() const { return objects_; }

    // The stored values with the computed ones put in by their kind: what GetProps and table rows show.
    std::vector<SPropValue> Merge(const PropertyBag& stored) const;
    // The tags of those values, none of them worked out.
    std::vector<ULONG> MergedTags(const PropertyBag& stored) const;

private:
    // A value still to be worked out: the one function that gives it.
    struct Deferred {
        std::function<LONG()> number;
        std::function<std::u16string()> text;
    };

    void Add(SPropValue value, Computed kind, Deferred deferred = {});
    // The index of the computed value that shows for the id given what is stored; the number of
    // values when none does.
    std::size_t ShownIndex(ULONG tag, const PropertyBag& stored) const;
    // Value `index`, worked out first if it was deferred.
    const SPropValue& Ready(std::size_t index) const;
    // The bit of `tag`'s id in idBits_.
    static std::uint64_t IdBit(ULONG tag) { return std::uint64_t{1} << (PROP_ID(tag) & 63); }

    mutable std::vector<SPropValue> values_;
    std::vector<Computed> kinds_;
    mutable std::vector<Deferred> deferred_;
    // Lists: their elements stay where they are, and an empty one allocates nothing.
    std::list<std::vector<BYTE>> bytes_;
    mutable std::list<std::u16string> texts_;
    std::vector<ULONG> objects_;
    // The bits of the ids computed: most ids asked for have none, and are told so without a walk
    // over every computed value.
    std::uint64_t idBits_ = 0;
};

} // namespace mapi
