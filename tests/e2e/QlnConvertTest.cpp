// qlnconvert as an administrator runs it: files in, .eml files out, one line per file that fails,
// the mailbox identity of --user and --name, standard output with -o -, damaged files that still
// convert with what was left out named.
#include <gtest/gtest.h>

#include <mapitags.h>

#include <filesystem>
#include <string>

#include "platform/cfb/CompoundFile.h"
#include "platform/cfb/CompoundFileWriter.h"
#include "platform/cfb/MsgWriter.h"
#include "tests/e2e/ProgramTest.h"

namespace e2e {
namespace {

using platform::cfb::MsgDocument;
using platform::cfb::MsgProperty;

const std::string kQlnConvert = EX2QLN_BIN_DIR "/qlnconvert";

MsgProperty Text(ULONG tag, std::u16string text)
{
    MsgProperty property;
    property.tag = tag;
    property.text = std::move(text);
    return property;
}

// An unsent draft (no author, no recipients of its own beyond those given).
MsgDocument Draft(std::u16string subject)
{
    MsgDocument document;
    document.message.properties = {Text(PR_MESSAGE_CLASS_W, u"IPM.Note"), Text(PR_SUBJECT_W, std::move(subject)),
        Text(PR_BODY_W, u"Draft text")};
    return document;
}

void AddRecipient(MsgDocument& document, std::u16string address)
{
    platform::cfb::MsgRecipient& recipient = document.message.recipients.emplace_back();
    recipient.number = static_cast<std::uint32_t>(document.message.recipients.size() - 1);
    MsgProperty type;
    type.tag = PR_RECIPIENT_TYPE;
    type.integer = MAPI_TO;
    recipient.properties = {type, Text(PR_ADDRTYPE_W, u"SMTP"), Text(PR_EMAIL_ADDRESS_W, std::move(address))};
}

std::vector<std::uint8_t> MsgBytes(const MsgDocument& document)
{
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_EQ(platform::cfb::WriteMsgBytes(document, "draft.msg", bytes, error), S_OK) << error;
    return bytes;
}

// The compound file's tree, without the entry at `removedPath` ("a/b").
platform::cfb::CompoundFileNode CopyTree(const platform::cfb::CompoundFile& file,
    const platform::cfb::DirectoryEntry& entry, const std::string& path, const std::string& removedPath)
{
    platform::cfb::CompoundFileNode node;
    node.name = std::u16string(entry.name.begin(), entry.name.end());
    node.isStorage = entry.type != platform::cfb::EntryType::Stream;
    if (!node.isStorage) {
        EXPECT_EQ(file.ReadStream(entry, node.data), S_OK);
        return node;
    }
    for (std::uint32_t child : entry.children) {
        const platform::cfb::DirectoryEntry& childEntry = file.Entry(child);
        const std::string childPath = path.empty() ? childEntry.name : path + "/" + childEntry.name;
        if (childPath != removedPath)
            node.children.push_back(CopyTree(file, childEntry, childPath, removedPath));
    }
    return node;
}

std::string Damaged(const std::vector<std::uint8_t>& sound, const std::string& removedPath)
{
    platform::cfb::CompoundFile file;
    EXPECT_EQ(file.Open(sound), S_OK);
    const platform::cfb::CompoundFileNode root = CopyTree(file, file.Root(), "", removedPath);
    std::vector<std::uint8_t> bytes;
    std::string error;
    EXPECT_EQ(platform::cfb::WriteCompoundFile(root.children, bytes, error), S_OK) << error;
    return std::string(bytes.begin(), bytes.end());
}

class QlnConvert : public ProgramTest {
protected:
    testsupport::ProcessResult Run(std::vector<std::string> arguments) const
    {
        return testsupport::RunProcess(IsolatedRun(kQlnConvert, std::move(arguments)));
    }

    std::string WriteDraft(const std::string& name, const MsgDocument& document) const
    {
        const std::vector<std::uint8_t> bytes = MsgBytes(document);
        return work_.Write(name, std::string(bytes.begin(), bytes.end()));
    }
};

TEST_F(QlnConvert, UsageErrors)
{
    struct Case {
        std::vector<std::string> arguments;
        std::string reason;
    };
    const Case cases[] = {
        {{}, "no .msg or data file given"},
        {{"--frobnicate", "a.msg"}, "unknown option --frobnicate"},
        {{"-o"}, "-o needs a directory"},
        {{"-o", "-", "a.msg", "b.msg"}, "-o - writes one message: give one file"},
    };
    for (const Case& c : cases) {
        const testsupport::ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitCode, 2) << c.reason;
        EXPECT_TRUE(result.standardError.starts_with("qlnconvert: " + c.reason + ".\nUsage: qlnconvert "))
            << result.standardError;
        EXPECT_EQ(result.standardOutput, "");
    }
}

TEST_F(QlnConvert, WritesEachFileAndReportsTheOnesThatFail)
{
    const std::string good = WriteDraft("good.msg", Draft(u"Good"));
    const std::string garbage = work_.Write("garbage.msg", "not a compound file");
    const std::string missing = work_.File("missing.msg");
    const std::string output = temp_.File("out");
    std::filesystem::create_directory(output);

    const testsupport::ProcessResult result =
        Run({"--user=owner@example.com", "--name=Owner", "-o", output, garbage, missing, good});
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.standardOutput, "");
    EXPECT_EQ(result.standardError,
        garbage + ": the file is too short for a compound-file header (19 bytes) [0x8004011b]\n" + missing +
            ": cannot be read (No such file or directory) [0x80070002]\n");
    const std::string converted = testsupport::ReadFile(std::filesystem::path(output) / "good.eml");
    EXPECT_TRUE(converted.starts_with("Subject: Good\r\n")) << converted;
    // A draft names no author: it is from the mailbox it belongs to.
    EXPECT_NE(converted.find("\r\nFrom: \"Owner\" <owner@example.com>\r\n"), std::string::npos) << converted;
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(output) / "garbage.eml"));
}

TEST_F(QlnConvert, AnEarlierLongerFileIsReplacedWhole)
{
    const std::string draft = WriteDraft("draft.msg", Draft(u"Again"));
    const std::string output = temp_.File("out");
    std::filesystem::create_directory(output);
    const std::filesystem::path target = std::filesystem::path(output) / "draft.eml";
    ASSERT_EQ(Run({"-o", output, draft}).exitCode, 0);
    const std::string fresh = testsupport::ReadFile(target);
    temp_.Write("out/draft.eml", fresh + std::string(4096, 'x'));

    const testsupport::ProcessResult result = Run({"-o", output, draft});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    const std::string again = testsupport::ReadFile(target);
    EXPECT_TRUE(again.starts_with("Subject: Again\r\n")) << again;
    EXPECT_TRUE(again.ends_with("Draft text\r\n\r\n")) << again;
}

TEST_F(QlnConvert, WritesOneMessageToStandardOutput)
{
    const std::string draft = WriteDraft("draft.msg", Draft(u"To the terminal"));
    const testsupport::ProcessResult result = Run({"-o", "-", draft});
    EXPECT_EQ(result.exitCode, 0) << result.standardError;
    EXPECT_EQ(result.standardError, "");
    EXPECT_TRUE(result.standardOutput.starts_with("Subject: To the terminal\r\n")) << result.standardOutput;
    EXPECT_TRUE(result.standardOutput.ends_with("Draft text\r\n\r\n"));
    EXPECT_FALSE(std::filesystem::exists(work_ / "draft.eml"));
}

TEST_F(QlnConvert, ADamagedRecipientIsLeftOutAndNamed)
{
    MsgDocument document = Draft(u"Damaged");
    AddRecipient(document, u"first@example.com");
    AddRecipient(document, u"second@example.com");
    const std::string damaged = work_.Write(
        "damaged.msg", Damaged(MsgBytes(document), "__recip_version1.0_#00000000/__properties_version1.0"));

    const testsupport::ProcessResult result = Run({"-o", temp_.Path(), damaged});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.standardError,
        damaged + ": left out: __recip_version1.0_#00000000: there is no \"__properties_version1.0\" stream\n");
    const std::string converted = testsupport::ReadFile(temp_ / "damaged.eml");
    EXPECT_NE(converted.find("\r\nTo: second@example.com\r\n"), std::string::npos) << converted;
    EXPECT_EQ(converted.find("first@example.com"), std::string::npos);
}

} // namespace
} // namespace e2e
