// vCard 2.1 content lines. A value that is short printable ASCII is written as it stands; any other
// value is QUOTED-PRINTABLE (with CHARSET=UTF-8 when it holds non-ASCII text), its line breaks
// escaped and soft line breaks keeping every physical line within 75 octets. Binary data is BASE64
// in the block form, which ends with the empty line that closes such a value.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mmconv {

// The most octets a physical line of a card holds.
inline constexpr std::size_t kCardLineOctets = 75;

// How a value is written.
enum class CardValue {
    Text,            // as it stands when it can be, else QUOTED-PRINTABLE
    OneLine,         // CR and LF become blanks first
    QuotedPrintable, // always QUOTED-PRINTABLE
};

// Appends the quoted-printable form of a UTF-8 value to `out`, `column` octets being already on the
// current line: "=", controls and octets from 0x7F up as "=XX", a blank or tab at the very end too,
// and a soft line break ("=" CR LF) wherever the next piece would pass the 75th octet.
void EncodeQPAndOutput(std::string& out, std::string_view value, std::size_t column);

// The components of a compound value (N, ORG, ADR) joined by ";", a ";" inside one escaped.
std::string CompoundValue(std::span<const std::string> components);

// A FILETIME as a date in local time ("19850412"), or as a UTC date-time ("20240325T100000Z").
std::string CardTime(std::uint64_t fileTime, bool localDate);

// Base64 of binary data without line breaks.
std::string BinData2QZ64String(std::span<const std::uint8_t> data);

class VCardWriter {
public:
    explicit VCardWriter(std::string& card) : card_(card) {}

    // `name` with its parameters (TEL;WORK;VOICE), the encoding parameters the value needs, ":",
    // the value and CR LF.
    void Property(std::string_view name, std::string_view value, CardValue mode = CardValue::Text);
    // `name` and ":", then the Base64 in pieces of 72 characters, each on a line of its own after
    // three blanks, then an empty line.
    void Block(std::string_view name, std::string_view base64);
    // A line as it stands, with CR LF.
    void Line(std::string_view line);

private:
    std::string& card_;
};

} // namespace mmconv
