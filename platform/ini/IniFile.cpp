// Reading initialisation files.
#include "platform/ini/IniFile.h"

#include "platform/files/ReadOnlyMapping.h"
#include "platform/ini/IniLines.h"

#include <algorithm>
#include <cctype>

namespace platform {

namespace {

std::string_view Trimmed(std::string_view text) { return TrimmedOf(text, kIniBlanks); }

bool EqualNoCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

std::string_view WithoutQuotes(std::string_view value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

std::optional<IniFile> IniFile::Load(const std::string& path)
{
    ReadOnlyMapping mapping;
    if (FAILED(mapping.Open(path)))
        return std::nullopt;
    std::span<const char> bytes = mapping.Bytes();
    return Parse(std::string_view(bytes.data(), bytes.size()));
}

IniFile IniFile::Parse(std::string_view text)
{
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark))
        text.remove_prefix(kByteOrderMark.size());

    IniFile file;
    Section* current = nullptr;
    IniLineReader lines(text, kIniBlanks);
    while (std::optional<IniLine> line = lines.Next()) {
        if (line->kind == IniLine::Kind::Section) {
            std::string_view name = Trimmed(line->text.substr(0, line->text.find(']')));
            file.sections_.push_back(Section {std::string(name), {}});
            current = &file.sections_.back();
            continue;
        }
        std::size_t equals = line->text.find('=');
        if (!current || equals == std::string_view::npos)
            continue;
        current->entries.emplace_back(std::string(Trimmed(line->text.substr(0, equals))),
                                      std::string(Trimmed(line->text.substr(equals + 1))));
    }
    return file;
}

const IniFile::Section* IniFile::Find(std::string_view section) const
{
    std::string_view name = Trimmed(section);
    for (const Section& candidate : sections_) {
        if (EqualNoCase(candidate.name, name))
            return &candidate;
    }
    return nullptr;
}

std::optional<std::string> IniFile::ReadString(std::string_view section, std::string_view key) const
{
    const Section* found = Find(section);
    if (!found)
        return std::nullopt;
    std::string_view name = Trimmed(key);
    for (const Entry& entry : found->entries) {
        if (EqualNoCase(entry.first, name))
            return std::string(WithoutQuotes(entry.second));
    }
    return std::nullopt;
}

std::vector<IniFile::Entry> IniFile::ReadSection(std::string_view section, std::size_t maximumBytes) const
{
    std::vector<Entry> result;
    const Section* found = Find(section);
    if (!found || maximumBytes == 0)
        return result;
    std::size_t used = 1;  // the final zero
    for (const Entry& entry : found->entries) {
        std::size_t lineBytes = entry.first.size() + 1 + entry.second.size() + 1;
        if (used + lineBytes > maximumBytes)
            break;
        used += lineBytes;
        result.push_back(entry);
    }
    return result;
}

bool IniFile::HasSection(std::string_view section) const { return Find(section) != nullptr; }

std::vector<std::string> IniFile::SectionNames() const
{
    std::vector<std::string> names;
    for (const Section& section : sections_)
        names.push_back(section.name);
    return names;
}

} // namespace platform
