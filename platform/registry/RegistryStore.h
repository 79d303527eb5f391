// The in-memory tree of one registry file, with the file's text form (described in Registry.h).
#pragma once

#include "platform/registry/Registry.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class RegistryStore {
public:
    struct NamedValue {
        std::string name;
        RegistryValue value;
        bool operator==(const NamedValue&) const = default;
    };
    struct Key {
        std::string path;  // as created, names joined by "\"
        std::vector<NamedValue> values;
        bool operator==(const Key&) const = default;
    };

    // nullopt when the text does not follow the format.
    static std::optional<RegistryStore> Parse(std::string_view text);
    std::string Serialise() const;

    // The path with empty names dropped; nullopt when a name holds a control character.
    static std::optional<std::string> NormalisedPath(std::string_view path);

    // Paths below are normalised. The root ("") always exists.
    const Key* FindKey(std::string_view path) const;
    std::vector<std::string> SubkeyNames(std::string_view path) const;
    Key& CreateKey(std::string_view path);
    void DeleteKey(std::string_view path);

    static const NamedValue* FindValue(const Key& key, std::string_view name);
    static void SetValue(Key& key, std::string_view name, const RegistryValue& value);
    static void DeleteValue(Key& key, std::string_view name);

    bool operator==(const RegistryStore&) const = default;

private:
    std::map<std::string, Key> keys_;  // by the path in lower case
};

} // namespace platform
