// Parsing and writing the registry file format, and the key tree behind it.
#include "platform/registry/RegistryStore.h"

#include "platform/ini/IniLines.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace platform {

namespace {

constexpr std::string_view kHexDigits = "0123456789abcdef";

std::string Folded(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return result;
}

bool EqualNoCase(std::string_view a, std::string_view b) { return Folded(a) == Folded(b); }

std::string_view Trimmed(std::string_view text) { return TrimmedOf(text, kRegistryBlanks); }

std::string_view Parent(std::string_view path)
{
    std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

std::string_view LastName(std::string_view path)
{
    std::size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

int HexValue(char c)
{
    std::size_t digit = kHexDigits.find(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    return digit == std::string_view::npos ? -1 : static_cast<int>(digit);
}

// Reads a quoted string at the start of `text` and consumes it.
std::optional<std::string> TakeQuoted(std::string_view& text)
{
    if (text.empty() || text.front() != '"')
        return std::nullopt;
    std::string result;
    std::size_t at = 1;
    while (at < text.size()) {
        char c = text[at++];
        if (c == '"') {
            text.remove_prefix(at);
            return result;
        }
        if (c != '\\') {
            result += c;
            continue;
        }
        if (at >= text.size())
            return std::nullopt;
        char escaped = text[at++];
        switch (escaped) {
        case '\\': result += '\\'; break;
        case '"': result += '"'; break;
        case 'n': result += '\n'; break;
        case 'r': result += '\r'; break;
        case 't': result += '\t'; break;
        case 'x': {
            if (at + 2 > text.size() || HexValue(text[at]) < 0 || HexValue(text[at + 1]) < 0)
                return std::nullopt;
            result += static_cast<char>(HexValue(text[at]) * 16 + HexValue(text[at + 1]));
            at += 2;
            break;
        }
        default: return std::nullopt;
        }
    }
    return std::nullopt;
}

std::optional<std::uint32_t> ParseDword(std::string_view digits)
{
    if (digits.empty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t number = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number, 16);
    if (error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return number;
}

std::optional<std::string> ParseBinary(std::string_view list)
{
    std::string bytes;
    while (!list.empty()) {
        if (list.size() < 2 || HexValue(list[0]) < 0 || HexValue(list[1]) < 0)
            return std::nullopt;
        bytes += static_cast<char>(HexValue(list[0]) * 16 + HexValue(list[1]));
        list.remove_prefix(2);
        if (list.empty())
            break;
        if (list.front() != ',' || list.size() == 1)
            return std::nullopt;
        list.remove_prefix(1);
    }
    return bytes;
}

std::optional<RegistryValue> ParseData(std::string_view data)
{
    auto quotedOnly = [](std::string_view text) -> std::optional<std::string> {
        std::optional<std::string> quoted = TakeQuoted(text);
        if (!quoted || !Trimmed(text).empty())
            return std::nullopt;
        return quoted;
    };
    RegistryValue value;
    std::optional<std::string> text;
    if (data.starts_with('"')) {
        text = quotedOnly(data);
    } else if (data.starts_with("expand:")) {
        value.type = RegistryValueType::ExpandString;
        text = quotedOnly(data.substr(7));
    } else if (data.starts_with("dword:")) {
        std::optional<std::uint32_t> number = ParseDword(data.substr(6));
        if (!number)
            return std::nullopt;
        value.type = RegistryValueType::Dword;
        value.number = *number;
        return value;
    } else if (data.starts_with("hex:")) {
        value.type = RegistryValueType::Binary;
        text = ParseBinary(data.substr(4));
    }
    if (!text)
        return std::nullopt;
    value.text = std::move(*text);
    return value;
}

// `@=data` or `"name"=data`.
std::optional<RegistryStore::NamedValue> ParseValueLine(std::string_view line)
{
    RegistryStore::NamedValue named;
    if (line.front() == '@') {
        line.remove_prefix(1);
    } else {
        std::optional<std::string> quoted = TakeQuoted(line);
        if (!quoted)
            return std::nullopt;
        named.name = std::move(*quoted);
    }
    line = Trimmed(line);
    if (line.empty() || line.front() != '=')
        return std::nullopt;
    std::optional<RegistryValue> value = ParseData(Trimmed(line.substr(1)));
    if (!value)
        return std::nullopt;
    named.value = std::move(*value);
    return named;
}

void AppendQuoted(std::string& out, std::string_view text)
{
    out += '"';
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; continue;
        case '"': out += "\\\""; continue;
        case '\n': out += "\\n"; continue;
        case '\r': out += "\\r"; continue;
        case '\t': out += "\\t"; continue;
        default: break;
        }
        if (byte < 0x20 || byte == 0x7F) {
            out += "\\x";
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
            continue;
        }
        out += c;
    }
    out += '"';
}

void AppendValue(std::string& out, const RegistryStore::NamedValue& named)
{
    if (named.name.empty())
        out += '@';
    else
        AppendQuoted(out, named.name);
    out += '=';
    const RegistryValue& value = named.value;
    switch (value.type) {
    case RegistryValueType::String: AppendQuoted(out, value.text); break;
    case RegistryValueType::ExpandString:
        out += "expand:";
        AppendQuoted(out, value.text);
        break;
    case RegistryValueType::Dword: {
        char digits[9];
        for (int i = 0; i < 8; ++i)
            digits[i] = kHexDigits[(value.number >> (28 - 4 * i)) & 0xF];
        digits[8] = '\0';
        out += "dword:";
        out += digits;
        break;
    }
    case RegistryValueType::Binary:
        out += "hex:";
        for (std::size_t i = 0; i < value.text.size(); ++i) {
            auto byte = static_cast<unsigned char>(value.text[i]);
            if (i > 0)
                out += ',';
            out += kHexDigits[byte >> 4];
            out += kHexDigits[byte & 0xF];
        }
        break;
    }
    out += '\n';
}

} // namespace

std::optional<std::string> RegistryStore::NormalisedPath(std::string_view path)
{
    std::string result;
    while (!path.empty()) {
        std::size_t slash = path.find('\\');
        std::string_view name = path.substr(0, slash);
        path.remove_prefix(slash == std::string_view::npos ? path.size() : slash + 1);
        if (name.empty())
            continue;
        if (std::ranges::any_of(name, [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
            return std::nullopt;
        if (!result.empty())
            result += '\\';
        result += name;
    }
    return result;
}

std::optional<RegistryStore> RegistryStore::Parse(std::string_view text)
{
    RegistryStore store;
    Key* current = nullptr;
    IniLineReader lines(text, kRegistryBlanks);
    while (std::optional<IniLine> line = lines.Next()) {
        if (line->kind == IniLine::Kind::Section) {
            if (!line->text.ends_with(']'))
                return std::nullopt;
            std::optional<std::string> path = NormalisedPath(line->text.substr(0, line->text.size() - 1));
            if (!path)
                return std::nullopt;
            current = &store.CreateKey(*path);
            continue;
        }
        if (!current)
            return std::nullopt;
        std::optional<NamedValue> named = ParseValueLine(line->text);
        if (!named)
            return std::nullopt;
        SetValue(*current, named->name, named->value);
    }
    return store;
}

std::string RegistryStore::Serialise() const
{
    std::string out = "; ex2qln registry\n";
    for (const auto& [folded, key] : keys_) {
        out += "\n[";
        out += key.path;
        out += "]\n";
        for (const NamedValue& named : key.values)
            AppendValue(out, named);
    }
    return out;
}

const RegistryStore::Key* RegistryStore::FindKey(std::string_view path) const
{
    static const Key kRoot;
    auto found = keys_.find(Folded(path));
    if (found != keys_.end())
        return &found->second;
    return path.empty() ? &kRoot : nullptr;
}

std::vector<std::string> RegistryStore::SubkeyNames(std::string_view path) const
{
    std::string prefix = path.empty() ? std::string() : Folded(path) + '\\';
    std::vector<std::string> names;
    for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.starts_with(prefix); ++it) {
        if (it->first.size() > prefix.size() && it->first.find('\\', prefix.size()) == std::string::npos)
            names.emplace_back(LastName(it->second.path));
    }
    return names;
}

RegistryStore::Key& RegistryStore::CreateKey(std::string_view path)
{
    std::string folded = Folded(path);
    auto found = keys_.find(folded);
    if (found != keys_.end())
        return found->second;
    // Parents first, so that the new key takes over their spelling.
    std::string spelled(path);
    if (!path.empty()) {
        std::string_view parent = Parent(path);
        if (!parent.empty()) {
            const Key& parentKey = CreateKey(parent);
            spelled = parentKey.path + '\\' + std::string(LastName(path));
        }
    }
    Key& key = keys_[folded];
    key.path = spelled;
    return key;
}

void RegistryStore::DeleteKey(std::string_view path)
{
    std::string folded = Folded(path);
    std::erase_if(keys_, [&](const auto& entry) {
        return folded.empty() || entry.first == folded || entry.first.starts_with(folded + '\\');
    });
}

const RegistryStore::NamedValue* RegistryStore::FindValue(const Key& key, std::string_view name)
{
    auto found = std::ranges::find_if(key.values, [&](const NamedValue& named) { return EqualNoCase(named.name, name); });
    return found == key.values.end() ? nullptr : &*found;
}

void RegistryStore::SetValue(Key& key, std::string_view name, const RegistryValue& value)
{
    auto found = std::ranges::find_if(key.values, [&](const NamedValue& named) { return EqualNoCase(named.name, name); });
    if (found != key.values.end()) {
        found->value = value;
        return;
    }
    key.values.push_back(NamedValue {std::string(name), value});
}

void RegistryStore::DeleteValue(Key& key, std::string_view name)
{
    std::erase_if(key.values, [&](const NamedValue& named) { return EqualNoCase(named.name, name); });
}

} // namespace platform

