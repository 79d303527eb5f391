// Fuzzes the socket's line reader: server bytes cut into receives of fuzzer-chosen sizes.
#include "ex2qln/net/TCPSocket.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// Serves the fuzzer's bytes as if they came from a server, one receive at a time.
class FeedSocket : public ex2qln::net::CTCPSocket {
public:
    FeedSocket(const std::uint8_t* data, std::size_t size, std::size_t chunk)
        : data_(data), size_(size), chunk_(chunk)
    {
    }

protected:
    HRESULT Receive(std::span<char> buffer, std::size_t& count) override
    {
        count = std::min({buffer.size(), size_ - offset_, chunk_});
        if (count == 0)
            return kStatusConnectionClosed;
        std::memcpy(buffer.data(), data_ + offset_, count);
        offset_ += count;
        return S_OK;
    }
    bool HasPendingInput() const override { return offset_ < size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t chunk_;
    std::size_t offset_ = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 3)
        return 0;
    const std::size_t capacity = (static_cast<std::size_t>(data[0]) << 8 | data[1]) % 40000;
    const std::size_t chunk = std::size_t{1} << (data[2] % 16);
    FeedSocket socket(data + 3, size - 3, chunk);
    std::vector<char> line(capacity + 1);
    while (SUCCEEDED(socket.ReadLine(line))) {
        const std::size_t length = std::strlen(line.data());
        if (length > capacity || std::memchr(line.data(), '\n', length) != nullptr)
            std::abort();
    }
    return 0;
}
