// The log: line form and endings, header lines, file size rule, open semantics, echo, reports,
// registry defaults and concurrent writers. Each case runs the log in a child process of its own.
#include "ex2qln/diag/Log.h"
#include "platform/registry/Registry.h"
#include "tests/ex2qln/diag/log/LogTestSupport.h"

#include "Version.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ex2qln::diag::test {
namespace {

constexpr int kHeaderLines = 3;

bool ExitedCleanly(int status)
{
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> Messages(const std::vector<LogLine>& lines, std::size_t first = kHeaderLines)
{
    std::vector<std::string> messages;
    for (std::size_t index = first; index < lines.size(); ++index)
        messages.push_back(lines[index].whole ? lines[index].message : "(not a whole line) " + lines[index].message);
    return messages;
}

std::string VersionText()
{
    using namespace ex2qln::version;
    return std::to_string(kMajor) + "." + std::to_string(kMinor) + "." + std::to_string(kPatch) + "." +
           std::to_string(kBuild);
}

std::string LocalStamp(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char text[64];
    std::strftime(text, sizeof text, "%x %X", &local);
    return text;
}

class LogTest : public ::testing::Test {
protected:
    std::vector<LogLine> LogLines(std::string_view name = "test.log") const
    {
        return ParseLog(ReadFile(scratch_ / name));
    }
    std::string Errors() const { return ReadFile(scratch_ / "stderr.txt"); }

    testsupport::TemporaryDirectory scratch_;
};

TEST_F(LogTest, EveryLineEndsInExactlyOneCarriageReturnAndLineFeed)
{
    struct Case {
        const char* message;
        const char* expected;  // the file's bytes after the prefix; null: no line at all
    };
    const std::vector<Case> cases = {
        {"abc", "abc\r\n"},      {"abc\n", "abc\r\n"},  {"abc\r\n", "abc\r\n"}, {"abc\r", "abc\r\r\n"},
        {"abc\n\n", "abc\n\r\n"}, {"a\nb", "a\nb\r\n"}, {"\n", "\r\n"},          {"", nullptr},
    };
    for (const Case& current : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(current.message)));
        testsupport::TemporaryDirectory directory;
        const int status = RunInChild(directory.Path(), [&] {
            OpenLog(1, "test.log", 100000, false);
            Trace("%s", current.message);
        });
        ASSERT_TRUE(ExitedCleanly(status));
        const std::string text = ReadFile(directory / "test.log");
        std::size_t headerEnd = 0;
        for (int line = 0; line < kHeaderLines; ++line)
            headerEnd = text.find("\r\n", headerEnd) + 2;
        const std::string rest = text.substr(headerEnd);
        if (current.expected == nullptr) {
            EXPECT_EQ(rest, "");
            continue;
        }
        const std::size_t prefixEnd = rest.find("]  ");
        ASSERT_NE(prefixEnd, std::string::npos) << rest;
        EXPECT_EQ(rest.substr(prefixEnd + 3), current.expected);
    }
}

TEST_F(LogTest, FirstLineOfTheProcessFollowsThreeHeaderLines)
{
    const std::time_t before = std::time(nullptr);
    const int status = RunInChild(scratch_.Path(), [] {
        OpenLog(1, "test.log", 100000, false);
        Trace("first %d", 1);
        Trace("second\n");
    });
    const std::time_t after = std::time(nullptr);
    ASSERT_TRUE(ExitedCleanly(status));

    const std::vector<LogLine> lines = LogLines();
    ASSERT_EQ(lines.size(), 5u);
    utsname system{};
    ASSERT_EQ(uname(&system), 0);
    const std::string program = ProgramPath();
    const std::string suffix =
#if defined(__x86_64__)
        " (x64)";
#else
        "";
#endif
    const std::vector<std::string> expected = {
        std::string("OS: ") + system.sysname + " " + system.release + " " + system.version,
        "App: " + program + ", version " + VersionText(),
        "Dll: " + program + ", version " + VersionText() + suffix,
        "first 1",
        "second",
    };
    EXPECT_EQ(Messages(lines, 0), expected);

    for (const LogLine& line : lines) {
        EXPECT_TRUE(line.whole);
        // The child's main thread: its thread identifier is its process identifier.
        EXPECT_EQ(line.process, UpperHex(static_cast<unsigned>(std::stoul(line.thread, nullptr, 16))));
        bool stampInRun = false;
        for (std::time_t when = before; when <= after; ++when)
            stampInRun = stampInRun || line.stamp == LocalStamp(when);
        EXPECT_TRUE(stampInRun) << line.stamp;
    }
}

// The lines written after `keptBytes` of old content, split into the header lines they start with
// and the messages after them.
struct Written {
    std::vector<std::string> headers;  // "OS", "App", "Dll" for each header line kept
    std::vector<std::string> messages;
    bool whole = true;
};

Written WrittenAfter(const std::filesystem::path& path, std::uint64_t keptBytes)
{
    const std::string text = ReadFile(path, keptBytes);
    Written written;
    if (std::filesystem::file_size(path) != keptBytes + text.size())
        written.whole = false;
    for (const LogLine& line : ParseLog(text)) {
        written.whole = written.whole && line.whole;
        const std::size_t colon = line.message.find(": ");
        const std::string head = line.message.substr(0, colon);
        if (written.messages.empty() && (head == "OS" || head == "App" || head == "Dll"))
            written.headers.push_back(head);
        else
            written.messages.push_back(line.message);
    }
    return written;
}

const std::vector<std::string> kAllHeaders = {"OS", "App", "Dll"};

TEST_F(LogTest, FileLargerThanTheMaximumIsEmptiedOtherwiseAppended)
{
    struct Case {
        const char* name;
        std::uint64_t existingSize;  // 0: no file
        std::uint32_t maximumSize;   // 0: the name is the whole path, never emptied
        std::uint64_t keptBytes;
        std::vector<std::string> headers;
    };
    const std::vector<Case> cases = {
        {"above the maximum: emptied before the first line", 2001, 2000, 0, kAllHeaders},
        // The first header line still goes after the old bytes; the file is then above its maximum,
        // so the second line empties it.
        {"at the maximum: appended once, then emptied", 2000, 2000, 0, {"App", "Dll"}},
        {"below the maximum: appended", 10, 2000, 10, kAllHeaders},
        {"no file yet", 0, 2000, 0, kAllHeaders},
        {"whole path: never emptied, even beyond 32 bits", 0x140000000ull, 0, 0x140000000ull, kAllHeaders},
    };
    for (const Case& current : cases) {
        SCOPED_TRACE(current.name);
        testsupport::TemporaryDirectory directory;
        const auto path = directory / "test.log";
        if (current.existingSize != 0)
            ResizeFile(path, current.existingSize);
        const int status = RunInChild(directory.Path(), [&] {
            if (current.maximumSize == 0)
                OpenLog(1, path.c_str(), 0, false);
            else
                OpenLog(1, "test.log", current.maximumSize, false);
            Trace("line");
        });
        ASSERT_TRUE(ExitedCleanly(status));
        const Written written = WrittenAfter(path, current.keptBytes);
        EXPECT_TRUE(written.whole);
        EXPECT_EQ(written.headers, current.headers);
        EXPECT_EQ(written.messages, std::vector<std::string>{"line"});
    }
}

TEST_F(LogTest, SecondOpenKeepsThePathAndReplacesTheMask)
{
    const int status = RunInChild(scratch_.Path(), [] {
        OpenLog(0x21, "test.log", 100000, false);
        OpenLog(0x10000001, "second.log", 0, true);
        Trace("mask %#x", TraceMask());
    });
    ASSERT_TRUE(ExitedCleanly(status));
    EXPECT_EQ(Messages(LogLines()), std::vector<std::string>{"mask 0x10000001"});
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "second.log"));
    EXPECT_EQ(Errors(), ReadFile(scratch_ / "test.log"));
}

TEST_F(LogTest, LocalRelativeNameIsCreatedInTheDirectoryOfTheFirstLine)
{
    std::filesystem::create_directories(scratch_ / "atOpen");
    std::filesystem::create_directories(scratch_ / "atFirstLine");
    const int status = RunInChild(scratch_.Path(), [&] {
        if (chdir((scratch_ / "atOpen").c_str()) != 0)
            _exit(102);
        OpenLog(1, "local.log", 100000, true);
        if (chdir((scratch_ / "atFirstLine").c_str()) != 0)
            _exit(102);
        Trace("here");
    });
    ASSERT_TRUE(ExitedCleanly(status));
    EXPECT_EQ(Messages(ParseLog(ReadFile(scratch_ / "atFirstLine" / "local.log"))), std::vector<std::string>{"here"});
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "atOpen" / "local.log"));
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "local.log"));
}

TEST_F(LogTest, NoNameWritesNoFileButStillEchoes)
{
    const int status = RunInChild(scratch_.Path(), [] {
        OpenLog(0x10000001, nullptr, 100000, false);
        Trace("only on the console");
    });
    ASSERT_TRUE(ExitedCleanly(status));
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_.Path()))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"stderr.txt"});
    EXPECT_EQ(Messages(ParseLog(Errors())), std::vector<std::string>{"only on the console"});
}

TEST_F(LogTest, LongMessageIsCutToFillTheLineBuffer)
{
    const std::string longText(1000, 'a');
    const int status = RunInChild(scratch_.Path(), [&] {
        OpenLog(1, "test.log", 100000, false);
        Trace("%s", longText.c_str());
        Trace("%s\n", longText.c_str());
        Trace("%s\r\n", longText.c_str());
    });
    ASSERT_TRUE(ExitedCleanly(status));
    const std::string text = ReadFile(scratch_ / "test.log");
    const std::vector<LogLine> lines = ParseLog(text);
    ASSERT_EQ(lines.size(), 6u);
    for (std::size_t index = kHeaderLines; index < lines.size(); ++index) {
        const LogLine& line = lines[index];
        ASSERT_TRUE(line.whole);
        // 512 bytes of buffer: the line, its CR LF and the terminating zero.
        const std::size_t prefixLength = line.stamp.size() + line.process.size() + line.thread.size() + 6;
        EXPECT_EQ(prefixLength + line.message.size() + 2, 511u);
        EXPECT_EQ(line.message, std::string(line.message.size(), 'a'));
    }
}

TEST_F(LogTest, EchoToStandardErrorFollowsItsBit)
{
    struct Case {
        std::uint32_t mask;
        bool echoed;
    };
    for (const Case current : {Case{0x10000021, true}, Case{0x21, false}}) {
        SCOPED_TRACE(current.mask);
        testsupport::TemporaryDirectory directory;
        const int status = RunInChild(directory.Path(), [&] {
            OpenLog(current.mask, "test.log", 100000, false);
            Trace("one");
            Trace("two\n");
        });
        ASSERT_TRUE(ExitedCleanly(status));
        const std::string logText = ReadFile(directory / "test.log");
        EXPECT_EQ(Messages(ParseLog(logText)), (std::vector<std::string>{"one", "two"}));
        EXPECT_EQ(ReadFile(directory / "stderr.txt"), current.echoed ? logText : "");
    }
}

TEST_F(LogTest, ZeroMaskWritesNoFailureReport)
{
    const int status = RunInChild(scratch_.Path(), [] {
        OpenLog(0, "test.log", 100000, false);
        const bool passedThrough = QLN_CHECK(E_FAIL) == E_FAIL && QLN_ASSERT_HR(E_NOTIMPL) == E_NOTIMPL;
        CheckReport(E_FAIL, false, "a.cpp", 1, "extra");
        AssertionText("a.cpp", 2, "text");
        _exit(passedThrough ? 0 : 103);
    });
    EXPECT_TRUE(ExitedCleanly(status));
    EXPECT_FALSE(std::filesystem::exists(scratch_ / "test.log"));
}

TEST_F(LogTest, CheckReportsAndAssertionTexts)
{
    int checkLine = 0;
    const int status = RunInChild(scratch_.Path(), [&] {
        OpenLog(1, "test.log", 100000, false);
        CheckReport(E_FAIL, false, "/src/ex2qln/cli/Cli.cpp", 42, nullptr);
        CheckReport(EX2QLN_HR(0x8004010Fu), true, "Store.cpp", 7, "OpenEntry");
        // clang-format off
        checkLine = __LINE__; QLN_CHECK(E_NOTIMPL); QLN_ASSERT_HR(E_OUTOFMEMORY); QLN_CHECK(S_FALSE);
        // clang-format on
        AssertionText("/src/ex2qln/a/b.cpp", 9, "count > 0");
        AssertionText("x.cpp", 1, nullptr);
        Trace("line %d", checkLine);
    });
    ASSERT_TRUE(ExitedCleanly(status));
    const std::vector<std::string> messages = Messages(LogLines());
    ASSERT_EQ(messages.size(), 7u);
    const std::string at = "LogTest.cpp(" + messages.back().substr(5) + ")";
    const std::vector<std::string> expected = {
        "Cli.cpp(42) : check failed 0x80004005: ",
        "Store.cpp(7) : assertion failed 0x8004010f: OpenEntry",
        at + " : check failed 0x80004001: ",
        at + " : assertion failed 0x8007000e: ",
        "/src/ex2qln/a/b.cpp(9) : assertion: count > 0",
        "x.cpp(1) : assertion: ",
        messages.back(),
    };
    EXPECT_EQ(messages, expected);
}

TEST_F(LogTest, ConcurrentTracesGiveWholeLines)
{
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 300;
    const std::string padding(150, '.');
    const int status = RunInChild(scratch_.Path(), [&] {
        OpenLog(1, "test.log", 0x4000000, false);
        std::vector<std::thread> threads;
        for (int number = 0; number < kThreads; ++number) {
            threads.emplace_back([&, number] {
                for (int line = 0; line < kLinesEach; ++line)
                    Trace("thread %d line %d %s\n", number, line, padding.c_str());
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    });
    ASSERT_TRUE(ExitedCleanly(status));

    const std::vector<LogLine> lines = LogLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kHeaderLines + kThreads * kLinesEach));
    std::map<int, int> nextLine;
    std::map<int, std::string> threadIds;
    for (std::size_t index = kHeaderLines; index < lines.size(); ++index) {
        const LogLine& line = lines[index];
        ASSERT_TRUE(line.whole) << line.message;
        int number = -1;
        int count = -1;
        char rest[200] = {};
        ASSERT_EQ(std::sscanf(line.message.c_str(), "thread %d line %d %199s", &number, &count, rest), 3)
            << line.message;
        EXPECT_EQ(rest, padding);
        EXPECT_EQ(count, nextLine[number]++) << "thread " << number;
        if (threadIds.count(number) == 0)
            threadIds[number] = line.thread;
        EXPECT_EQ(line.thread, threadIds[number]);
    }
    EXPECT_EQ(nextLine.size(), static_cast<std::size_t>(kThreads));
}

// Worker processes fork from a process that has written lines already: each line names its writer.
TEST_F(LogTest, ALineWrittenAfterAForkNamesTheChild)
{
    const int status = RunInChild(scratch_.Path(), [&] {
        OpenLog(1, "test.log", 0x4000000, false);
        Trace("parent %x %x\n", static_cast<unsigned>(getpid()), static_cast<unsigned>(gettid()));
        const pid_t child = fork();
        if (child == 0) {
            Trace("child %x %x\n", static_cast<unsigned>(getpid()), static_cast<unsigned>(gettid()));
            _exit(0);
        }
        int childStatus = 0;
        waitpid(child, &childStatus, 0);
        Trace("parent %x %x\n", static_cast<unsigned>(getpid()), static_cast<unsigned>(gettid()));
    });
    ASSERT_TRUE(ExitedCleanly(status));
    const std::vector<LogLine> lines = LogLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kHeaderLines + 3));
    std::vector<std::string> processes;
    for (std::size_t index = kHeaderLines; index < lines.size(); ++index) {
        const LogLine& line = lines[index];
        char who[16] = {};
        unsigned process = 0;
        unsigned thread = 0;
        ASSERT_EQ(std::sscanf(line.message.c_str(), "%15s %x %x", who, &process, &thread), 3) << line.message;
        EXPECT_EQ(line.process, UpperHex(process)) << line.message;
        EXPECT_EQ(line.thread, LowerHex(thread)) << line.message;
        processes.push_back(line.process);
    }
    EXPECT_NE(processes[1], processes[0]);
    EXPECT_EQ(processes[2], processes[0]);
}

TEST_F(LogTest, TraceBeforeOpenUsesTheDefaults)
{
    struct Case {
        const char* name;
        std::optional<std::uint32_t> logging;  // registry values; none: not stored
        std::optional<std::uint32_t> maximumSize;
        std::uint64_t existingSize;
        std::uint32_t expectedMask;
        bool emptied;
    };
    // The lines of one case take well under 1000 bytes.
    const std::vector<Case> cases = {
        {"no registry, above the built-in maximum", {}, {}, 10240001, 0, true},
        {"no registry, below the built-in maximum", {}, {}, 10240000 - 1000, 0, false},
        {"registry mask only", 0x10000021, {}, 10240001, 0x10000021, true},
        {"registry mask and maximum", 0x21, 5000, 5001, 0x21, true},
        {"registry maximum, below it", {}, 5000, 4000, 0, false},
    };
    for (const Case& current : cases) {
        SCOPED_TRACE(current.name);
        testsupport::TemporaryDirectory directory;
        const auto path = directory / "qlnconn.log";
        ResizeFile(path, current.existingSize);
        const int status = RunInChild(directory.Path(), [&] {
            const auto registry = directory / "registry.ini";
            setenv("EX2QLN_USER_REGISTRY", registry.c_str(), 1);
            auto key = platform::RegistryKey::Create(platform::RegistryRoot::CurrentUser, "Software\\Quillon\\Connector");
            if (current.logging && !key.WriteDword("Logging", *current.logging))
                _exit(104);
            if (current.maximumSize && !key.WriteDword("MaximumLogFileSize", *current.maximumSize))
                _exit(104);
            Trace("first");
            Trace("mask %#x", TraceMask());
        });
        ASSERT_TRUE(ExitedCleanly(status));
        char maskLine[32];
        std::snprintf(maskLine, sizeof maskLine, "mask %#x", current.expectedMask);
        const std::uint64_t keptBytes = current.emptied ? 0 : current.existingSize;
        const Written written = WrittenAfter(path, keptBytes);
        EXPECT_TRUE(written.whole);
        EXPECT_EQ(written.headers, kAllHeaders);
        EXPECT_EQ(written.messages, (std::vector<std::string>{"first", maskLine}));
        const bool echoed = (current.expectedMask & kTraceEchoToStderr) != 0;
        EXPECT_EQ(ReadFile(directory / "stderr.txt"), echoed ? ReadFile(path, keptBytes) : "");
    }
}

} // namespace
} // namespace ex2qln::diag::test
