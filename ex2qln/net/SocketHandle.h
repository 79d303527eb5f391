// Owner of one POSIX socket descriptor.
#pragma once

#include <unistd.h>

#include <utility>

namespace ex2qln::net {

class SocketHandle {
public:
    SocketHandle() = default;
    explicit SocketHandle(int descriptor) : descriptor_(descriptor) {}
    SocketHandle(SocketHandle&& other) noexcept : descriptor_(std::exchange(other.descriptor_, -1)) {}
    SocketHandle& operator=(SocketHandle&& other) noexcept
    {
        if (this != &other)
            Reset(std::exchange(other.descriptor_, -1));
        return *this;
    }
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;
    ~SocketHandle() { Reset(); }

    bool IsValid() const { return descriptor_ >= 0; }
    int Get() const { return descriptor_; }

    // Closes the descriptor held, if any, and takes `descriptor` instead.
    void Reset(int descriptor = -1)
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
        descriptor_ = descriptor;
    }

private:
    int descriptor_ = -1;
};

} // namespace ex2qln::net
