// Forked workers, their output pipes read with poll, their counts sent back over a second pipe.
#include "ex2qln/transfer/TransferWorkers.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace ex2qln::transfer {
namespace {

// What a worker sends back when it ends.
struct WorkerResult {
    HRESULT status = E_FAIL;  // a worker that died before telling has failed
    TransferStatistics statistics;
};

struct Worker {
    const WorkerTask* task = nullptr;
    pid_t pid = -1;
    int output = -1;   // its standard output
    int result = -1;   // where its WorkerResult comes
    std::string pending;  // output not yet ended by a line end
};

void WriteAll(int descriptor, const void* data, std::size_t size)
{
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = ::write(descriptor, bytes, size);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
}

[[noreturn]] void RunInChild(const WorkerTask& task, const WorkerBody& body, int output, int result)
{
    std::fflush(stdout);
    ::dup2(output, STDOUT_FILENO);
    ::close(output);
    WorkerResult answer;
    answer.status = body(task, answer.statistics);
    std::fflush(stdout);
    std::fflush(stderr);
    WriteAll(result, &answer, sizeof answer);
    ::_exit(0);
}

HRESULT Start(Worker& worker, const WorkerBody& body)
{
    int output[2];
    int result[2];
    if (::pipe2(output, O_CLOEXEC) != 0)
        return HResultFromErrno(errno);
    if (::pipe2(result, O_CLOEXEC) != 0) {
        const HRESULT status = HResultFromErrno(errno);
        ::close(output[0]);
        ::close(output[1]);
        return status;
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(output[0]);
        ::close(result[0]);
        RunInChild(*worker.task, body, output[1], result[1]);
    }
    ::close(output[1]);
    ::close(result[1]);
    if (pid < 0) {
        const HRESULT status = HResultFromErrno(errno);
        ::close(output[0]);
        ::close(result[0]);
        return status;
    }
    worker.pid = pid;
    worker.output = output[0];
    worker.result = result[0];
    return S_OK;
}

// Writes each complete line of the worker's output, headed by its label.
void Relay(Worker& worker, bool flushRest)
{
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = worker.pending.find_first_of("\r\n", start);
        if (end == std::string::npos)
            break;
        if (end > start) {
            const std::string line = "[" + worker.task->label + "] " + worker.pending.substr(start, end - start) + "\n";
            std::fwrite(line.data(), 1, line.size(), stdout);
        }
        start = end + 1;
    }
    worker.pending.erase(0, start);
    if (flushRest && !worker.pending.empty()) {
        const std::string line = "[" + worker.task->label + "] " + worker.pending + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
        worker.pending.clear();
    }
    std::fflush(stdout);
}

WorkerResult Finish(Worker& worker)
{
    WorkerResult answer;
    std::size_t got = 0;
    auto* bytes = reinterpret_cast<char*>(&answer);
    while (got < sizeof answer) {
        const ssize_t read = ::read(worker.result, bytes + got, sizeof answer - got);
        if (read < 0 && errno == EINTR)
            continue;
        if (read <= 0)
            break;
        got += static_cast<std::size_t>(read);
    }
    if (got != sizeof answer)
        answer = WorkerResult{};
    ::close(worker.result);
    int status = 0;
    while (::waitpid(worker.pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "The worker for %s ended abnormally.\n", worker.task->label.c_str());
        answer.status = E_FAIL;
    }
    return answer;
}

void Add(TransferStatistics& sum, const TransferStatistics& part)
{
    sum.mailboxesDone += part.mailboxesDone;
    sum.mailboxesFailed += part.mailboxesFailed;
    sum.foldersCreated += part.foldersCreated;
    sum.messagesUploaded += part.messagesUploaded;
    sum.messagesSkipped += part.messagesSkipped;
    sum.messagesFailed += part.messagesFailed;
    sum.bytesUploaded += part.bytesUploaded;
    sum.mailboxesJournaled += part.mailboxesJournaled;
    sum.messagesJournaled += part.messagesJournaled;
}

} // namespace

HRESULT RunWorkers(const std::vector<WorkerTask>& tasks, unsigned jobs, const WorkerBody& body,
                   TransferStatistics& statistics)
{
    std::vector<Worker> running;
    HRESULT firstFailure = S_OK;
    std::size_t next = 0;
    for (;;) {
        while (SUCCEEDED(firstFailure) && next < tasks.size() && running.size() < jobs) {
            Worker worker;
            worker.task = &tasks[next++];
            if (HRESULT status = Start(worker, body); FAILED(status)) {
                std::fprintf(stderr, "Can not start a worker for %s [%#x].\n", worker.task->label.c_str(),
                             static_cast<unsigned>(status));
                if (SUCCEEDED(firstFailure))
                    firstFailure = status;
                break;
            }
            running.push_back(std::move(worker));
        }
        if (running.empty())
            break;
        std::vector<pollfd> watched;
        for (const Worker& worker : running)
            watched.push_back({worker.output, POLLIN, 0});
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            return HResultFromErrno(errno);
        for (std::size_t index = running.size(); index-- > 0;) {
            if (watched[index].revents == 0)
                continue;
            Worker& worker = running[index];
            char buffer[4096];
            const ssize_t read = ::read(worker.output, buffer, sizeof buffer);
            if (read < 0 && errno == EINTR)
                continue;
            if (read > 0) {
                worker.pending.append(buffer, static_cast<std::size_t>(read));
                Relay(worker, false);
                continue;
            }
            Relay(worker, true);
            ::close(worker.output);
            const WorkerResult answer = Finish(worker);
            Add(statistics, answer.statistics);
            if (FAILED(answer.status) && SUCCEEDED(firstFailure))
                firstFailure = answer.status;
            running.erase(running.begin() + static_cast<std::ptrdiff_t>(index));
        }
    }
    return firstFailure;
}

} // namespace ex2qln::transfer
