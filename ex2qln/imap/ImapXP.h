// CImapXP: the client side of one IMAP connection to the server, with its command lock and idle logout.
#pragma once

#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/imap/ImapResponseParser.h"
#include "ex2qln/imap/ServerFeatures.h"
#include "ex2qln/net/TCPSSLSocket.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>

namespace ex2qln::login {
class CPasswordDlg;
}

namespace ex2qln::imap {

struct ImapClientOptions {
    // Without a command lock taken or released for this long, the connection logs itself out.
    std::chrono::milliseconds idleTime{15000};
    // Where the password prompt asks (the controlling terminal unless a test names another).
    std::string passwordTerminal = "/dev/tty";
    // How TLS checks the server; the program's default settings when not given.
    std::optional<net::TlsSettings> tlsSettings{};
    // The IMAP port on which TLS starts with the first byte and STARTTLS is not used. Tests point it
    // at a stand-in's port, as no test can listen on the real one.
    std::uint32_t implicitTlsPort = 993;
};

class CImapXP {
public:
    static constexpr std::uint32_t kDefaultPort = 143;
    static constexpr std::size_t kLineBufferSize = 65536;
    static constexpr std::size_t kErrorTextSize = 1024;
    // Longest command text: the line buffer less the tag, the blank, CR LF and the terminating zero.
    static constexpr std::size_t kMaximumCommandText = kLineBufferSize - 9 - 3;

    // Response lists are allocated with `allocateBuffer` and `allocateMore` and freed with
    // `freeBuffer` (the MAPI allocation functions).
    CImapXP(LPALLOCATEBUFFER allocateBuffer, LPALLOCATEMORE allocateMore, LPFREEBUFFER freeBuffer,
            ImapClientOptions options = {});
    CImapXP(const CImapXP&) = delete;
    CImapXP& operator=(const CImapXP&) = delete;
    // Disconnects.
    ~CImapXP();

    // Connects with the server settings (host, IMAP port, use TLS, secure login, account,
    // password), logs in (asking for the password until the server accepts it or the user cancels),
    // enables the server's extensions and stores its mail trailer into the settings (PR_BODY_A) or
    // removes it there. A server without the extensions is used with standard IMAP: its
    // capabilities are read and no trailer is asked for (Features tells which). S_OK at once when already connected. MAPI_E_UNCONFIGURED without a host or
    // when the prompt was cancelled; MAPI_E_NETWORK_ERROR for the connection and
    // MAPI_E_EXTENDED_ERROR for refusals, both explained by GetLastErrorText.
    HRESULT Connect(IMAPIProp* settings, ULONG flags = 0);

    // Whether the connection is usable.
    bool IsConnected();

    // What the server offered at the last successful Connect.
    ServerFeatures Features() const { return features_; }

    // Takes the command lock (again, when this thread holds it). With `stopAllowed`, gives up and
    // returns false when the client is stopping.
    bool Lock(bool stopAllowed = false);
    void Unlock();

    // Sends one command with the next tag ("%08X " and the formatted text, CR LF). MAPI_E_BUSY,
    // sending nothing, while the tagged reply of the previous command is outstanding; E_INVALIDARG
    // for a text longer than kMaximumCommandText or an argument holding CR or LF. A command starting
    // with "LOGIN" is not traced. Untagged data that the server sent meanwhile is read and dropped
    // first; anything else it sent is out of step: the connection is closed, MAPI_E_EXTENDED_ERROR.
    HRESULT SendCommand(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // Reads response lines up to the tagged one (0) or a continuation (1). Lines whose kind has its
    // bit (KeepBit) in `keepMask` go into `records` when given. Without `kind`, a tagged reply that
    // is neither OK nor kept gives MAPI_E_EXTENDED_ERROR with the server's text as the error text.
    HRESULT ReadReply(ULONG* kind, ULONG keepMask, ImapRecords* records);

    // Sends `bytes` as they are (literal data, the CRAM-MD5 answer); never traced.
    HRESULT SendRaw(std::string_view bytes);

    // Around a literal sent in pieces: SendRaw gathers the pieces and they leave the socket in a
    // few large sends; SendHeldOutput sends the rest (a failure closes the connection, as SendRaw's).
    void HoldOutput() { socket_.HoldOutput(); }
    HRESULT SendHeldOutput();

    // Copies the last error text (at most buffer.size() - 1 bytes); S_OK, or E_FAIL without room.
    HRESULT GetLastErrorText(std::span<char> buffer) const;
    std::string LastErrorText() const;

    // Logs out (when connected) and closes the connection; ends the client's threads. Always S_OK.
    HRESULT Disconnect();

private:
    class SocketInput;
    enum class LineResult { Failed, Recoverable, Untagged, Continuation, Tagged };

    // Before a command: reads the untagged data that has come meanwhile; anything else that has
    // come is out of step and closes the connection (MAPI_E_EXTENDED_ERROR).
    HRESULT ReadUnsolicited();
    // Reads and parses one response line into `record`.
    LineResult ParseLine(ImapRecord& record, HRESULT& status);
    // After a protocol error in an untagged line: reads on to the tagged line, keeping the error text.
    void DrainReply();
    // Reads a reply to its tagged line; a continuation is cancelled first. Gives the tagged kind.
    HRESULT ReadFinalKind(ULONG& kind);
    // Sends a command without arguments and reads its reply to the tagged line.
    HRESULT Exchange(const char* command, ULONG& kind);
    HRESULT OpenSession(IMAPIProp* settings, login::CPasswordDlg& credentials, bool startTls, bool plainLogin);
    HRESULT ReadGreeting(bool tlsWanted);
    HRESULT StartTls();
    HRESULT Login(login::CPasswordDlg& credentials, bool plainLogin);
    HRESULT LoginPlain(login::CPasswordDlg& credentials, ULONG& kind);
    HRESULT LoginCramMd5(login::CPasswordDlg& credentials, ULONG& kind);
    // Sends a command without arguments and reads its reply, keeping the lines of `keptKind`; the
    // tagged kind goes to `kind`.
    HRESULT Collect(const char* command, ULONG keptKind, ULONG& kind, ImapRecords& records);
    HRESULT EnableExtensions();
    // Without the extensions: the standard extensions that stand in for them, from CAPABILITY.
    HRESULT ReadCapabilities();
    HRESULT FetchMailTrailer(IMAPIProp* settings);
    HRESULT RemoveMailTrailer(IMAPIProp* settings);
    void CloseConnection();
    // A line could not be read: closes the connection; MAPI_E_NETWORK_ERROR with the socket's text.
    HRESULT ConnectionBroken(HRESULT status);

    // The error mapping: the text (by number, else the socket's for a failure) becomes the last
    // error text; failures other than MAPI_E_NETWORK_ERROR and MAPI_E_EXTENDED_ERROR become one of them.
    HRESULT MapError(HRESULT status, unsigned textNumber = 0, std::string_view argument = {});
    void SetLastErrorText(std::string_view text);
    void SetServerText(std::string_view utf8);
    void ShowAlert(std::string_view utf8);

    void StartThreads();
    void StopThreads();
    bool TryLockIdle();
    void IdleThreadProc();
    // With the lock held by the idle thread: logs the unused connection out. False when a command
    // of another thread is still outstanding.
    bool IdleLogout();
    void WorkerThreadProc();

    LPALLOCATEBUFFER allocateBuffer_;
    LPALLOCATEMORE allocateMore_;
    LPFREEBUFFER freeBuffer_;
    ImapClientOptions options_;
    // Network access allowed.
    std::uint32_t connectionFlags_ = 2;

    // The command lock: a recursive lock whose waits can also end on stop.
    std::mutex stateMutex_;
    std::condition_variable lockFreed_;
    std::condition_variable stopRequested_;
    std::thread::id lockOwner_;
    unsigned lockDepth_ = 0;
    std::chrono::steady_clock::time_point lastActivity_{};
    bool stop_ = false;

    std::thread idleThread_;
    std::thread workerThread_;

    net::CTCPSSLSocket socket_;
    ImapResponseParser parser_;
    std::uint32_t tagCounter_ = 0;
    std::atomic<std::uint32_t> busy_{0};
    ServerFeatures features_{};
    std::array<char, kLineBufferSize> lineBuffer_{};
    std::string currentLine_;

    mutable std::mutex errorTextMutex_;
    std::string lastErrorText_;
};

} // namespace ex2qln::imap
