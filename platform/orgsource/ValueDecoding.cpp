// Decoders for the text forms of property values; none of them trusts its input.
#include "platform/orgsource/ValueDecoding.h"

#include <array>
#include <cstdio>

namespace platform::orgsource {
namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

int Base64Digit(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads exactly `count` decimal digits at `offset`.
std::optional<int> Digits(std::string_view text, std::size_t offset, std::size_t count)
{
    if (offset + count > text.size()) {
        return std::nullopt;
    }
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        char c = text[offset + i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t DaysFromCivil(std::int64_t year, unsigned month, unsigned day)
{
    year -= month <= 2 ? 1 : 0;
    std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    auto yearOfEra = static_cast<unsigned>(year - era * 400);
    unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static constexpr std::array<int, 12> kDays = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[static_cast<std::size_t>(month - 1)];
}

} // namespace

std::optional<std::u16string> Utf8ToUtf16(std::string_view text)
{
    std::u16string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : (lead >> 5) == 0x6 ? 2 : (lead >> 4) == 0xE ? 3 : (lead >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > text.size()) {
            return std::nullopt;
        }
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) {
                return std::nullopt;
            }
            code = (code << 6) | (next & 0x3F);
        }
        static constexpr std::array<std::uint32_t, 5> kSmallest = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            return std::nullopt;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (code >> 10));
            out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out += static_cast<char16_t>(code);
        }
        i += length;
    }
    return out;
}

std::optional<Bytes> DecodeHex(std::string_view text)
{
    Bytes out;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size()) {
            return std::nullopt;
        }
        int high = HexDigit(text[i]);
        int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    return out;
}

std::optional<Bytes> DecodeBase64(std::string_view text)
{
    Bytes out;
    std::uint32_t buffer = 0;
    int bits = 0;
    std::size_t padding = 0;
    for (char c : text) {
        if (IsBlank(c)) {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        int digit = Base64Digit(c);
        if (digit < 0 || padding > 0) {
            return std::nullopt;
        }
        buffer = (buffer << 6) | static_cast<std::uint32_t>(digit);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(buffer >> bits));
            buffer &= (1u << bits) - 1;
        }
    }
    // Six leftover bits cannot end a Base64 text; more than two pad characters are not Base64 either.
    if (bits >= 6 || padding > 2 || (padding > 0 && bits == 0)) {
        return std::nullopt;
    }
    return out;
}

std::optional<cfb::Guid> ParseGuid(std::string_view text)
{
    if (text.size() == 38 && text.front() == '{' && text.back() == '}') {
        text = text.substr(1, 36);
    }
    if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') {
        return std::nullopt;
    }
    std::string digits;
    for (char c : text) {
        if (c != '-') {
            digits += c;
        }
    }
    auto bytes = DecodeHex(digits);
    if (!bytes || bytes->size() != 16 || digits.find(' ') != std::string::npos) {
        return std::nullopt;
    }
    const Bytes& b = *bytes;
    return cfb::Guid{b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9], b[10], b[11], b[12], b[13], b[14], b[15]};
}

std::string FormatGuid(const cfb::Guid& g)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3], g[2],
                  g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13], g[14], g[15]);
    return text;
}

std::optional<std::int64_t> ParseIsoTime(std::string_view text)
{
    auto year = Digits(text, 0, 4);
    auto month = Digits(text, 5, 2);
    auto day = Digits(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-' || *year < 1601 || *month < 1 || *month > 12 ||
        *day < 1 || *day > DaysInMonth(*year, *month)) {
        return std::nullopt;
    }
    int hour = 0;
    int minute = 0;
    int second = 0;
    std::int64_t fraction = 0;  // in 100-nanosecond units
    if (text.size() != 10) {
        auto h = Digits(text, 11, 2);
        auto m = Digits(text, 14, 2);
        auto s = Digits(text, 17, 2);
        if (text.size() < 20 || text[10] != 'T' || text[13] != ':' || text[16] != ':' || !h || !m || !s || *h > 23 ||
            *m > 59 || *s > 59 || text.back() != 'Z') {
            return std::nullopt;
        }
        hour = *h;
        minute = *m;
        second = *s;
        std::string_view rest = text.substr(19, text.size() - 20);
        if (!rest.empty()) {
            if (rest.front() != '.' || rest.size() < 2 || rest.size() > 8) {
                return std::nullopt;
            }
            auto digits = Digits(rest, 1, rest.size() - 1);
            if (!digits) {
                return std::nullopt;
            }
            fraction = *digits;
            for (std::size_t scale = rest.size() - 1; scale < 7; ++scale) {
                fraction *= 10;
            }
        }
    }
    constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
    std::int64_t days = DaysFromCivil(*year, static_cast<unsigned>(*month), static_cast<unsigned>(*day));
    std::int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second + kSecondsFrom1601To1970;
    return seconds * 10000000 + fraction;
}

} // namespace platform::orgsource
