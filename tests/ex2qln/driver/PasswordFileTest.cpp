// The password file of --pwd-file: its first line, deleted once read, refused when others can read it.
#include "ex2qln/driver/PasswordFile.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace ex2qln::driver;
using testsupport::TemporaryDirectory;

namespace {

TEST(PasswordFile, ThePasswordIsTheFirstLineAndTheFileIsDeleted)
{
    const std::pair<std::string, std::string> cases[] = {
        {"secret", "secret"},
        {"secret\n", "secret"},
        {"secret\r\nsecond line", "secret"},
        {"pa\"ss word \\ \t", "pa\"ss word \\ \t"},
        {"\n", ""},
        {"", ""},
        {"Zo\xc3\xab\r", "Zo\xc3\xab"},
        {std::string(70000, 'x'), std::string(64 * 1024, 'x')},
    };
    TemporaryDirectory directory;
    for (const auto& [content, password] : cases) {
        const std::string path = directory.Write("password", content);
        ::chmod(path.c_str(), 0600);
        PasswordFileContent taken = TakePasswordFile(path);
        EXPECT_EQ(taken.problem, PasswordFileProblem::None) << content.substr(0, 20);
        EXPECT_EQ(taken.password, password) << content.substr(0, 20);
        EXPECT_FALSE(std::filesystem::exists(path)) << content.substr(0, 20);
    }
}

TEST(PasswordFile, FilesThatCannotServeAreRefused)
{
    TemporaryDirectory directory;
    const std::string shared = directory.Write("shared", "secret");
    const std::string groupOnly = directory.Write("group", "secret");
    std::filesystem::create_directory(directory.File("folder"));
    ::chmod(directory.File("folder").c_str(), 0700);
    ::mkfifo(directory.File("fifo").c_str(), 0600);
    struct Case {
        std::string path;
        mode_t mode;
        PasswordFileProblem problem;
        bool kept;
    };
    const Case cases[] = {
        {shared, 0644, PasswordFileProblem::OpenToOthers, true},
        {groupOnly, 0640, PasswordFileProblem::OpenToOthers, true},
        {directory.File("absent"), 0, PasswordFileProblem::Unreadable, false},
        {directory.File("folder"), 0700, PasswordFileProblem::Unreadable, true},
        {directory.File("fifo"), 0600, PasswordFileProblem::Unreadable, true},
    };
    for (const Case& example : cases) {
        if (example.mode)
            ::chmod(example.path.c_str(), example.mode);
        PasswordFileContent taken = TakePasswordFile(example.path);
        EXPECT_EQ(taken.problem, example.problem) << example.path;
        EXPECT_FALSE(taken.password) << example.path;
        EXPECT_EQ(std::filesystem::exists(example.path), example.kept) << example.path;
    }
}

} // namespace
