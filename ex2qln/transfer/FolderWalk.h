// The folder walk: recreates one Exchange folder tree under one IMAP path, depth first, and moves
// every message of every folder (address pass, conversion and APPEND).
#pragma once

#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/journal/TransferJournal.h"
#include "ex2qln/transfer/ProblemMessages.h"
#include "ex2qln/transfer/TempStream.h"
#include "ex2qln/transfer/TransferOptions.h"
#include "ex2qln/transfer/TransferStatistics.h"
#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>

#include <string>

namespace ex2qln::transfer {

// What every level of one walk shares.
struct WalkContext {
    IMAPISession* session;
    IAddrBook* addressBook;
    IMsgStore* store;
    imap::CImapXP* client;
    IPropData* settings;
    bool fixFolders;
    bool ignoreErrors;
    bool ascii;  // the 8-bit address pass (--ascii)
    ProblemMessages* problems;
    TransferStatistics* statistics;
    // Null with --no-journal. With it, what the journal holds is passed over, each upload is
    // recorded before and after its APPEND, and a folder whose messages all arrived is recorded.
    journal::TransferJournal* journal = nullptr;
    SpillFile* spill = nullptr;  // the uploads' temporary file
};

// Walks the subfolders of `folder`, whose IMAP path is `imapPath` ("~account" for a store's root).
// A negative status ends the caller's walk too: a folder that cannot be listed, named, created or
// read, a message that cannot be opened, and a failed message without --ignore-errors (corrupt
// messages, MAPI_E_CORRUPT_DATA, are always passed over). With --ignore-errors, a folder that
// cannot be created or read and a message that cannot be opened are reported and passed over too.
HRESULT WalkFolder(const WalkContext& context, IMAPIFolder* folder, const std::string& imapPath,
                   TransferOptions options);

// Connects the client when it is not (or no longer) connected: "Connecting to Quillon." on
// standard output, "Can not connect: %s. [%#x]" on standard error when that fails.
HRESULT ConnectIfClosed(imap::CImapXP& client, IPropData* settings);

} // namespace ex2qln::transfer
