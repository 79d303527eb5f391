// Base64 with the standard alphabet and "=" padding.
#include "mmconv/encoding/Base64.h"

#include <algorithm>
#include <array>

namespace mmconv {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> MakeDecodeTable()
{
    std::array<int, 256> table{};
    table.fill(-1);
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = i;
    return table;
}
constexpr std::array<int, 256> kDecode = MakeDecodeTable();

// Writes the four characters of one group of one to three bytes.
void EncodeGroup(const std::uint8_t* bytes, std::size_t count, char* out)
{
    const std::uint32_t value = (std::uint32_t{bytes[0]} << 16)
        | (count > 1 ? std::uint32_t{bytes[1]} << 8 : 0) | (count > 2 ? bytes[2] : 0);
    out[0] = kAlphabet[(value >> 18) & 0x3F];
    out[1] = kAlphabet[(value >> 12) & 0x3F];
    out[2] = count > 1 ? kAlphabet[(value >> 6) & 0x3F] : '=';
    out[3] = count > 2 ? kAlphabet[value & 0x3F] : '=';
}

} // namespace

std::size_t Base64Encode(std::span<const std::uint8_t> source, std::span<char> destination)
{
    const std::size_t needed = (source.size() + 2) / 3 * 4;
    if (destination.size() < needed)
        return needed;
    char* out = destination.data();
    for (std::size_t i = 0; i < source.size(); i += 3, out += 4)
        EncodeGroup(source.data() + i, std::min<std::size_t>(3, source.size() - i), out);
    return needed;
}

std::size_t Base64Decode(std::span<const char> source, std::span<std::uint8_t> destination)
{
    std::size_t sextets = 0;
    for (const char c : source) {
        if (c == '=')
            break;
        sextets += kDecode[static_cast<unsigned char>(c)] >= 0 ? 1 : 0;
    }
    const std::size_t needed = sextets * 6 / 8;
    if (destination.size() < needed)
        return needed;
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t written = 0;
    for (const char c : source) {
        if (c == '=')
            break;
        const int value = kDecode[static_cast<unsigned char>(c)];
        if (value < 0)
            continue;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            destination[written++] = static_cast<std::uint8_t>(bits >> bitCount);
            bits &= (1u << bitCount) - 1;
        }
    }
    return written;
}

Base64LineEncoder::Base64LineEncoder(std::size_t lineLength)
    : lineLength_(lineLength == 0 ? 76 : lineLength)
{
}

void Base64LineEncoder::AppendWrapped(const char* characters, std::size_t count,
    std::string& output)
{
    while (count > 0) {
        if (column_ == lineLength_) {
            output += "\r\n";
            column_ = 0;
        }
        const std::size_t take = std::min(count, lineLength_ - column_);
        output.append(characters, take);
        column_ += take;
        characters += take;
        count -= take;
    }
}

void Base64LineEncoder::Encode(std::span<const std::uint8_t> piece, std::string& output)
{
    std::size_t used = 0;
    if (pendingCount_ > 0) {
        used = std::min(sizeof pending_ - pendingCount_, piece.size());
        std::copy_n(piece.begin(), used, pending_ + pendingCount_);
        pendingCount_ += used;
        if (pendingCount_ < sizeof pending_)
            return;
        char characters[4];
        EncodeGroup(pending_, sizeof pending_, characters);
        AppendWrapped(characters, 4, output);
        pendingCount_ = 0;
    }
    constexpr std::size_t kGroupsPerBatch = 1024;
    char batch[kGroupsPerBatch * 4];
    while (piece.size() - used >= 3) {
        const std::size_t groups = std::min(kGroupsPerBatch, (piece.size() - used) / 3);
        for (std::size_t g = 0; g < groups; ++g, used += 3)
            EncodeGroup(piece.data() + used, 3, batch + g * 4);
        AppendWrapped(batch, groups * 4, output);
    }
    // Fewer than three bytes are left, and nothing is pending once a whole group was encoded.
    if (used < piece.size()) {
        pendingCount_ = piece.size() - used;
        std::copy(piece.begin() + static_cast<std::ptrdiff_t>(used), piece.end(), pending_);
    }
}

void Base64LineEncoder::Finish(std::string& output)
{
    if (pendingCount_ == 0)
        return;
    char characters[4];
    EncodeGroup(pending_, pendingCount_, characters);
    AppendWrapped(characters, 4, output);
    pendingCount_ = 0;
}

} // namespace mmconv
