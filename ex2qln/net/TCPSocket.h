// CTCPSocket: a blocking TCP client connection with its own receive buffer and line reader.
#pragma once

#include "ex2qln/net/SocketHandle.h"
#include "ex2qln/net/TextFormat.h"
#include "ex2qln/net/TlsSettings.h"
#include "platform/base/HResult.h"

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

struct addrinfo;

namespace ex2qln::net {

class CTCPSocket {
public:
    static constexpr std::size_t kReceiveBufferSize = 32768;

    CTCPSocket() = default;
    CTCPSocket(const CTCPSocket&) = delete;
    CTCPSocket& operator=(const CTCPSocket&) = delete;
    virtual ~CTCPSocket();

    // Connects to `host` at `port` (its low 16 bits), trying each resolved address in turn.
    // Any earlier connection is closed first.
    HRESULT Connect(std::string_view host, std::uint32_t port);

    // Bounds each receive and send (and the connect) from now on, also on the open connection: a
    // peer that stays silent for that long fails the call with kStatusTimedOut. 0 waits without end.
    void SetIoTimeout(std::chrono::milliseconds timeout);

    // Shuts the connection down in both directions, closes it and empties the receive buffer.
    virtual void Close();

    // True while the connection is usable; a peer that has closed, or an error, closes it here.
    bool IsAlive();

    // The next line without its terminator (CR LF, CR or LF), zero-terminated into `output`;
    // a line longer than output.size() - 1 bytes fails with 0x8007000E.
    HRESULT ReadLine(std::span<char> output);

    // Up to output.size() buffered bytes, receiving once when none are buffered. 0 when not
    // connected or when receiving failed (the connection is then closed).
    std::size_t ReadSome(std::span<char> output);

    // Takes in, without waiting, what the peer has sent by now, and gives the received bytes that no
    // read has consumed yet (empty when there are none). The protocols ask for one reply at a time,
    // so input that is there before a request is sent answers nothing that was asked.
    std::string_view UnreadInput();

    // One Send of `bytes`; `sentCount` tells how many went out. A failure closes the connection;
    // without a connection the status is 0x80072749.
    HRESULT SendAll(std::string_view bytes, std::size_t& sentCount);

    // SendAll that also fails (0x80004005, text 10001) when fewer bytes went out than asked.
    HRESULT SendText(std::string_view text);

    // From HoldOutput to SendHeldOutput, SendText gathers what it is given (a literal written in
    // small parts) and sends it kHeldOutputSize bytes at a time: a long piece of data costs a few
    // sends, not one each. SendHeldOutput sends the rest; Close drops it (SendHeldOutput then fails
    // as for a closed connection).
    static constexpr std::size_t kHeldOutputSize = 262144;
    void HoldOutput();
    HRESULT SendHeldOutput();

    // Copies at most output.size() - 1 bytes of the last error text; returns the last status, or
    // 0x80004005 when there is no room at all.
    HRESULT GetErrorText(std::span<char> output) const;
    std::string_view LastErrorText() const { return lastErrorText_; }
    HRESULT LastStatus() const { return lastStatus_; }

protected:
    static constexpr std::size_t kErrorTextSize = 1024;

    // Raw: at most buffer.size() bytes, `count` receives how many.
    virtual HRESULT Receive(std::span<char> buffer, std::size_t& count);
    // Raw: the given bytes, `count` receives how many went out.
    virtual HRESULT Send(std::span<const char> bytes, std::size_t& count);
    // Raw, without waiting: what has arrived, at most buffer.size() bytes; `count` 0 when nothing has.
    // A closed connection or an error is left for the next Receive to report.
    virtual HRESULT ReceiveAvailable(std::span<char> buffer, std::size_t& count);

    // True when input that the line reader has not seen yet waits above the socket (decrypted or
    // undecrypted TLS data), so the connection must not be judged by the socket alone.
    virtual bool HasPendingInput() const { return false; }

    // Records `status` and, when `textNumber` is not 0, the formatted localised text.
    HRESULT Fail(HRESULT status, unsigned textNumber, std::initializer_list<TextArgument> arguments = {});

    bool IsConnected() const { return socket_.IsValid(); }
    // Drops the first `count` buffered bytes.
    void Consume(std::size_t count);
    const std::string& Host() const { return host_; }
    // Drops bytes received but not yet consumed.
    void DiscardBuffered() { buffered_ = 0; }
    std::size_t Buffered() const { return buffered_; }

private:
    HRESULT ConnectAddresses(const ::addrinfo* addresses, std::uint32_t port);
    // The time-out as SO_RCVTIMEO and SO_SNDTIMEO of `descriptor`.
    void ApplyIoTimeout(int descriptor) const;

    SocketHandle socket_;
    std::chrono::milliseconds ioTimeout_ = TlsSettings::kDefaultIoTimeout;
    std::string host_;
    HRESULT lastStatus_ = S_OK;
    std::string lastErrorText_;
    std::size_t buffered_ = 0;
    std::array<char, kReceiveBufferSize> receiveBuffer_{};
    bool holdingOutput_ = false;
    std::string heldOutput_;
};

// The error text for input that came before a request was sent, quoting its first line.
std::string OutOfStepText(std::string_view unread);

} // namespace ex2qln::net
