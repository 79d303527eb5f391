// qlnprofile's profiles for a single Outlook data file: made from the user's identity on the
// command line, used by ex2qln, listed and deleted with the organisation file made for them.
#include "ProgramTest.h"

#include "tests/support/OutlookSamples.h"

#include <filesystem>

namespace {

using testsupport::ProcessResult;

const std::string kQlnProfile = EX2QLN_BIN_DIR "/qlnprofile";

class DataFileProfile : public e2e::ProgramTest {
protected:
    ProcessResult Run(const std::string& program, std::vector<std::string> arguments)
    {
        return testsupport::RunProcess(IsolatedRun(program, std::move(arguments)));
    }

    std::string MadeOrganisation(const std::string& name) const
    {
        return temp_.File("config") + "/ex2qln/data-file-profiles/" + name + ".json";
    }
};

TEST_F(DataFileProfile, ServesTheFileAsTheUsersMailbox)
{
    if (!testsupport::HaveOutlookSamples()) {
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    }
    const std::string file = (testsupport::OutlookSamplesDirectory() / "rjohnsondev-java-libpst/dist-list.pst").string();
    ProcessResult created = Run(kQlnProfile, {"create", "alice", file, "--user=alice", "--smtp=alice@example.org",
                                              "--display-name=Alice Martin", "--default"});
    EXPECT_EQ(created.standardError, "");
    EXPECT_EQ(created.exitCode, 0);
    EXPECT_EQ(created.standardOutput,
              "Created the profile \"alice\" for " + MadeOrganisation("alice") + " as the default.\n");

    ProcessResult listed = Run(kQlnProfile, {"list"});
    EXPECT_EQ(listed.standardOutput,
              "alice (default): " + MadeOrganisation("alice") + ", mailbox alice (services: QLNORGSRC)\n");

    ProcessResult exported = Run(e2e::kProgram, {"mailboxes", "--accounts=users.csv", "--nowait"});
    EXPECT_EQ(exported.exitCode, 0) << exported.standardOutput << exported.standardError;
    EXPECT_EQ(testsupport::ReadFile(work_.File("users.csv")),
              "account,dn,mailbox,RealName\n"
              "alice,/o=ex2qln/ou=Outlook Data Files/cn=Recipients/cn=alice,alice@example.org,Alice Martin\n");

    ProcessResult deleted = Run(kQlnProfile, {"delete", "alice"});
    EXPECT_EQ(deleted.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(MadeOrganisation("alice")));
}

struct Refusal {
    const char* name;
    std::vector<std::string> arguments;
    std::string error;
    int exitCode;
};

TEST_F(DataFileProfile, RefusesWhatCannotServe)
{
    testsupport::WriteFile(work_.File("zeros.pst"), std::string(600, '\0'));
    const Refusal cases[] = {
        {"no address", {"create", "p", "zeros.pst", "--user=a"},
         "qlnprofile: a data file needs the user's --user and --smtp (and takes no --mailbox).\n", 1},
        {"a mailbox too", {"create", "p", "zeros.pst", "--user=a", "--smtp=a@x.example", "--mailbox=b"},
         "qlnprofile: a data file needs the user's --user and --smtp (and takes no --mailbox).\n", 1},
        {"no file", {"create", "p", "missing.pst", "--user=a", "--smtp=a@x.example"},
         "qlnprofile: there is no data file missing.pst [0x8004010f].\n", 2},
        {"not a data file", {"create", "p", "zeros.pst", "--user=a", "--smtp=a@x.example"},
         "zeros.pst: not an Outlook data file (.pst or .ost)\nqlnprofile: cannot set up the profile \"p\" [0x8004011b].\n", 2},
    };
    for (const auto& refusal : cases) {
        ProcessResult result = Run(kQlnProfile, refusal.arguments);
        EXPECT_EQ(result.exitCode, refusal.exitCode) << refusal.name;
        EXPECT_NE(result.standardError.find(refusal.error), std::string::npos) << refusal.name << ": " << result.standardError;
        EXPECT_FALSE(std::filesystem::exists(MadeOrganisation("p"))) << refusal.name;
    }
    EXPECT_EQ(Run(kQlnProfile, {"list"}).standardOutput, "No profiles: ex2qln serves the demo organisation.\n");
}

} // namespace
