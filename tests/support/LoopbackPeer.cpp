// Loopback listener and blocking read and write helpers for the socket tests.
#include "tests/support/LoopbackPeer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>

namespace testsupport {

LoopbackListener::LoopbackListener() : socket_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!socket_.IsValid() || ::bind(socket_.Get(), reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        ::listen(socket_.Get(), 8) != 0 ||
        ::getsockname(socket_.Get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("cannot listen on 127.0.0.1");
    port_ = ntohs(address.sin_port);
}

ex2qln::net::SocketHandle LoopbackListener::Accept()
{
    int accepted = -1;
    do
        accepted = ::accept4(socket_.Get(), nullptr, nullptr, SOCK_CLOEXEC);
    while (accepted < 0 && errno == EINTR);
    return ex2qln::net::SocketHandle(accepted);
}

bool WriteAll(int descriptor, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::send(descriptor, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::string ReadLineFrom(int descriptor)
{
    std::string line;
    char byte = 0;
    while (::recv(descriptor, &byte, 1, 0) == 1) {
        line += byte;
        if (byte == '\n')
            break;
    }
    return line;
}

std::string ReadToEnd(int descriptor)
{
    std::string all;
    char buffer[4096];
    for (;;) {
        const ssize_t received = ::recv(descriptor, buffer, sizeof buffer, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return all;
        all.append(buffer, static_cast<std::size_t>(received));
    }
}

} // namespace testsupport
