// CTCPSSLSocket: OpenSSL over memory buffers, so all ciphertext passes through the raw Receive and
// Send of CTCPSocket, as the clear-text protocol does.
#include "ex2qln/net/TCPSSLSocket.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/net/SecurityStatus.h"
#include "ex2qln/net/SocketTexts.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <cerrno>
#include <climits>

namespace ex2qln::net {
namespace {

// Plaintext handed to the TLS engine per record.
constexpr std::size_t kMaximumRecordPlaintext = 16384;

// Traces and empties the thread's OpenSSL error queue; returns the first system error in it, or 0.
int DrainOpenSslErrors()
{
    const bool tracing = diag::TraceOn(diag::kTraceProtocols);
    int systemError = 0;
    char text[256];
    while (const unsigned long error = ERR_get_error()) {
        if (systemError == 0 && ERR_SYSTEM_ERROR(error))
            systemError = ERR_GET_REASON(error);
        if (tracing) {
            ERR_error_string_n(error, text, sizeof text);
            diag::Trace("TLS -- %s\n", text);
        }
    }
    return systemError;
}

void TraceOpenSslErrors()
{
    DrainOpenSslErrors();
}

// Why the trust settings could not be loaded: the system error when there is one.
HRESULT CredentialStatus()
{
    const int systemError = DrainOpenSslErrors();
    return systemError > 0 ? HResultFromErrno(systemError) : kSecENoCredentials;
}

HRESULT StatusFromVerifyResult(long result)
{
    switch (result) {
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return kSecEWrongPrincipal;
    case X509_V_ERR_CERT_HAS_EXPIRED:
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return kSecECertExpired;
    default:
        return kSecEUntrustedRoot;
    }
}

bool IsAddressLiteral(const std::string& host)
{
    unsigned char address[sizeof(in6_addr)];
    return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

int ClampToInt(std::size_t size)
{
    return static_cast<int>(std::min<std::size_t>(size, INT_MAX));
}

} // namespace

void CTCPSSLSocket::ContextDeleter::operator()(ssl_ctx_st* context) const
{
    SSL_CTX_free(context);
}

void CTCPSSLSocket::ConnectionDeleter::operator()(ssl_st* connection) const
{
    SSL_free(connection);
}

CTCPSSLSocket::CTCPSSLSocket() : CTCPSSLSocket(DefaultTlsSettings()) {}

CTCPSSLSocket::CTCPSSLSocket(TlsSettings settings) : settings_(std::move(settings))
{
    SetIoTimeout(settings_.ioTimeout);
}

CTCPSSLSocket::~CTCPSSLSocket()
{
    CTCPSSLSocket::Close();
}

HRESULT CTCPSSLSocket::Connect(std::string_view host, std::uint32_t port, bool useTls)
{
    const HRESULT status = CTCPSocket::Connect(host, port);
    if (FAILED(status) || !useTls)
        return status;
    return StartTls();
}

void CTCPSSLSocket::Close()
{
    ShutdownTls();
    CTCPSocket::Close();
}

void CTCPSSLSocket::ShutdownTls()
{
    connection_.reset();
    context_.reset();
    input_ = nullptr;
    output_ = nullptr;
    secure_ = false;
}

HRESULT CTCPSSLSocket::StartTls()
{
    if (!IsConnected())
        return Fail(kStatusConnectionClosed, kTextNegotiationFailed, {kStatusConnectionClosed});
    if (Buffered() > 0) {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("TLS -- %d clear-text bytes dropped before the handshake\n", static_cast<int>(Buffered()));
        DiscardBuffered();
    }
    HRESULT status = CreateConnection();
    if (SUCCEEDED(status))
        status = Handshake();
    // A handshake that did not finish leaves the stream in no usable state.
    if (FAILED(status))
        Close();
    return status;
}

HRESULT CTCPSSLSocket::CreateConnection()
{
    ShutdownTls();
    ERR_clear_error();
    context_.reset(SSL_CTX_new(TLS_client_method()));
    if (!context_)
        return QLN_CHECK(Fail(kSecEInternalError, kTextCredentialsFailed, {kSecEInternalError}));
    SSL_CTX_set_min_proto_version(context_.get(), TLS1_2_VERSION);
    if (settings_.verifyPeer) {
        const bool loaded = settings_.trustedCertificateFile.empty()
                                ? SSL_CTX_set_default_verify_paths(context_.get()) == 1
                                : SSL_CTX_load_verify_locations(context_.get(),
                                                                settings_.trustedCertificateFile.c_str(),
                                                                nullptr) == 1;
        if (!loaded) {
            const HRESULT status = CredentialStatus();
            return QLN_CHECK(Fail(status, kTextCredentialsFailed, {status}));
        }
        // Trusting a file means trusting its certificates themselves, also a server's own one.
        if (!settings_.trustedCertificateFile.empty())
            X509_VERIFY_PARAM_set_flags(SSL_CTX_get0_param(context_.get()), X509_V_FLAG_PARTIAL_CHAIN);
    }
    SSL_CTX_set_verify(context_.get(), settings_.verifyPeer ? SSL_VERIFY_PEER : SSL_VERIFY_NONE, nullptr);

    connection_.reset(SSL_new(context_.get()));
    BIO* input = BIO_new(BIO_s_mem());
    BIO* output = BIO_new(BIO_s_mem());
    if (!connection_ || input == nullptr || output == nullptr) {
        BIO_free(input);
        BIO_free(output);
        return QLN_CHECK(Fail(kSecEInsufficientMemory, kTextInsufficientMemory));
    }
    SSL_set_bio(connection_.get(), input, output);
    input_ = input;
    output_ = output;
    SSL_set_connect_state(connection_.get());

    const std::string& host = Host();
    const bool addressLiteral = IsAddressLiteral(host);
    if (!addressLiteral)
        SSL_set_tlsext_host_name(connection_.get(), host.c_str());
    if (settings_.verifyPeer) {
        X509_VERIFY_PARAM* parameters = SSL_get0_param(connection_.get());
        const int named = addressLiteral ? X509_VERIFY_PARAM_set1_ip_asc(parameters, host.c_str())
                                         : SSL_set1_host(connection_.get(), host.c_str());
        if (named != 1)
            return QLN_CHECK(Fail(kSecEInternalError, kTextCredentialsFailed, {kSecEInternalError}));
    }
    return S_OK;
}

HRESULT CTCPSSLSocket::Handshake()
{
    for (;;) {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("TLS -- in %d\n", static_cast<int>(BIO_ctrl_pending(input_)));
        ERR_clear_error();
        const int result = SSL_do_handshake(connection_.get());
        const int error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(connection_.get(), result);
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("TLS -- out 0x%08x %d/%d %d\n", static_cast<unsigned>(error), 0,
                        static_cast<int>(BIO_ctrl_pending(input_)), static_cast<int>(BIO_ctrl_pending(output_)));
        bool shortSend = false;
        if (result != 1 && error != SSL_ERROR_WANT_READ) {
            // Let the server see our alert; its delivery does not change the outcome.
            FlushOutput(shortSend);
            return HandshakeFailure();
        }
        HRESULT status = FlushOutput(shortSend);
        if (FAILED(status))
            return status;
        if (shortSend)
            return Fail(E_FAIL, kTextNegotiationSendFailed);
        if (result == 1) {
            secure_ = true;
            return S_OK;
        }
        status = ReceiveRecord();
        if (FAILED(status))
            return status;
    }
}

HRESULT CTCPSSLSocket::HandshakeFailure()
{
    const long verifyResult = SSL_get_verify_result(connection_.get());
    TraceOpenSslErrors();
    if (settings_.verifyPeer && verifyResult != X509_V_OK) {
        const HRESULT status = StatusFromVerifyResult(verifyResult);
        return QLN_CHECK(
            Fail(status, kTextCertificateRejected, {X509_verify_cert_error_string(verifyResult), status}));
    }
    return QLN_CHECK(Fail(kSecEIllegalMessage, kTextNegotiationFailed, {kSecEIllegalMessage}));
}

HRESULT CTCPSSLSocket::FlushOutput(bool& shortSend)
{
    shortSend = false;
    while (BIO_ctrl_pending(output_) > 0) {
        const int taken = BIO_read(output_, staging_.data(), ClampToInt(staging_.size()));
        if (taken <= 0)
            return S_OK;
        std::size_t sent = 0;
        const HRESULT status = CTCPSocket::Send(std::span<const char>(staging_.data(), taken), sent);
        if (FAILED(status))
            return status;
        if (sent < static_cast<std::size_t>(taken)) {
            shortSend = true;
            return S_OK;
        }
    }
    return S_OK;
}

HRESULT CTCPSSLSocket::ReceiveRecord()
{
    std::size_t count = 0;
    const HRESULT status = CTCPSocket::Receive(staging_, count);
    if (FAILED(status))
        return status;
    if (BIO_write(input_, staging_.data(), ClampToInt(count)) != ClampToInt(count))
        return Fail(E_OUTOFMEMORY, kTextInsufficientMemory);
    return S_OK;
}

HRESULT CTCPSSLSocket::Receive(std::span<char> buffer, std::size_t& count)
{
    if (!secure_ || buffer.empty())
        return CTCPSocket::Receive(buffer, count);
    count = 0;
    for (;;) {
        ERR_clear_error();
        const int received = SSL_read(connection_.get(), buffer.data(), ClampToInt(buffer.size()));
        if (received > 0) {
            count = static_cast<std::size_t>(received);
            return S_OK;
        }
        const int error = SSL_get_error(connection_.get(), received);
        if (error == SSL_ERROR_ZERO_RETURN) {
            ShutdownTls();
            return Fail(kSecEContextExpired, kTextServerClosedTls, {kSecEContextExpired});
        }
        if (error != SSL_ERROR_WANT_READ) {
            TraceOpenSslErrors();
            return QLN_CHECK(Fail(kSecEOutOfSequence, kTextTlsSequence, {kSecEOutOfSequence}));
        }
        // The engine may owe the server an answer (a key update) before more data comes.
        bool shortSend = false;
        HRESULT status = FlushOutput(shortSend);
        if (SUCCEEDED(status))
            status = ReceiveRecord();
        if (FAILED(status))
            return Fail(status, kTextNoDataToRead, {status});
    }
}

HRESULT CTCPSSLSocket::ReceiveAvailable(std::span<char> buffer, std::size_t& count)
{
    if (!secure_ || buffer.empty())
        return CTCPSocket::ReceiveAvailable(buffer, count);
    count = 0;
    // One raw receive at most, so that a peer that keeps sending cannot keep the caller here.
    std::size_t raw = 0;
    CTCPSocket::ReceiveAvailable(staging_, raw);
    if (raw > 0 && BIO_write(input_, staging_.data(), ClampToInt(raw)) != ClampToInt(raw))
        return Fail(E_OUTOFMEMORY, kTextInsufficientMemory);
    // Records that carry no data (session tickets, key updates) are taken in here without a result;
    // a failure is left for the next Receive, which meets it again.
    ERR_clear_error();
    const int received = SSL_read(connection_.get(), buffer.data(), ClampToInt(buffer.size()));
    if (received > 0)
        count = static_cast<std::size_t>(received);
    ERR_clear_error();
    bool shortSend = false;
    FlushOutput(shortSend);
    return S_OK;
}

HRESULT CTCPSSLSocket::Send(std::span<const char> bytes, std::size_t& count)
{
    if (!secure_)
        return CTCPSocket::Send(bytes, count);
    count = 0;
    while (count < bytes.size()) {
        const std::size_t chunk = std::min(bytes.size() - count, kMaximumRecordPlaintext);
        ERR_clear_error();
        const int written = SSL_write(connection_.get(), bytes.data() + count, static_cast<int>(chunk));
        if (written <= 0) {
            TraceOpenSslErrors();
            return QLN_CHECK(Fail(kSecEInternalError, kTextEncryptFailed, {kSecEInternalError}));
        }
        bool shortSend = false;
        const HRESULT status = FlushOutput(shortSend);
        if (FAILED(status))
            return Fail(status, kTextEncryptFailed, {status});
        if (shortSend)
            return Fail(E_FAIL, kTextEncryptFailed, {E_FAIL});
        count += static_cast<std::size_t>(written);
    }
    return S_OK;
}

bool CTCPSSLSocket::HasPendingInput() const
{
    if (!secure_)
        return false;
    return SSL_pending(connection_.get()) > 0 || BIO_ctrl_pending(input_) > 0;
}

} // namespace ex2qln::net
