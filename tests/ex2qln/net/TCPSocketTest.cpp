// The clear-text socket against a loopback peer driven by the test: line reader, connect failures,
// liveness, raw reads and sends.
#include "ex2qln/net/TCPSocket.h"

#include "ex2qln/net/SecurityStatus.h"
#include "tests/support/LoopbackPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <thread>
#include <vector>

namespace ex2qln::net {
namespace {

using testsupport::LoopbackListener;
using testsupport::WriteAll;

std::string Hex(HRESULT status)
{
    char text[16];
    std::snprintf(text, sizeof text, "%#x", static_cast<unsigned>(status));
    return text;
}

// Receives at most the next scripted number of bytes per call, so the test decides where the
// received data is cut.
class ChunkedSocket : public CTCPSocket {
public:
    explicit ChunkedSocket(std::vector<std::size_t> chunks) : chunks_(chunks.begin(), chunks.end()) {}

protected:
    HRESULT Receive(std::span<char> buffer, std::size_t& count) override
    {
        if (!chunks_.empty()) {
            buffer = buffer.first(std::min(buffer.size(), chunks_.front()));
            chunks_.pop_front();
        }
        return CTCPSocket::Receive(buffer, count);
    }

private:
    std::deque<std::size_t> chunks_;
};

struct ExpectedLine {
    HRESULT status;
    std::string line;   // when the status is S_OK
    std::string text;   // the error text when not empty
};

struct LineCase {
    const char* name;
    std::string sent;
    bool peerCloses;
    std::vector<std::size_t> chunks;
    std::size_t capacity;
    std::vector<ExpectedLine> expected;
};

const std::string kOutOfMemoryText = "Insufficient memory";

std::vector<LineCase> LineCases()
{
    const std::size_t full = CTCPSocket::kReceiveBufferSize;
    const HRESULT closed = kStatusConnectionClosed;
    return {
        {"CR LF ends a line", "abc\r\n", false, {}, 100, {{S_OK, "abc", ""}}},
        {"CR judged once the LF arrives", "abc\r\ndef\r\n", false, {4, 1}, 100,
         {{S_OK, "abc", ""}, {S_OK, "def", ""}}},
        {"LF as the last byte received ends the line at once", "abc\n", false, {}, 100, {{S_OK, "abc", ""}}},
        {"CR as the last byte received waits for the next", "abc\r\ndef\n", false, {4}, 100,
         {{S_OK, "abc", ""}, {S_OK, "def", ""}}},
        {"two CR LF give two empty lines", "\r\n\r\nend\r\n", false, {}, 100,
         {{S_OK, "", ""}, {S_OK, "", ""}, {S_OK, "end", ""}}},
        {"bare LF and bare CR", "a\nb\rc\r\n", false, {}, 100, {{S_OK, "a", ""}, {S_OK, "b", ""}, {S_OK, "c", ""}}},
        {"LF CR is two terminators", "a\n\rb\r\n", false, {}, 100,
         {{S_OK, "a", ""}, {S_OK, "", ""}, {S_OK, "b", ""}}},
        {"CR CR LF", "a\r\r\nb\r\n", false, {}, 100, {{S_OK, "a", ""}, {S_OK, "", ""}, {S_OK, "b", ""}}},
        {"line of exactly the capacity", "12345\r\n", false, {}, 5, {{S_OK, "12345", ""}}},
        {"one byte over the capacity", "123456\r\n", false, {}, 5, {{E_OUTOFMEMORY, "", kOutOfMemoryText}}},
        {"full buffer without terminator", std::string(full, 'x'), false, {}, full,
         {{E_OUTOFMEMORY, "", kOutOfMemoryText}}},
        {"longest line the buffer holds", std::string(full - 2, 'x') + "\r\n", false, {}, full,
         {{S_OK, std::string(full - 2, 'x'), ""}}},
        {"peer closes mid-line", "abc", true, {}, 100, {{closed, "", ""}}},
        // A CR is only judged with a byte after it, so a last line cut short this way is never returned.
        {"peer closes after a CR", "abc\r", true, {}, 100, {{closed, "", ""}}},
        {"peer closes after an LF", "abc\n", true, {}, 100, {{S_OK, "abc", ""}, {closed, "", ""}}},
        {"peer closes after a whole line", "abc\r\n", true, {}, 100, {{S_OK, "abc", ""}, {closed, "", ""}}},
    };
}

TEST(TCPSocketReadLine, Cases)
{
    for (const LineCase& example : LineCases()) {
        SCOPED_TRACE(example.name);
        LoopbackListener listener;
        ChunkedSocket socket(example.chunks);
        socket.SetIoTimeout(std::chrono::seconds(2));
        ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
        SocketHandle peer = listener.Accept();
        ASSERT_TRUE(WriteAll(peer.Get(), example.sent));
        if (example.peerCloses)
            peer.Reset();
        std::vector<char> line(example.capacity + 1);
        for (const ExpectedLine& expected : example.expected) {
            const HRESULT status = socket.ReadLine(line);
            ASSERT_EQ(status, expected.status) << Hex(status);
            if (status == S_OK) {
                EXPECT_EQ(std::string(line.data()), expected.line);
            }
            if (!expected.text.empty()) {
                EXPECT_EQ(socket.LastErrorText(), expected.text);
            }
        }
        if (example.peerCloses) {
            EXPECT_FALSE(socket.IsAlive());
        }
    }
}

TEST(TCPSocketConnect, RefusedPortNamesHostPortAndStatus)
{
    LoopbackListener listener;
    const std::uint32_t port = listener.Port();
    listener.Close();
    CTCPSocket socket;
    const HRESULT status = socket.Connect("127.0.0.1", port);
    EXPECT_EQ(status, HResultFromErrno(ECONNREFUSED));
    EXPECT_EQ(socket.LastErrorText(),
              "Unable to connect to host: 127.0.0.1:" + std::to_string(port) + " [0x8007006f]");
    EXPECT_EQ(socket.LastStatus(), status);
    EXPECT_FALSE(socket.IsAlive());
}

TEST(TCPSocketConnect, UnknownHostNamesTheHost)
{
    CTCPSocket socket;
    EXPECT_EQ(socket.Connect("host.invalid", 106), kStatusHostNotFound);
    EXPECT_EQ(socket.LastErrorText(), "Host not found: host.invalid [0x80072af9]");
    EXPECT_FALSE(socket.IsAlive());
}

TEST(TCPSocketConnect, UsesTheLowSixteenBitsOfThePort)
{
    LoopbackListener listener;
    CTCPSocket socket;
    EXPECT_EQ(socket.Connect("127.0.0.1", listener.Port() | 0x50000u), S_OK);
    EXPECT_TRUE(listener.Accept().IsValid());
}

TEST(TCPSocket, ConnectsAgainAfterClose)
{
    LoopbackListener listener;
    CTCPSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle first = listener.Accept();
    socket.Close();
    EXPECT_FALSE(socket.IsAlive());
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle second = listener.Accept();
    ASSERT_TRUE(WriteAll(second.Get(), "again\r\n"));
    char line[16];
    ASSERT_EQ(socket.ReadLine(line), S_OK);
    EXPECT_STREQ(line, "again");
}

TEST(TCPSocket, IsAliveUntilThePeerCloses)
{
    LoopbackListener listener;
    CTCPSocket socket;
    EXPECT_FALSE(socket.IsAlive());
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    EXPECT_TRUE(socket.IsAlive());
    ASSERT_TRUE(WriteAll(peer.Get(), "x"));
    EXPECT_TRUE(socket.IsAlive()) << "unread data is no reason to give up";
    peer.Reset();
    char byte[2];
    ASSERT_EQ(socket.ReadSome(byte), 1u);
    EXPECT_FALSE(socket.IsAlive());
    EXPECT_EQ(socket.SendText("late\r\n"), kStatusConnectionClosed);
}

TEST(TCPSocket, ReadSomeTakesBufferedBytesFirstThenReceivesOnce)
{
    LoopbackListener listener;
    CTCPSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    ASSERT_TRUE(WriteAll(peer.Get(), "line\r\nrest"));
    char line[16];
    ASSERT_EQ(socket.ReadLine(line), S_OK);
    char some[3];
    ASSERT_EQ(socket.ReadSome(some), 3u);
    EXPECT_EQ(std::string(some, 3), "res");
    ASSERT_EQ(socket.ReadSome(some), 1u);
    EXPECT_EQ(some[0], 't');
    ASSERT_TRUE(WriteAll(peer.Get(), "more"));
    char more[16];
    ASSERT_EQ(socket.ReadSome(more), 4u);
    EXPECT_EQ(std::string(more, 4), "more");
    peer.Reset();
    EXPECT_EQ(socket.ReadSome(more), 0u);
    EXPECT_FALSE(socket.IsAlive());
    EXPECT_EQ(socket.LastErrorText(), "Error while receiving data through socket [0x80072749]");
}

TEST(TCPSocket, SendTextReachesThePeer)
{
    LoopbackListener listener;
    CTCPSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    ASSERT_EQ(socket.SendText("NOOP\r\n"), S_OK);
    socket.Close();
    EXPECT_EQ(testsupport::ReadToEnd(peer.Get()), "NOOP\r\n");
}

// Records the size of each send that reaches the socket.
class CountingSocket : public CTCPSocket {
public:
    std::vector<std::size_t> sends;

protected:
    HRESULT Send(std::span<const char> bytes, std::size_t& count) override
    {
        sends.push_back(bytes.size());
        return CTCPSocket::Send(bytes, count);
    }
};

TEST(TCPSocket, HeldOutputLeavesInLargeSendsInOrder)
{
    LoopbackListener listener;
    CountingSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    const std::size_t held = CTCPSocket::kHeldOutputSize;
    // Two full sends and a part of a third.
    const std::size_t pieces = 2 * held / 4096 + 8;
    std::string expected;
    socket.HoldOutput();
    for (std::size_t piece = 0; piece < pieces; ++piece) {
        const std::string bytes(4096, static_cast<char>('a' + piece % 26));
        ASSERT_EQ(socket.SendText(bytes), S_OK);
        expected += bytes;
    }
    ASSERT_EQ(socket.SendText("\r\n"), S_OK);
    expected += "\r\n";
    ASSERT_EQ(socket.SendHeldOutput(), S_OK);
    ASSERT_EQ(socket.SendText("after\r\n"), S_OK);  // no longer held
    expected += "after\r\n";
    EXPECT_EQ(socket.sends, (std::vector<std::size_t>{held, held, 8 * 4096 + 2, 7}));
    socket.Close();
    EXPECT_TRUE(testsupport::ReadToEnd(peer.Get()) == expected);
}

TEST(TCPSocket, HeldOutputIsDroppedWithTheConnection)
{
    LoopbackListener listener;
    CountingSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    socket.HoldOutput();
    ASSERT_EQ(socket.SendText("half a literal"), S_OK);
    socket.Close();
    EXPECT_EQ(socket.SendHeldOutput(), kStatusConnectionClosed);
    EXPECT_TRUE(socket.sends.empty());
    EXPECT_EQ(testsupport::ReadToEnd(peer.Get()), "");
}

TEST(TCPSocket, SendingWithoutConnectionFailsAsClosed)
{
    CTCPSocket socket;
    std::size_t sent = 99;
    EXPECT_EQ(socket.SendAll("x", sent), kStatusConnectionClosed);
    EXPECT_EQ(sent, 0u);
    EXPECT_EQ(socket.LastErrorText(), "Error while sending data through socket [0x80072749]");
}

TEST(TCPSocketTimeout, SilentPeerFailsTheReadAndClosesTheConnection)
{
    LoopbackListener listener;
    CTCPSocket socket;
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    socket.SetIoTimeout(std::chrono::milliseconds(200));
    ASSERT_TRUE(WriteAll(peer.Get(), "partial line"));
    char line[64];
    EXPECT_EQ(socket.ReadLine(line), kStatusTimedOut);
    EXPECT_EQ(socket.LastErrorText(), "Error while receiving data through socket [0x8007274c]");
    EXPECT_FALSE(socket.IsAlive());
}

TEST(TCPSocketTimeout, PeerThatStopsReadingFailsTheSend)
{
    LoopbackListener listener;
    CTCPSocket socket;
    socket.SetIoTimeout(std::chrono::milliseconds(200));
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    // The first sends fill both sides' buffers (the one that fills them goes out in part); the
    // next one can move nothing and gives up.
    const std::string block(1 << 20, 'x');
    HRESULT status = S_OK;
    for (int attempt = 0; attempt < 1000 && SUCCEEDED(status); ++attempt) {
        std::size_t sent = 0;
        status = socket.SendAll(block, sent);
    }
    EXPECT_EQ(status, kStatusTimedOut);
    EXPECT_EQ(socket.LastErrorText(), "Error while sending data through socket [0x8007274c]");
    EXPECT_FALSE(socket.IsAlive());
}

// UnreadInput until something has come, for at most two seconds.
std::string WaitForUnreadInput(CTCPSocket& socket)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    std::string_view unread = socket.UnreadInput();
    while (unread.empty() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        unread = socket.UnreadInput();
    }
    return std::string(unread);
}

TEST(TCPSocket, UnreadInputGivesWhatCameUnaskedAndKeepsItForTheNextRead)
{
    LoopbackListener listener;
    CTCPSocket socket;
    socket.SetIoTimeout(std::chrono::seconds(2));
    ASSERT_EQ(socket.Connect("127.0.0.1", listener.Port()), S_OK);
    SocketHandle peer = listener.Accept();
    EXPECT_EQ(socket.UnreadInput(), "");
    ASSERT_TRUE(WriteAll(peer.Get(), "a\r\nb\r\n"));
    char line[16];
    ASSERT_EQ(socket.ReadLine(line), S_OK);
    EXPECT_STREQ(line, "a");
    EXPECT_EQ(socket.UnreadInput(), "b\r\n");
    ASSERT_EQ(socket.ReadLine(line), S_OK);
    EXPECT_STREQ(line, "b");
    EXPECT_EQ(socket.UnreadInput(), "");
    // Not received yet when the peer sends it: taken in without waiting.
    ASSERT_TRUE(WriteAll(peer.Get(), "late\r\n"));
    EXPECT_EQ(WaitForUnreadInput(socket), "late\r\n");
    ASSERT_EQ(socket.ReadLine(line), S_OK);
    EXPECT_STREQ(line, "late");
    peer.Reset();
    EXPECT_EQ(socket.UnreadInput(), "");
    EXPECT_FALSE(socket.IsAlive());
}

TEST(TCPSocket, GetErrorTextCutsToTheRoomGiven)
{
    CTCPSocket socket;
    socket.Connect("host.invalid", 106);
    char small[6];
    EXPECT_EQ(socket.GetErrorText(small), kStatusHostNotFound);
    EXPECT_STREQ(small, "Host ");
    EXPECT_EQ(socket.GetErrorText(std::span<char>()), E_FAIL);
}

} // namespace
} // namespace ex2qln::net
