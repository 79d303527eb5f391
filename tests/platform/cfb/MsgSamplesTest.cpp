// Tests of the .msg reader on real Outlook items from the shared samples folder; the expected
// values were read off the files with an independent compound-file reader.
#include "platform/cfb/CompoundFile.h"
#include "platform/locale/Utf16.h"
#include "platform/cfb/MsgFile.h"
#include "platform/files/ReadOnlyMapping.h"
#include "tests/platform/cfb/TestBytes.h"
#include "tests/support/OutlookSamples.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace platform::cfb;
using namespace cfbtest;
using testsupport::OutlookSamplesDirectory;

// A string property as UTF-8 when it is Unicode, as its stored bytes when it is 8-bit.
std::string Text(const MsgPropertyList& properties, std::uint16_t id)
{
    if (const MsgProperty* unicode = FindProperty(properties, std::uint32_t{id} << 16 | PT_UNICODE))
        return platform::Utf16ToUtf8(unicode->text);
    if (const MsgProperty* ansi = FindProperty(properties, std::uint32_t{id} << 16 | PT_STRING8))
        return std::string(ansi->bytes.begin(), ansi->bytes.end());
    return "<absent>";
}

bool HasAny(const MsgPropertyList& properties, std::uint16_t id)
{
    for (const MsgProperty& property : properties) {
        if (property.Id() == id)
            return true;
    }
    return false;
}

std::string Bodies(const MsgMessage& message)
{
    std::string bodies;
    auto add = [&](const char* name, std::uint16_t id) {
        if (!HasAny(message.properties, id))
            return;
        bodies += bodies.empty() ? name : std::string("+") + name;
    };
    add("text", 0x1000);
    add("html", 0x1013);
    add("rtf", 0x1009);
    return bodies;
}

class MsgSamplesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::HaveOutlookSamples())
            GTEST_SKIP() << "the Outlook samples folder " << OutlookSamplesDirectory() << " is not there";
    }

    static MsgDocument Read(const std::string& relative)
    {
        MsgDocument document;
        std::string error;
        EXPECT_EQ(ReadMsgFile((OutlookSamplesDirectory() / relative).string(), document, error), S_OK) << error;
        return document;
    }
};

struct Sample {
    const char* file;
    const char* messageClass;
    const char* subject;  // UTF-8 for Unicode files, the stored bytes for 8-bit ones
    bool unicode;
    std::size_t recipients;
    std::size_t attachments;
    const char* bodies;
    std::uint32_t codePage;
};

const std::vector<Sample> kSampleTable = {
    {"HiraokaHyperTools-msgreader/A_black_friday_w_tz.msg", "IPM.Appointment", "A black friday", true, 0, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/A_memo.msg", "IPM.StickyNote", "A memo.", true, 0, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/A_schedule.msg", "IPM.Appointment", "A schedule", true, 1, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/A_weekly_1.msg", "IPM.Appointment", "A weekly 1", true, 0, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/Attach_sample_eml_received.msg", "IPM.Note", "Attach sample.eml", true, 1, 1, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/Hello_plusCJK.msg", "IPM.Note", "Hello +CJK", true, 0, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/Lanch_time_every_friday_in_2023_chgs2.msg", "IPM.Appointment",
     "Lanch time, every friday, in 2023", true, 1, 1, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/attachAndInline.msg", "IPM.Note", "Attach and inline", true, 1, 2, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/contactAnsi.msg", "IPM.Contact",
     "\x83R\x83\x80 \x83h\x83" "b\x83g \x83" "C\x83O\x83U\x83\x93\x83v\x83\x8b \x93" "a", false, 0, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/contactUnicode.msg", "IPM.Contact", "コム ドット イグザンプル 殿", true, 0, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/msgInMsgInMsg.msg", "IPM.Note", "I have sub attachments!", true, 0, 2, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/newOutlook_Microsoft_Outlook_test.msg", "IPM.Note", "Microsoft Outlook テスト メッセージ",
     true, 1, 0, "html", 1252},
    {"HiraokaHyperTools-msgreader/nonUnicodeCP932.msg", "IPM.Note",
     "\x93\xfa\x96{\x8c\xea Non Unicode \x83^\x83" "C\x83g\x83\x8b", false, 1, 0, "text+rtf", 932},
    {"HiraokaHyperTools-msgreader/voteItems.msg", "IPM.Note", "3 vote items: はい;いいえ;たぶん", true, 1, 0, "text+rtf", 932},
    {"Sicos1977-MSGReader/EmailWithAttachments.msg", "IPM.Note", "This is the subject", true, 3, 2, "text+html", 65001},
    {"Sicos1977-MSGReader/RtfSampleEmail.msg", "IPM.Note", "RtfSampleEmail", true, 1, 0, "text+rtf", 1252},
    {"apache-poi/ASCII_CP1251_LCID1049.msg", "IPM.Note",
     "Subject \xe0\xe2\xf2\xee\xec\xe0\xf2\xe8\xf7\xe5\xf1\xea\xe8 Subject", false, 0, 0, "text+html", 1251},
    {"apache-poi/HTMLBodyBinary_CP1251.msg", "IPM.Note", "Subject \xf6\xe4\xfc Subject", false, 0, 0, "html", 1252},
    {"apache-poi/example_received_unicode.msg", "IPM.Note", "This is a test message please ignore", true, 6, 1, "text+rtf",
     20127},
    {"apache-poi/logsat.com_signatures_valid.msg", "IPM.Note.SMIME.MultipartSigned", "test", false, 1, 1, "text+rtf", 28591},
    {"apache-poi/msgClassContact.msg", "IPM.Contact", "Quick Brown Fox Jr", true, 0, 0, "text+rtf", 1252},
    {"apache-poi/msgClassPost.msg", "IPM.Post", "QuickBrownFox", true, 0, 0, "text+rtf", 1252},
    {"apache-poi/msgClassTask.msg", "IPM.Task", "Must jump over the lazy dog", true, 0, 0, "text+rtf", 1252},
    {"aquasync-ruby-msg/contact-plain.msg", "IPM.Contact", "(full name) A completely bogus contact", false, 0, 0, "", 1252},
    {"aquasync-ruby-msg/note.msg", "IPM.StickyNote", "note sample", false, 0, 0, "text+rtf", 0},
    {"aspose-email-dotnet/MSG_file_with_RTF_Formatting.msg", "IPM.Note", "MSG file with RTF Formatting", true, 0, 1,
     "text+rtf", 1252},
    {"aspose-email-dotnet/Meeting_with_Recurring_Occurrences.msg", "IPM.Schedule.Meeting.Request",
     "Meeting with Recurring Occurrences", true, 1, 0, "text+rtf", 1252},
    {"aspose-email-dotnet/NewGroup.msg", "IPM.DistList", "NewGroup", true, 0, 0, "", 1252},
    {"aspose-email-dotnet/Test_Meeting.msg", "IPM.Appointment", "Test Meeting", true, 3, 0, "text+rtf", 1252},
    {"aspose-email-dotnet/failed.msg", "IPM.Note", "Undeliverable: test subj", true, 1, 2, "text+rtf", 1252},
    {"bbottema-outlook-message-parser/HTML_mail_with_replyto_and_attachment_and_embedded_image.msg", "IPM.Note", "hey",
     true, 1, 3, "text+rtf", 1252},
    {"bbottema-outlook-message-parser/S_MIME_test_message_encrypted.msg", "IPM.Note.SMIME",
     "S/MIME test message encrypted", true, 1, 1, "", 28591},
    {"bbottema-outlook-message-parser/S_MIME_test_message_signed.msg", "IPM.Note.SMIME.MultipartSigned",
     "S/MIME test message signed", true, 1, 1, "text+rtf", 65001},
    {"bbottema-outlook-message-parser/S_MIME_test_message_signed_and_encrypted.msg", "IPM.Note.SMIME",
     "S/MIME test message signed & encrypted", true, 1, 1, "", 28591},
};

TEST_F(MsgSamplesTest, EverySampleYieldsClassSubjectBodiesRecipientsAndAttachments)
{
    EXPECT_EQ(testsupport::OutlookSampleFiles().size(), kSampleTable.size()) << "a sample is not in the table";

    for (const Sample& sample : kSampleTable) {
        SCOPED_TRACE(sample.file);
        const MsgDocument document = Read(sample.file);
        const MsgMessage& message = document.message;
        EXPECT_EQ(Text(message.properties, 0x001A), sample.messageClass);
        EXPECT_EQ(Text(message.properties, 0x0037), sample.subject);
        const std::uint16_t stringType = sample.unicode ? PT_UNICODE : PT_STRING8;
        EXPECT_NE(FindProperty(message.properties, 0x00370000u | stringType), nullptr);
        EXPECT_EQ(message.recipients.size(), sample.recipients);
        EXPECT_EQ(message.attachments.size(), sample.attachments);
        EXPECT_EQ(Bodies(message), sample.bodies);
        EXPECT_EQ(message.codePage, sample.codePage);
        // Compressed RTF starts with its sizes and a known compression marker.
        if (const MsgProperty* rtf = FindProperty(message.properties, 0x10090102)) {
            ASSERT_GE(rtf->bytes.size(), 16u);
            EXPECT_EQ(U32(rtf->bytes, 0) + 4, rtf->bytes.size());
            const std::string marker(rtf->bytes.begin() + 8, rtf->bytes.begin() + 12);
            EXPECT_TRUE(marker == "LZFu" || marker == "MELA") << marker;
        }
        const MsgProperty* body = FindProperty(message.properties, 0x1000001F);
        if (body == nullptr)
            body = FindProperty(message.properties, 0x1000001E);
        if (body != nullptr) {
            EXPECT_FALSE(body->text.empty() && body->bytes.empty());
        }
    }
}

TEST_F(MsgSamplesTest, EveryStreamOfEverySampleReads)
{
    for (const Sample& sample : kSampleTable) {
        SCOPED_TRACE(sample.file);
        platform::ReadOnlyMapping mapping;
        ASSERT_EQ(mapping.Open((OutlookSamplesDirectory() / sample.file).string()), S_OK);
        CompoundFile file;
        const auto bytes = mapping.Bytes();
        ASSERT_EQ(file.Open({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()}), S_OK) << file.Error();
        const std::vector<const DirectoryEntry*> streams = file.StreamsBelow(file.Root());
        for (const DirectoryEntry* entry : streams) {
            Bytes data;
            ASSERT_EQ(file.ReadStream(*entry, data), S_OK) << file.Error();
            EXPECT_EQ(data.size(), entry->size);
        }
        EXPECT_GT(streams.size(), 3u);
    }
}

std::string AttachmentName(const MsgAttachment& attachment) { return Text(attachment.properties, 0x3707); }

TEST_F(MsgSamplesTest, FollowsTheEmbeddedMessageChain)
{
    const MsgDocument document = Read("HiraokaHyperTools-msgreader/msgInMsgInMsg.msg");
    const MsgMessage& outer = document.message;
    ASSERT_EQ(outer.attachments.size(), 2u);
    EXPECT_EQ(AttachmentName(outer.attachments[1]), "blue.png");
    ASSERT_NE(outer.attachments[0].embedded, nullptr);
    EXPECT_EQ(FindProperty(outer.attachments[0].properties, PR_ATTACH_METHOD)->integer, 5);

    const MsgMessage& middle = *outer.attachments[0].embedded;
    EXPECT_EQ(Text(middle.properties, 0x0037), "I have attachments!");
    ASSERT_EQ(middle.attachments.size(), 2u);
    EXPECT_EQ(AttachmentName(middle.attachments[1]), "green.png");
    const MsgProperty* png = FindProperty(middle.attachments[1].properties, 0x37010102);
    ASSERT_NE(png, nullptr);
    ASSERT_EQ(png->bytes.size(), 134u);
    EXPECT_EQ(std::string(png->bytes.begin() + 1, png->bytes.begin() + 4), "PNG");
    ASSERT_NE(middle.attachments[0].embedded, nullptr);

    const MsgMessage& inner = *middle.attachments[0].embedded;
    EXPECT_EQ(Text(inner.properties, 0x001A), "IPM.Note");
    EXPECT_EQ(Text(inner.properties, 0x0037), "Microsoft Outlook テスト メッセージ");
    ASSERT_EQ(inner.recipients.size(), 1u);
    EXPECT_EQ(Text(inner.recipients[0].properties, 0x3001), "xmailuser");
    EXPECT_TRUE(inner.attachments.empty());
}

TEST_F(MsgSamplesTest, ReadsAttachmentsOfOtherSamples)
{
    struct Case {
        const char* file;
        std::vector<std::string> names;
        std::vector<std::size_t> sizes;  // PR_ATTACH_DATA_BIN, 0 for an embedded message
    };
    const std::vector<Case> cases = {
        {"HiraokaHyperTools-msgreader/attachAndInline.msg", {"attach.png", "image001.png"}, {1558, 809}},
        {"Sicos1977-MSGReader/EmailWithAttachments.msg", {"peterpan.jpg", "tinkerbell.jpg"}, {39150, 49353}},
        {"apache-poi/example_received_unicode.msg", {"alfresco.gif"}, {16174}},
        {"aspose-email-dotnet/failed.msg", {"details.txt", "<absent>"}, {274, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const MsgDocument document = Read(c.file);
        ASSERT_EQ(document.message.attachments.size(), c.names.size());
        for (std::size_t i = 0; i < c.names.size(); ++i) {
            const MsgAttachment& attachment = document.message.attachments[i];
            EXPECT_EQ(AttachmentName(attachment), c.names[i]);
            const MsgProperty* data = FindProperty(attachment.properties, 0x37010102);
            EXPECT_EQ(data == nullptr ? 0 : data->bytes.size(), c.sizes[i]);
            EXPECT_EQ(attachment.embedded != nullptr, c.sizes[i] == 0);
        }
    }
    const MsgDocument failed = Read("aspose-email-dotnet/failed.msg");
    ASSERT_NE(failed.message.attachments[1].embedded, nullptr);
    EXPECT_EQ(Text(failed.message.attachments[1].embedded->properties, 0x0037), "test subj");
    const MsgDocument withInline = Read("HiraokaHyperTools-msgreader/attachAndInline.msg");
    const MsgProperty* contentId = FindProperty(withInline.message.attachments[1].properties, 0x3712001F);
    ASSERT_NE(contentId, nullptr);
    EXPECT_EQ(platform::Utf16ToUtf8(contentId->text), "image001.png@01D78380.EF6DC500");
}

const MsgNamedProperty* Named(const MsgDocument& document, std::uint16_t id)
{
    for (const MsgNamedProperty& named : document.namedProperties) {
        if (named.id == id)
            return &named;
    }
    return nullptr;
}

constexpr Guid kPsetidAppointment = {0x02, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                     0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr Guid kPsetidAddress = {0x04, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
// {0B63E350-9CCC-11D0-BCDB-00805FCCCE04} in stored byte order.
constexpr Guid kSearchSet = {0x50, 0xE3, 0x63, 0x0B, 0xCC, 0x9C, 0xD0, 0x11,
                             0xBC, 0xDB, 0x00, 0x80, 0x5F, 0xCC, 0xCE, 0x04};

TEST_F(MsgSamplesTest, ResolvesNamedProperties)
{
    const MsgDocument schedule = Read("HiraokaHyperTools-msgreader/A_schedule.msg");
    const MsgNamedProperty* location = Named(schedule, 0x800B);
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->propertySet, kPsetidAppointment);
    EXPECT_FALSE(location->isString);
    EXPECT_EQ(location->lid, 0x8208u);
    EXPECT_EQ(Text(schedule.message.properties, 0x800B), "A place");

    const MsgDocument outlook = Read("HiraokaHyperTools-msgreader/newOutlook_Microsoft_Outlook_test.msg");
    const MsgNamedProperty* language = Named(outlook, 0x800B);
    ASSERT_NE(language, nullptr);
    EXPECT_EQ(language->propertySet, kSearchSet);
    EXPECT_TRUE(language->isString);
    EXPECT_EQ(platform::Utf16ToUtf8(language->name), "DetectedLanguage");
    EXPECT_EQ(Text(outlook.message.properties, 0x800B), "ja");

    const MsgDocument group = Read("aspose-email-dotnet/NewGroup.msg");
    struct Member {
        std::uint16_t id;
        std::uint32_t lid;
        std::size_t size;
    };
    for (const Member& member : {Member{0x800E, 0x8055, 91}, Member{0x800F, 0x8054, 114}}) {
        const MsgNamedProperty* named = Named(group, member.id);
        ASSERT_NE(named, nullptr);
        EXPECT_EQ(named->propertySet, kPsetidAddress);
        EXPECT_EQ(named->lid, member.lid);
        const MsgProperty* values = FindProperty(group.message.properties, std::uint32_t{member.id} << 16 | 0x1102);
        ASSERT_NE(values, nullptr);
        ASSERT_EQ(values->byteValues.size(), 2u);
        EXPECT_EQ(values->byteValues[0].size(), member.size);
        EXPECT_EQ(values->byteValues[1].size(), member.size);
    }
}

TEST_F(MsgSamplesTest, EightBitStringsKeepTheirBytesAndCodePage)
{
    const MsgDocument document = Read("HiraokaHyperTools-msgreader/nonUnicodeCP932.msg");
    EXPECT_EQ(document.message.codePage, 932u);
    // "日本語 Non Unicode 本文" in Shift_JIS.
    EXPECT_EQ(Text(document.message.properties, 0x1000), "\x93\xfa\x96{\x8c\xea Non Unicode \x96{\x95\xb6\r\n");
    EXPECT_EQ(FindProperty(document.message.properties, PR_INTERNET_CPID)->integer, 50220);
}

} // namespace
