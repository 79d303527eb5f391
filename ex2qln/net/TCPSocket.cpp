// CTCPSocket on POSIX sockets: address-by-address connect, raw receive and send, the line reader.
#include "ex2qln/net/TCPSocket.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/diag/PeerText.h"
#include "ex2qln/net/SecurityStatus.h"
#include "ex2qln/net/SocketTexts.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace ex2qln::net {
namespace {

constexpr int kReceiveBufferBytes = 65536;

// Resolver failures become the statuses Windows Sockets gives for them.
HRESULT StatusFromResolverError(int error)
{
    switch (error) {
    case EAI_NONAME:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
    case EAI_SERVICE:
        return kStatusHostNotFound;
    case EAI_AGAIN:
        return kStatusTryAgain;
    case EAI_MEMORY:
        return E_OUTOFMEMORY;
    case EAI_SYSTEM:
        return errno > 0 ? HResultFromErrno(errno) : kStatusNoRecovery;
    default:
        return kStatusNoRecovery;
    }
}

// A receive or send that gave up after the socket's time-out.
bool TimedOut(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

HRESULT StatusFromSocketError(int error) { return TimedOut(error) ? kStatusTimedOut : HResultFromErrno(error); }

// Connects `descriptor`; a signal during the wait lets the connection go on, so wait for its end.
// A connect that outlives the send time-out gives up with EINPROGRESS.
int ConnectDescriptor(int descriptor, const sockaddr* address, socklen_t length)
{
    if (::connect(descriptor, address, length) == 0)
        return 0;
    if (errno != EINTR)
        return errno == EINPROGRESS ? EAGAIN : errno;
    pollfd waiting{descriptor, POLLOUT, 0};
    while (::poll(&waiting, 1, -1) < 0) {
        if (errno != EINTR)
            return errno;
    }
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
        return errno;
    return error;
}

struct AddressListDeleter {
    void operator()(addrinfo* addresses) const { ::freeaddrinfo(addresses); }
};

} // namespace

CTCPSocket::~CTCPSocket()
{
    CTCPSocket::Close();
}

HRESULT CTCPSocket::Fail(HRESULT status, unsigned textNumber, std::initializer_list<TextArgument> arguments)
{
    lastStatus_ = status;
    if (textNumber != 0) {
        lastErrorText_ = FormatLocalizedText(textNumber, arguments);
        if (lastErrorText_.size() >= kErrorTextSize)
            lastErrorText_.resize(kErrorTextSize - 1);
    }
    return status;
}

HRESULT CTCPSocket::Connect(std::string_view host, std::uint32_t port)
{
    Close();
    host_.assign(host);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const std::string service = std::to_string(port & 0xFFFFu);
    addrinfo* found = nullptr;
    const int result = ::getaddrinfo(host_.c_str(), service.c_str(), &hints, &found);
    if (result != 0) {
        const HRESULT status = StatusFromResolverError(result);
        Close();
        return QLN_CHECK(Fail(status, kTextHostNotFound, {host_, status}));
    }
    const std::unique_ptr<addrinfo, AddressListDeleter> addresses(found);
    return ConnectAddresses(addresses.get(), port);
}

void CTCPSocket::SetIoTimeout(std::chrono::milliseconds timeout)
{
    ioTimeout_ = std::max(timeout, std::chrono::milliseconds::zero());
    if (socket_.IsValid())
        ApplyIoTimeout(socket_.Get());
}

void CTCPSocket::ApplyIoTimeout(int descriptor) const
{
    const auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(ioTimeout_).count();
    timeval limit{};
    limit.tv_sec = static_cast<time_t>(microseconds / 1000000);
    limit.tv_usec = static_cast<suseconds_t>(microseconds % 1000000);
    ::setsockopt(descriptor, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

HRESULT CTCPSocket::ConnectAddresses(const addrinfo* addresses, std::uint32_t port)
{
    int lastError = EHOSTUNREACH;
    for (const addrinfo* address = addresses; address != nullptr; address = address->ai_next) {
        SocketHandle candidate(
            ::socket(address->ai_family, address->ai_socktype | SOCK_CLOEXEC, address->ai_protocol));
        if (!candidate.IsValid()) {
            lastError = errno;
            continue;
        }
        ::setsockopt(candidate.Get(), SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes, sizeof kReceiveBufferBytes);
        // Commands and literals go out in several writes each; without this, a write that follows
        // one not yet acknowledged waits for the peer's delayed acknowledgement (40 ms a message).
        const int noDelay = 1;
        ::setsockopt(candidate.Get(), IPPROTO_TCP, TCP_NODELAY, &noDelay, sizeof noDelay);
        ApplyIoTimeout(candidate.Get());
        const int error = ConnectDescriptor(candidate.Get(), address->ai_addr, address->ai_addrlen);
        if (error == 0) {
            socket_ = std::move(candidate);
            return S_OK;
        }
        lastError = error;
    }
    const HRESULT status = StatusFromSocketError(lastError);
    Close();
    return QLN_CHECK(Fail(status, kTextConnectFailed, {host_, port, status}));
}

void CTCPSocket::Close()
{
    if (socket_.IsValid()) {
        ::shutdown(socket_.Get(), SHUT_RDWR);
        socket_.Reset();
    }
    buffered_ = 0;
    holdingOutput_ = false;
    heldOutput_.clear();
}

bool CTCPSocket::IsAlive()
{
    if (!socket_.IsValid())
        return false;
    pollfd readable{socket_.Get(), POLLIN, 0};
    int ready = 0;
    do
        ready = ::poll(&readable, 1, 0);
    while (ready < 0 && errno == EINTR);
    if (ready == 0)
        return true;
    if (ready > 0 && (readable.revents & POLLIN) != 0) {
        char byte = 0;
        const ssize_t peeked = ::recv(socket_.Get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked == 1 || (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)))
            return true;
    }
    Close();
    return false;
}

HRESULT CTCPSocket::Receive(std::span<char> buffer, std::size_t& count)
{
    count = 0;
    if (buffer.empty() && diag::TraceOn(diag::kTraceProtocols))
        diag::Trace("***CTCPSocket::Recv() - empty read attempt!\n");
    if (!socket_.IsValid())
        return Fail(kStatusConnectionClosed, kTextReceiveFailed, {kStatusConnectionClosed});
    ssize_t received = 0;
    do
        received = ::recv(socket_.Get(), buffer.data(), buffer.size(), 0);
    while (received < 0 && errno == EINTR);
    if (received < 0) {
        const HRESULT status = StatusFromSocketError(errno);
        return QLN_CHECK(Fail(status, kTextReceiveFailed, {status}));
    }
    if (received == 0)
        return Fail(kStatusConnectionClosed, kTextReceiveFailed, {kStatusConnectionClosed});
    count = static_cast<std::size_t>(received);
    return S_OK;
}

HRESULT CTCPSocket::ReceiveAvailable(std::span<char> buffer, std::size_t& count)
{
    count = 0;
    if (!socket_.IsValid() || buffer.empty())
        return S_OK;
    ssize_t received = 0;
    do
        received = ::recv(socket_.Get(), buffer.data(), buffer.size(), MSG_DONTWAIT);
    while (received < 0 && errno == EINTR);
    if (received > 0)
        count = static_cast<std::size_t>(received);
    return S_OK;
}

HRESULT CTCPSocket::Send(std::span<const char> bytes, std::size_t& count)
{
    count = 0;
    if (!socket_.IsValid())
        return Fail(kStatusConnectionClosed, kTextSendFailed, {kStatusConnectionClosed});
    if (bytes.empty())
        return S_OK;
    ssize_t sent = 0;
    do
        sent = ::send(socket_.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    if (sent < 0) {
        const HRESULT status = StatusFromSocketError(errno);
        return QLN_CHECK(Fail(status, kTextSendFailed, {status}));
    }
    if (sent == 0)
        return Fail(kStatusConnectionClosed, kTextSendFailed, {kStatusConnectionClosed});
    count = static_cast<std::size_t>(sent);
    return S_OK;
}

HRESULT CTCPSocket::ReadLine(std::span<char> output)
{
    if (output.empty())
        return Fail(E_INVALIDARG, 0);
    const std::size_t capacity = output.size() - 1;
    // An LF ends a line at once. A CR is judged only once the byte after it has arrived, so that
    // a CR LF cut between two receives is not taken for two terminators.
    std::size_t scan = 0;
    for (;;) {
        while (scan < buffered_ && receiveBuffer_[scan] != '\r' && receiveBuffer_[scan] != '\n')
            ++scan;
        const bool terminated = scan < buffered_ && (receiveBuffer_[scan] == '\n' || scan + 1 < buffered_);
        if (terminated) {
            if (scan > capacity)
                return Fail(E_OUTOFMEMORY, kTextInsufficientMemory);
            std::memcpy(output.data(), receiveBuffer_.data(), scan);
            output[scan] = '\0';
            const std::size_t terminator =
                receiveBuffer_[scan] == '\r' && receiveBuffer_[scan + 1] == '\n' ? 2 : 1;
            Consume(scan + terminator);
            return S_OK;
        }
        if (buffered_ == receiveBuffer_.size())
            return Fail(E_OUTOFMEMORY, kTextInsufficientMemory);
        if (!HasPendingInput() && !IsAlive())
            return Fail(kStatusConnectionClosed, 0);
        std::size_t count = 0;
        const HRESULT status = Receive(std::span(receiveBuffer_).subspan(buffered_), count);
        if (FAILED(status)) {
            Close();
            return status == E_OUTOFMEMORY ? Fail(status, kTextInsufficientMemory) : status;
        }
        buffered_ += count;
    }
}

void CTCPSocket::Consume(std::size_t count)
{
    std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + count, buffered_ - count);
    buffered_ -= count;
}

std::size_t CTCPSocket::ReadSome(std::span<char> output)
{
    if (output.empty())
        return 0;
    if (buffered_ == 0) {
        if (!socket_.IsValid())
            return 0;
        std::size_t count = 0;
        if (FAILED(Receive(receiveBuffer_, count))) {
            Close();
            return 0;
        }
        buffered_ = count;
    }
    const std::size_t copied = std::min(output.size(), buffered_);
    std::memcpy(output.data(), receiveBuffer_.data(), copied);
    Consume(copied);
    return copied;
}

std::string_view CTCPSocket::UnreadInput()
{
    if (buffered_ < receiveBuffer_.size()) {
        std::size_t count = 0;
        if (SUCCEEDED(ReceiveAvailable(std::span(receiveBuffer_).subspan(buffered_), count)))
            buffered_ += count;
    }
    return {receiveBuffer_.data(), buffered_};
}

HRESULT CTCPSocket::SendAll(std::string_view bytes, std::size_t& sentCount)
{
    sentCount = 0;
    if (!socket_.IsValid())
        return Fail(kStatusConnectionClosed, kTextSendFailed, {kStatusConnectionClosed});
    const HRESULT status = Send(bytes, sentCount);
    if (FAILED(status))
        Close();
    return status;
}

HRESULT CTCPSocket::SendText(std::string_view text)
{
    if (holdingOutput_) {
        if (!socket_.IsValid())
            return Fail(kStatusConnectionClosed, kTextSendFailed, {kStatusConnectionClosed});
        heldOutput_.append(text);
        if (heldOutput_.size() < kHeldOutputSize)
            return S_OK;
        const HRESULT status = SendHeldOutput();
        holdingOutput_ = SUCCEEDED(status);
        return status;
    }
    std::size_t sent = 0;
    const HRESULT status = SendAll(text, sent);
    if (FAILED(status))
        return status;
    if (sent < text.size())
        return Fail(E_FAIL, kTextSendFailed, {E_FAIL});
    return S_OK;
}

void CTCPSocket::HoldOutput()
{
    holdingOutput_ = true;
    heldOutput_.clear();
    heldOutput_.reserve(kHeldOutputSize);
}

HRESULT CTCPSocket::SendHeldOutput()
{
    holdingOutput_ = false;
    if (!socket_.IsValid())
        return Fail(kStatusConnectionClosed, kTextSendFailed, {kStatusConnectionClosed});
    std::string_view rest = heldOutput_;
    HRESULT status = S_OK;
    while (!rest.empty() && SUCCEEDED(status)) {
        std::size_t sent = 0;
        status = SendAll(rest, sent);
        if (SUCCEEDED(status) && sent == 0)
            status = Fail(E_FAIL, kTextSendFailed, {E_FAIL});
        rest.remove_prefix(std::min(sent, rest.size()));
    }
    heldOutput_.clear();
    return status;
}

HRESULT CTCPSocket::GetErrorText(std::span<char> output) const
{
    if (output.empty())
        return E_FAIL;
    const std::size_t length = std::min(output.size() - 1, lastErrorText_.size());
    std::memcpy(output.data(), lastErrorText_.data(), length);
    output[length] = '\0';
    return lastStatus_;
}

std::string OutOfStepText(std::string_view unread)
{
    // Room for the rest of the text in the clients' 260-byte error texts.
    constexpr std::size_t kShownLength = 160;
    const std::string_view firstLine = unread.substr(0, unread.find_first_of("\r\n"));
    return "Server has sent a reply out of step, before the command was sent: '" +
           diag::EscapeControlCharacters(firstLine, kShownLength) + "'";
}

} // namespace ex2qln::net
