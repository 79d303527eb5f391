// The Windows registry substitute: hierarchical keys with string and 32-bit values, kept in text
// files (one per user, one for the machine) under the Windows key paths.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot };

enum class RegistryValueType { String, ExpandString, Dword };

struct RegistryValue {
    RegistryValueType type = RegistryValueType::String;
    std::string text;          // String and ExpandString
    std::uint32_t number = 0;  // Dword
};

// Where the stores live. CurrentUser: $EX2QLN_USER_REGISTRY, else
// $XDG_CONFIG_HOME/ex2qln/registry.ini (~/.config/...). LocalMachine and ClassesRoot:
// $EX2QLN_MACHINE_REGISTRY, else /etc/ex2qln/registry.ini.
std::string RegistryFilePath(RegistryRoot root);

class RegistryKey {
public:
    // Key paths use "\\" as on Windows and compare without case. Open fails when the key is absent.
    static std::optional<RegistryKey> Open(RegistryRoot root, std::string_view path);
    // Opens the key, creating it and its parents when missing (in memory until a value is written).
    static RegistryKey Create(RegistryRoot root, std::string_view path);

    // "" names the key's default value.
    std::optional<RegistryValue> ReadValue(std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view name) const;  // String only
    std::optional<std::uint32_t> ReadDword(std::string_view name) const;
    std::vector<std::string> SubkeyNames() const;

    // Writes through to the file at once; false when the file cannot be written.
    bool WriteString(std::string_view name, std::string_view value);
    bool WriteDword(std::string_view name, std::uint32_t value);

private:
    RegistryKey(RegistryRoot root, std::string path) : root_(root), path_(std::move(path)) {}

    RegistryRoot root_;
    std::string path_;
};

} // namespace platform
