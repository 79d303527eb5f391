// The transfer journal: an append-only record, beside the accounts file, of what reached the
// server, so that a run that was stopped can be run again without uploading anything twice.
// Format and guarantees: ex2qln/journal/FORMAT.md.
#pragma once

#include "platform/base/HResult.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace ex2qln::journal {

// A message whose APPEND was announced but whose answer was never recorded: it may or may not be
// on the server.
struct PendingUpload {
    std::uint32_t size = 0;       // the literal's size in bytes
    std::uint32_t afterUid = 0;   // every UID the folder had before the APPEND is at most this
};

// The records read from a journal's text, and the parser of that text.
class JournalState {
public:
    // Adds the records of `text` (whole lines; a last line without its line end is ignored, as a
    // write cut short). MAPI_E_CORRUPT_DATA with `badLine` (1-based) for a line that is not a record.
    HRESULT Parse(std::string_view text, std::size_t& badLine);

    bool MailboxDone(std::string_view path) const { return mailboxes_.contains(std::string(path)); }
    bool FolderDone(std::string_view path) const { return folders_.contains(std::string(path)); }
    bool MessageDone(std::string_view folder, std::string_view key) const;
    // The pending upload of `key` in `folder` that no later record settled.
    std::optional<PendingUpload> Pending(std::string_view folder, std::string_view key) const;
    // Whether a recorded message of `folder` has this UID (so it is not the uncertain one).
    bool UidRecorded(std::string_view folder, std::uint32_t uid) const;
    std::size_t MessageCount() const { return messages_.size(); }

    void AddMailbox(std::string_view path) { mailboxes_.emplace(path); }
    void AddFolder(std::string_view path) { folders_.emplace(path); }
    void AddPending(std::string_view folder, std::string_view key, PendingUpload pending);
    void AddMessage(std::string_view folder, std::string_view key, std::uint32_t uid);

private:
    HRESULT ParseLine(std::string_view line);

    std::unordered_set<std::string> mailboxes_;
    std::unordered_set<std::string> folders_;
    std::unordered_set<std::string> messages_;                 // folder TAB key
    std::unordered_map<std::string, PendingUpload> pending_;   // folder TAB key
    std::unordered_set<std::string> uids_;                     // folder TAB UID, of recorded messages
};

// The journal file: its state as read when opened, and the records this run appends. Every writer
// appends whole lines with one write each (O_APPEND), so worker processes may share one file.
class TransferJournal {
public:
    TransferJournal() = default;
    TransferJournal(const TransferJournal&) = delete;
    TransferJournal& operator=(const TransferJournal&) = delete;
    ~TransferJournal();

    // Opens or creates `path` (mode 0600) and reads it; a line cut short at the end by a stopped
    // writer is cut off. Writes the reason on standard error when it fails.
    HRESULT Open(const std::string& path);

    const JournalState& State() const { return state_; }

    // A mailbox (its IMAP root, "~account") or folder (its IMAP path) walked to its end without a failure.
    HRESULT RecordMailbox(std::string_view path);
    HRESULT RecordFolder(std::string_view path);
    // Before the APPEND: durable on disk before the first byte goes to the server.
    HRESULT RecordPending(std::string_view folder, std::string_view key, PendingUpload pending);
    // After the server's OK; `uid` 0 when the server did not tell it.
    HRESULT RecordMessage(std::string_view folder, std::string_view key, std::uint32_t uid);

private:
    HRESULT Append(const std::string& line, bool durable);

    std::string path_;
    int descriptor_ = -1;
    JournalState state_;
};

// The source identity of a message: its entry identifier in upper-case hexadecimal.
std::string SourceKey(const void* bytes, std::size_t size);

// The journal's default place: the accounts file's path with ".journal" added.
std::string DefaultJournalPath(std::string_view accountsPath);

} // namespace ex2qln::journal
