// The Global Address List of an organisation file: its users, contacts and lists with their members
// and the properties derived for them, and the look-up of entries by DN, address or account.
#pragma once

#include "platform/orgsource/Organisation.h"
#include "platform/orgsource/PropertyReader.h"

#include <cstddef>
#include <map>
#include <optional>
#include <string>

namespace platform::orgsource {

class GalReader {
public:
    GalReader(Organisation& organisation, const ValueSource& source) : organisation_(organisation), source_(source) {}

    // Reads the "gal" array at `path` into the organisation. Throws ReadError.
    void Read(const Json& gal, const std::string& path);

    // A GAL entry named by its DN, SMTP address or account, without regard to letter case.
    std::optional<std::size_t> FindGalEntry(const std::string& reference) const;

private:
    // Returns the entry's "members" for the second pass, or nullptr.
    const Json* ReadGalEntry(const Json& json, const std::string& path);
    void Register(std::map<std::string, std::size_t>& map, const std::string& key, std::size_t index,
                  const std::string& path, std::string_view what);
    void ResolveMembers(std::size_t listIndex, const Json& members, const std::string& path);

    Organisation& organisation_;
    const ValueSource& source_;
    std::map<std::string, std::size_t> byDn_;
    std::map<std::string, std::size_t> bySmtp_;
    std::map<std::string, std::size_t> byAccount_;
};

} // namespace platform::orgsource
