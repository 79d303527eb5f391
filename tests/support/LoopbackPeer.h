// The far end of a test connection: a listener on 127.0.0.1 and the accepted socket it yields.
#pragma once

#include "ex2qln/net/SocketHandle.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace testsupport {

class LoopbackListener {
public:
    // Listens on 127.0.0.1 at a port the system chooses.
    LoopbackListener();

    std::uint32_t Port() const { return port_; }
    // Waits for the next connection.
    ex2qln::net::SocketHandle Accept();
    // Stops listening; the port then refuses connections.
    void Close() { socket_.Reset(); }

private:
    ex2qln::net::SocketHandle socket_;
    std::uint32_t port_ = 0;
};

// Writes all of `bytes` to `descriptor`; false on failure.
bool WriteAll(int descriptor, std::string_view bytes);

// Reads up to and including the next LF; the text read so far when the peer closes first.
std::string ReadLineFrom(int descriptor);

// Reads until the peer closes; everything read.
std::string ReadToEnd(int descriptor);

} // namespace testsupport
