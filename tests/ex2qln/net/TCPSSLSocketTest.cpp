// TLS at connect and on request against a test server with a certificate made at test time;
// certificate checks and their texts.
#include "ex2qln/net/TCPSSLSocket.h"

#include "ex2qln/diag/LocalizedText.h"
#include "ex2qln/net/SecurityStatus.h"
#include "ex2qln/net/SocketTexts.h"
#include "tests/support/TemporaryDirectory.h"
#include "tests/support/TlsTestPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace ex2qln::net {
namespace {

using testsupport::ScriptedServer;
using testsupport::ServerEnd;
using testsupport::TestCertificate;

const std::string kVerificationAdvice =
    ". Trust a certificate file with --tls-ca=<file>, or turn the check off with --tls-no-verify";

class TlsSocketTest : public ::testing::Test {
protected:
    TlsSocketTest()
        : certificate_("DNS:localhost,IP:127.0.0.1", directory_.File("server.pem"))
    {
    }

    TlsSettings Trusting() const { return {true, certificate_.PemPath()}; }

    std::string ReadLine(CTCPSSLSocket& socket, HRESULT expected = S_OK)
    {
        char line[256] = {};
        EXPECT_EQ(socket.ReadLine(line), expected) << socket.LastErrorText();
        return line;
    }

    testsupport::TemporaryDirectory directory_;
    TestCertificate certificate_;
};

// Greets over TLS, answers one line, then ends TLS with a close-notify.
void EchoOnce(ServerEnd& end)
{
    if (!end.AcceptTls())
        return;
    end.Write("hello\r\n");
    const std::string line = end.ReadLine();
    end.Write("echo " + std::to_string(line.size()) + " " + line.substr(0, 10) + "\r\n");
    end.ShutdownTls();
}

TEST_F(TlsSocketTest, TlsAtConnectVerifiesNameOrAddressAndEchoes)
{
    for (const char* host : {"localhost", "127.0.0.1"}) {
        SCOPED_TRACE(host);
        ScriptedServer server(certificate_, EchoOnce);
        CTCPSSLSocket socket(Trusting());
        ASSERT_EQ(socket.Connect(host, server.Port(), true), S_OK) << socket.LastErrorText();
        EXPECT_TRUE(socket.IsSecure());
        EXPECT_EQ(ReadLine(socket), "hello");
        // Longer than one TLS record, so the text goes out in several.
        const std::string longLine(40000, 'q');
        ASSERT_EQ(socket.SendText(longLine + "\r\n"), S_OK);
        EXPECT_EQ(ReadLine(socket), "echo 40002 qqqqqqqqqq");
        EXPECT_EQ(ReadLine(socket, kSecEContextExpired), "");
        EXPECT_EQ(socket.LastErrorText(),
                  "SSL/TLS decryption failed: the server has closed the connection [0x80090317]");
        EXPECT_FALSE(socket.IsSecure());
        EXPECT_FALSE(socket.IsAlive());
    }
}

TEST_F(TlsSocketTest, StartTlsAfterClearTextDropsWhatCameBeforeTheHandshake)
{
    ScriptedServer server(certificate_, [](ServerEnd& end) {
        end.Write("200 ready\r\n");
        if (end.ReadLine() != "STLS\r\n")
            return;
        // The extra line arrives with the reply, before the handshake: it must not count as protected.
        end.Write("200 begin TLS\r\ninjected\r\n");
        if (!end.AcceptTls())
            return;
        end.Write("secret\r\n");
        end.ReadLine();
    });
    CTCPSSLSocket socket(Trusting());
    ASSERT_EQ(socket.Connect("localhost", server.Port(), false), S_OK);
    EXPECT_FALSE(socket.IsSecure());
    EXPECT_EQ(ReadLine(socket), "200 ready");
    ASSERT_EQ(socket.SendText("STLS\r\n"), S_OK);
    EXPECT_EQ(ReadLine(socket), "200 begin TLS");
    ASSERT_EQ(socket.StartTls(), S_OK) << socket.LastErrorText();
    EXPECT_TRUE(socket.IsSecure());
    EXPECT_EQ(ReadLine(socket), "secret");
    EXPECT_EQ(socket.SendText("QUIT\r\n"), S_OK);
}

TEST_F(TlsSocketTest, LinesDecryptedAheadSurviveThePeerClosing)
{
    ScriptedServer server(certificate_, [](ServerEnd& end) {
        if (!end.AcceptTls())
            return;
        end.Write("one\r\n");
        end.Write("two\r\n");
    });
    CTCPSSLSocket socket(Trusting());
    ASSERT_EQ(socket.Connect("localhost", server.Port(), true), S_OK) << socket.LastErrorText();
    // Both records and the end of the connection are waiting before the first read.
    server.Join();
    EXPECT_EQ(ReadLine(socket), "one");
    EXPECT_EQ(ReadLine(socket), "two");
    EXPECT_TRUE(FAILED(socket.ReadLine(std::span<char>(std::array<char, 8>{}.data(), 8))));
}

TEST_F(TlsSocketTest, UnreadInputIsApplicationDataOnly)
{
    std::atomic<bool> lineRead = false;
    std::atomic<bool> checked = false;
    ScriptedServer server(certificate_, [&](ServerEnd& end) {
        // The handshake's end sends session tickets, records that carry no data.
        if (!end.AcceptTls() || end.ReadLine() != "hi\r\n")
            return;
        lineRead = true;
        while (!checked)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        end.Write("unasked\r\n");
        end.ReadLine();
    });
    CTCPSSLSocket socket(Trusting());
    ASSERT_EQ(socket.Connect("localhost", server.Port(), true), S_OK) << socket.LastErrorText();
    ASSERT_EQ(socket.SendText("hi\r\n"), S_OK);
    while (!lineRead)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(socket.UnreadInput(), "");
    checked = true;
    std::string unread;
    for (int attempt = 0; attempt < 200 && unread.empty(); ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        unread = socket.UnreadInput();
    }
    EXPECT_EQ(unread, "unasked\r\n");
    EXPECT_EQ(ReadLine(socket), "unasked");
    EXPECT_EQ(socket.SendText("bye\r\n"), S_OK);
}

TEST_F(TlsSocketTest, RejectedCertificatesNameTheReasonAndTheOptions)
{
    if (diag::ErrorText(kTextCertificateRejected).empty())
        GTEST_SKIP() << "the string table has no text " << kTextCertificateRejected << " yet";
    const TestCertificate otherName("DNS:other.example", directory_.File("other.pem"));
    struct RejectCase {
        const char* name;
        const TestCertificate& served;
        TlsSettings settings;
        HRESULT status;
        std::string reason;
    };
    const std::vector<RejectCase> cases = {
        {"not in the system's trust store", certificate_, {}, kSecEUntrustedRoot, "self-signed certificate"},
        {"trusted, for another name", otherName, {true, otherName.PemPath()}, kSecEWrongPrincipal,
         "hostname mismatch"},
        {"trusted file holds another certificate", otherName, Trusting(), kSecEUntrustedRoot,
         "self-signed certificate"},
    };
    for (const RejectCase& example : cases) {
        SCOPED_TRACE(example.name);
        std::atomic<bool> serverAccepted = true;
        ScriptedServer server(example.served, [&](ServerEnd& end) { serverAccepted = end.AcceptTls(); });
        CTCPSSLSocket socket(example.settings);
        EXPECT_EQ(socket.Connect("localhost", server.Port(), true), example.status);
        char expectedStatus[16];
        std::snprintf(expectedStatus, sizeof expectedStatus, "%#x", static_cast<unsigned>(example.status));
        EXPECT_EQ(socket.LastErrorText(), "Server certificate verification failed: " + example.reason +
                                              kVerificationAdvice + " [" + expectedStatus + "]");
        EXPECT_FALSE(socket.IsAlive());
        server.Join();
        EXPECT_FALSE(serverAccepted);
    }
}

TEST_F(TlsSocketTest, NoVerifyAcceptsAnyCertificate)
{
    const TestCertificate otherName("DNS:other.example", directory_.File("other.pem"));
    ScriptedServer server(otherName, EchoOnce);
    CTCPSSLSocket socket(TlsSettings{false, ""});
    ASSERT_EQ(socket.Connect("localhost", server.Port(), true), S_OK) << socket.LastErrorText();
    EXPECT_EQ(ReadLine(socket), "hello");
    ASSERT_EQ(socket.SendText("x\r\n"), S_OK);
}

TEST_F(TlsSocketTest, DefaultSettingsComeFromTheProcessWideOnes)
{
    ScriptedServer server(certificate_, EchoOnce);
    SetDefaultTlsSettings(Trusting());
    CTCPSSLSocket socket;
    SetDefaultTlsSettings({});
    ASSERT_EQ(socket.Connect("localhost", server.Port(), true), S_OK) << socket.LastErrorText();
    EXPECT_EQ(ReadLine(socket), "hello");
    ASSERT_EQ(socket.SendText("x\r\n"), S_OK);
}

TEST_F(TlsSocketTest, StalledHandshakeEndsAtTheTimeOutOfTheSettings)
{
    // The server takes the connection and never answers the client's hello.
    testsupport::LoopbackListener listener;
    CTCPSSLSocket socket(TlsSettings{true, certificate_.PemPath(), std::chrono::milliseconds(200)});
    EXPECT_EQ(socket.Connect("localhost", listener.Port(), true), kStatusTimedOut);
    EXPECT_EQ(socket.LastErrorText(), "Error while receiving data through socket [0x8007274c]");
    EXPECT_FALSE(socket.IsAlive());
}

TEST_F(TlsSocketTest, MissingTrustFileFailsAcquiringCredentials)
{
    testsupport::LoopbackListener listener;
    CTCPSSLSocket socket(TlsSettings{true, directory_.File("missing.pem")});
    EXPECT_EQ(socket.Connect("localhost", listener.Port(), true), HResultFromErrno(ENOENT));
    EXPECT_EQ(socket.LastErrorText(), "Acquiring credentials failed [0x80070002]");
    EXPECT_FALSE(socket.IsAlive());
}

TEST_F(TlsSocketTest, ServerClosingDuringTheHandshake)
{
    ScriptedServer server(certificate_, [](ServerEnd& end) { testsupport::ReadTlsRecord(end.Descriptor()); });
    CTCPSSLSocket socket(Trusting());
    EXPECT_EQ(socket.Connect("localhost", server.Port(), true), kStatusConnectionClosed);
    EXPECT_EQ(socket.LastErrorText(), "Error while receiving data through socket [0x80072749]");
    EXPECT_FALSE(socket.IsAlive());
}

TEST_F(TlsSocketTest, ServerAnsweringInClearText)
{
    ScriptedServer server(certificate_, [](ServerEnd& end) {
        testsupport::ReadTlsRecord(end.Descriptor());
        testsupport::WriteAll(end.Descriptor(), "500 this port speaks no TLS\r\n");
        testsupport::ReadToEnd(end.Descriptor());
    });
    CTCPSSLSocket socket(Trusting());
    EXPECT_EQ(socket.Connect("localhost", server.Port(), true), kSecEIllegalMessage);
    EXPECT_EQ(socket.LastErrorText(), "Security context negotiations failed [0x80090326]");
    EXPECT_FALSE(socket.IsAlive());
}

} // namespace
} // namespace ex2qln::net
