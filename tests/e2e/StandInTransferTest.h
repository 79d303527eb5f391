// What the transfer's end-to-end tests share: the stand-in server started for a test, the
// program run in the work directory, and what the server holds read back over IMAP.
#pragma once

#include "tests/e2e/ProgramTest.h"
#include "tests/e2e/TransferFixtures.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/StandInServer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace e2e {

inline const std::string kReadBack = EX2QLN_SOURCE_DIR "/tests/server/quillon_readback.py";

class TransferTest : public ProgramTest {
protected:
    std::unique_ptr<testsupport::StandInServer> StartServer(std::vector<std::string> arguments = {},
                                               const std::string& accounts = "")
    {
        auto server = std::make_unique<testsupport::StandInServer>(testsupport::StandInOptions{
            .arguments = std::move(arguments),
            .protocols = "cli,imap",
            .initialState = accounts.empty() ? std::string()
                                             : R"({"accounts": {)" + accounts + R"(}, "groups": {}})"});
        EXPECT_TRUE(server->Started());
        return server;
    }

    static std::string ServerOption(const testsupport::StandInServer& server)
    {
        return "--server=127.0.0.1:" + std::to_string(server.ImapPort()) + ":" + std::to_string(server.CliPort());
    }

    testsupport::ProcessResult Run(const std::vector<std::string>& arguments)
    {
        std::vector<std::string> line = {"-w", kProgram, "--nowait", "--pwd=secret"};
        line.insert(line.end(), arguments.begin(), arguments.end());
        testsupport::ProcessResult result = testsupport::RunProcess(IsolatedRun("/usr/bin/setsid", std::move(line)));
        EXPECT_FALSE(result.timedOut) << "ex2qln did not end";
        return result;
    }

    // What the server holds for every account, read back over IMAP; the messages go to `saved`.
    nlohmann::json ReadBack(const testsupport::StandInServer& server, const std::string& saved)
    {
        return transfer::ReadBackAccounts(
            {kReadBack, "--port", std::to_string(server.ImapPort()), "--password", "secret", "--json"}, saved);
    }

    std::string Work(const std::string& name) const { return work_.File(name); }
};

} // namespace e2e
