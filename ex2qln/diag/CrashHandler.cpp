// The fatal-signal handler: the fault goes into the log, a backtrace into "qlnconn.dmp" in the
// temporary directory, then the signal goes on to the action that was installed before.
//
// Async-signal safety: everything that allocates or reads the environment (program path, dump path,
// loading the unwinder) is done at installation; the handler formats into stack buffers and writes
// with write(2). Not strictly async-signal-safe, and accepted because the process is dying anyway
// and each has no safe replacement that gives the same information: snprintf (glibc's does not
// allocate for integer and string conversions); the line's date and time (localtime_r takes the
// time-zone lock); the line lock (a bounded try-lock, see TraceFromSignal); dl_iterate_phdr and
// dladdr (they take the loader's lock, so a crash inside dlopen can hang here); backtrace (the
// unwinder is preloaded, so it no longer allocates).
#include "ex2qln/diag/CrashHandler.h"

#include "platform/files/TempDirectory.h"

#include <execinfo.h>
#include <fcntl.h>
#include <link.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <iterator>

namespace ex2qln::diag {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr char kDumpFileName[] = "qlnconn.dmp";
constexpr int kMaximumFrames = 128;
// Large enough for snprintf, the module search and the unwinder behind backtrace.
constexpr std::size_t kAlternateStackSize = 256 * 1024;

// Everything the handler needs, prepared at installation; static storage, never destroyed.
struct CrashState {
    struct sigaction previous[std::size(kFatalSignals)];
    char programPath[PATH_MAX];
    char dumpPath[PATH_MAX];
    alignas(16) char alternateStack[kAlternateStackSize];
    std::atomic<bool> handling;
};

CrashState gCrash;

// Where a faulting address lies: the loadable segment (counting from 1), the offset in it, the
// module's path and the address its file is mapped at.
struct ModulePlace {
    std::uintptr_t address = 0;
    bool found = false;
    unsigned segment = 0;
    std::uintptr_t offset = 0;
    const char* path = "";
    std::uintptr_t base = 0;
};

int FindModulePlace(dl_phdr_info* module, std::size_t, void* data)
{
    auto& place = *static_cast<ModulePlace*>(data);
    unsigned segment = 0;
    std::uintptr_t base = 0;
    for (int index = 0; index < module->dlpi_phnum; ++index) {
        const ElfW(Phdr)& header = module->dlpi_phdr[index];
        if (header.p_type != PT_LOAD)
            continue;
        const std::uintptr_t start = module->dlpi_addr + header.p_vaddr;
        if (++segment == 1)
            base = start - header.p_offset;
        if (place.address < start || place.address - start >= header.p_memsz)
            continue;
        place.found = true;
        place.segment = segment;
        place.offset = place.address - start;
        place.base = base;
        // The main program has no name in the loader's list.
        place.path = module->dlpi_name[0] != '\0' ? module->dlpi_name : gCrash.programPath;
        return 1;
    }
    return 0;
}

// The instruction that faulted, as the fault's location; si_addr would be the data address of a
// bad access, which lies in no module for the common null pointer.
std::uintptr_t FaultAddress(const siginfo_t* info, const void* context)
{
    const auto* machine = static_cast<const ucontext_t*>(context);
#if defined(__x86_64__)
    if (machine != nullptr)
        return static_cast<std::uintptr_t>(machine->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    if (machine != nullptr)
        return static_cast<std::uintptr_t>(machine->uc_mcontext.pc);
#else
    (void)machine;
#endif
    return info != nullptr ? reinterpret_cast<std::uintptr_t>(info->si_addr) : 0;
}

// The memory map lets the addresses of the backtrace be matched to modules afterwards.
void CopyMemoryMap(int dump)
{
    const int maps = open("/proc/self/maps", O_RDONLY | O_CLOEXEC);
    if (maps < 0)
        return;
    static constexpr char kTitle[] = "\nMemory map:\n";
    WriteAll(dump, kTitle, sizeof kTitle - 1);
    char block[4096];
    ssize_t length;
    while ((length = read(maps, block, sizeof block)) > 0 || (length < 0 && errno == EINTR)) {
        if (length > 0)
            WriteAll(dump, block, static_cast<std::size_t>(length));
    }
    close(maps);
}

void WriteDump()
{
    if (gCrash.dumpPath[0] == '\0')
        return;
    // Replacing by unlink and exclusive creation never writes through a planted link.
    unlink(gCrash.dumpPath);
    const int dump = open(gCrash.dumpPath, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (dump < 0)
        return;
    void* frames[kMaximumFrames];
    const int count = backtrace(frames, kMaximumFrames);
    backtrace_symbols_fd(frames, count, dump);
    CopyMemoryMap(dump);
    close(dump);
}

void Report(int signalNumber, const siginfo_t* info, const void* context)
{
    ModulePlace place;
    place.address = FaultAddress(info, context);
    const auto address32 = static_cast<unsigned>(place.address & 0xFFFFFFFFu);

    char line[PATH_MAX + 128];
    if (gCrash.programPath[0] != '\0')
        std::snprintf(line, sizeof line, "Unhandled exception: 0x%08x@0x%08x %s\n",
                      static_cast<unsigned>(signalNumber), address32, gCrash.programPath);
    else
        std::snprintf(line, sizeof line, "Unhandled exception: 0x%08x@0x%08x\n",
                      static_cast<unsigned>(signalNumber), address32);
    TraceFromSignal(line);

    dl_iterate_phdr(FindModulePlace, &place);
    if (place.found) {
        std::snprintf(line, sizeof line, "Fault address: 0x%08x 0x%08x:0x%08x %s@0x%08x\n", address32,
                      place.segment, static_cast<unsigned>(place.offset & 0xFFFFFFFFu), place.path,
                      static_cast<unsigned>(place.base & 0xFFFFFFFFu));
        TraceFromSignal(line);
    }
    CloseLogFileFromSignal();
    WriteDump();
}

// A second thread that faults while the first reports waits for the first to end the process.
void WaitForFirstReport()
{
    const timespec pause{0, 100'000'000};
    for (int round = 0; round < 100; ++round)
        nanosleep(&pause, nullptr);
}

void RestorePreviousAction(int signalNumber)
{
    for (std::size_t index = 0; index < std::size(kFatalSignals); ++index) {
        if (kFatalSignals[index] == signalNumber)
            sigaction(signalNumber, &gCrash.previous[index], nullptr);
    }
}

void OnFatalSignal(int signalNumber, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    if (!gCrash.handling.exchange(true))
        Report(signalNumber, info, context);
    else
        WaitForFirstReport();
    RestorePreviousAction(signalNumber);
    // A signal that was sent (raise, kill, abort) is sent again; a fault happens again by itself
    // when the instruction is retried on return, and then reaches the previous action with its
    // own details.
    if (info == nullptr || info->si_code <= 0)
        raise(signalNumber);
    errno = savedErrno;
}

// Without its own stack the handler could not run after a stack overflow. A stack that is already
// set (sanitizers install one) is kept. Other threads get none, so their overflows are not caught.
void InstallAlternateStack()
{
    stack_t current{};
    if (sigaltstack(nullptr, &current) == 0 && (current.ss_flags & SS_DISABLE) == 0)
        return;
    stack_t stack{};
    stack.ss_sp = gCrash.alternateStack;
    stack.ss_size = sizeof gCrash.alternateStack;
    sigaltstack(&stack, nullptr);
}

} // namespace

void WriteAll(int file, const char* data, std::size_t length)
{
    while (length > 0) {
        const ssize_t written = write(file, data, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        data += written;
        length -= static_cast<std::size_t>(written);
    }
}

bool ProgramPath(char* buffer, std::size_t size)
{
    const ssize_t length = readlink("/proc/self/exe", buffer, size - 1);
    buffer[length > 0 ? length : 0] = '\0';
    return length > 0;
}

void InstallCrashHandler()
{
    ProgramPath(gCrash.programPath, sizeof gCrash.programPath);
    const std::string directory = platform::TempDirectory();
    const int length = std::snprintf(gCrash.dumpPath, sizeof gCrash.dumpPath, "%s%s", directory.c_str(),
                                     kDumpFileName);
    if (length < 0 || static_cast<std::size_t>(length) >= sizeof gCrash.dumpPath)
        gCrash.dumpPath[0] = '\0';

    // The first backtrace loads the unwinder, which allocates: done here, not in the handler.
    void* frame[1];
    backtrace(frame, 1);

    InstallAlternateStack();
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : kFatalSignals)
        sigaddset(&action.sa_mask, signalNumber);
    for (std::size_t index = 0; index < std::size(kFatalSignals); ++index)
        sigaction(kFatalSignals[index], &action, &gCrash.previous[index]);
}

} // namespace ex2qln::diag
