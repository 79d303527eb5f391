// qlnconvert on Outlook data files: every message of the shared sample files into a folder tree of
// .eml files, each passing the independent validators, damaged messages reported in their places,
// and the failures of files that cannot be read.
#include "ProgramTest.h"

#include "platform/pst/NodeDatabase.h"
#include "platform/pst/PstStore.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/OutputValidators.h"

#include <algorithm>
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

// A copy of `sample` in which the heap of each message node in `damaged` no longer reads.
std::string WithDamagedMessages(const fs::path& sample, const std::vector<std::uint32_t>& damaged)
{
    platform::pst::NodeDatabase database;
    std::string error;
    EXPECT_EQ(database.Open(sample.string(), error), S_OK) << error;
    std::string bytes = testsupport::ReadFile(sample);
    const std::vector<platform::pst::NodeDatabase::BlockPlace> blocks = database.AllBlocks();
    for (std::uint32_t nid : damaged) {
        const std::uint64_t dataBlock = database.FindNode(nid).dataBlock & ~std::uint64_t{1};
        auto place = std::find_if(blocks.begin(), blocks.end(),
                                  [&](const auto& block) { return (block.bid & ~std::uint64_t{1}) == dataBlock; });
        EXPECT_NE(place, blocks.end());
        if (place != blocks.end())
            bytes[place->offset + 2] = static_cast<char>(bytes[place->offset + 2] ^ 0xFF);  // the heap's signature
    }
    return bytes;
}

TEST_F(QlnConvertDataFile, DamagedMessagesAreReportedInTheirPlacesAndTheOthersConvert)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "the shared Outlook samples are not here: " << testsupport::OutlookSamplesDirectory();
    const fs::path sample = testsupport::OutlookSamplesDirectory() / "aspose-email-dotnet/passwordprotectedPST.pst";
    // Deleted Items: the folder whose messages are the file's message nodes with the most siblings.
    platform::pst::NodeDatabase database;
    std::string error;
    ASSERT_EQ(database.Open(sample.string(), error), S_OK) << error;
    std::map<std::uint32_t, int> messagesOf;
    for (const platform::pst::NodeEntry& node : database.AllNodes()) {
        if ((node.nid & 0x1F) == 0x04)
            ++messagesOf[node.parent];
    }
    const auto folder = std::max_element(messagesOf.begin(), messagesOf.end(),
                                         [](const auto& a, const auto& b) { return a.second < b.second; });
    ASSERT_EQ(folder->second, 14);
    platform::pst::PstStore store;
    ASSERT_EQ(store.Open(sample.string(), error), S_OK) << error;
    std::vector<std::uint32_t> contents;
    ASSERT_EQ(store.ReadMessageIds(folder->first, false, contents, error), S_OK) << error;
    ASSERT_EQ(contents.size(), 14u);
    const std::string damaged = work_.Write("damaged.pst", WithDamagedMessages(sample, {contents[2], contents[9]}));

    ProcessResult result = Run({"-o", work_.File("out"), damaged});
    EXPECT_EQ(result.exitCode, 1);
    // Each in its place in the walk, though the messages are opened on another thread, and the
    // file named once, at the start of the line.
    const auto line = [&](const char* place, std::uint32_t node) {
        return damaged + ": Deleted Items/" + place + ": the data of node " + std::to_string(node) +
               " is not a heap [0x8004011b]\n";
    };
    EXPECT_EQ(result.standardError, line("00003", contents[2]) + line("00010", contents[9]));
    const std::map<std::string, int> expected = {{"damaged/Deleted Items", 12}, {"damaged/Inbox", 4}};
    EXPECT_EQ(Written(work_.File("out")), expected);
    EXPECT_FALSE(fs::exists(fs::path(work_.File("out")) / "damaged/Deleted Items/00003.eml"));
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
