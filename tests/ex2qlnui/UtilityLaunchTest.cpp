// Finding ex2qln, the terminal and the output log, and the starts that fail before anything runs.
#include "ex2qlnui/PasswordHandOver.h"
#include "ex2qlnui/UtilityLaunch.h"
#include "tests/ex2qlnui/StandInUtility.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace ex2qlnui {
namespace {

using testsupport::ScopedEnvironment;
using testsupport::TemporaryDirectory;

TEST(UtilityLaunch, Ex2qlnIsTheLauncherWithoutItsUi)
{
    const std::pair<const char*, std::optional<std::string>> cases[] = {
        {"/usr/bin/ex2qlnui", "/usr/bin/ex2qln"},
        {"/opt/Q/EX2QLNUI", "/opt/Q/EX2QLN"},
        {"bin/ex2qlnUi", "bin/ex2qln"},
        {"xui", "x"},
        {"/usr/bin/ui", std::nullopt},
        {"/usr/bin/launcher", std::nullopt},
        {"/usr/bin/ex2qlnui.sh", std::nullopt},
        {"/opt/ex2qlnui/", std::nullopt},
    };
    for (const auto& [launcher, utility] : cases)
        EXPECT_EQ(UtilityPathBeside(launcher), utility) << launcher;
}

TEST(UtilityLaunch, ProgramsAreFoundOnThePathInItsOrder)
{
    TemporaryDirectory directory;
    for (const char* folder : {"a", "b", "c", "d"})
        std::filesystem::create_directory(directory.File(folder));
    std::filesystem::create_directory(directory.File("a/tool"));  // a directory is no program
    ::chmod(directory.Write("b/tool", "#!/bin/sh\n").c_str(), 0644);  // nor is a file it cannot run
    ::chmod(directory.Write("c/tool", "#!/bin/sh\n").c_str(), 0755);
    ::chmod(directory.Write("d/tool", "#!/bin/sh\n").c_str(), 0755);
    const std::string path = directory.File("a") + ":" + directory.File("b") + "::" + directory.File("c") + ":" +
                             directory.File("d");
    ScopedEnvironment environment("PATH", path);
    EXPECT_EQ(FindProgramOnPath("tool"), directory.File("c") + "/tool");
    EXPECT_EQ(FindProgramOnPath("absent"), std::nullopt);
}

TEST(UtilityLaunch, TheOutputLogGoesToTheStateDirectory)
{
    {
        ScopedEnvironment state("XDG_STATE_HOME", "/home/ann/state");
        EXPECT_EQ(DefaultOutputLogPath(), "/home/ann/state/ex2qln/ex2qln-output.log");
    }
    ScopedEnvironment state("XDG_STATE_HOME", "relative/ignored");
    ScopedEnvironment home("HOME", "/home/bob");
    EXPECT_EQ(DefaultOutputLogPath(), "/home/bob/.local/state/ex2qln/ex2qln-output.log");
}

TEST(UtilityLaunch, ThePasswordFileGoesWhereOnlyTheUserCanReach)
{
    TemporaryDirectory directory;
    const std::string privateDirectory = directory.File("private");
    const std::string sharedDirectory = directory.File("shared");
    ::mkdir(privateDirectory.c_str(), 0700);
    ::mkdir(sharedDirectory.c_str(), 0755);
    ScopedEnvironment temporary("TMPDIR", directory.Path());
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {privateDirectory, privateDirectory + "/"},
        {sharedDirectory, directory.Path() + "/"},
        {"relative", directory.Path() + "/"},
        {directory.File("absent"), directory.Path() + "/"},
        {std::nullopt, directory.Path() + "/"},
    };
    for (const auto& [runtime, expected] : cases) {
        ScopedEnvironment environment("XDG_RUNTIME_DIR", runtime);
        EXPECT_EQ(PasswordFileDirectory(), expected) << runtime.value_or("(unset)");
    }
}

TEST(UtilityLaunch, AHandOverFileHoldsThePasswordUntilHandedOver)
{
    TemporaryDirectory directory;
    ScopedEnvironment runtime("XDG_RUNTIME_DIR", std::nullopt);
    ScopedEnvironment temporary("TMPDIR", directory.Path());
    std::string kept;
    {
        PasswordHandOver removed;
        ASSERT_EQ(removed.Write("pa\"ss\nword"), S_OK);
        struct stat info {};
        ASSERT_EQ(::stat(removed.Path().c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u);
        EXPECT_EQ(testsupport::ReadFile(removed.Path()), "pa\"ss\nword");
        PasswordHandOver handedOver;
        ASSERT_EQ(handedOver.Write("secret"), S_OK);
        kept = handedOver.Path();
        handedOver.HandOver();
    }
    // Only the handed-over file is left, for ex2qln to delete.
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(directory.Path()))
        left.push_back(entry.path().string());
    EXPECT_EQ(left, std::vector<std::string>{kept});
}

class FailedStart : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(::mkdir(runtime_.c_str(), 0700), 0);
        standIn_.AddTerminal();
    }

    std::vector<CommandWord> WordsWithPassword() const
    {
        return {{"cli", std::nullopt}, {"--server", "mail"}, {"--pwd", "secret", true}};
    }

    bool PasswordFilesLeft() const { return !std::filesystem::is_empty(runtime_); }

    TemporaryDirectory directory_;
    std::string runtime_ = directory_.File("runtime");
    ScopedEnvironment runtimeVariable_{"XDG_RUNTIME_DIR", runtime_};
    testing::StandInUtility standIn_{directory_.File("bin")};
};

TEST_F(FailedStart, ALauncherWhoseNameDoesNotEndInUiStartsNothing)
{
    LaunchSetup setup{directory_.File("bin/launcher"), directory_.File("bin/x-terminal-emulator"), ""};
    const LaunchResult result = StartUtility(setup, WordsWithPassword());
    EXPECT_EQ(result.status, E_FAIL);
    EXPECT_EQ(result.reason, "The launcher " + setup.launcherPath + " has no name ending in \"ui\" that names ex2qln.");
    EXPECT_FALSE(PasswordFilesLeft());
}

TEST_F(FailedStart, NoEx2qlnBesideTheLauncher)
{
    std::filesystem::remove(standIn_.UtilityPath());
    LaunchSetup setup{standIn_.LauncherPath(), directory_.File("bin/x-terminal-emulator"), ""};
    const LaunchResult result = StartUtility(setup, WordsWithPassword());
    EXPECT_EQ(result.status, HResultFromErrno(ENOENT));
    EXPECT_EQ(result.reason, standIn_.UtilityPath() + ": No such file or directory");
    EXPECT_FALSE(PasswordFilesLeft());
}

TEST_F(FailedStart, ATerminalThatCannotRunLeavesNoPasswordFile)
{
    LaunchSetup setup{standIn_.LauncherPath(), directory_.File("bin/absent-terminal"), ""};
    const LaunchResult result = StartUtility(setup, WordsWithPassword());
    EXPECT_EQ(result.status, HResultFromErrno(ENOENT));
    EXPECT_EQ(result.reason, setup.terminal.value() + ": No such file or directory");
    EXPECT_FALSE(PasswordFilesLeft());
    EXPECT_FALSE(standIn_.Ran());
}

TEST_F(FailedStart, AnOutputLogThatCannotBeWritten)
{
    const std::string blocked = directory_.Write("blocked", "a file where a directory should be");
    LaunchSetup setup{standIn_.LauncherPath(), std::nullopt, blocked + "/ex2qln-output.log"};
    const LaunchResult result = StartUtility(setup, WordsWithPassword());
    EXPECT_EQ(result.status, HResultFromErrno(ENOTDIR));
    EXPECT_EQ(result.reason, setup.outputLog + ": Not a directory");
    EXPECT_FALSE(PasswordFilesLeft());
    EXPECT_FALSE(standIn_.Ran());
}

} // namespace
} // namespace ex2qlnui
