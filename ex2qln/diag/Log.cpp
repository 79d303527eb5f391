// The process-wide log: one lazily opened file, trace lines under one lock, the header lines and the
// failure reports.
#include "ex2qln/diag/Log.h"

#include "ex2qln/diag/CrashHandler.h"
#include "platform/files/TempDirectory.h"
#include "platform/registry/Registry.h"

#include "Version.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>
#include <string>

namespace ex2qln::diag {
namespace {

constexpr std::size_t kLineSize = 512;
constexpr std::size_t kStampSize = 100;  // room for each of the date and the time
constexpr std::uint32_t kNeverEmptied = 0xFFFFFFFFu;
constexpr std::uint32_t kDefaultMaximumSize = 10240000;
constexpr char kDefaultFileName[] = "qlnconn.log";
constexpr char kConnectorKey[] = "Software\\Quillon\\Connector";
#if defined(__x86_64__)
constexpr char kArchitectureSuffix[] = " (x64)";
#else
constexpr char kArchitectureSuffix[] = "";
#endif

struct LogState {
    std::mutex lock;
    std::atomic<pid_t> lockOwner{0};  // lets the crash handler see a crash inside a line
    std::atomic<std::uint32_t> mask{0};
    std::atomic<bool> opened{false};
    // Set by the first open, then only read; the rest changes under the lock.
    std::string path;
    bool pathInTemporaryDirectory = false;
    std::uint32_t maximumSize = 0;
    int file = -1;
    bool headerWritten = false;
};

// The process and thread ids that every line shows, asked of the system once per thread; a forked
// child (whose one thread is the one that forked) asks again.
std::atomic<pid_t> processId{0};
thread_local pid_t threadId = 0;

void ForgetIdsInChild()
{
    processId.store(0);
    threadId = 0;
}

pid_t ProcessId()
{
    pid_t id = processId.load(std::memory_order_relaxed);
    if (id == 0) {
        id = getpid();
        processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

pid_t ThreadId()
{
    if (threadId == 0)
        threadId = gettid();
    return threadId;
}

// Never destroyed, so threads and static destructors may still trace while the process exits.
LogState& State()
{
    static LogState& state = [] () -> LogState& {
        pthread_atfork(nullptr, nullptr, ForgetIdsInChild);
        return *new LogState;
    }();
    return state;
}

// Holds the line lock and records which thread holds it.
class LineGuard {
public:
    explicit LineGuard(LogState& state) : state_(state), thread_(ThreadId())
    {
        state_.lock.lock();
        state_.lockOwner.store(thread_);
    }
    ~LineGuard()
    {
        state_.lockOwner.store(0);
        state_.lock.unlock();
    }
    LineGuard(const LineGuard&) = delete;
    LineGuard& operator=(const LineGuard&) = delete;

    pid_t Thread() const { return thread_; }

private:
    LogState& state_;
    pid_t thread_;
};

// The crash handler's way to the lock: a thread that crashed inside a line already holds it, and
// another holder gets about a second; then the handler goes on without the lock, because a mixed
// line costs less than a hung crash.
class SignalLineGuard {
public:
    explicit SignalLineGuard(LogState& state) : state_(state), thread_(gettid())
    {
        if (state_.lockOwner.load() == thread_)
            return;
        const timespec pause{0, 1'000'000};
        for (int attempt = 0; attempt < 1000; ++attempt) {
            if (state_.lock.try_lock()) {
                owned_ = true;
                state_.lockOwner.store(thread_);
                return;
            }
            nanosleep(&pause, nullptr);
        }
    }
    ~SignalLineGuard()
    {
        if (!owned_)
            return;
        state_.lockOwner.store(0);
        state_.lock.unlock();
    }
    SignalLineGuard(const SignalLineGuard&) = delete;
    SignalLineGuard& operator=(const SignalLineGuard&) = delete;

    pid_t Thread() const { return thread_; }

private:
    LogState& state_;
    pid_t thread_;
    bool owned_ = false;
};

struct Defaults {
    std::uint32_t mask = 0;
    std::uint32_t maximumSize = kDefaultMaximumSize;
};

// The user's settings for a process whose log was never opened.
Defaults ReadDefaults()
{
    Defaults defaults;
    try {
        const auto key = platform::RegistryKey::Open(platform::RegistryRoot::CurrentUser, kConnectorKey);
        if (!key)
            return defaults;
        if (const auto mask = key->ReadDword("Logging"))
            defaults.mask = *mask;
        if (const auto maximumSize = key->ReadDword("MaximumLogFileSize"))
            defaults.maximumSize = *maximumSize;
    } catch (...) {
        // An unreadable store leaves the built-in defaults; tracing never fails its caller.
    }
    return defaults;
}

// Fixes the path and maximum size once and installs the crash handler; the caller holds the lock.
void OpenLocked(LogState& state, const char* fileName, std::uint32_t maximumSize, bool local)
{
    if (fileName == nullptr || *fileName == '\0') {
        state.maximumSize = 0;
    } else if (maximumSize == 0) {
        state.path = fileName;
        state.maximumSize = kNeverEmptied;
    } else {
        state.pathInTemporaryDirectory = !local;
        state.path = local ? std::string(fileName) : platform::TempDirectory() + fileName;
        state.maximumSize = maximumSize;
    }
    state.opened.store(true);
    InstallCrashHandler();
}

void OpenWithDefaultsLocked(LogState& state, const Defaults& defaults)
{
    state.path = platform::TempDirectory() + kDefaultFileName;
    state.pathInTemporaryDirectory = true;
    state.maximumSize = defaults.maximumSize;
    state.opened.store(true);
    InstallCrashHandler();
    state.mask.store(defaults.mask);
}

// "date time [PID/tid]  " in the C library's current locale; returns its length.
std::size_t WritePrefix(char* line, pid_t thread)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::size_t length = std::strftime(line, kStampSize, "%x", &local);
    line[length++] = ' ';
    length += std::strftime(line + length, kStampSize, "%X", &local);
    line[length++] = ' ';
    const int id = std::snprintf(line + length, kLineSize - length, "[%X/%x]  ",
                                 static_cast<unsigned>(ProcessId()), static_cast<unsigned>(thread));
    return length + static_cast<std::size_t>(std::max(id, 0));
}

// Builds the whole line ending in exactly one CR LF in `line`; returns its length, 0 when the
// message formats to nothing. A long message is cut so that line, CR LF and zero fill the buffer.
std::size_t BuildLine(char (&line)[kLineSize], pid_t thread, const char* format, va_list args)
{
    const std::size_t prefixLength = WritePrefix(line, thread);
    const std::size_t room = kLineSize - prefixLength;  // message and its zero
    char* message = line + prefixLength;
    const int formatted = std::vsnprintf(message, room, format, args);
    if (formatted <= 0)
        return 0;
    std::size_t length = static_cast<std::size_t>(formatted);
    if (length < room) {
        if (length >= 2 && message[length - 2] == '\r' && message[length - 1] == '\n')
            length -= 2;
        else if (message[length - 1] == '\n')
            length -= 1;
    }
    length = std::min(length, room - 3);
    message[length++] = '\r';
    message[length++] = '\n';
    message[length] = '\0';
    return prefixLength + length;
}

void OpenFileLocked(LogState& state)
{
    // Under the shared temporary directory a link planted in place of the log is refused.
    // Appending: lines of other processes writing the same log are never overwritten.
    const int flags = O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (state.pathInTemporaryDirectory ? O_NOFOLLOW : 0);
    // Private to the user: protocol lines can carry account names and commands.
    state.file = open(state.path.c_str(), flags, 0600);
}

bool FileTooLarge(const LogState& state)
{
    struct stat status {};
    return state.maximumSize != kNeverEmptied && fstat(state.file, &status) == 0 &&
           static_cast<std::uint64_t>(status.st_size) > state.maximumSize;
}

void WriteToFileLocked(LogState& state, const char* line, std::size_t length)
{
    if (state.maximumSize == 0)
        return;
    if (state.file < 0)
        OpenFileLocked(state);
    if (state.file < 0)
        return;  // tried again with the next line
    // The file is never rotated: past its maximum it is emptied and starts again.
    if (FileTooLarge(state) && ftruncate(state.file, 0) != 0)
        return;  // not emptied: the line is dropped rather than growing the file past its maximum
    WriteAll(state.file, line, length);
}

void WriteLineLocked(LogState& state, pid_t thread, const char* format, va_list args)
{
    char line[kLineSize];
    const std::size_t length = BuildLine(line, thread, format, args);
    if (length == 0)
        return;
    WriteToFileLocked(state, line, length);
    if ((state.mask.load(std::memory_order_relaxed) & kTraceEchoToStderr) != 0)
        WriteAll(STDERR_FILENO, line, length);
}

__attribute__((format(printf, 3, 4))) void WriteLocked(LogState& state, pid_t thread, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    WriteLineLocked(state, thread, format, args);
    va_end(args);
}

// The path of the module that holds this facility: the program itself when it is linked in.
bool FacilityModulePath(char* buffer, std::size_t size)
{
    Dl_info info{};
    link_map* module = nullptr;
    if (dladdr1(reinterpret_cast<const void*>(&FacilityModulePath), &info, reinterpret_cast<void**>(&module),
                RTLD_DL_LINKMAP) == 0 ||
        module == nullptr)
        return false;
    if (module->l_name == nullptr || module->l_name[0] == '\0')
        return ProgramPath(buffer, size);
    const int length = std::snprintf(buffer, size, "%s", module->l_name);
    return length > 0 && static_cast<std::size_t>(length) < size;
}

void WriteHeaderLocked(LogState& state, pid_t thread)
{
    using namespace ex2qln::version;
    utsname system{};
    if (uname(&system) == 0)
        WriteLocked(state, thread, "OS: %s %s %s\n", system.sysname, system.release, system.version);
    else
        WriteLocked(state, thread, "OS: Unknown\n");

    char path[PATH_MAX];
    if (ProgramPath(path, sizeof path))
        WriteLocked(state, thread, "App: %s, version %d.%d.%d.%d\n", path, static_cast<int>(kMajor),
                    static_cast<int>(kMinor), static_cast<int>(kPatch), static_cast<int>(kBuild));
    if (FacilityModulePath(path, sizeof path))
        WriteLocked(state, thread, "Dll: %s, version %d.%d.%d.%d%s\n", path, static_cast<int>(kMajor),
                    static_cast<int>(kMinor), static_cast<int>(kPatch), static_cast<int>(kBuild),
                    kArchitectureSuffix);
}

const char* BaseName(const char* path)
{
    if (path == nullptr)
        return "";
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

} // namespace

void OpenLog(std::uint32_t mask, const char* fileName, std::uint32_t maximumSize, bool local)
{
    LogState& state = State();
    LineGuard guard(state);
    if (!state.opened.load())
        OpenLocked(state, fileName, maximumSize, local);
    state.mask.store(mask);
}

std::uint32_t TraceMask()
{
    return State().mask.load(std::memory_order_relaxed);
}

void Trace(const char* format, ...)
{
    LogState& state = State();
    // The registry is read outside the lock: it is another subsystem's code.
    std::optional<Defaults> defaults;
    if (!state.opened.load())
        defaults = ReadDefaults();

    LineGuard guard(state);
    if (!state.headerWritten) {
        if (!state.opened.load() && defaults)
            OpenWithDefaultsLocked(state, *defaults);
        state.headerWritten = true;
        WriteHeaderLocked(state, guard.Thread());
    }
    va_list args;
    va_start(args, format);
    WriteLineLocked(state, guard.Thread(), format, args);
    va_end(args);
}

void CheckReport(HRESULT status, bool assertion, const char* sourcePath, int line, const char* extra)
{
    if (TraceMask() == 0)
        return;
    Trace("%s(%d) : %s failed %#x: %s\n", BaseName(sourcePath), line, assertion ? "assertion" : "check",
          static_cast<unsigned>(status), extra != nullptr ? extra : "");
}

void AssertionText(const char* sourcePath, int line, const char* text)
{
    if (TraceMask() == 0)
        return;
    Trace("%s(%d) : assertion: %s\n", sourcePath != nullptr ? sourcePath : "", line, text != nullptr ? text : "");
}

void TraceFromSignal(const char* message)
{
    LogState& state = State();
    SignalLineGuard guard(state);
    if (!state.headerWritten) {
        state.headerWritten = true;
        WriteHeaderLocked(state, guard.Thread());
    }
    WriteLocked(state, guard.Thread(), "%s", message);
}

void CloseLogFileFromSignal()
{
    LogState& state = State();
    SignalLineGuard guard(state);
    if (state.file < 0)
        return;
    close(state.file);
    state.file = -1;
}

} // namespace ex2qln::diag
