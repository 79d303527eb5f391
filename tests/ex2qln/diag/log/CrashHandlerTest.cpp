// The fatal-signal handler: a child that crashes leaves the fault lines in its log and a backtrace
// in the dump file of its temporary directory, and still dies of its signal.
#include "ex2qln/diag/Log.h"
#include "tests/ex2qln/diag/log/LogTestSupport.h"

#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <cstdlib>
#include <regex>
#include <string>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
#define EX2QLN_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define EX2QLN_TEST_ASAN 1
#endif
#endif

namespace ex2qln::diag::test {
namespace {

// A page without access rather than a null pointer, which the undefined-behaviour sanitizer would
// stop at before the fault.
[[noreturn]] void WriteToForbiddenPage()
{
    void* page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED)
        *static_cast<volatile int*>(page) = 1;
    std::abort();  // not reached
}

volatile int gNeverReached = -1;

__attribute__((noinline)) int Recurse(int depth)
{
    if (depth == gNeverReached)
        return 0;
    volatile char frame[1024];
    frame[0] = static_cast<char>(depth);
    return Recurse(depth + 1) + frame[0];
}

[[noreturn]] void OverflowTheStack()
{
    Recurse(0);
    std::abort();  // not reached
}

[[noreturn]] void Abort()
{
    std::abort();
}

struct Case {
    const char* name;
    void (*crash)();
    bool traceFirst;
    int signalNumber;
    const char* faultModule;  // a regular expression for the module named on the "Fault address" line
};

// Under AddressSanitizer its own SEGV handler was installed first: ours reports and hands the fault
// back to it, and it ends the process with its own exit status instead of the signal.
bool DiedOf(int status, int signalNumber)
{
    if (WIFSIGNALED(status) && WTERMSIG(status) == signalNumber)
        return true;
#if defined(EX2QLN_TEST_ASAN)
    return signalNumber == SIGSEGV && WIFEXITED(status) && WEXITSTATUS(status) != 0;
#else
    return false;
#endif
}

std::string RegexEscape(const std::string& text)
{
    static const std::regex kSpecial(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, kSpecial, R"(\$&)");
}

// From the memory map: the low 32 bits of the address where the file of `modulePath` is mapped
// from offset 0, as "0x%08x"; the file is compared by name, because "/lib" may be a link.
std::string FileStartInMemory(const std::string& memoryMap, const std::string& modulePath)
{
    static const std::regex kMapping(R"(([0-9a-f]+)-[0-9a-f]+ \S+ 0+ \S+ \S+ +(\S+))");
    const std::string name = std::filesystem::path(modulePath).filename().string();
    for (std::sregex_iterator mapping(memoryMap.begin(), memoryMap.end(), kMapping), end; mapping != end; ++mapping) {
        if (std::filesystem::path((*mapping)[2].str()).filename() != name)
            continue;
        char start[16];
        std::snprintf(start, sizeof start, "0x%08x",
                      static_cast<unsigned>(std::stoull((*mapping)[1].str(), nullptr, 16) & 0xFFFFFFFFu));
        return start;
    }
    return "(not mapped)";
}

TEST(CrashHandlerTest, FatalSignalIsLoggedDumpedAndDeliveredAgain)
{
    const std::string program = RegexEscape(ProgramPath());
    const std::vector<Case> cases = {
        {"write to a page without access", WriteToForbiddenPage, true, SIGSEGV, program.c_str()},
        {"stack overflow", OverflowTheStack, true, SIGSEGV, program.c_str()},
        {"abort before any line", Abort, false, SIGABRT, R"(/\S*libc\.so\.6)"},
    };
    for (const Case& current : cases) {
        SCOPED_TRACE(current.name);
        testsupport::TemporaryDirectory directory;
        WriteFile(directory / "qlnconn.dmp", "stale dump");
        const int status = RunInChild(directory.Path(), [&] {
            OpenLog(0x21, "crash.log", 0x4000000, false);
            if (current.traceFirst)
                Trace("before the crash");
            current.crash();
        });
        EXPECT_TRUE(DiedOf(status, current.signalNumber)) << "wait status " << status;

        const std::vector<LogLine> lines = ParseLog(ReadFile(directory / "crash.log"));
        std::vector<std::string> messages;
        for (std::size_t index = 3; index < lines.size(); ++index) {
            EXPECT_TRUE(lines[index].whole) << lines[index].message;
            messages.push_back(lines[index].message);
        }
        if (current.traceFirst) {
            ASSERT_FALSE(messages.empty());
            EXPECT_EQ(messages.front(), "before the crash");
            messages.erase(messages.begin());
        }
        ASSERT_EQ(messages.size(), 2u) << testing::PrintToString(messages);
        char code[16];
        std::snprintf(code, sizeof code, "0x%08x", static_cast<unsigned>(current.signalNumber));
        const std::regex unhandled("Unhandled exception: " + std::string(code) + "@(0x[0-9a-f]{8}) " + program);
        std::smatch address;
        ASSERT_TRUE(std::regex_match(messages[0], address, unhandled)) << messages[0];
        const std::regex fault("Fault address: " + address[1].str() + " 0x0000000[1-9]:0x[0-9a-f]{8} (" +
                               current.faultModule + ")@(0x[0-9a-f]{8})");
        std::smatch module;
        EXPECT_TRUE(std::regex_match(messages[1], module, fault)) << messages[1];

        const std::string dump = ReadFile(directory / "qlnconn.dmp");
        EXPECT_EQ(dump.find("stale dump"), std::string::npos);
        // backtrace_symbols_fd names each frame's module as it was started; the memory map that
        // follows gives the modules' full paths and addresses.
        const std::string programName = std::filesystem::path(ProgramPath()).filename().string();
        const std::size_t mapStart = dump.find("\nMemory map:\n");
        ASSERT_NE(mapStart, std::string::npos) << dump.substr(0, 2000);
        EXPECT_NE(dump.substr(0, mapStart).find(programName + "(+0x"), std::string::npos) << dump.substr(0, 2000);
        EXPECT_NE(dump.find(" " + ProgramPath() + "\n", mapStart), std::string::npos);
        if (module.empty())
            continue;
        // The base is where the module's file starts in memory: its mapping of file offset 0.
        EXPECT_EQ(module[2].str(), FileStartInMemory(dump.substr(mapStart), module[1].str())) << dump.substr(mapStart);
    }
}

} // namespace
} // namespace ex2qln::diag::test
