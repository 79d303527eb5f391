// Reading the attribute map sections and checking their tags and names.
#include "ex2qln/directory/AttributeMap.h"

#include "ex2qln/directory/LdifText.h"
#include "platform/files/ReadOnlyMapping.h"
#include "platform/ini/IniFile.h"

#include <mapicode.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

namespace ex2qln::directory {
namespace {

bool IsCsvType(ULONG type)
{
    return type == PT_I2 || type == PT_LONG || type == PT_BOOLEAN || type == PT_STRING8;
}

bool IsLdifType(ULONG type)
{
    type &= ~MV_FLAG;
    return type == PT_I2 || type == PT_LONG || type == PT_BOOLEAN || type == PT_STRING8 || type == PT_BINARY;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

HRESULT ParseMapSection(std::string_view iniText, std::string_view section, std::vector<MapLine>& lines)
{
    lines.clear();
    const platform::IniFile file = platform::IniFile::Parse(iniText);
    const std::vector<platform::IniFile::Entry> entries =
        file.ReadSection(section, std::numeric_limits<std::size_t>::max());
    std::size_t bytes = 0;
    for (const auto& [key, value] : entries)
        bytes += key.size() + 1 + value.size() + 1;
    if (bytes > kMaximumMapBytes)
        return MAPI_E_NOT_ENOUGH_RESOURCES;
    for (const auto& [key, value] : entries)
        lines.push_back(MapLine{key, value});
    return S_OK;
}

HRESULT ReadMapSection(const std::string& path, std::string_view section, std::vector<MapLine>& lines)
{
    platform::ReadOnlyMapping mapping;
    if (HRESULT status = mapping.Open(path); FAILED(status))
        return status;
    const std::span<const char> bytes = mapping.Bytes();
    return ParseMapSection(std::string_view(bytes.data(), bytes.size()), section, lines);
}

HRESULT ReadMapSectionReporting(std::string_view path, std::string_view section, std::vector<MapLine>& lines)
{
    HRESULT status = ReadMapSection(std::string(path), section, lines);
    if (status == MAPI_E_NOT_ENOUGH_RESOURCES) {
        std::fputs("Too many attributes specified.\n", stderr);
        return status;
    }
    if (FAILED(status))
        std::fprintf(stderr, "Can not open %.*s for reading [%#x].\n", static_cast<int>(path.size()), path.data(),
                     static_cast<unsigned>(status));
    return status;
}

std::optional<ULONG> ParsePropertyTag(std::string_view key)
{
    if (key.size() > 2 && key[0] == '0' && (key[1] == 'x' || key[1] == 'X'))
        key.remove_prefix(2);
    if (key.empty() || key.size() > 8)
        return std::nullopt;
    ULONG tag = 0;
    for (const char character : key) {
        const auto code = static_cast<unsigned char>(character);
        if (!std::isxdigit(code))
            return std::nullopt;
        const ULONG digit = std::isdigit(code) ? code - '0' : std::tolower(code) - 'a' + 10;
        tag = tag << 4 | digit;
    }
    return tag;
}

HRESULT BuildCsvMap(const std::vector<MapLine>& lines, CsvMap& map, std::string& rejected)
{
    map = {};
    for (const MapLine& line : lines) {
        const std::optional<ULONG> tag = ParsePropertyTag(line.key);
        if (!tag || !IsCsvType(PROP_TYPE(*tag))) {
            rejected = line.Text();
            return MAPI_E_BAD_VALUE;
        }
        map.tags.push_back(*tag);
        map.titles.push_back(line.name);
    }
    return S_OK;
}

LdifMap DefaultLdifMap()
{
    LdifMap map;
    map.attributes.push_back({PR_SMTP_ADDRESS_A, "mail"});
    return map;
}

HRESULT BuildLdifMap(const std::vector<MapLine>& lines, LdifMap& map, std::string& rejected,
                     LdifMapProblem& problem)
{
    map = {};
    problem = LdifMapProblem::kNone;
    for (const MapLine& line : lines) {
        const std::optional<ULONG> tag = ParsePropertyTag(line.key);
        if (!tag || !IsLdifType(PROP_TYPE(*tag)))
            problem = LdifMapProblem::kPropertyType;
        else if (!IsAttributeDescription(line.name) || EqualNoCase(line.name, "dn"))
            problem = LdifMapProblem::kAttributeName;
        if (problem != LdifMapProblem::kNone) {
            rejected = line.Text();
            return MAPI_E_BAD_VALUE;
        }
        if (EqualNoCase(line.name, "cn"))
            map.commonNameTag = *tag;
        else if (EqualNoCase(line.name, "sn"))
            map.surnameTag = *tag;
        else
            map.attributes.push_back({*tag, line.name});
    }
    return S_OK;
}

} // namespace ex2qln::directory
