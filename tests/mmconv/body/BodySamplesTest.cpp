// The body converter on the RTF bodies of the shared Outlook samples: the text matches the
// sample's own plain-text body, encapsulated HTML comes back as a whole document, free of RTF.
#include "mmconv/body/CMMBodyConverter.h"
#include "mmconv/body/RtfBodyType.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "platform/cfb/MsgFile.h"
#include "platform/rtf/RtfDecompressor.h"
#include "tests/support/OutlookSamples.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace mmconv;
using namespace platform::cfb;

struct SampleBody {
    std::string name;
    std::string rtf;
    std::u16string body;  // PR_BODY, empty when the message has none
    bool hasBody = false;
};

void Collect(const MsgMessage& message, const std::string& name, std::vector<SampleBody>& found)
{
    if (const MsgProperty* compressed = FindProperty(message.properties, PR_RTF_COMPRESSED)) {
        SampleBody sample;
        sample.name = name;
        EXPECT_EQ(platform::rtf::DecompressRtf(compressed->bytes, sample.rtf), S_OK) << name;
        if (const MsgProperty* wide = FindProperty(message.properties, PR_BODY_W)) {
            sample.body = wide->text;
            sample.hasBody = true;
        } else if (const MsgProperty* narrow = FindProperty(message.properties, PR_BODY_A)) {
            const std::string bytes(narrow->bytes.begin(), narrow->bytes.end());
            EXPECT_EQ(Encoding2Unicode(bytes, message.codePage ? message.codePage : 1252, sample.body), S_OK) << name;
            sample.hasBody = true;
        }
        found.push_back(std::move(sample));
    }
    for (const MsgAttachment& attachment : message.attachments) {
        if (attachment.embedded)
            Collect(*attachment.embedded, name + "/embedded" + std::to_string(attachment.number), found);
    }
}

std::vector<SampleBody> LoadSamples()
{
    std::vector<SampleBody> samples;
    for (const std::filesystem::path& file : testsupport::OutlookSampleFiles()) {
        MsgDocument document;
        std::string error;
        EXPECT_EQ(ReadMsgFile(file.string(), document, error), S_OK) << error;
        Collect(document.message, file.filename().string(), samples);
    }
    return samples;
}

// What the comparison with PR_BODY ignores: all white space (Outlook wraps long link targets and
// spaces punctuation after links differently) and which of "*", U+00B7 and U+2022 marks a list item
// (Outlook writes "*" for the middle dots of HTML lists).
std::u16string Normalised(std::u16string_view text)
{
    std::u16string out;
    for (char16_t c : text) {
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\u00A0')
            continue;
        out += (c == u'\u00B7' || c == u'\u2022') ? u'*' : c;
    }
    return out;
}

std::u16string Utf8ToWide(std::string_view utf8)
{
    std::u16string wide;
    EXPECT_EQ(Encoding2Unicode(utf8, 65001, wide), S_OK);
    return wide;
}

TEST(BodySamplesTest, TextMatchesThePlainTextBody)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "Outlook samples not found at " << testsupport::OutlookSamplesDirectory();
    const std::vector<SampleBody> samples = LoadSamples();
    std::size_t compared = 0;
    for (const SampleBody& sample : samples) {
        std::string text;
        ASSERT_EQ(CMMBodyConverter::ConvertToText(sample.rtf, BodySourceKind::kRtf, 0, 65001, text), S_OK) << sample.name;
        if (!sample.hasBody)
            continue;
        EXPECT_EQ(Normalised(Utf8ToWide(text)), Normalised(sample.body)) << sample.name;
        ++compared;
    }
    EXPECT_GE(compared, 25u) << "fewer sample bodies than expected";
}

TEST(BodySamplesTest, EncapsulatedHtmlComesBackWhole)
{
    if (!testsupport::HaveOutlookSamples())
        GTEST_SKIP() << "Outlook samples not found at " << testsupport::OutlookSamplesDirectory();
    std::size_t encapsulated = 0;
    std::size_t documents = 0;
    for (const SampleBody& sample : LoadSamples()) {
        std::string html;
        ASSERT_EQ(CMMBodyConverter::ConvertToHtml(sample.rtf, BodySourceKind::kRtf, 0, 65001, html), S_OK) << sample.name;
        EXPECT_EQ(html.find("\\htmlrtf"), std::string::npos) << sample.name;
        EXPECT_EQ(html.find("\\par"), std::string::npos) << sample.name;
        EXPECT_EQ(html.find("{\\*"), std::string::npos) << sample.name;
        if (GetRtfBodyType(std::string_view(sample.rtf).substr(0, 512)) != kBodyTypeHtml) {
            EXPECT_EQ(html.rfind("<html>\r\n<head>\r\n", 0), 0u) << sample.name;
            continue;
        }
        ++encapsulated;
        // Some samples encapsulate a fragment (a <div>, a run of text); a whole document comes back
        // from its first tag to </html>.
        std::string lower;
        for (char c : html)
            lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_FALSE(lower.empty()) << sample.name;
        const std::size_t root = lower.find("<html");
        if (root == std::string::npos)
            continue;
        const std::size_t start = lower.find_first_not_of(" \r\n");
        EXPECT_TRUE(start == root || lower.compare(start, 9, "<!doctype") == 0) << sample.name;
        EXPECT_NE(lower.find("<body"), std::string::npos) << sample.name;
        EXPECT_TRUE(lower.substr(0, lower.find_last_not_of(" \r\n") + 1).ends_with("</html>")) << sample.name;
        ++documents;
    }
    EXPECT_GE(encapsulated, 15u) << "fewer encapsulated-HTML samples than expected";
    EXPECT_GE(documents, 11u) << "fewer whole encapsulated documents than expected";
}

} // namespace
