// Worker processes for --jobs: each mailbox line of the accounts file runs in a process of its
// own (the MAPI runtime's objects and the conversion are not shared between threads), up to N at
// once, each over its own IMAP connection. Their standard output and error come back line by line,
// each line headed by the mailbox it belongs to; their counts are added up for the one summary block.
#pragma once

#include "ex2qln/transfer/TransferStatistics.h"
#include "platform/base/HResult.h"

#include <functional>
#include <string>
#include <vector>

namespace ex2qln::transfer {

// One piece of work: the label that heads its output lines and the accounts-file line it takes.
struct WorkerTask {
    std::string label;
    int line;
};

// Runs `task` in the worker process: its status, and its counts into `statistics`.
using WorkerBody = std::function<HRESULT(const WorkerTask& task, TransferStatistics& statistics)>;

// Runs `tasks` in order, at most `jobs` at once, each in a forked process running `body`. Output
// and error lines come out as "[label] text" on the same stream (a progress text ended by CR counts
// as a line). After a failed
// task no new one starts, as a failed line stops a transfer run line by line (those running end
// their mailbox); the status is the first failure's, else S_OK. `statistics` receives the sum of
// all the tasks' counts.
HRESULT RunWorkers(const std::vector<WorkerTask>& tasks, unsigned jobs, const WorkerBody& body,
                   TransferStatistics& statistics);

} // namespace ex2qln::transfer
