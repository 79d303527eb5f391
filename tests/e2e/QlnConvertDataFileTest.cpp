// qlnconvert on Outlook data files: every message of the shared sample files into a folder tree of
// .eml files, each passing the independent validators, and the failures of files that cannot be read.
#include "ProgramTest.h"

#include "tests/support/OutlookSamples.h"
#include "tests/support/OutputValidators.h"

#include <filesystem>
#include <map>

namespace {

namespace fs = std::filesystem;
using testsupport::ProcessResult;

const std::string kQlnConvert = EX2QLN_BIN_DIR "/qlnconvert";

class QlnConvertDataFile : public e2e::ProgramTest {
protected:
    ProcessResult Run(std::vector<std::string> arguments)
    {
        return testsupport::RunProcess(IsolatedRun(kQlnConvert, std::move(arguments)));
    }

    // The .eml files written below `directory`, counted by folder.
    std::map<std::string, int> Written(const fs::path& directory) const
    {
        std::map<std::string, int> counts;
        for (const auto& entry : fs::recursive_directory_iterator(directory)) {
            if (entry.is_regular_file() && entry.path().extension() == ".eml")
                ++counts[fs::relative(entry.path().parent_path(), directory).string()];
        }
        return counts;
    }
};

TEST_F(QlnConvertDataFile, EveryMessageOfTheSamplesConvertsIntoItsFolder)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    if (std::string missing = testsupport::MissingValidators(testsupport::OutputCheck::Mime); !missing.empty())
        GTEST_SKIP() << missing;
    struct Sample {
        const char* path;
        const char* codePage;
        std::map<std::string, int> folders;
    } samples[] = {
        {"HiraokaHyperTools-pst_to_eml/contacts97-2002.pst", "932",
         {{"contacts97-2002/\xE9\x80\xA3\xE7\xB5\xA1\xE5\x85\x88 (Contact dedicated)", 1}}},
        {"aspose-email-dotnet/passwordprotectedPST.pst", "1252",
         {{"passwordprotectedPST/Deleted Items", 14}, {"passwordprotectedPST/Inbox", 4}}},
        {"rjohnsondev-java-libpst/dist-list.pst", "1252", {{"dist-list/Calendar", 1}, {"dist-list/Contacts", 2}}},
    };
    for (const auto& sample : samples) {
        SCOPED_TRACE(sample.path);
        const std::string file = (testsupport::OutlookSamplesDirectory() / sample.path).string();
        ProcessResult result = Run({"--user=owner@example.org", "--name=Owner", "--code-page=" + std::string(sample.codePage),
                                    "-o", work_.File("out"), file});
        EXPECT_EQ(result.standardError, "");
        EXPECT_EQ(result.exitCode, 0);
        const fs::path top = fs::path(work_.File("out"));
        std::map<std::string, int> written;
        for (const auto& [folder, count] : Written(top)) {
            if (folder.rfind(fs::path(sample.path).stem().string() + "/", 0) == 0)
                written[folder] = count;
        }
        EXPECT_EQ(written, sample.folders);
    }
    int checked = 0;
    for (const auto& entry : fs::recursive_directory_iterator(work_.File("out"))) {
        if (entry.path().extension() != ".eml")
            continue;
        const testsupport::ValidatorVerdict verdict =
            testsupport::ValidateFile(testsupport::OutputCheck::Mime, entry.path().string());
        ASSERT_TRUE(verdict.ran) << verdict.Describe();
        EXPECT_TRUE(verdict.ProblemsExcept({"cid"}).empty()) << verdict.Describe();
        ++checked;
    }
    EXPECT_EQ(checked, 22);
}

TEST_F(QlnConvertDataFile, FilesThatCannotBeReadFail)
{
    testsupport::WriteFile(work_.File("zeros.pst"), std::string(600, '\0'));
    struct Case {
        std::vector<std::string> arguments;
        std::string error;
        int exitCode;
    } cases[] = {
        {{"zeros.pst"}, "zeros.pst: not an Outlook data file (.pst or .ost) [0x8004011b]\n", 1},
        {{"missing.ost"}, "missing.ost: cannot open the file: No such file or directory [0x80070002]\n", 1},
        {{"-o", "-", "zeros.pst"}, "zeros.pst: a data file holds many messages: -o - cannot take them [0x80070057]\n", 1},
        {{"--code-page=0", "zeros.pst"}, "qlnconvert: --code-page needs a Windows code page number.\n", 2},
    };
    for (const auto& c : cases) {
        ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, c.exitCode) << c.arguments.back();
        EXPECT_EQ(result.standardError.substr(0, c.error.size()), c.error) << c.arguments.back();
    }
}

} // namespace
