// Tests of .msg files inside an organisation: single references, directories of them, overlays,
// named-property mapping into the store, and damaged files; on the shared Outlook samples.
#include "platform/orgsource/OrganisationReader.h"
#include "platform/orgsource/PropertyNames.h"
#include "platform/orgsource/ValueDecoding.h"
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
    for (const auto& message : folder.messages) {
        EXPECT_NE(cfb::FindProperty(message.message.properties, 0x001A001F) != nullptr ||
                      cfb::FindProperty(message.message.properties, 0x001A001E) != nullptr,
                  false)
            << message.key;
        EXPECT_NE(cfb::FindProperty(message.message.properties, 0x0FFF0102), nullptr) << message.key;
        auto location = org_.Locate(message.entryId);
        EXPECT_TRUE(location && org_.MessageAt(*location) == &message) << message.key;
    }
}

TEST_F(MsgReferenceTest, NamedPropertiesMoveIntoTheStoreMapping)
{
    // The same appointment twice and a JSON message naming one of its properties: all three
    // must agree on one id for PidLidAppointmentStartWhole.
    ASSERT_EQ(Load(WithFolders(R"({"name": "Calendar", "messages": [
                      {"properties": {"PidLidLocation": "first"}},
                      "A_schedule.msg",
                      {"id": "copy", "msg": "A_schedule.msg", "properties": {"PR_SUBJECT": "Overlay", "PidLidAppointmentStartWhole": "2024-01-01T00:00:00Z"}}]})"),
                   kSamples.string() + "/"),
              S_OK)
        << error_;
    const Store& store = org_.stores.at(0);
    EXPECT_EQ(store.namedProperties.at(0).lid, 0x8208u);
    std::uint16_t startId = 0;
    for (const auto& entry : store.namedProperties) {
        if (!entry.isString && entry.lid == 0x820D && entry.propertySet == *PropertySetFromName("PSETID_Appointment")) {
            startId = entry.id;
        }
    }
    ASSERT_NE(startId, 0);
    const Folder& folder = store.root.folders.at(0).folders.at(0);
    const auto& original = folder.messages.at(1).message.properties;
    const auto& overlay = folder.messages.at(2).message.properties;
    const std::uint32_t startTag = (static_cast<std::uint32_t>(startId) << 16) | 0x0040;
    ASSERT_NE(cfb::FindProperty(original, startTag), nullptr);
    EXPECT_EQ(cfb::FindProperty(overlay, startTag)->integer, *ParseIsoTime("2024-01-01T00:00:00Z"));
    EXPECT_EQ(cfb::FindProperty(overlay, 0x0037001F)->text, u"Overlay");
    EXPECT_EQ(cfb::FindProperty(overlay, 0x0037001E), nullptr);
    EXPECT_EQ(folder.messages.at(1).key, "A_schedule.msg");
    for (const auto& property : original) {
        if (property.Id() >= 0x8000) {
            EXPECT_LT(static_cast<std::size_t>(property.Id() - 0x8000), store.namedProperties.size());
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
    const auto& attachment = org_.stores.at(0).root.folders.at(0).folders.at(0).messages.at(0).message.attachments.at(0);
    ASSERT_NE(attachment.embedded, nullptr);
    EXPECT_FALSE(attachment.embedded->attachments.empty());

    HRESULT status = Load(WithFolders(R"({"name": "F", "messages": [{"id": "x", "msg": "broken.msg"}]})"), directory.Path() + "/");
    EXPECT_TRUE(FAILED(status));
    const std::string prefix = "org.json: mailboxes[0].folders[0].messages[0].msg: ";
    EXPECT_EQ(error_.substr(0, prefix.size()), prefix) << error_;
    EXPECT_NE(error_.find("broken.msg"), std::string::npos) << error_;

    status = Load(WithFolders(R"({"name": "F", "directory": "nowhere"})"), directory.Path() + "/");
    EXPECT_EQ(status, EX2QLN_HR(0x80070002u));
    EXPECT_EQ(error_.substr(0, 51), "org.json: mailboxes[0].folders[0].directory: cannot") << error_;
}

} // namespace
