// transfer_floor PORT USER PASSWORD MAILBOX FILE...: the least processor time that moving these
// messages (already converted, as .eml files) into an IMAP server costs on this machine, with
// nothing but what the transfer's upload must do: each message written through a temporary file in
// 32 KiB windows and read back, then appended with a synchronising literal (the command, the
// server's go-ahead, the literal in sends of up to 256 KiB, the tagged answer). Then the same with
// each of two steps left out, to show what they cost: the temporary file, and the wait for the
// go-ahead (a non-synchronising literal, where the server offers LITERAL+). And what writing the
// messages as files costs, which a converter to files pays and a transfer does not.
//
// Prints four numbers, in milliseconds of processor time per message: files, the upload, the upload
// without the temporary file, the upload without the go-ahead. Only those steps are timed, on the
// process's own clock; each message is first copied into a buffer that stays in the processor's
// cache, as a converter's output is when it is written.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/base/HResult.h"
#include "platform/files/ReadOnlyMapping.h"
#include "platform/files/TempDirectory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kWindow = 32768;
constexpr std::size_t kLargestSend = 262144;

[[noreturn]] void Fail(const std::string& what)
{
    std::fprintf(stderr, "transfer_floor: %s\n", what.c_str());
    std::exit(1);
}

double ProcessSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

std::string ReadWhole(const std::string& path)
{
    std::vector<std::uint8_t> bytes;
    if (FAILED(platform::ReadWholeFile(path, bytes)))
        Fail("cannot read " + path);
    return std::string(bytes.begin(), bytes.end());
}

void WriteAll(int descriptor, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(descriptor, data, size);
        if (written <= 0)
            Fail("cannot write a file");
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void SendAll(int socket, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t sent = ::send(socket, data, size, MSG_NOSIGNAL);
        if (sent <= 0)
            Fail("the server closed the connection");
        data += sent;
        size -= static_cast<std::size_t>(sent);
    }
}

void SendText(int socket, const std::string& text) { SendAll(socket, text.data(), text.size()); }

// The server's lines, each read up to its CR LF whatever the sizes of the server's sends.
class LineReader {
public:
    explicit LineReader(int socket) : socket_(socket) {}

    std::string Next()
    {
        for (;;) {
            const std::size_t end = buffered_.find("\r\n");
            if (end != std::string::npos) {
                std::string line = buffered_.substr(0, end);
                buffered_.erase(0, end + 2);
                return line;
            }
            char chunk[4096];
            const ssize_t received = ::recv(socket_, chunk, sizeof chunk, 0);
            if (received <= 0)
                Fail("the server closed the connection");
            buffered_.append(chunk, static_cast<std::size_t>(received));
        }
    }

    // The tagged answer to `tag`, passing over untagged lines.
    void ExpectOk(const std::string& tag)
    {
        for (;;) {
            const std::string line = Next();
            if (line.rfind(tag + " ", 0) != 0)
                continue;
            if (line.compare(tag.size() + 1, 2, "OK") != 0)
                Fail("the server answered: " + line);
            return;
        }
    }

private:
    int socket_;
    std::string buffered_;
};

// How one pass uploads its messages.
struct UploadWay {
    bool throughTemporaryFile = true;
    bool waitForGoAhead = true;
};

class Uploader {
public:
    Uploader(int port, const std::string& user, const std::string& password)
    {
        socket_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(port));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (socket_ < 0 || ::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
            Fail("cannot connect to port " + std::to_string(port));
        reader_.emplace(socket_);
        reader_->Next(); // the greeting
        SendText(socket_, "L LOGIN " + user + " " + password + "\r\n");
        reader_->ExpectOk("L");

        std::string pattern = platform::TempDirectory() + "transfer-floor-XXXXXX";
        spill_ = ::mkstemp(pattern.data());
        if (spill_ < 0)
            Fail("cannot create a temporary file like " + pattern);
        ::unlink(pattern.c_str());
    }

    ~Uploader()
    {
        SendText(socket_, "Z LOGOUT\r\n");
        ::close(spill_);
        ::close(socket_);
    }

    // Processor seconds taken by uploading every message into `mailbox` the `way` given.
    double UploadAll(const std::vector<std::string>& messages, const std::string& mailbox, UploadWay way)
    {
        std::string source;
        double seconds = 0;
        for (const std::string& message : messages) {
            // The literal and the CR LF that ends the command line go in the same sends.
            source = message;
            source += "\r\n";
            const double start = ProcessSeconds();
            const std::string& literal = way.throughTemporaryFile ? SpillAndReadBack(source, message.size()) : source;
            Upload(literal, message.size(), mailbox, way.waitForGoAhead);
            seconds += ProcessSeconds() - start;
        }
        return seconds;
    }

private:
    // The message's `size` bytes into the temporary file window by window, and back, as the
    // transfer's stream does; the CR LF after them is added in memory, as the transfer's client does.
    const std::string& SpillAndReadBack(const std::string& literal, std::size_t size)
    {
        for (std::size_t offset = 0; offset < size; offset += kWindow) {
            const std::size_t piece = std::min(kWindow, size - offset);
            if (::pwrite(spill_, literal.data() + offset, piece, static_cast<off_t>(offset)) != static_cast<ssize_t>(piece))
                Fail("cannot write the temporary file");
        }
        readBack_.resize(size);
        for (std::size_t offset = 0; offset < size; offset += kWindow) {
            const std::size_t piece = std::min(kWindow, size - offset);
            if (::pread(spill_, readBack_.data() + offset, piece, static_cast<off_t>(offset)) != static_cast<ssize_t>(piece))
                Fail("cannot read the temporary file back");
        }
        readBack_ += "\r\n";
        return readBack_;
    }

    // Appends the literal of `size` bytes that `literalAndLineEnd` holds before its CR LF.
    void Upload(const std::string& literalAndLineEnd, std::size_t size, const std::string& mailbox, bool waitForGoAhead)
    {
        const std::string tag = "A" + std::to_string(++commands_);
        SendText(socket_, tag + " APPEND \"" + mailbox + "\" () {" + std::to_string(size) +
                              (waitForGoAhead ? "}\r\n" : "+}\r\n"));
        if (waitForGoAhead && reader_->Next().rfind("+", 0) != 0)
            Fail("no go-ahead for the literal");
        for (std::size_t offset = 0; offset < literalAndLineEnd.size(); offset += kLargestSend)
            SendAll(socket_, literalAndLineEnd.data() + offset, std::min(kLargestSend, literalAndLineEnd.size() - offset));
        reader_->ExpectOk(tag);
    }

    int socket_ = -1;
    int spill_ = -1;
    std::optional<LineReader> reader_;
    std::string readBack_;
    unsigned commands_ = 0;
};

double WriteAllAsFiles(const std::vector<std::string>& messages)
{
    const std::filesystem::path directory = std::filesystem::path(platform::TempDirectory()) / "transfer-floor-files";
    std::filesystem::remove_all(directory);
    std::filesystem::create_directory(directory);
    std::string source;
    double seconds = 0;
    for (std::size_t index = 0; index < messages.size(); ++index) {
        const std::string path = (directory / (std::to_string(index) + ".eml")).string();
        source = messages[index];
        const double start = ProcessSeconds();
        const int file = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file < 0)
            Fail("cannot create " + path);
        WriteAll(file, source.data(), source.size());
        ::close(file);
        seconds += ProcessSeconds() - start;
    }
    std::filesystem::remove_all(directory);
    return seconds;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 6) {
        std::fprintf(stderr, "Usage: transfer_floor PORT USER PASSWORD MAILBOX FILE...\n");
        return 2;
    }
    std::vector<std::string> messages;
    for (int index = 5; index < argc; ++index)
        messages.push_back(ReadWhole(argv[index]));
    const double perMessage = 1000.0 / static_cast<double>(messages.size());
    const double files = WriteAllAsFiles(messages);
    Uploader uploader(std::atoi(argv[1]), argv[2], argv[3]);
    const std::string mailbox = argv[4];
    const double upload = uploader.UploadAll(messages, mailbox, {});
    const double inMemory = uploader.UploadAll(messages, mailbox, {.throughTemporaryFile = false});
    const double noGoAhead = uploader.UploadAll(messages, mailbox, {.waitForGoAhead = false});
    std::printf("%.4f %.4f %.4f %.4f\n", files * perMessage, upload * perMessage, inMemory * perMessage,
                noGoAhead * perMessage);
    return 0;
}
