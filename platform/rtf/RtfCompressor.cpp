// LZFu compression: greedy longest matches against the 4096-byte window that the decoder's ring
// dictionary holds, found through chains of positions that share their first two bytes.
#include "platform/rtf/RtfCompressor.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>

#include "platform/rtf/CompressedRtf.h"

namespace platform::rtf {
namespace {

constexpr std::size_t kNoPosition = std::numeric_limits<std::size_t>::max();

void AppendLittleEndian32(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

// The decoder sees the stream "initial dictionary + RTF" through a ring of 4096 bytes: a position
// k of that stream sits in slot k % 4096. A match may start at any of the last 4095 positions (the
// 4096th back is the write slot itself, whose reference means "end"), and may run past the current
// position, because the decoder copies byte by byte.
class Matcher {
public:
    explicit Matcher(std::span<const std::uint8_t> rtf)
    {
        const std::string_view initial = InitialDictionary();
        stream_.assign(initial.begin(), initial.end());
        stream_.insert(stream_.end(), rtf.begin(), rtf.end());
        heads_.fill(kNoPosition);
        previous_.fill(kNoPosition);
        for (std::size_t k = 0; k < initial.size(); ++k)
            Insert(k);
    }

    std::size_t Size() const { return stream_.size(); }
    std::uint8_t At(std::size_t k) const { return stream_[k]; }

    // Longest match for the bytes at current; ties go to the oldest position.
    std::size_t Find(std::size_t current, std::size_t& matchPosition) const
    {
        const std::size_t limit = std::min(kMaxReferenceLength, stream_.size() - current);
        if (limit < 2)
            return 0;
        const std::size_t oldest = current >= kDictionarySize - 1 ? current - (kDictionarySize - 1) : 0;
        std::size_t best = 0;
        for (std::size_t k = heads_[Key(current)]; k != kNoPosition && k >= oldest; k = previous_[k % kDictionarySize]) {
            std::size_t length = 0;
            while (length < limit && stream_[k + length] == stream_[current + length])
                ++length;
            if (length >= best && length >= 2) {
                best = length;
                matchPosition = k;
            }
        }
        return best;
    }

    // Makes position k (whose next byte must exist) a candidate for later matches.
    void Insert(std::size_t k)
    {
        if (k + 1 >= stream_.size())
            return;
        const unsigned key = Key(k);
        previous_[k % kDictionarySize] = heads_[key];
        heads_[key] = k;
    }

private:
    unsigned Key(std::size_t k) const { return unsigned{stream_[k]} << 8 | stream_[k + 1]; }

    std::vector<std::uint8_t> stream_;
    std::array<std::size_t, 65536> heads_;
    std::array<std::size_t, kDictionarySize> previous_;
};

// Collects tokens in runs of eight behind their control byte.
class TokenWriter {
public:
    explicit TokenWriter(std::vector<std::uint8_t>& out) : out_(out) {}

    void Literal(std::uint8_t byte)
    {
        Begin(false);
        out_.push_back(byte);
    }

    // A copy of length bytes (2 to 17) from stream position `position`.
    void Reference(std::size_t position, std::size_t length)
    {
        Word(static_cast<unsigned>(position % kDictionarySize) << 4 | static_cast<unsigned>(length - 2));
    }

    // The end: a reference to the slot the next byte would be written to.
    void End(std::size_t position) { Word(static_cast<unsigned>(position % kDictionarySize) << 4); }

private:
    void Word(unsigned word)
    {
        Begin(true);
        out_.push_back(static_cast<std::uint8_t>(word >> 8));
        out_.push_back(static_cast<std::uint8_t>(word));
    }

    void Begin(bool isReference)
    {
        if (bit_ == 8) {
            controlIndex_ = out_.size();
            out_.push_back(0);
            bit_ = 0;
        }
        if (isReference)
            out_[controlIndex_] |= static_cast<std::uint8_t>(1u << bit_);
        ++bit_;
    }

    std::vector<std::uint8_t>& out_;
    std::size_t controlIndex_ = 0;
    unsigned bit_ = 8;
};

void CompressContent(std::span<const std::uint8_t> rtf, std::vector<std::uint8_t>& content)
{
    Matcher matcher(rtf);
    TokenWriter writer(content);
    std::size_t current = InitialDictionary().size();
    while (current < matcher.Size()) {
        std::size_t position = 0;
        const std::size_t length = matcher.Find(current, position);
        if (length >= 2) {
            writer.Reference(position, length);
        } else {
            writer.Literal(matcher.At(current));
        }
        const std::size_t step = std::max<std::size_t>(length, 1);
        for (std::size_t i = 0; i < step; ++i)
            matcher.Insert(current + i);
        current += step;
    }
    writer.End(current);
}

} // namespace

HRESULT CompressRtf(std::span<const std::uint8_t> rtf, std::vector<std::uint8_t>& output,
    RtfCompression compression)
{
    output.clear();
    if (rtf.size() > std::numeric_limits<std::uint32_t>::max() / kMaxExpansion)
        return E_INVALIDARG;
    std::vector<std::uint8_t> content;
    std::uint32_t crc = 0;
    std::uint32_t magic = kMagicUncompressed;
    if (compression == RtfCompression::kCompressed) {
        CompressContent(rtf, content);
        crc = ComputeRtfCrc(content);
        magic = kMagicCompressed;
    } else {
        content.assign(rtf.begin(), rtf.end());
    }
    output.reserve(kHeaderSize + content.size());
    AppendLittleEndian32(output, static_cast<std::uint32_t>(content.size() + kHeaderSize - 4));
    AppendLittleEndian32(output, static_cast<std::uint32_t>(rtf.size()));
    AppendLittleEndian32(output, magic);
    AppendLittleEndian32(output, crc);
    output.insert(output.end(), content.begin(), content.end());
    return S_OK;
}

} // namespace platform::rtf
