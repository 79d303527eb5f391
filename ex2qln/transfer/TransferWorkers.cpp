// Forked workers: their standard output and error read through pipes with poll and passed on line
// by line under their label, their counts sent back over a third pipe.
#include "ex2qln/transfer/TransferWorkers.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

namespace ex2qln::transfer {
namespace {

// What a worker sends back when it ends.
struct WorkerResult {
    HRESULT status = E_FAIL;  // a worker that died before telling has failed
    TransferStatistics statistics;
};

// One of a worker's output streams as the parent reads it.
struct Stream {
    int descriptor = -1;  // the pipe's read end; -1 once it ended
    std::FILE* target = nullptr;  // where its lines go
    std::string pending;  // text not yet ended by a line end
};

struct Worker {
    const WorkerTask* task = nullptr;
    pid_t pid = -1;
    std::array<Stream, 2> streams;  // standard output, standard error
    int result = -1;                // where its WorkerResult comes

    bool Ended() const { return streams[0].descriptor < 0 && streams[1].descriptor < 0; }
};

// A pipe's two ends, closed when not handed on.
struct Pipe {
    int ends[2] = {-1, -1};
    ~Pipe()
    {
        for (const int end : ends) {
            if (end >= 0)
                ::close(end);
        }
    }
    int Take(int index) { return std::exchange(ends[index], -1); }
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

[[noreturn]] void RunInChild(const WorkerTask& task, const WorkerBody& body, int output, int errors, int result)
{
    ::dup2(output, STDOUT_FILENO);
    ::dup2(errors, STDERR_FILENO);
    ::close(output);
    ::close(errors);
    WorkerResult answer;
    answer.status = body(task, answer.statistics);
    std::fflush(stdout);
    std::fflush(stderr);
    WriteAll(result, &answer, sizeof answer);
    ::_exit(0);
}

HRESULT Start(Worker& worker, const WorkerBody& body)
{
    Pipe output;
    Pipe errors;
    Pipe result;
    for (Pipe* pipe : {&output, &errors, &result}) {
        if (::pipe2(pipe->ends, O_CLOEXEC) != 0)
            return HResultFromErrno(errno);
    }
    std::fflush(stdout);
    std::fflush(stderr);
    const pid_t pid = ::fork();
    if (pid < 0)
        return HResultFromErrno(errno);
    if (pid == 0)
        RunInChild(*worker.task, body, output.Take(1), errors.Take(1), result.Take(1));
    worker.pid = pid;
    worker.streams[0] = {output.Take(0), stdout, {}};
    worker.streams[1] = {errors.Take(0), stderr, {}};
    worker.result = result.Take(0);
    return S_OK;
}

// Writes each complete line of the stream (and at its end what is left), headed by the label.
void Relay(const std::string& label, Stream& stream, bool ended)
{
    std::size_t start = 0;
    std::string text;
    for (std::size_t end; (end = stream.pending.find_first_of("\r\n", start)) != std::string::npos; start = end + 1) {
        if (end > start)
            text += "[" + label + "] " + stream.pending.substr(start, end - start) + "\n";
    }
    stream.pending.erase(0, start);
    if (ended && !stream.pending.empty()) {
        text += "[" + label + "] " + stream.pending + "\n";
        stream.pending.clear();
    }
    std::fwrite(text.data(), 1, text.size(), stream.target);
    std::fflush(stream.target);
}

// Reads what the stream has; at its end the pipe is closed.
void Read(const std::string& label, Stream& stream)
{
    char buffer[4096];
    const ssize_t read = ::read(stream.descriptor, buffer, sizeof buffer);
    if (read < 0 && errno == EINTR)
        return;
    if (read > 0) {
        stream.pending.append(buffer, static_cast<std::size_t>(read));
        Relay(label, stream, false);
        return;
    }
    Relay(label, stream, true);
    ::close(stream.descriptor);
    stream.descriptor = -1;
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
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || got != sizeof answer) {
        std::fprintf(stderr, "[%s] The worker ended abnormally.\n", worker.task->label.c_str());
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
    sum.foldersFailed += part.foldersFailed;
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
                std::fprintf(stderr, "[%s] Can not start a worker [%#x].\n", worker.task->label.c_str(),
                             static_cast<unsigned>(status));
                firstFailure = status;
                break;
            }
            running.push_back(std::move(worker));
        }
        if (running.empty())
            break;
        std::vector<pollfd> watched;
        for (const Worker& worker : running) {
            for (const Stream& stream : worker.streams)
                watched.push_back({stream.descriptor, POLLIN, 0});  // a negative descriptor is not watched
        }
        if (::poll(watched.data(), watched.size(), -1) < 0 && errno != EINTR)
            return HResultFromErrno(errno);
        for (std::size_t index = running.size(); index-- > 0;) {
            Worker& worker = running[index];
            for (std::size_t kind = 0; kind < worker.streams.size(); ++kind) {
                if (worker.streams[kind].descriptor >= 0 && watched[index * 2 + kind].revents != 0)
                    Read(worker.task->label, worker.streams[kind]);
            }
            if (!worker.Ended())
                continue;
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
