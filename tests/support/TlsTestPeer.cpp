// Test certificates and the scripted TLS server end, written directly on OpenSSL.
#include "tests/support/TlsTestPeer.h"

#include <openssl/pem.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testsupport {
namespace {

// The server end writes with plain write(2): a client that hangs up must not kill the test.
const bool kPipeSignalIgnored = std::signal(SIGPIPE, SIG_IGN) != SIG_ERR;

bool ReadExactly(int descriptor, char* buffer, std::size_t size)
{
    while (size > 0) {
        const ssize_t received = ::recv(descriptor, buffer, size, 0);
        if (received < 0 && errno == EINTR)
            continue;
        if (received <= 0)
            return false;
        buffer += received;
        size -= static_cast<std::size_t>(received);
    }
    return true;
}

} // namespace

TestCertificate::TestCertificate(const std::string& alternativeNames, const std::string& pemPath)
    : pemPath_(pemPath)
{
    (void)kPipeSignalIgnored;
    key_.reset(EVP_EC_gen("P-256"));
    certificate_.reset(X509_new());
    if (!key_ || !certificate_)
        throw std::runtime_error("cannot make a test key");
    X509* certificate = certificate_.get();
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 24 * 3600);
    X509_set_pubkey(certificate, key_.get());
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Quillon test"),
                               -1, -1, 0);
    X509_set_issuer_name(certificate, name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, certificate, certificate, nullptr, nullptr, 0);
    X509_EXTENSION* names = X509V3_EXT_conf_nid(nullptr, &context, NID_subject_alt_name, alternativeNames.c_str());
    if (names == nullptr || X509_add_ext(certificate, names, -1) != 1)
        throw std::runtime_error("cannot add the alternative names");
    X509_EXTENSION_free(names);
    if (X509_sign(certificate, key_.get(), EVP_sha256()) == 0)
        throw std::runtime_error("cannot sign the test certificate");
    std::FILE* file = std::fopen(pemPath.c_str(), "w");
    if (file == nullptr)
        throw std::runtime_error("cannot write " + pemPath);
    const int written = PEM_write_X509(file, certificate);
    std::fclose(file);
    if (written != 1)
        throw std::runtime_error("cannot write " + pemPath);
}

ServerEnd::ServerEnd(ex2qln::net::SocketHandle socket, const TestCertificate& certificate) : socket_(std::move(socket))
{
    context_.reset(SSL_CTX_new(TLS_server_method()));
    if (!context_ || SSL_CTX_use_certificate(context_.get(), certificate.Certificate()) != 1 ||
        SSL_CTX_use_PrivateKey(context_.get(), certificate.Key()) != 1)
        throw std::runtime_error("cannot set up the test server's TLS");
}

ServerEnd::~ServerEnd() = default;

bool ServerEnd::AcceptTls()
{
    connection_.reset(SSL_new(context_.get()));
    SSL_set_fd(connection_.get(), socket_.Get());
    return SSL_accept(connection_.get()) == 1;
}

bool ServerEnd::Write(const std::string& text)
{
    if (!connection_)
        return WriteAll(socket_.Get(), text);
    return SSL_write(connection_.get(), text.data(), static_cast<int>(text.size())) == static_cast<int>(text.size());
}

std::string ServerEnd::ReadLine()
{
    if (!connection_)
        return ReadLineFrom(socket_.Get());
    std::string line;
    char byte = 0;
    while (SSL_read(connection_.get(), &byte, 1) == 1) {
        line += byte;
        if (byte == '\n')
            break;
    }
    return line;
}

void ServerEnd::ShutdownTls()
{
    SSL_shutdown(connection_.get());
}

ScriptedServer::ScriptedServer(const TestCertificate& certificate, std::function<void(ServerEnd&)> script)
{
    thread_ = std::thread([this, &certificate, script = std::move(script)] {
        ServerEnd end(listener_.Accept(), certificate);
        script(end);
    });
}

std::string ReadTlsRecord(int descriptor)
{
    std::string record(5, '\0');
    if (!ReadExactly(descriptor, record.data(), 5))
        return {};
    const std::size_t length = (static_cast<unsigned char>(record[3]) << 8) | static_cast<unsigned char>(record[4]);
    record.resize(5 + length);
    if (!ReadExactly(descriptor, record.data() + 5, length))
        return {};
    return record;
}

} // namespace testsupport
