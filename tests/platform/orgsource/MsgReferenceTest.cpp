// Tests of .msg files inside an organisation: single references, directories of them, overlays,
// named-property mapping into the store, and damaged files; on the shared Outlook samples.
#include "platform/orgsource/OrganisationReader.h"
#include "platform/orgsource/PropertyNames.h"
#include "platform/orgsource/ValueDecoding.h"
#include "tests/platform/orgsource/OrganisationMessages.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using namespace platform::orgsource;
namespace cfb = platform::cfb;

const std::filesystem::path kSamples = testsupport::OutlookSamplesDirectory() / "HiraokaHyperTools-msgreader";

const std::string kUser = R"({"kind": "user", "account": "a", "dn": "/o=X/cn=a", "smtp": "a@x.example", "displayName": "A"})";

std::string WithFolders(const std::string& folders)
{
    return R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [)" + folders + "]}]}";
}

class MsgReferenceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::filesystem::exists(kSamples / "A_schedule.msg")) {
            GTEST_SKIP() << "the shared Outlook samples are not at " << kSamples.string();
        }
    }

    HRESULT Load(const std::string& text, const std::string& baseDirectory)
    {
        return ReadOrganisationText(text, "org.json", baseDirectory, org_, error_);
    }

    Organisation org_;
    std::string error_;
};

TEST_F(MsgReferenceTest, DirectoryOfMsgFiles)
{
    ASSERT_EQ(Load(WithFolders(R"({"name": "Imported", "class": "IPF.Note", "directory": "."})"), kSamples.string() + "/"), S_OK)
        << error_;
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kSamples)) {
        files += entry.path().extension() == ".msg" ? 1 : 0;
    }
    const Folder& folder = org_.stores.at(0).root.folders.at(0).folders.at(0);
    EXPECT_EQ(folder.name, "Imported");
    ASSERT_EQ(folder.messages.size(), files);
    for (std::size_t i = 1; i < folder.messages.size(); ++i) {
        EXPECT_LT(folder.messages[i - 1].key, folder.messages[i].key);
    }
    for (std::size_t i = 0; i < folder.messages.size(); ++i) {
        const std::string& key = folder.messages[i].key;
        ObjectLocation location = orgtest::MessageIn(0, {0, 0}, i);
        cfb::MsgDocument document = orgtest::ReadOrFail(org_, location);
        const auto& properties = document.message.properties;
        EXPECT_TRUE(cfb::FindProperty(properties, 0x001A001F) != nullptr || cfb::FindProperty(properties, 0x001A001E) != nullptr)
            << key;
        EntryId entryId = org_.MessageEntryId(location);
        EXPECT_EQ(cfb::FindProperty(properties, 0x0FFF0102)->bytes, entryId) << key;
        auto found = org_.Locate(entryId);
        EXPECT_TRUE(found && org_.MessageAt(*found) == &folder.messages[i]) << key;
    }
}

TEST_F(MsgReferenceTest, AMessageAndItsMsgFileShareOneMapping)
{
    // A .msg file alone, and the same file under properties of the organisation file: the file's
    // names and the overlay's share the message's one mapping.
    ASSERT_EQ(Load(WithFolders(R"({"name": "Calendar", "messages": [
                      {"properties": {"PidLidLocation": "first"}},
                      "A_schedule.msg",
                      {"id": "copy", "msg": "A_schedule.msg", "properties": {"PR_SUBJECT": "Overlay", "PidLidAppointmentStartWhole": "2024-01-01T00:00:00Z"}}]})"),
                   kSamples.string() + "/"),
              S_OK)
        << error_;
    auto startTag = [](const cfb::MsgDocument& document) -> std::uint32_t {
        for (const auto& entry : document.namedProperties) {
            if (!entry.isString && entry.lid == 0x820D && entry.propertySet == *PropertySetFromName("PSETID_Appointment")) {
                return (static_cast<std::uint32_t>(entry.id) << 16) | 0x0040;
            }
        }
        return 0;
    };
    cfb::MsgDocument first = orgtest::ReadOrFail(org_, orgtest::MessageIn(0, {0, 0}, 0));
    EXPECT_EQ(first.namedProperties.at(0).lid, 0x8208u);
    cfb::MsgDocument original = orgtest::ReadOrFail(org_, orgtest::MessageIn(0, {0, 0}, 1));
    cfb::MsgDocument overlay = orgtest::ReadOrFail(org_, orgtest::MessageIn(0, {0, 0}, 2));
    ASSERT_NE(startTag(original), 0u);
    ASSERT_NE(startTag(overlay), 0u);
    EXPECT_NE(cfb::FindProperty(original.message.properties, startTag(original)), nullptr);
    EXPECT_EQ(cfb::FindProperty(overlay.message.properties, startTag(overlay))->integer, *ParseIsoTime("2024-01-01T00:00:00Z"));
    EXPECT_EQ(original.namedProperties.size(), overlay.namedProperties.size()) << "the overlay's name is one of the file's";
    EXPECT_EQ(cfb::FindProperty(overlay.message.properties, 0x0037001F)->text, u"Overlay");
    EXPECT_EQ(cfb::FindProperty(overlay.message.properties, 0x0037001E), nullptr);
    EXPECT_EQ(org_.stores.at(0).root.folders.at(0).folders.at(0).messages.at(1).key, "A_schedule.msg");
    for (const auto& property : original.message.properties) {
        if (property.Id() >= 0x8000) {
            EXPECT_LT(static_cast<std::size_t>(property.Id() - 0x8000), original.namedProperties.size());
        }
    }
}

TEST_F(MsgReferenceTest, EmbeddedMsgAndDamagedMsg)
{
    testsupport::TemporaryDirectory directory;
    std::ofstream(directory / "broken.msg", std::ios::binary) << "not a compound file at all, just text";
    std::filesystem::copy_file(kSamples / "msgInMsgInMsg.msg", directory / "nested.msg");

    ASSERT_EQ(Load(WithFolders(R"({"name": "F", "messages": [{"attachments": [{"message": "nested.msg"}]}]})"),
                   directory.Path() + "/"),
              S_OK)
        << error_;
    cfb::MsgDocument nested = orgtest::ReadOrFail(org_, orgtest::MessageIn(0, {0, 0}, 0));
    const auto& attachment = nested.message.attachments.at(0);
    ASSERT_NE(attachment.embedded, nullptr);
    EXPECT_FALSE(attachment.embedded->attachments.empty());

    // A damaged file is found when its message is read, not when the organisation is.
    ASSERT_EQ(Load(WithFolders(R"({"name": "F", "messages": [{"id": "x", "msg": "broken.msg"}]})"), directory.Path() + "/"), S_OK)
        << error_;
    cfb::MsgDocument document;
    EXPECT_EQ(org_.ReadMessage(orgtest::MessageIn(0, {0, 0}, 0), document, error_), MAPI_E_CORRUPT_DATA);
    const std::string prefix = "org.json: mailboxes[0].folders[0].messages[0].msg: ";
    EXPECT_EQ(error_.substr(0, prefix.size()), prefix) << error_;
    EXPECT_NE(error_.find("broken.msg"), std::string::npos) << error_;

    HRESULT status = Load(WithFolders(R"({"name": "F", "directory": "nowhere"})"), directory.Path() + "/");
    EXPECT_EQ(status, EX2QLN_HR(0x80070002u));
    EXPECT_EQ(error_.substr(0, 51), "org.json: mailboxes[0].folders[0].directory: cannot") << error_;
}

} // namespace
