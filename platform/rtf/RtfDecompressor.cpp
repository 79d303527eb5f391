// LZFu decoding with the pre-loaded 4096-byte dictionary, and the pass-through of MELA content.
#include "platform/rtf/RtfDecompressor.h"

#include <algorithm>
#include <cstring>

namespace platform::rtf {

HRESULT RtfDecompressor::Open(std::span<const std::uint8_t> input, std::size_t maxRawSize)
{
    *this = RtfDecompressor{};
    if (HRESULT hr = ParseCompressedRtfHeader(input, header_, maxRawSize); FAILED(hr))
        return Fail();
    content_ = input.subspan(kHeaderSize, header_.compressedSize - (kHeaderSize - 4));
    // Uncompressed content carries no checksum (writers are told to put zero there, some do not).
    if (header_.magic == kMagicCompressed && ComputeRtfCrc(content_) != header_.crc)
        return Fail();
    const std::string_view initial = InitialDictionary();
    std::memcpy(dictionary_.data(), initial.data(), initial.size());
    writeOffset_ = initial.size();
    open_ = true;
    return S_OK;
}

HRESULT RtfDecompressor::Read(std::span<std::uint8_t> buffer, std::size_t& bytesRead)
{
    bytesRead = 0;
    if (!open_ || failed_)
        return MAPI_E_CORRUPT_DATA;
    if (header_.magic == kMagicCompressed)
        return ReadCompressed(buffer, bytesRead);
    const std::size_t count = std::min(buffer.size(), std::size_t{header_.rawSize} - produced_);
    std::memcpy(buffer.data(), content_.data() + produced_, count);
    produced_ += count;
    bytesRead = count;
    return S_OK;
}

HRESULT RtfDecompressor::ReadCompressed(std::span<std::uint8_t> buffer, std::size_t& bytesRead)
{
    std::uint8_t* out = buffer.data();
    const std::size_t wanted = buffer.size();
    while (bytesRead < wanted) {
        if (copyLeft_ == 0) {
            if (ended_)
                break;
            if (HRESULT hr = NextToken(); FAILED(hr))
                return hr;
            if (copyLeft_ == 0)
                continue;
        }
        if (produced_ >= header_.rawSize)
            return Fail();
        const std::uint8_t byte = dictionary_[copyOffset_];
        copyOffset_ = (copyOffset_ + 1) % kDictionarySize;
        --copyLeft_;
        Emit(byte, out + bytesRead);
        ++bytesRead;
    }
    return S_OK;
}

// Decodes one token: a literal becomes a one-byte copy from the dictionary slot it was written to,
// a reference a copy of its length, the reference to the write offset the end.
HRESULT RtfDecompressor::NextToken()
{
    if (controlBits_ == 0) {
        if (position_ >= content_.size())
            return Fail();
        control_ = content_[position_++];
        controlBits_ = 8;
    }
    const bool isReference = control_ & 1;
    control_ >>= 1;
    --controlBits_;
    if (!isReference) {
        if (position_ >= content_.size())
            return Fail();
        dictionary_[writeOffset_] = content_[position_++];
        copyOffset_ = writeOffset_;
        copyLeft_ = 1;
        return S_OK;
    }
    if (content_.size() - position_ < 2)
        return Fail();
    const unsigned word = unsigned{content_[position_]} << 8 | content_[position_ + 1];
    position_ += 2;
    const std::size_t offset = word >> 4;
    if (offset == writeOffset_) {
        ended_ = true;
        return produced_ == header_.rawSize ? S_OK : Fail();
    }
    copyOffset_ = offset;
    copyLeft_ = (word & 0xF) + 2;
    return S_OK;
}

void RtfDecompressor::Emit(std::uint8_t byte, std::uint8_t* out)
{
    dictionary_[writeOffset_] = byte;
    writeOffset_ = (writeOffset_ + 1) % kDictionarySize;
    *out = byte;
    ++produced_;
}

HRESULT RtfDecompressor::Fail()
{
    failed_ = true;
    return MAPI_E_CORRUPT_DATA;
}

HRESULT DecompressRtf(std::span<const std::uint8_t> input, std::string& rtf, std::size_t maxRawSize)
{
    rtf.clear();
    RtfDecompressor reader;
    if (HRESULT hr = reader.Open(input, maxRawSize); FAILED(hr))
        return hr;
    // The header's raw size was checked against the content size and the limit, so this is bounded.
    rtf.resize(reader.RawSize());
    std::size_t total = 0;
    for (;;) {
        std::size_t count = 0;
        auto* target = reinterpret_cast<std::uint8_t*>(rtf.data()) + total;
        if (HRESULT hr = reader.Read({target, rtf.size() - total}, count); FAILED(hr)) {
            rtf.clear();
            return hr;
        }
        total += count;
        if (count == 0 || total == rtf.size())
            break;
    }
    // A full buffer still needs the end reference: read on with a scratch byte to reach it.
    std::uint8_t extra = 0;
    std::size_t count = 0;
    if (HRESULT hr = reader.Read({&extra, 1}, count); FAILED(hr) || count != 0 || total != rtf.size()) {
        rtf.clear();
        return FAILED(hr) ? hr : MAPI_E_CORRUPT_DATA;
    }
    return S_OK;
}

} // namespace platform::rtf
