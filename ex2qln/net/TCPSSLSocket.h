// CTCPSSLSocket: CTCPSocket with TLS (OpenSSL) at connect time or later on request.
#pragma once

#include "ex2qln/net/TCPSocket.h"
#include "ex2qln/net/TlsSettings.h"

#include <array>
#include <memory>

struct ssl_ctx_st;
struct ssl_st;
struct bio_st;

namespace ex2qln::net {

class CTCPSSLSocket : public CTCPSocket {
public:
    // Size of the staging buffer for received, not yet decrypted data.
    static constexpr std::size_t kTlsInputSize = 18453;

    CTCPSSLSocket();
    explicit CTCPSSLSocket(TlsSettings settings);
    ~CTCPSSLSocket() override;

    // Connects, and with `useTls` runs the TLS handshake at once.
    HRESULT Connect(std::string_view host, std::uint32_t port, bool useTls);

    // The TLS handshake on the connected socket (after the protocol's STLS or STARTTLS). Bytes
    // still buffered from the clear-text phase are dropped: nothing the server sent before the
    // handshake may pass for protected data.
    HRESULT StartTls();

    // Shuts TLS down (without a close-notify), then closes the connection.
    void Close() override;

    bool IsSecure() const { return secure_; }

protected:
    HRESULT Receive(std::span<char> buffer, std::size_t& count) override;
    HRESULT Send(std::span<const char> bytes, std::size_t& count) override;
    HRESULT ReceiveAvailable(std::span<char> buffer, std::size_t& count) override;
    bool HasPendingInput() const override;

private:
    struct ContextDeleter {
        void operator()(ssl_ctx_st* context) const;
    };
    struct ConnectionDeleter {
        void operator()(ssl_st* connection) const;
    };

    HRESULT CreateConnection();
    HRESULT Handshake();
    HRESULT HandshakeFailure();
    // Sends everything the TLS engine has written; `shortSend` tells a send that fell short.
    HRESULT FlushOutput(bool& shortSend);
    // One raw receive into the TLS engine.
    HRESULT ReceiveRecord();
    void ShutdownTls();

    TlsSettings settings_;
    bool secure_ = false;
    std::unique_ptr<ssl_ctx_st, ContextDeleter> context_;
    std::unique_ptr<ssl_st, ConnectionDeleter> connection_;
    bio_st* input_ = nullptr;   // owned by connection_: ciphertext from the server
    bio_st* output_ = nullptr;  // owned by connection_: ciphertext for the server
    std::array<char, kTlsInputSize> staging_{};
};

} // namespace ex2qln::net
