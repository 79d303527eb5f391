// Every compressed RTF body of the shared Outlook samples decompresses, and compresses back.
#include "platform/cfb/MsgFile.h"
#include "platform/rtf/RtfCompressor.h"
#include "platform/rtf/RtfDecompressor.h"
#include "tests/support/OutlookSamples.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

namespace {

using namespace platform::rtf;
using namespace platform::cfb;

// The compressed RTF of a message and of its embedded messages, depth first.
void CollectRtf(const MsgMessage& message, const std::string& name,
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& found)
{
    if (const MsgProperty* rtf = FindProperty(message.properties, PR_RTF_COMPRESSED))
        found.emplace_back(name, rtf->bytes);
    for (const MsgAttachment& attachment : message.attachments) {
        if (attachment.embedded)
            CollectRtf(*attachment.embedded, name + "/embedded" + std::to_string(attachment.number), found);
    }
}

TEST(RtfSamplesTest, EverySampleBodyDecompressesAndRoundTrips)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "Outlook samples not found at " << testsupport::OutlookSamplesDirectory();
    std::vector<std::pair<std::string, std::vector<std::uint8_t>>> bodies;
    for (const std::filesystem::path& file : testsupport::OutlookSampleFiles()) {
        MsgDocument document;
        std::string error;
        ASSERT_EQ(ReadMsgFile(file.string(), document, error), S_OK) << error;
        CollectRtf(document.message, file.filename().string(), bodies);
    }
    ASSERT_GE(bodies.size(), 20u) << "fewer RTF bodies than the samples hold";
    for (const auto& [name, compressed] : bodies) {
        std::string rtf;
        ASSERT_EQ(DecompressRtf(compressed, rtf), S_OK) << name;
        EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u) << name;
        std::vector<std::uint8_t> again;
        ASSERT_EQ(CompressRtf(std::vector<std::uint8_t>(rtf.begin(), rtf.end()), again), S_OK) << name;
        std::string back;
        ASSERT_EQ(DecompressRtf(again, back), S_OK) << name;
        EXPECT_EQ(back, rtf) << name;
    }
}

} // namespace
