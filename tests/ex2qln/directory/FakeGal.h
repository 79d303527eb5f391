// A Global Address List for tests: entries written as tables of properties, served through the MAPI
// runtime's in-memory tables by a container that can also open its distribution lists.
#pragma once

#include <MapiPtr.h>
#include <mapidefs.h>
#include <mapitags.h>

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace directorytest {

using Bytes = std::vector<std::uint8_t>;
using Value = std::variant<std::string, LONG, short, bool, Bytes, std::vector<std::string>, std::vector<LONG>,
                           std::vector<Bytes>>;

struct Prop {
    ULONG tag;
    Value value;
};
using Entry = std::vector<Prop>;

// The usual kinds of entries; `extra` adds or replaces properties.
Entry User(const std::string& account, const std::string& smtp, const std::string& displayName, Entry extra = {});
Entry Contact(const std::string& commonName, const std::string& smtp, Entry extra = {});
// A list whose entry identifier is the bytes of `id`; its members are set with FakeGal::SetMembers.
Entry List(const std::string& id, const std::string& smtp, const std::string& displayName, Entry extra = {});

// The entry without the property.
Entry Without(Entry entry, ULONG tag);

// How the container answers when a list is opened.
enum class ListOpening { kOpens, kFails, kTableFails };

class FakeGal {
public:
    explicit FakeGal(const std::vector<Entry>& entries);
    ~FakeGal();

    void SetMembers(const std::string& listId, const std::vector<Entry>& members);
    void SetListOpening(const std::string& listId, ListOpening opening);
    // GetContentsTable of the GAL itself fails with this status (S_OK: it works).
    void FailContentsTable(HRESULT status) { contentsTableStatus_ = status; }

    IABContainer* Container() const;

private:
    class GalContainer;
    friend class GalContainer;

    std::vector<Entry> entries_;
    std::map<Bytes, std::vector<Entry>> members_;
    std::map<Bytes, ListOpening> openings_;
    HRESULT contentsTableStatus_ = S_OK;
    IABContainer* container_;
};

} // namespace directorytest
