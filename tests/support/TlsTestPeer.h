// A certificate made at test time and a TLS server end for the socket tests, on OpenSSL.
#pragma once

#include "tests/support/LoopbackPeer.h"

#include <openssl/ssl.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace testsupport {

// A self-signed certificate for the given subject alternative names ("DNS:localhost,IP:127.0.0.1"),
// with its key; the certificate is also written as a PEM file for the client to trust.
class TestCertificate {
public:
    TestCertificate(const std::string& alternativeNames, const std::string& pemPath);

    X509* Certificate() const { return certificate_.get(); }
    EVP_PKEY* Key() const { return key_.get(); }
    const std::string& PemPath() const { return pemPath_; }

private:
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key_{nullptr, EVP_PKEY_free};
    std::unique_ptr<X509, decltype(&X509_free)> certificate_{nullptr, X509_free};
    std::string pemPath_;
};

// The server side of one accepted connection: clear text first, TLS after Accept.
class ServerEnd {
public:
    ServerEnd(ex2qln::net::SocketHandle socket, const TestCertificate& certificate);
    ServerEnd(const ServerEnd&) = delete;
    ServerEnd& operator=(const ServerEnd&) = delete;
    ~ServerEnd();

    int Descriptor() const { return socket_.Get(); }
    // The TLS handshake as server; false when the client gave up.
    bool AcceptTls();
    bool Write(const std::string& text);
    // Up to and including LF; empty when the connection ends first.
    std::string ReadLine();
    // Sends the close-notify alert.
    void ShutdownTls();

private:
    ex2qln::net::SocketHandle socket_;
    std::unique_ptr<SSL_CTX, decltype(&SSL_CTX_free)> context_{nullptr, SSL_CTX_free};
    std::unique_ptr<SSL, decltype(&SSL_free)> connection_{nullptr, SSL_free};
};

// Accepts one connection on its own thread and runs `script` on it; joined by Join or the destructor.
class ScriptedServer {
public:
    ScriptedServer(const TestCertificate& certificate, std::function<void(ServerEnd&)> script);
    ~ScriptedServer() { Join(); }

    std::uint32_t Port() const { return listener_.Port(); }
    void Join()
    {
        if (thread_.joinable())
            thread_.join();
    }

private:
    LoopbackListener listener_;
    std::thread thread_;
};

// Reads one TLS record (header and body) from `descriptor` as raw bytes.
std::string ReadTlsRecord(int descriptor);

} // namespace testsupport
