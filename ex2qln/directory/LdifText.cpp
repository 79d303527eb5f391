// LDIF values, DN escapes, surnames and attribute names.
#include "ex2qln/directory/LdifText.h"

#include "mmconv/encoding/Base64.h"

#include <cstdint>
#include <span>

namespace ex2qln::directory {
namespace {

bool IsSafeString(std::string_view value)
{
    if (value.empty())
        return true;
    const char first = value.front();
    if (first == ' ' || first == ':' || first == '<' || value.back() == ' ')
        return false;
    for (const char character : value) {
        const auto code = static_cast<unsigned char>(character);
        if (code < 0x20 || code > 0x7F)
            return false;
    }
    return true;
}

bool IsAlpha(char character) { return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z'); }
bool IsDigit(char character) { return character >= '0' && character <= '9'; }
bool IsKeyChar(char character) { return IsAlpha(character) || IsDigit(character) || character == '-'; }

bool IsKeyString(std::string_view text)
{
    if (text.empty() || !IsAlpha(text.front()))
        return false;
    for (const char character : text) {
        if (!IsKeyChar(character))
            return false;
    }
    return true;
}

bool IsNumericOid(std::string_view text)
{
    std::size_t numbers = 0;
    while (true) {
        const std::size_t dot = text.find('.');
        const std::string_view number = text.substr(0, dot);
        if (number.empty() || (number.size() > 1 && number.front() == '0'))
            return false;
        for (const char character : number) {
            if (!IsDigit(character))
                return false;
        }
        ++numbers;
        if (dot == std::string_view::npos)
            return numbers >= 2;
        text.remove_prefix(dot + 1);
    }
}

int HexValue(char character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    return -1;
}

std::string_view TrimBlanks(std::string_view text)
{
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

void AppendLdifValue(std::string& output, std::string_view value)
{
    if (IsSafeString(value)) {
        output += ": ";
        output += value;
        return;
    }
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(value.data()), value.size());
    const std::size_t length = mmconv::Base64Encode(bytes, {});
    const std::size_t start = output.size() + 3;
    output += ":: ";
    output.resize(start + length);
    mmconv::Base64Encode(bytes, std::span<char>(output.data() + start, length));
}

std::string EscapeDnValue(std::string_view value)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    constexpr std::string_view kSpecial = ",+\"\\<>;=";
    std::string escaped;
    for (std::size_t index = 0; index < value.size(); ++index) {
        const char character = value[index];
        const auto code = static_cast<unsigned char>(character);
        if (code < 0x20 || code == 0x7F) {
            escaped += '\\';
            escaped += kHex[code >> 4];
            escaped += kHex[code & 0xF];
            continue;
        }
        const bool leading = index == 0 && (character == ' ' || character == '#');
        const bool trailing = index + 1 == value.size() && character == ' ';
        if (leading || trailing || kSpecial.find(character) != std::string_view::npos)
            escaped += '\\';
        escaped += character;
    }
    return escaped;
}

bool FirstRdnValue(std::string_view dn, std::string& type, std::string& value)
{
    const std::size_t equals = dn.find('=');
    if (equals == std::string_view::npos)
        return false;
    type = std::string(TrimBlanks(dn.substr(0, equals)));
    value.clear();
    std::size_t index = equals + 1;
    while (index < dn.size() && dn[index] == ' ')
        ++index;
    for (; index < dn.size(); ++index) {
        const char character = dn[index];
        if (character == ',' || character == '+' || character == ';')
            break;
        if (character != '\\' || index + 1 == dn.size()) {
            value += character;
            continue;
        }
        const int high = HexValue(dn[index + 1]);
        const int low = index + 2 < dn.size() ? HexValue(dn[index + 2]) : -1;
        if (high >= 0 && low >= 0) {
            value += static_cast<char>(high << 4 | low);
            index += 2;
        } else {
            value += dn[++index];
        }
    }
    return IsAttributeDescription(type) && !value.empty();
}

std::string DeriveSurname(std::string_view commonName)
{
    commonName = TrimBlanks(commonName);
    std::string_view surname = commonName;
    if (const std::size_t comma = commonName.find(','); comma != std::string_view::npos)
        surname = commonName.substr(0, comma);
    else if (const std::size_t blank = commonName.rfind(' '); blank != std::string_view::npos)
        surname = commonName.substr(blank + 1);
    surname = TrimBlanks(surname);
    return std::string(surname.empty() ? commonName : surname);
}

bool IsAttributeDescription(std::string_view name)
{
    const std::size_t semicolon = name.find(';');
    const std::string_view type = name.substr(0, semicolon);
    if (!IsKeyString(type) && !IsNumericOid(type))
        return false;
    if (semicolon == std::string_view::npos)
        return true;
    std::string_view options = name.substr(semicolon + 1);
    while (true) {
        const std::size_t next = options.find(';');
        const std::string_view option = options.substr(0, next);
        if (option.empty())
            return false;
        for (const char character : option) {
            if (!IsKeyChar(character))
                return false;
        }
        if (next == std::string_view::npos)
            return true;
        options.remove_prefix(next + 1);
    }
}

} // namespace ex2qln::directory
