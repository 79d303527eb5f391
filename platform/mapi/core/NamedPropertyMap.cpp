// The named-property map of a store and its GetIDsFromNames and GetNamesFromIDs answers.
#include "platform/mapi/core/NamedPropertyMap.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <mapix.h>

#include <MapiPtr.h>

#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

std::array<unsigned char, sizeof(GUID)> GuidBytes(const GUID& guid)
{
    std::array<unsigned char, sizeof(GUID)> bytes;
    std::memcpy(bytes.data(), &guid, sizeof(GUID));
    return bytes;
}

std::u16string FoldAscii(std::u16string text)
{
    for (char16_t& c : text) {
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    }
    return text;
}

// Exactly the same name (a header name in another letter case is another name here).
bool SameName(const PropertyName& a, const PropertyName& b)
{
    return a.isString == b.isString && a.lid == b.lid && std::memcmp(&a.propertySet, &b.propertySet, sizeof(GUID)) == 0 &&
           a.name == b.name;
}

bool ReadName(const MAPINAMEID& source, PropertyName& name)
{
    if (source.lpguid == nullptr)
        return false;
    name.propertySet = *source.lpguid;
    if (source.ulKind == MNID_ID) {
        name.lid = source.Kind.lID;
        return true;
    }
    if (source.ulKind != MNID_STRING || source.Kind.lpwstrName == nullptr)
        return false;
    name.isString = true;
    name.name.assign(source.Kind.lpwstrName, Utf16Length(source.Kind.lpwstrName));
    return true;
}

// The bytes WriteName takes for `name`.
ULONG NameBytes(const PropertyName& name)
{
    ULONG bytes = AlignedSize(sizeof(MAPINAMEID)) + AlignedSize(sizeof(GUID));
    return name.isString ? bytes + AlignedSize((name.name.size() + 1) * sizeof(WCHAR)) : bytes;
}

// Writes `name` with its set and string into pieces of `allocator`; the entry.
LPMAPINAMEID WriteName(const PropertyName& name, PackedAllocator& allocator)
{
    auto* target = static_cast<LPMAPINAMEID>(allocator.Allocate(sizeof(MAPINAMEID)));
    void* guid = allocator.Allocate(sizeof(GUID));
    std::memcpy(guid, &name.propertySet, sizeof(GUID));
    target->lpguid = static_cast<LPGUID>(guid);
    if (!name.isString) {
        target->ulKind = MNID_ID;
        target->Kind.lID = name.lid;
        return target;
    }
    void* text = allocator.Allocate(static_cast<ULONG>((name.name.size() + 1) * sizeof(WCHAR)));
    std::memcpy(text, name.name.c_str(), (name.name.size() + 1) * sizeof(WCHAR));
    target->ulKind = MNID_STRING;
    target->Kind.lpwstrName = static_cast<LPWSTR>(text);
    return target;
}

} // namespace

NamedPropertyMap::Key NamedPropertyMap::KeyOf(const PropertyName& name)
{
    if (!name.isString)
        return {GuidBytes(name.propertySet), false, name.lid, {}};
    bool foldCase = name.propertySet == PS_INTERNET_HEADERS;
    return {GuidBytes(name.propertySet), true, 0, foldCase ? FoldAscii(name.name) : name.name};
}

std::size_t NamedPropertyMap::KeyHash::operator()(const Key& key) const
{
    const auto& [set, isString, lid, name] = key;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    std::memcpy(&first, set.data(), sizeof first);
    std::memcpy(&second, set.data() + sizeof first, sizeof second);
    std::uint64_t hash = first * 0x9E3779B97F4A7C15u ^ (second + 0x632BE59BD9B4E019u) * 0xBF58476D1CE4E5B9u;
    hash ^= ((static_cast<std::uint64_t>(static_cast<ULONG>(lid)) << 1) | (isString ? 1 : 0)) * 0x94D049BB133111EBu;
    if (!name.empty())
        hash ^= std::hash<std::u16string>()(name);
    return static_cast<std::size_t>(hash ^ (hash >> 31));
}

std::optional<ULONG> NamedPropertyMap::Resolve(const PropertyName& name, bool create)
{
    return ResolveAll(std::span<const PropertyName>(&name, 1), create).front();
}

std::vector<std::optional<ULONG>> NamedPropertyMap::ResolveAll(std::span<const PropertyName> names, bool create)
{
    std::vector<std::optional<ULONG>> ids;
    if (Recalled(names, create, ids))
        return ids;
    // All are looked up under one shared lock; those missing are added, in their order, under one
    // lock of its own.
    ids.resize(names.size());
    bool missing = false;
    std::size_t mapSize = 0;
    {
        std::shared_lock lock(mutex_);
        for (std::size_t i = 0; i < names.size(); ++i) {
            ids[i] = Known(names[i]);
            missing = missing || !ids[i];
        }
        mapSize = names_.size();
    }
    if (missing && create) {
        std::unique_lock lock(mutex_);
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (!ids[i])
                ids[i] = Added(names[i]);
        }
        mapSize = names_.size();
    }
    Remember(names, create, ids, mapSize);
    return ids;
}

bool NamedPropertyMap::Recalled(std::span<const PropertyName> names, bool create,
                                std::vector<std::optional<ULONG>>& ids) const
{
    std::shared_lock lock(mutex_);
    std::lock_guard answersLock(answersMutex_);
    for (const Answer& answer : answers_) {
        if (answer.create == create && answer.mapSize == names_.size() &&
            std::equal(names.begin(), names.end(), answer.names.begin(), answer.names.end(), SameName)) {
            ids = answer.ids;
            return true;
        }
    }
    return false;
}

void NamedPropertyMap::Remember(std::span<const PropertyName> names, bool create,
                                const std::vector<std::optional<ULONG>>& ids, std::size_t mapSize)
{
    std::lock_guard answersLock(answersMutex_);
    Answer& answer = answers_[nextAnswer_];
    nextAnswer_ = (nextAnswer_ + 1) % kAnswersKept;
    answer.names.assign(names.begin(), names.end());
    answer.create = create;
    answer.mapSize = mapSize;
    answer.ids = ids;
}

std::optional<ULONG> NamedPropertyMap::Known(const PropertyName& name) const
{
    if (name.propertySet == PS_MAPI) {
        if (name.isString || name.lid <= 0 || static_cast<ULONG>(name.lid) >= PROP_ID_NAMED_MIN)
            return std::nullopt;
        return static_cast<ULONG>(name.lid);
    }
    auto known = ids_.find(KeyOf(name));
    return known != ids_.end() ? std::optional<ULONG>(known->second) : std::nullopt;
}

std::optional<ULONG> NamedPropertyMap::Added(const PropertyName& name)
{
    // Another thread may have added it since it was looked for.
    if (std::optional<ULONG> id = Known(name); id || name.propertySet == PS_MAPI)
        return id;
    if (names_.size() > PROP_ID_NAMED_MAX - PROP_ID_NAMED_MIN)
        return std::nullopt;
    ULONG id = PROP_ID_NAMED_MIN + static_cast<ULONG>(names_.size());
    names_.push_back(name);
    ids_.emplace(KeyOf(name), id);
    return id;
}

std::optional<PropertyName> NamedPropertyMap::NameOf(ULONG id) const
{
    std::shared_lock lock(mutex_);
    return NameAt(id);
}

std::optional<PropertyName> NamedPropertyMap::NameAt(ULONG id) const
{
    if (id < PROP_ID_NAMED_MIN || id - PROP_ID_NAMED_MIN >= names_.size())
        return std::nullopt;
    return names_[id - PROP_ID_NAMED_MIN];
}

std::vector<ULONG> NamedPropertyMap::Ids() const
{
    std::shared_lock lock(mutex_);
    std::vector<ULONG> ids(names_.size());
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = PROP_ID_NAMED_MIN + static_cast<ULONG>(i);
    return ids;
}

HRESULT NamedPropertyMap::GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                          LPSPropTagArray* lppPropTags)
{
    if (lppPropTags == nullptr || (cPropNames > 0 && lppPropNames == nullptr))
        return MAPI_E_INVALID_PARAMETER;
    *lppPropTags = nullptr;
    if ((ulFlags & ~(MAPI_CREATE | MAPI_NO_CACHE | MAPI_CACHE_ONLY)) != 0)
        return MAPI_E_UNKNOWN_FLAGS;
    // No names asks for every id the store has handed out.
    if (cPropNames == 0 || lppPropNames == nullptr) {
        std::vector<ULONG> ids = Ids();
        MapiBuffer<SPropTagArray> tags;
        SCODE status = NewTagArray(ids.size(), tags.put());
        if (status != S_OK)
            return status;
        for (std::size_t i = 0; i < ids.size(); ++i)
            tags->aulPropTag[i] = PROP_TAG(PT_UNSPECIFIED, ids[i]);
        *lppPropTags = tags.release();
        return S_OK;
    }
    std::vector<PropertyName> names(cPropNames);
    for (ULONG i = 0; i < cPropNames; ++i) {
        if (lppPropNames[i] == nullptr || !ReadName(*lppPropNames[i], names[i]))
            return MAPI_E_INVALID_PARAMETER;
    }
    MapiBuffer<SPropTagArray> tags;
    SCODE status = NewTagArray(cPropNames, tags.put());
    if (status != S_OK)
        return status;
    const std::vector<std::optional<ULONG>> ids = ResolveAll(names, (ulFlags & MAPI_CREATE) != 0);
    HRESULT result = S_OK;
    for (ULONG i = 0; i < cPropNames; ++i) {
        tags->aulPropTag[i] = ids[i] ? PROP_TAG(PT_UNSPECIFIED, *ids[i]) : PROP_TAG(PT_ERROR, PROP_ID_NULL);
        if (!ids[i])
            result = MAPI_W_ERRORS_RETURNED;
    }
    *lppPropTags = tags.release();
    return result;
}

HRESULT NamedPropertyMap::GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                                          ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames)
{
    if (lppPropTags == nullptr || lpcPropNames == nullptr || lpppPropNames == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lpcPropNames = 0;
    *lpppPropNames = nullptr;
    auto wanted = [&](const PropertyName& name) {
        if (lpPropSetGuid != nullptr && !(name.propertySet == *lpPropSetGuid))
            return false;
        if (name.isString && (ulFlags & MAPI_NO_STRINGS) != 0)
            return false;
        return name.isString || (ulFlags & MAPI_NO_IDS) == 0;
    };

    // Without tags the caller gets every name that passes the filters, and the tags to go with them.
    std::vector<ULONG> tags;
    std::vector<std::optional<PropertyName>> names;
    bool allNames = *lppPropTags == nullptr;
    std::shared_lock lock(mutex_);
    if (allNames) {
        for (ULONG i = 0; i < names_.size(); ++i) {
            const ULONG id = PROP_ID_NAMED_MIN + i;
            std::optional<PropertyName> name = NameAt(id);
            if (name && wanted(*name)) {
                tags.push_back(PROP_TAG(PT_UNSPECIFIED, id));
                names.push_back(std::move(name));
            }
        }
    } else {
        const SPropTagArray& given = **lppPropTags;
        names.reserve(given.cValues);
        for (ULONG i = 0; i < given.cValues; ++i) {
            ULONG id = PROP_ID(given.aulPropTag[i]);
            std::optional<PropertyName> name;
            if (id != PROP_ID_NULL && id < PROP_ID_NAMED_MIN)
                name = PropertyName{PS_MAPI, false, static_cast<LONG>(id), {}};
            else
                name = NameAt(id);
            if (name && !wanted(*name))
                name.reset();
            names.push_back(std::move(name));
        }
    }
    lock.unlock();

    MapiBuffer<LPMAPINAMEID> array;
    SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(std::max<std::size_t>(names.size(), 1) * sizeof(LPMAPINAMEID)),
                                      array.put_void());
    if (status != S_OK)
        return status;
    // The entries, their sets and strings in one piece chained to the array.
    ULONG bytes = 0;
    for (const std::optional<PropertyName>& name : names)
        bytes += name ? NameBytes(*name) : 0;
    void* entries = nullptr;
    if (bytes != 0 && (status = MAPIAllocateMore(bytes, array.get(), &entries)) != S_OK)
        return status;
    PackedAllocator allocator(static_cast<BYTE*>(entries));
    HRESULT result = S_OK;
    for (std::size_t i = 0; i < names.size(); ++i) {
        array[i] = names[i] ? WriteName(*names[i], allocator) : nullptr;
        if (!names[i])
            result = MAPI_W_ERRORS_RETURNED;
    }
    if (allNames) {
        MapiBuffer<SPropTagArray> tagArray;
        status = NewTagArray(tags.size(), tagArray.put());
        if (status != S_OK)
            return status;
        std::copy(tags.begin(), tags.end(), tagArray->aulPropTag);
        *lppPropTags = tagArray.release();
    }
    *lpcPropNames = static_cast<ULONG>(names.size());
    *lpppPropNames = array.release();
    return result;
}

} // namespace mapi
