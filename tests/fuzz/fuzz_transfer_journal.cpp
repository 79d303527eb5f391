// Fuzzes the transfer journal's reader: any text is either read or refused with a line number
// inside it, and what it holds answers the look-ups the walk makes.
#include "ex2qln/journal/TransferJournal.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ex2qln::journal::JournalState state;
    std::size_t badLine = 0;
    const HRESULT status = state.Parse(text, badLine);
    std::size_t lines = 0;
    for (const char c : text)
        lines += c == '\n' ? 1 : 0;
    if (FAILED(status) != (badLine != 0) || badLine > lines)
        std::abort();
    state.MailboxDone("~a");
    state.FolderDone("~a/INBOX");
    state.MessageDone("~a/INBOX", "0A");
    state.Pending("~a/INBOX", "0A");
    state.UidRecorded("~a/INBOX", 1);
    return 0;
}
