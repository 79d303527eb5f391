// The transfer command: for each line of the accounts file, the mailbox found in the Global
// Address List, its private store opened with administrator rights and its folder tree walked into
// the account's IMAP namespace; before the first mailbox, on request, the public folders.
#pragma once

#include "ex2qln/imap/ImapXP.h"
#include "ex2qln/transfer/TransferOptions.h"
#include "platform/base/HResult.h"

#include <edkmdb.h>
#include <mapidefs.h>
#include <mapix.h>

#include <cstdint>
#include <string_view>

namespace ex2qln::transfer {

struct TransferArguments {
    IMAPISession* session;
    IAddrBook* addressBook;
    IABContainer* gal;
    IExchangeManageStore* manageStore;
    IPropData* settings;  // the server settings; the account's identity is added per line
    std::string_view accountsPath;
    std::string_view publicFoldersAccount;  // empty: no public folders
    bool fixFolders;
    bool ignoreErrors;
    bool ascii;  // --ascii: MAPI strings in 8 bits
    TransferOptions options;
    std::string_view journalPath = {};  // the transfer journal; empty with --no-journal
    // --shard=K/N: only the mailbox lines K, K+N, K+2N... (counted from 1); the public folders with K = 1.
    std::uint32_t shardIndex = 1;
    std::uint32_t shardCount = 1;
    // --jobs=N: up to N mailbox lines at once, each in a worker process (TransferWorkers.h).
    std::uint32_t jobs = 1;
    int onlyLine = -1;  // a worker's one line of the accounts file (0: the public folders); -1: all
    imap::ImapClientOptions clientOptions{};
};

// Runs the command; the status of the last line, or of the step that stopped it. Once the accounts
// file and the GAL could be opened, the summary block (TransferStatistics.h) ends the output, on
// standard output and in the log.
HRESULT TransferCommand(const TransferArguments& arguments);

} // namespace ex2qln::transfer
