// The attribute map of the directory exports: "tag=name" lines of one section of the --ini file.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapitags.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::directory {

// One line of a map section as the section reader gives it.
struct MapLine {
    std::string key;   // the property tag in hexadecimal
    std::string name;  // the CSV column title or the LDAP attribute
    std::string Text() const { return key + "=" + name; }
};

// The most a section may hold, counted as a whole-section read counts it (each line and its zero).
inline constexpr std::size_t kMaximumMapBytes = 32762;

// The section's lines in file order. MAPI_E_NOT_ENOUGH_RESOURCES when the section is larger than
// kMaximumMapBytes. Lines without "=" and comment lines are not map lines.
HRESULT ParseMapSection(std::string_view iniText, std::string_view section, std::vector<MapLine>& lines);

// Reads the file and its section; the system error when the file cannot be read.
HRESULT ReadMapSection(const std::string& path, std::string_view section, std::vector<MapLine>& lines);

// ReadMapSection that also says why it failed on standard error: "Too many attributes specified.\n",
// or "Can not open %s for reading [%#x].\n" when the file cannot be read.
HRESULT ReadMapSectionReporting(std::string_view path, std::string_view section, std::vector<MapLine>& lines);

// A property tag written in hexadecimal, with or without "0x": one to eight digits and nothing else.
std::optional<ULONG> ParsePropertyTag(std::string_view key);

// The "csv" map: extra columns of the accounts file.
struct CsvMap {
    std::vector<ULONG> tags;
    std::vector<std::string> titles;
};

// MAPI_E_BAD_VALUE, with `rejected` set to the line, for a tag that is not PT_I2, PT_LONG,
// PT_BOOLEAN or PT_STRING8.
HRESULT BuildCsvMap(const std::vector<MapLine>& lines, CsvMap& map, std::string& rejected);

// The "ldif" map: where the common name and surname come from, and the further attributes.
struct LdifAttribute {
    ULONG tag;
    std::string name;
};
struct LdifMap {
    ULONG commonNameTag = PR_MHS_COMMON_NAME_A;
    ULONG surnameTag = PR_SURNAME_A;
    std::vector<LdifAttribute> attributes;
};

// The map used when no --ini file is given.
LdifMap DefaultLdifMap();

enum class LdifMapProblem { kNone, kPropertyType, kAttributeName };

// MAPI_E_BAD_VALUE, with `rejected` set to the line, for a tag whose type (without MV_FLAG) is not
// PT_I2, PT_LONG, PT_BOOLEAN, PT_STRING8 or PT_BINARY, or for a name that is not an LDAP attribute
// description. The names "cn" and "sn" (any case) choose the common-name and surname sources.
HRESULT BuildLdifMap(const std::vector<MapLine>& lines, LdifMap& map, std::string& rejected,
                     LdifMapProblem& problem);

} // namespace ex2qln::directory
