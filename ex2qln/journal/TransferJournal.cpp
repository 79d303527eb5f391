// The journal's records: read at the start of a run, appended line by line during it.
#include "ex2qln/journal/TransferJournal.h"

#include "platform/files/PositionalFile.h"

#include <mapicode.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ex2qln::journal {
namespace {

constexpr std::string_view kHeader = "ex2qln transfer journal 1";
constexpr char kSeparator = '\t';
// Journals are read whole; a file this large is not one of ours.
constexpr off_t kLargestJournal = off_t{1} << 32;

std::string MessageKey(std::string_view folder, std::string_view key)
{
    std::string joined(folder);
    joined += kSeparator;
    joined += key;
    return joined;
}

// Splits `line` at its first `count` separators; the last field is the rest (a path, which may hold blanks).
template <std::size_t count>
bool SplitFields(std::string_view line, std::string_view (&fields)[count + 1])
{
    for (std::size_t index = 0; index < count; ++index) {
        const std::size_t separator = line.find(kSeparator);
        if (separator == std::string_view::npos)
            return false;
        fields[index] = line.substr(0, separator);
        line.remove_prefix(separator + 1);
    }
    fields[count] = line;
    return !line.empty();
}

bool ParseNumber(std::string_view text, std::uint32_t& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

bool IsKey(std::string_view key)
{
    if (key.empty())
        return false;
    for (const char c : key) {
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F')))
            return false;
    }
    return true;
}

// A path holds neither the separator nor a line end, which the folder-name rules keep out of IMAP names.
bool IsRecordablePath(std::string_view path)
{
    return !path.empty() && path.find_first_of("\t\r\n") == std::string_view::npos;
}

HRESULT ReadWhole(int descriptor, std::string& text)
{
    struct stat status {};
    if (::fstat(descriptor, &status) != 0)
        return HResultFromErrno(errno);
    if (status.st_size > kLargestJournal)
        return MAPI_E_TOO_BIG;
    text.resize(static_cast<std::size_t>(status.st_size));
    std::size_t done = 0;
    const HRESULT read = platform::ReadAt(descriptor, 0, std::as_writable_bytes(std::span(text)), done);
    text.resize(done);
    return read;
}

} // namespace

HRESULT JournalState::Parse(std::string_view text, std::size_t& badLine)
{
    badLine = 0;
    std::size_t number = 0;
    while (true) {
        const std::size_t end = text.find('\n');
        if (end == std::string_view::npos)
            return S_OK;  // nothing, or a line whose writer was stopped
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end + 1);
        ++number;
        const HRESULT status = number == 1 ? (line == kHeader ? S_OK : MAPI_E_CORRUPT_DATA) : ParseLine(line);
        if (FAILED(status)) {
            badLine = number;
            return status;
        }
    }
}

HRESULT JournalState::ParseLine(std::string_view line)
{
    if (line.size() < 2 || line[1] != kSeparator)
        return MAPI_E_CORRUPT_DATA;
    const char kind = line[0];
    line.remove_prefix(2);
    if (kind == 'M' || kind == 'F') {
        if (!IsRecordablePath(line))
            return MAPI_E_CORRUPT_DATA;
        kind == 'M' ? AddMailbox(line) : AddFolder(line);
        return S_OK;
    }
    if (kind == 'P') {
        std::string_view fields[4];
        PendingUpload pending;
        if (!SplitFields<3>(line, fields) || !IsKey(fields[0]) || !ParseNumber(fields[1], pending.size) ||
            !ParseNumber(fields[2], pending.afterUid) || !IsRecordablePath(fields[3]))
            return MAPI_E_CORRUPT_DATA;
        AddPending(fields[3], fields[0], pending);
        return S_OK;
    }
    if (kind == 'A') {
        std::string_view fields[3];
        std::uint32_t uid = 0;
        if (!SplitFields<2>(line, fields) || !IsKey(fields[0]) || !ParseNumber(fields[1], uid) ||
            !IsRecordablePath(fields[2]))
            return MAPI_E_CORRUPT_DATA;
        AddMessage(fields[2], fields[0], uid);
        return S_OK;
    }
    return MAPI_E_CORRUPT_DATA;
}

bool JournalState::MessageDone(std::string_view folder, std::string_view key) const
{
    return messages_.contains(MessageKey(folder, key));
}

std::optional<PendingUpload> JournalState::Pending(std::string_view folder, std::string_view key) const
{
    const auto found = pending_.find(MessageKey(folder, key));
    if (found == pending_.end())
        return std::nullopt;
    return found->second;
}

void JournalState::AddPending(std::string_view folder, std::string_view key, PendingUpload pending)
{
    std::string joined = MessageKey(folder, key);
    if (!messages_.contains(joined))
        pending_[std::move(joined)] = pending;
}

void JournalState::AddMessage(std::string_view folder, std::string_view key, std::uint32_t uid)
{
    std::string joined = MessageKey(folder, key);
    pending_.erase(joined);
    messages_.emplace(std::move(joined));
    if (uid != 0)
        uids_.emplace(MessageKey(folder, std::to_string(uid)));
}

bool JournalState::UidRecorded(std::string_view folder, std::uint32_t uid) const
{
    return uids_.contains(MessageKey(folder, std::to_string(uid)));
}

TransferJournal::~TransferJournal()
{
    if (descriptor_ >= 0)
        ::close(descriptor_);
}

HRESULT TransferJournal::Open(const std::string& path)
{
    path_ = path;
    descriptor_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (descriptor_ < 0) {
        const HRESULT status = HResultFromErrno(errno);
        std::fprintf(stderr, "Can not open the transfer journal %s: %s. [%#x]\n", path.c_str(), std::strerror(errno),
                     static_cast<unsigned>(status));
        return status;
    }
    std::string text;
    HRESULT status = ReadWhole(descriptor_, text);
    std::size_t badLine = 0;
    if (SUCCEEDED(status))
        status = state_.Parse(text, badLine);
    if (FAILED(status)) {
        if (badLine != 0)
            std::fprintf(stderr, "The transfer journal %s is damaged at line %zu; move it away to start afresh. [%#x]\n",
                         path.c_str(), badLine, static_cast<unsigned>(status));
        else
            std::fprintf(stderr, "Can not read the transfer journal %s. [%#x]\n", path.c_str(),
                         static_cast<unsigned>(status));
        return status;
    }
    // A line cut short by a stopped writer goes, so that the next record starts a line of its own.
    const std::size_t whole = text.rfind('\n') == std::string::npos ? 0 : text.rfind('\n') + 1;
    if (whole != text.size() && ::ftruncate(descriptor_, static_cast<off_t>(whole)) != 0)
        return HResultFromErrno(errno);
    if (whole == 0)
        return Append(std::string(kHeader) + "\n", true);
    return S_OK;
}

HRESULT TransferJournal::Append(const std::string& line, bool durable)
{
    std::size_t written = 0;
    while (written < line.size()) {
        const ssize_t put = ::write(descriptor_, line.data() + written, line.size() - written);
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0) {
            const HRESULT status = HResultFromErrno(errno);
            std::fprintf(stderr, "Can not write the transfer journal %s: %s. [%#x]\n", path_.c_str(),
                         std::strerror(errno), static_cast<unsigned>(status));
            return status;
        }
        written += static_cast<std::size_t>(put);
    }
    if (durable && ::fdatasync(descriptor_) != 0)
        return HResultFromErrno(errno);
    return S_OK;
}

HRESULT TransferJournal::RecordMailbox(std::string_view path)
{
    if (!IsRecordablePath(path))
        return E_INVALIDARG;
    state_.AddMailbox(path);
    return Append("M\t" + std::string(path) + "\n", false);
}

HRESULT TransferJournal::RecordFolder(std::string_view path)
{
    if (!IsRecordablePath(path))
        return E_INVALIDARG;
    state_.AddFolder(path);
    return Append("F\t" + std::string(path) + "\n", false);
}

HRESULT TransferJournal::RecordPending(std::string_view folder, std::string_view key, PendingUpload pending)
{
    if (!IsRecordablePath(folder) || !IsKey(key))
        return E_INVALIDARG;
    state_.AddPending(folder, key, pending);
    return Append("P\t" + std::string(key) + "\t" + std::to_string(pending.size) + "\t" +
                      std::to_string(pending.afterUid) + "\t" + std::string(folder) + "\n",
                  true);
}

HRESULT TransferJournal::RecordMessage(std::string_view folder, std::string_view key, std::uint32_t uid)
{
    if (!IsRecordablePath(folder) || !IsKey(key))
        return E_INVALIDARG;
    state_.AddMessage(folder, key, uid);
    return Append("A\t" + std::string(key) + "\t" + std::to_string(uid) + "\t" + std::string(folder) + "\n", false);
}

std::string SourceKey(const void* bytes, std::size_t size)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string key;
    key.reserve(size * 2);
    const auto* data = static_cast<const unsigned char*>(bytes);
    for (std::size_t index = 0; index < size; ++index) {
        key += kDigits[data[index] >> 4];
        key += kDigits[data[index] & 0x0F];
    }
    return key;
}

std::string DefaultJournalPath(std::string_view accountsPath) { return std::string(accountsPath) + ".journal"; }

} // namespace ex2qln::journal
