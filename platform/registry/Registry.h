// The Windows registry substitute: hierarchical keys with string and 32-bit values, kept in text
// files (one per user, one for the machine) under the Windows key paths.
//
// File format (one file per root, UTF-8 or other 8-bit text, LF or CR LF line ends):
//
//   ; comment lines start with ";", blank lines are ignored
//   [Software\Clients\Mail]                      a key: its path from the root, "\" between names
//   @="Microsoft Outlook"                        the key's default value (name "")
//   [Software\Clients\Mail\Microsoft Outlook]
//   "DLLPath"="/usr/lib/ex2qln/libmapi.so"       a string value
//   "DLLPathEx"=expand:"%HOME%/lib/libmapi.so"   an expandable string value
//   "Logging"=dword:00000021                     a 32-bit value, 1 to 8 hexadecimal digits
//   "EntryId"=hex:00,a1,ff                       binary bytes, two hexadecimal digits each
//
// Inside quotes a backslash escapes: \\ \" \n \r \t and \xHH (any byte); other bytes stand as
// they are. Key and value names compare without case (ASCII); they keep the case they were
// created with. Every key's parents exist as keys of their own. A file that does not follow this
// format is read as empty and is never overwritten (writes to it fail). HKEY_CLASSES_ROOT is
// "Software\Classes" of the machine file; a file extension key (".pdf") that is not stored there
// still answers its "Content Type" value from the system's MIME type list.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class RegistryRoot { CurrentUser, LocalMachine, ClassesRoot };

enum class RegistryValueType { String, ExpandString, Dword, Binary };

struct RegistryValue {
    RegistryValueType type = RegistryValueType::String;
    std::string text;          // String and ExpandString; the bytes of Binary
    std::uint32_t number = 0;  // Dword

    bool operator==(const RegistryValue&) const = default;
};

// Where the stores live. CurrentUser: $EX2QLN_USER_REGISTRY, else
// $XDG_CONFIG_HOME/ex2qln/registry.ini (~/.config/...). LocalMachine and ClassesRoot:
// $EX2QLN_MACHINE_REGISTRY, else /etc/ex2qln/registry.ini.
std::string RegistryFilePath(RegistryRoot root);

// Replaces every %NAME% whose variable is set by its value; other text stays as it is.
std::string ExpandEnvironmentStrings(std::string_view text);

class RegistryKey {
public:
    // Key paths use "\\" as on Windows and compare without case; empty names between backslashes
    // are skipped. Open fails when the key is absent or the path holds a control character.
    static std::optional<RegistryKey> Open(RegistryRoot root, std::string_view path);
    // Opens the key, creating it and its parents when missing (in memory until a value is written).
    // A path with a control character gives a key whose writes fail.
    static RegistryKey Create(RegistryRoot root, std::string_view path);
    // Removes the key with all its subkeys and values; false when the file cannot be written.
    static bool DeleteKey(RegistryRoot root, std::string_view path);

    // "" names the key's default value.
    std::optional<RegistryValue> ReadValue(std::string_view name) const;
    std::optional<std::string> ReadString(std::string_view name) const;  // String only
    std::optional<std::uint32_t> ReadDword(std::string_view name) const;
    // Names in creation order, and subkey names sorted without case.
    std::vector<std::string> ValueNames() const;
    std::vector<std::string> SubkeyNames() const;

    // Writes through to the file at once; false when the file cannot be written.
    bool WriteValue(std::string_view name, const RegistryValue& value);
    bool WriteString(std::string_view name, std::string_view value);
    bool WriteExpandString(std::string_view name, std::string_view value);
    bool WriteDword(std::string_view name, std::uint32_t value);
    bool WriteBinary(std::string_view name, std::span<const std::uint8_t> bytes);
    // True also when there was no such value.
    bool DeleteValue(std::string_view name);

private:
    RegistryKey(RegistryRoot root, std::string path, bool valid)
        : root_(root), path_(std::move(path)), valid_(valid)
    {
    }

    RegistryRoot root_;
    std::string path_;  // within the root, without empty names
    bool valid_;
};

} // namespace platform
