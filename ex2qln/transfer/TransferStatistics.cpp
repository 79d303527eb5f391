// The summary block of a transfer.
#include "ex2qln/transfer/TransferStatistics.h"

#include <cstdio>

namespace ex2qln::transfer {

std::string SummaryText(const TransferStatistics& statistics, std::chrono::duration<double> elapsed, bool journal)
{
    const double seconds = elapsed.count();
    const double rate = seconds > 0 ? static_cast<double>(statistics.messagesUploaded) / seconds : 0.0;
    char text[512];
    std::snprintf(text, sizeof text,
                  "Transfer summary: %u mailbox(es) done, %u failed; %u folder(s) created.\n"
                  "Messages: %llu uploaded, %llu skipped, %llu failed; %llu bytes.\n"
                  "Elapsed time: %.1f s; %.1f messages per second.\n",
                  statistics.mailboxesDone, statistics.mailboxesFailed, statistics.foldersCreated,
                  static_cast<unsigned long long>(statistics.messagesUploaded),
                  static_cast<unsigned long long>(statistics.messagesSkipped),
                  static_cast<unsigned long long>(statistics.messagesFailed),
                  static_cast<unsigned long long>(statistics.bytesUploaded), seconds, rate);
    if (!journal)
        return text;
    char journalLine[160];
    std::snprintf(journalLine, sizeof journalLine,
                  "Journal: %u mailbox(es) and %llu message(s) transferred before, passed over.\n",
                  statistics.mailboxesJournaled, static_cast<unsigned long long>(statistics.messagesJournaled));
    return std::string(text) + journalLine;
}

} // namespace ex2qln::transfer
