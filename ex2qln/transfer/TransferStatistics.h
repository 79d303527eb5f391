// What a transfer did, counted as it goes, and the summary block at its end.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace ex2qln::transfer {

struct TransferStatistics {
    std::uint32_t mailboxesDone = 0;    // mailboxes (and the public folders) walked to the end
    std::uint32_t mailboxesFailed = 0;  // those whose walk ended with a failure
    std::uint32_t foldersCreated = 0;   // folders the server did not have
    std::uint64_t messagesUploaded = 0;
    std::uint64_t messagesSkipped = 0;  // left out on purpose: rows without an entry identifier and
                                        // the messages of folders that the skip rules or an
                                        // unmappable name leave out
    std::uint64_t messagesFailed = 0;   // reported as not opened, converted or uploaded
    std::uint64_t bytesUploaded = 0;    // the converted messages' sizes
    std::uint32_t foldersFailed = 0;    // not created or not read (reported; not in the summary)
    // With the journal: what an earlier run had transferred already, passed over.
    std::uint32_t mailboxesJournaled = 0;  // counted among the done ones too
    std::uint64_t messagesJournaled = 0;
};

// The summary's lines, each ending in "\n":
//   "Transfer summary: %u mailbox(es) done, %u failed; %u folder(s) created.\n"
//   "Messages: %llu uploaded, %llu skipped, %llu failed; %llu bytes.\n"
//   "Elapsed time: %.1f s; %.1f messages per second.\n"
// and with the journal:
//   "Journal: %u mailbox(es) and %llu message(s) transferred before, passed over.\n"
std::string SummaryText(const TransferStatistics& statistics, std::chrono::duration<double> elapsed,
                        bool journal = false);

} // namespace ex2qln::transfer
