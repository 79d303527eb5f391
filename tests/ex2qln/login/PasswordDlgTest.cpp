// CPasswordDlg: the login name rule, the password from the settings, and the terminal prompt.
#include "ex2qln/login/PasswordDlg.h"

#include "ex2qln/mapi/ConnectorProperties.h"
#include "tests/support/PseudoTerminal.h"
#include "tests/support/ServerSettings.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <mapicode.h>

#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <future>
#include <string>

namespace ex2qln::login {
namespace {

using testsupport::MakeServerSettings;
using testsupport::PseudoTerminal;

struct LoginNameCase {
    std::optional<std::string> account;
    std::optional<std::string> host;
    std::string loginName;
};

TEST(PasswordDlg, BuildsTheLoginName)
{
    const LoginNameCase cases[] = {
        {"postmaster", "mail", "postmaster@mail"},
        {"admin@example.com", "mail", "admin@example.com"},
        {"admin%example.com", "mail", "admin%example.com"},
        {"postmaster", std::nullopt, "postmaster"},
        {"postmaster", "", "postmaster"},
        {std::nullopt, "mail", "@mail"},
    };
    for (const LoginNameCase& test : cases) {
        SCOPED_TRACE(test.loginName);
        auto settings = MakeServerSettings({.host = test.host, .account = test.account});
        CPasswordDlg credentials(settings.get());
        ASSERT_EQ(credentials.Load(), S_OK);
        EXPECT_EQ(credentials.LoginName(), test.loginName);
    }
}

TEST(PasswordDlg, KnowsThePasswordOnlyWhenTheSettingsHoldOne)
{
    auto withPassword = MakeServerSettings({.password = "secret"});
    CPasswordDlg known(withPassword.get());
    ASSERT_EQ(known.Load(), S_OK);
    EXPECT_TRUE(known.PasswordKnown());
    EXPECT_TRUE(known.RememberPassword());
    EXPECT_EQ(known.Password(), "secret");

    // The driver fills the password's slot with an unset entry when no password was given.
    auto withoutPassword = MakeServerSettings({});
    SPropValue unset{};
    unset.ulPropTag = PR_NULL;
    ASSERT_EQ(withoutPassword->SetProps(1, &unset, nullptr), S_OK);
    CPasswordDlg unknown(withoutPassword.get());
    ASSERT_EQ(unknown.Load(), S_OK);
    EXPECT_FALSE(unknown.PasswordKnown());
    EXPECT_EQ(unknown.Password(), "");
}

TEST(PasswordDlg, AnswersCramMd5WithItsCredentials)
{
    auto settings = MakeServerSettings({.host = std::nullopt, .account = "tim", .password = "tanstaaftanstaaf"});
    CPasswordDlg credentials(settings.get());
    ASSERT_EQ(credentials.Load(), S_OK);
    Secret response;
    ASSERT_EQ(credentials.CramMd5Response("PDE4OTYuNjk3MTcwOTUyQHBvc3RvZmZpY2UucmVzdG9uLm1jaS5uZXQ+", response), S_OK);
    EXPECT_EQ(response.View(), "dGltIGI5MTNhNjAyYzdlZGE3YTQ5NWI0ZTZlNzMzNGQzODkw");
}

TEST(PasswordDlg, WithoutATerminalThePromptIsCancelled)
{
    testsupport::TemporaryDirectory directory;
    const std::string regularFile = directory.File("not-a-terminal");
    testsupport::WriteFile(regularFile, "secret\n");
    auto settings = MakeServerSettings({});
    for (const std::string& path : {directory.File("missing"), regularFile}) {
        SCOPED_TRACE(path);
        CPasswordDlg credentials(settings.get(), path);
        ASSERT_EQ(credentials.Load(), S_OK);
        EXPECT_EQ(credentials.DoModal(), MAPI_E_UNCONFIGURED);
        EXPECT_FALSE(credentials.PasswordKnown());
    }
    // The real controlling terminal, in a process that has none.
    const pid_t child = fork();
    if (child == 0) {
        setsid();
        CPasswordDlg credentials(settings.get());
        _exit(credentials.Load() == S_OK && credentials.DoModal() == MAPI_E_UNCONFIGURED ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(testsupport::SettingText(settings.get(), mapi::kPropPassword), std::nullopt);
}

struct PromptCase {
    const char* name;
    std::string keys;
    HRESULT status;
    std::string password;
};

TEST(PasswordDlg, ReadsThePasswordWithoutEcho)
{
    const PromptCase cases[] = {
        {"Enter", "s3cret\r", S_OK, "s3cret"},
        {"line feed", "s3cret\n", S_OK, "s3cret"},
        {"erase", "s3cx\x7fret\r", S_OK, "s3cret"},
        {"backspace", "s3cx\bret\r", S_OK, "s3cret"},
        {"kill the line", "wrong\x15s3cret\r", S_OK, "s3cret"},
        {"empty", "\r", S_OK, ""},
        {"control keys are ignored", "s3\x01\x1a" "cret\r", S_OK, "s3cret"},
        {"longest", std::string(300, 'p') + "\r", S_OK, std::string(255, 'p')},
        {"Ctrl-C", "s3c\x03", MAPI_E_UNCONFIGURED, ""},
        {"Ctrl-D on an empty line", "\x04", MAPI_E_UNCONFIGURED, ""},
        {"Ctrl-D after text", "s3c\x04ret\r", S_OK, "s3cret"},
    };
    for (const PromptCase& test : cases) {
        SCOPED_TRACE(test.name);
        PseudoTerminal terminal;
        ASSERT_TRUE(terminal.Usable());
        auto settings = MakeServerSettings({.host = "mail", .account = "postmaster"});
        CPasswordDlg credentials(settings.get(), terminal.SlavePath());
        ASSERT_EQ(credentials.Load(), S_OK);
        auto result = std::async(std::launch::async, [&] { return credentials.DoModal(); });
        const std::string prompt = terminal.ReadUntil("Password: ");
        EXPECT_EQ(prompt, "Please enter your account name and password.\r\nServer: mail\r\n"
                          "User Name: postmaster@mail\r\nPassword: ");
        ASSERT_TRUE(terminal.Type(test.keys));
        ASSERT_EQ(result.get(), test.status);
        EXPECT_EQ(terminal.ReadUntil("\n"), "\r\n") << "nothing but the line end is echoed";

        termios modes{};
        ASSERT_EQ(tcgetattr(terminal.Slave(), &modes), 0);
        EXPECT_TRUE(modes.c_lflag & ECHO) << "echo is restored";
        EXPECT_TRUE(modes.c_lflag & ICANON);
        if (FAILED(test.status)) {
            EXPECT_FALSE(credentials.PasswordKnown());
            EXPECT_EQ(testsupport::SettingText(settings.get(), mapi::kPropPassword), std::nullopt);
            continue;
        }
        EXPECT_TRUE(credentials.PasswordKnown());
        EXPECT_EQ(credentials.Password(), test.password);
        EXPECT_EQ(testsupport::SettingText(settings.get(), mapi::kPropPassword), test.password);
    }
}

} // namespace
} // namespace ex2qln::login
