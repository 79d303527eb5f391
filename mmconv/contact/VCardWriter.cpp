// vCard 2.1 content lines: the choice between plain and quoted-printable values, and the block form.
#include "mmconv/contact/VCardWriter.h"

#include <ctime>

#include "mmconv/encoding/Base64.h"

namespace mmconv {
namespace {

constexpr std::size_t kBlockPiece = 72;
constexpr std::string_view kBlockIndent = "   ";
constexpr char kHex[] = "0123456789ABCDEF";

bool IsPlainOctet(unsigned char c)
{
    return c >= 0x20 && c < 0x7F;
}

bool IsAscii(std::string_view text)
{
    for (unsigned char c : text) {
        if (c >= 0x80)
            return false;
    }
    return true;
}

// Whether the value can stand as it is on one line after `name` and ":".
bool FitsPlain(std::string_view name, std::string_view value)
{
    if (name.size() + 1 + value.size() > kCardLineOctets)
        return false;
    for (unsigned char c : value) {
        if (!IsPlainOctet(c))
            return false;
    }
    return true;
}

std::string OneLine(std::string_view value)
{
    std::string line(value);
    for (char& c : line) {
        if (c == '\r' || c == '\n')
            c = ' ';
    }
    return line;
}

std::time_t UnixTime(std::uint64_t fileTime)
{
    constexpr std::uint64_t kUnixEpoch = 116444736000000000ull;
    return fileTime < kUnixEpoch ? 0 : static_cast<std::time_t>((fileTime - kUnixEpoch) / 10000000ull);
}

} // namespace

std::string CardTime(std::uint64_t fileTime, bool localDate)
{
    const std::time_t seconds = UnixTime(fileTime);
    std::tm fields{};
    if (localDate)
        localtime_r(&seconds, &fields);
    else
        gmtime_r(&seconds, &fields);
    char text[32];
    if (localDate)
        std::snprintf(text, sizeof text, "%04u%02u%02u", fields.tm_year + 1900u, fields.tm_mon + 1u,
            static_cast<unsigned>(fields.tm_mday));
    else
        std::snprintf(text, sizeof text, "%04u%02u%02uT%02u%02u%02uZ", fields.tm_year + 1900u, fields.tm_mon + 1u,
            static_cast<unsigned>(fields.tm_mday), static_cast<unsigned>(fields.tm_hour),
            static_cast<unsigned>(fields.tm_min), static_cast<unsigned>(fields.tm_sec));
    return text;
}

void EncodeQPAndOutput(std::string& out, std::string_view value, std::size_t column)
{
    for (std::size_t i = 0; i < value.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(value[i]);
        const bool last = i + 1 == value.size();
        const bool literal = (IsPlainOctet(c) && c != '=' && !(c == ' ' && last)) || (c == '\t' && !last);
        const std::size_t width = literal ? 1 : 3;
        // The soft break's "=" takes the 75th octet of its line.
        if (column + width > kCardLineOctets - 1) {
            out += "=\r\n";
            column = 0;
        }
        if (literal) {
            out += static_cast<char>(c);
        } else {
            out += '=';
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
        column += width;
    }
}

std::string CompoundValue(std::span<const std::string> components)
{
    std::string value;
    for (std::size_t i = 0; i < components.size(); ++i) {
        if (i > 0)
            value += ';';
        for (char c : components[i]) {
            if (c == ';')
                value += '\\';
            value += c;
        }
    }
    return value;
}

std::string BinData2QZ64String(std::span<const std::uint8_t> data)
{
    std::string text(Base64Encode(data, {}), '\0');
    Base64Encode(data, text);
    return text;
}

void VCardWriter::Property(std::string_view name, std::string_view value, CardValue mode)
{
    std::string oneLine;
    if (mode == CardValue::OneLine) {
        oneLine = OneLine(value);
        value = oneLine;
    }
    if (mode != CardValue::QuotedPrintable && FitsPlain(name, value)) {
        card_.append(name).append(":").append(value).append("\r\n");
        return;
    }
    const std::size_t start = card_.size();
    card_.append(name);
    if (!IsAscii(value))
        card_ += ";CHARSET=UTF-8";
    card_ += ";ENCODING=QUOTED-PRINTABLE:";
    EncodeQPAndOutput(card_, value, card_.size() - start);
    card_ += "\r\n";
}

void VCardWriter::Block(std::string_view name, std::string_view base64)
{
    card_.append(name).append(":");
    for (std::size_t at = 0; at < base64.size(); at += kBlockPiece)
        card_.append("\r\n").append(kBlockIndent).append(base64.substr(at, kBlockPiece));
    card_ += "\r\n\r\n";
}

void VCardWriter::Line(std::string_view line)
{
    card_.append(line).append("\r\n");
}

} // namespace mmconv
