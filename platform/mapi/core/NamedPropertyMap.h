// The named-property map of a store: which property id from 0x8000 on stands for which name.
#pragma once

#include <array>
#include <mutex>
#include <unordered_map>
#include <shared_mutex>
#include <span>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <mapidefs.h>

namespace mapi {

// One name: a property set and either a number (LID) or a string.
struct PropertyName {
    GUID propertySet{};
    bool isString = false;
    LONG lid = 0;
    std::u16string name;
};

// Shared by every object of one store, so that all of them give a name the same id. Ids are
// handed out from 0x8000 in the order names are first created and are never reused.
class NamedPropertyMap {
public:
    // The id of a name; nullopt when the map does not hold it and `create` is false, or when
    // the ids are used up. Names in PS_MAPI stand for the id that is their number.
    std::optional<ULONG> Resolve(const PropertyName& name, bool create);
    // The same for several names at once, their ids in their order.
    std::vector<std::optional<ULONG>> ResolveAll(std::span<const PropertyName> names, bool create);
    // The name of an id from 0x8000 on; nullopt for an id the map has not handed out.
    std::optional<PropertyName> NameOf(ULONG id) const;
    // Every id handed out, in order.
    std::vector<ULONG> Ids() const;

    // GetIDsFromNames and GetNamesFromIDs of IMAPIProp, with their flags, allocations and warnings.
    HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                            LPSPropTagArray* lppPropTags);
    HRESULT GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                            ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames);

private:
    // Names of PS_INTERNET_HEADERS compare without regard to ASCII letter case (as header names do).
    using Key = std::tuple<std::array<unsigned char, sizeof(GUID)>, bool, LONG, std::u16string>;
    struct KeyHash {
        std::size_t operator()(const Key& key) const;
    };
    static Key KeyOf(const PropertyName& name);
    // The id the map holds for the name, with mutex_ held at least shared.
    std::optional<ULONG> Known(const PropertyName& name) const;
    // The same, the name added when it is not there yet; with mutex_ held alone.
    std::optional<ULONG> Added(const PropertyName& name);
    // NameOf with mutex_ held at least shared.
    std::optional<PropertyName> NameAt(ULONG id) const;

    // The ids of an earlier ResolveAll of the same names, when the map has had no name added since.
    bool Recalled(std::span<const PropertyName> names, bool create, std::vector<std::optional<ULONG>>& ids) const;
    void Remember(std::span<const PropertyName> names, bool create, const std::vector<std::optional<ULONG>>& ids,
                  std::size_t mapSize);

    // Names are looked up far more often than added: look-ups share the lock.
    mutable std::shared_mutex mutex_;
    std::unordered_map<Key, ULONG, KeyHash> ids_;
    std::vector<PropertyName> names_;  // index: id - PROP_ID_NAMED_MIN

    // The last few answers of ResolveAll: converters and the message loader ask for the same names
    // message after message. Ids once given never change, so an answer holds for as long as the map
    // has as many names as when it was given.
    struct Answer {
        std::vector<PropertyName> names;
        bool create = false;
        std::size_t mapSize = 0;
        std::vector<std::optional<ULONG>> ids;
    };
    static constexpr std::size_t kAnswersKept = 4;
    mutable std::mutex answersMutex_;
    std::array<Answer, kAnswersKept> answers_;
    std::size_t nextAnswer_ = 0;
};

} // namespace mapi
