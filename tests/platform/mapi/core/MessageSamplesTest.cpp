// Real Outlook items opened as MAPI messages: class, subject in both string forms, bodies through
// streams, recipients and attachments through their tables, embedded messages and named
// properties. Expected values were read off the files with the compound-file reader's own tests
// and with iconv for the 8-bit subjects.
#include "tests/platform/mapi/core/MessageTestSupport.h"

#include <mapitags.h>

#include <gtest/gtest.h>

#include <cstring>

namespace {

using namespace mapitest;

class MessageSamplesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveSamples())
            GTEST_SKIP() << "the shared Outlook samples are not at " << SamplesDirectory();
    }
};

struct Sample {
    const char* file;
    const char* messageClass;
    const char* subject;  // UTF-8, also for files with 8-bit strings (read in the file's code page)
    ULONG recipients;
    ULONG attachments;
    bool text;  // PR_BODY
    bool html;  // PR_HTML
    bool rtf;   // PR_RTF_COMPRESSED
};

const std::vector<Sample> kSamples = {
    {"HiraokaHyperTools-msgreader/A_black_friday_w_tz.msg", "IPM.Appointment", "A black friday", 0, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/A_memo.msg", "IPM.StickyNote", "A memo.", 0, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/A_schedule.msg", "IPM.Appointment", "A schedule", 1, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/A_weekly_1.msg", "IPM.Appointment", "A weekly 1", 0, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/Attach_sample_eml_received.msg", "IPM.Note", "Attach sample.eml", 1, 1, true, false, true},
    {"HiraokaHyperTools-msgreader/Hello_plusCJK.msg", "IPM.Note", "Hello +CJK", 0, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/Lanch_time_every_friday_in_2023_chgs2.msg", "IPM.Appointment",
     "Lanch time, every friday, in 2023", 1, 1, true, false, true},
    {"HiraokaHyperTools-msgreader/attachAndInline.msg", "IPM.Note", "Attach and inline", 1, 2, true, false, true},
    {"HiraokaHyperTools-msgreader/contactAnsi.msg", "IPM.Contact", "コム ドット イグザンプル 殿", 0, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/contactUnicode.msg", "IPM.Contact", "コム ドット イグザンプル 殿", 0, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/msgInMsgInMsg.msg", "IPM.Note", "I have sub attachments!", 0, 2, true, false, true},
    {"HiraokaHyperTools-msgreader/newOutlook_Microsoft_Outlook_test.msg", "IPM.Note", "Microsoft Outlook テスト メッセージ",
     1, 0, false, true, false},
    {"HiraokaHyperTools-msgreader/nonUnicodeCP932.msg", "IPM.Note", "日本語 Non Unicode タイトル", 1, 0, true, false, true},
    {"HiraokaHyperTools-msgreader/voteItems.msg", "IPM.Note", "3 vote items: はい;いいえ;たぶん", 1, 0, true, false, true},
    {"Sicos1977-MSGReader/EmailWithAttachments.msg", "IPM.Note", "This is the subject", 3, 2, true, true, false},
    {"Sicos1977-MSGReader/RtfSampleEmail.msg", "IPM.Note", "RtfSampleEmail", 1, 0, true, false, true},
    {"apache-poi/ASCII_CP1251_LCID1049.msg", "IPM.Note", "Subject автоматически Subject", 0, 0, true, true, false},
    {"apache-poi/HTMLBodyBinary_CP1251.msg", "IPM.Note", "Subject öäü Subject", 0, 0, false, true, false},
    {"apache-poi/example_received_unicode.msg", "IPM.Note", "This is a test message please ignore", 6, 1, true, false, true},
    {"apache-poi/logsat.com_signatures_valid.msg", "IPM.Note.SMIME.MultipartSigned", "test", 1, 1, true, false, true},
    {"apache-poi/msgClassContact.msg", "IPM.Contact", "Quick Brown Fox Jr", 0, 0, true, false, true},
    {"apache-poi/msgClassPost.msg", "IPM.Post", "QuickBrownFox", 0, 0, true, false, true},
    {"apache-poi/msgClassTask.msg", "IPM.Task", "Must jump over the lazy dog", 0, 0, true, false, true},
    {"aquasync-ruby-msg/contact-plain.msg", "IPM.Contact", "(full name) A completely bogus contact", 0, 0, false, false, false},
    {"aquasync-ruby-msg/note.msg", "IPM.StickyNote", "note sample", 0, 0, true, false, true},
    {"aspose-email-dotnet/MSG_file_with_RTF_Formatting.msg", "IPM.Note", "MSG file with RTF Formatting", 0, 1, true, false,
     true},
    {"aspose-email-dotnet/Meeting_with_Recurring_Occurrences.msg", "IPM.Schedule.Meeting.Request",
     "Meeting with Recurring Occurrences", 1, 0, true, false, true},
    {"aspose-email-dotnet/NewGroup.msg", "IPM.DistList", "NewGroup", 0, 0, false, false, false},
    {"aspose-email-dotnet/Test_Meeting.msg", "IPM.Appointment", "Test Meeting", 3, 0, true, false, true},
    {"aspose-email-dotnet/failed.msg", "IPM.Note", "Undeliverable: test subj", 1, 2, true, false, true},
    {"bbottema-outlook-message-parser/HTML_mail_with_replyto_and_attachment_and_embedded_image.msg", "IPM.Note", "hey", 1,
     3, true, false, true},
    {"bbottema-outlook-message-parser/S_MIME_test_message_encrypted.msg", "IPM.Note.SMIME",
     "S/MIME test message encrypted", 1, 1, false, false, false},
    {"bbottema-outlook-message-parser/S_MIME_test_message_signed.msg", "IPM.Note.SMIME.MultipartSigned",
     "S/MIME test message signed", 1, 1, true, false, true},
    {"bbottema-outlook-message-parser/S_MIME_test_message_signed_and_encrypted.msg", "IPM.Note.SMIME",
     "S/MIME test message signed & encrypted", 1, 1, false, false, false},
};

ULONG RowCount(IMAPITable* table)
{
    ULONG count = 0;
    EXPECT_EQ(table->GetRowCount(0, &count), S_OK);
    return count;
}

std::u16string FromUtf16Bytes(const std::string& bytes)
{
    std::u16string text(bytes.size() / 2, u'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * 2);
    return text;
}

TEST_F(MessageSamplesTest, EverySampleIsInTheTable)
{
    std::size_t files = 0;
    for (const auto& item : std::filesystem::recursive_directory_iterator(SamplesDirectory())) {
        if (item.path().extension() == ".msg")
            ++files;
    }
    EXPECT_EQ(files, kSamples.size());
}

TEST_F(MessageSamplesTest, EverySampleYieldsClassSubjectBodiesRecipientsAndAttachments)
{
    for (const Sample& sample : kSamples) {
        SCOPED_TRACE(sample.file);
        MapiPtr<IMessage> message = OpenSample(sample.file);
        ASSERT_TRUE(message);
        EXPECT_EQ(Text(message.get(), PR_MESSAGE_CLASS_A), sample.messageClass);
        EXPECT_EQ(Text(message.get(), PR_SUBJECT_A), sample.subject);
        EXPECT_EQ(Text(message.get(), PR_SUBJECT_W), sample.subject);
        EXPECT_EQ(Long(message.get(), PR_HASATTACH), sample.attachments > 0 ? 1 : 0);
        EXPECT_EQ((Long(message.get(), PR_MESSAGE_FLAGS) & MSGFLAG_HASATTACH) != 0, sample.attachments > 0);

        MapiPtr<IMAPITable> recipients;
        ASSERT_EQ(message->GetRecipientTable(0, recipients.put()), S_OK);
        EXPECT_EQ(RowCount(recipients.get()), sample.recipients);
        MapiPtr<IMAPITable> attachments;
        ASSERT_EQ(message->GetAttachmentTable(0, attachments.put()), S_OK);
        EXPECT_EQ(RowCount(attachments.get()), sample.attachments);

        // The text body reads the same through a stream, in both forms, as through GetProps.
        std::string wide;
        std::string narrow;
        EXPECT_EQ(SUCCEEDED(StreamBytes(message.get(), PR_BODY_W, wide)), sample.text);
        EXPECT_EQ(SUCCEEDED(StreamBytes(message.get(), PR_BODY_A, narrow)), sample.text);
        if (sample.text) {
            EXPECT_FALSE(narrow.empty());
            EXPECT_EQ(platform::Utf16ToUtf8(FromUtf16Bytes(wide)), narrow);
            EXPECT_EQ(Text(message.get(), PR_BODY_A), narrow);
        }
        std::string html;
        EXPECT_EQ(SUCCEEDED(StreamBytes(message.get(), PR_HTML, html)), sample.html);
        EXPECT_EQ(html.empty(), !sample.html);
        std::string rtf;
        EXPECT_EQ(SUCCEEDED(StreamBytes(message.get(), PR_RTF_COMPRESSED, rtf)), sample.rtf);
        if (sample.rtf) {
            // Compressed RTF starts with its size (without this first word) and its kind.
            ASSERT_GE(rtf.size(), 16u);
            ULONG size = 0;
            std::memcpy(&size, rtf.data(), 4);
            EXPECT_EQ(size + 4, rtf.size());
            EXPECT_TRUE(rtf.compare(8, 4, "LZFu") == 0 || rtf.compare(8, 4, "MELA") == 0);
        }
    }
}

TEST_F(MessageSamplesTest, EightBitBodiesAreReadInTheirCodePage)
{
    MapiPtr<IMessage> message = OpenSample("HiraokaHyperTools-msgreader/nonUnicodeCP932.msg");
    ASSERT_TRUE(message);
    std::string body;
    ASSERT_EQ(StreamBytes(message.get(), PR_BODY_A, body), S_OK);
    EXPECT_EQ(body, "日本語 Non Unicode 本文\r\n");
    ASSERT_EQ(StreamBytes(message.get(), PR_BODY_W, body), S_OK);
    EXPECT_EQ(FromUtf16Bytes(body), u"日本語 Non Unicode 本文\r\n");
    EXPECT_EQ(Text(message.get(), PR_DISPLAY_TO_W), "xmailuser2@xmailserver.test");
}

TEST_F(MessageSamplesTest, RecipientTableGivesTheUsualColumns)
{
    MapiPtr<IMessage> message = OpenSample("apache-poi/example_received_unicode.msg");
    ASSERT_TRUE(message);
    MapiPtr<IMAPITable> table;
    ASSERT_EQ(message->GetRecipientTable(MAPI_UNICODE, table.put()), S_OK);
    MapiRows keep;
    auto rows = Rows(table.get(), {}, keep);
    ASSERT_EQ(rows.size(), 6u);
    struct Expected {
        ULONG type;
        const char* name;
        const char* address;
    };
    const std::vector<Expected> expected = {
        {MAPI_TO, "'Ashutosh Dandavate'", "ashutosh.dandavate@alfresco.com"},
        {MAPI_TO, "'Paul Holmes-Higgin'", "paul.hh@alfresco.com"},
        {MAPI_TO, "'Mike Farman'", "mikef@alfresco.com"},
        {MAPI_CC, "nickb@alfresco.com", "nickb@alfresco.com"},
        {MAPI_CC, "nick.burch@alfresco.com", "nick.burch@alfresco.com"},
        {MAPI_CC, "'Roy Wetherall'", "roy.wetherall@alfresco.com"},
    };
    std::vector<ULONG> rowIds;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(i);
        const SPropValue* type = Find(rows[i], PR_RECIPIENT_TYPE);
        ASSERT_NE(type, nullptr);
        EXPECT_EQ(type->Value.ul, expected[i].type);
        EXPECT_EQ(RowText(rows[i], PR_DISPLAY_NAME_W), expected[i].name);
        EXPECT_EQ(RowText(rows[i], PR_ADDRTYPE_W), "SMTP");
        EXPECT_EQ(RowText(rows[i], PR_EMAIL_ADDRESS_W), expected[i].address);
        // An Internet recipient's SMTP address is its e-mail address.
        EXPECT_EQ(RowText(rows[i], PR_SMTP_ADDRESS_W), expected[i].address);
        const SPropValue* rowId = Find(rows[i], PR_ROWID);
        ASSERT_NE(rowId, nullptr);
        rowIds.push_back(rowId->Value.ul);
        EXPECT_NE(Find(rows[i], PR_INSTANCE_KEY), nullptr);
    }
    std::sort(rowIds.begin(), rowIds.end());
    EXPECT_EQ(std::adjacent_find(rowIds.begin(), rowIds.end()), rowIds.end()) << "row ids are not unique";

    // Without MAPI_UNICODE the table's own string columns are 8-bit.
    MapiPtr<IMAPITable> narrow;
    ASSERT_EQ(message->GetRecipientTable(0, narrow.put()), S_OK);
    MapiBuffer<SPropTagArray> columns;
    ASSERT_EQ(narrow->QueryColumns(0, columns.put()), S_OK);
    std::vector<ULONG> tags(columns->aulPropTag, columns->aulPropTag + columns->cValues);
    EXPECT_NE(std::find(tags.begin(), tags.end(), PR_DISPLAY_NAME_A), tags.end());
    EXPECT_EQ(std::find(tags.begin(), tags.end(), PR_DISPLAY_NAME_W), tags.end());

    // Stored recipient lists are kept as they are.
    EXPECT_EQ(Text(message.get(), PR_DISPLAY_CC_A), "nickb@alfresco.com; nick.burch@alfresco.com; 'Roy Wetherall'");
}

TEST_F(MessageSamplesTest, AttachmentsThroughTheTableAndOpenAttach)
{
    struct Case {
        const char* file;
        std::vector<std::string> names;
        std::vector<std::size_t> sizes;
        std::vector<std::string> signatures;  // the first bytes of the data
        std::vector<std::string> contentIds;
    };
    const std::vector<Case> cases = {
        {"HiraokaHyperTools-msgreader/attachAndInline.msg", {"attach.png", "image001.png"}, {1558, 809},
         {"\x89PNG", "\x89PNG"}, {"<error 0x8004010f>", "image001.png@01D78380.EF6DC500"}},
        {"Sicos1977-MSGReader/EmailWithAttachments.msg", {"peterpan.jpg", "tinkerbell.jpg"}, {39150, 49353},
         {"\xFF\xD8", "\xFF\xD8"}, {"<error 0x8004010f>", "tinkerbell.jpg"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        MapiPtr<IMessage> message = OpenSample(c.file);
        ASSERT_TRUE(message);
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(message->GetAttachmentTable(0, table.put()), S_OK);
        MapiRows keep;
        auto rows = Rows(table.get(), {PR_ATTACH_NUM, PR_ATTACH_LONG_FILENAME_A, PR_ATTACH_METHOD, PR_RENDERING_POSITION,
                                       PR_ATTACH_SIZE, PR_ATTACH_DATA_BIN},
                         keep);
        ASSERT_EQ(rows.size(), c.names.size());
        for (std::size_t i = 0; i < rows.size(); ++i) {
            SCOPED_TRACE(c.names[i]);
            EXPECT_EQ(RowText(rows[i], PR_ATTACH_LONG_FILENAME_A), c.names[i]);
            EXPECT_EQ(rows[i][2].Value.l, static_cast<LONG>(ATTACH_BY_VALUE));
            EXPECT_EQ(rows[i][3].ulPropTag, PR_RENDERING_POSITION);
            ASSERT_EQ(rows[i][4].ulPropTag, PR_ATTACH_SIZE);
            EXPECT_GE(static_cast<std::size_t>(rows[i][4].Value.l), c.sizes[i]);
            // The data is opened, never listed.
            EXPECT_EQ(PROP_TYPE(rows[i][5].ulPropTag), PT_ERROR);

            MapiPtr<IAttach> attachment;
            ASSERT_EQ(message->OpenAttach(rows[i][0].Value.ul, nullptr, 0, attachment.put()), S_OK);
            EXPECT_EQ(Text(attachment.get(), PR_ATTACH_LONG_FILENAME_W), c.names[i]);
            EXPECT_EQ(Text(attachment.get(), PR_ATTACH_CONTENT_ID_A), c.contentIds[i]);
            std::string data;
            ASSERT_EQ(StreamBytes(attachment.get(), PR_ATTACH_DATA_BIN, data), S_OK);
            EXPECT_EQ(data.size(), c.sizes[i]);
            EXPECT_EQ(data.substr(0, c.signatures[i].size()), c.signatures[i]);
            EXPECT_EQ(Long(attachment.get(), PR_ATTACH_NUM), static_cast<LONG>(rows[i][0].Value.ul));
        }
    }
}

TEST_F(MessageSamplesTest, FollowsTheEmbeddedMessageChain)
{
    MapiPtr<IMessage> outer = OpenSample("HiraokaHyperTools-msgreader/msgInMsgInMsg.msg");
    ASSERT_TRUE(outer);
    MapiPtr<IAttach> first;
    ASSERT_EQ(outer->OpenAttach(0, nullptr, 0, first.put()), S_OK);
    EXPECT_EQ(Long(first.get(), PR_ATTACH_METHOD), static_cast<LONG>(ATTACH_EMBEDDED_MSG));
    MapiBuffer<SPropTagArray> list;
    ASSERT_EQ(first->GetPropList(0, list.put()), S_OK);
    std::vector<ULONG> tags(list->aulPropTag, list->aulPropTag + list->cValues);
    EXPECT_NE(std::find(tags.begin(), tags.end(), PR_ATTACH_DATA_OBJ), tags.end());

    MapiPtr<IMessage> middle = Embedded(outer.get(), 0);
    ASSERT_TRUE(middle);
    EXPECT_EQ(Text(middle.get(), PR_SUBJECT_W), "I have attachments!");
    MapiPtr<IAttach> green;
    ASSERT_EQ(middle->OpenAttach(1, nullptr, 0, green.put()), S_OK);
    EXPECT_EQ(Text(green.get(), PR_ATTACH_LONG_FILENAME_A), "green.png");
    std::string png;
    ASSERT_EQ(StreamBytes(green.get(), PR_ATTACH_DATA_BIN, png), S_OK);
    EXPECT_EQ(png.size(), 134u);
    EXPECT_EQ(png.substr(1, 3), "PNG");

    MapiPtr<IMessage> inner = Embedded(middle.get(), 0);
    ASSERT_TRUE(inner);
    EXPECT_EQ(Text(inner.get(), PR_MESSAGE_CLASS_A), "IPM.Note");
    EXPECT_EQ(Text(inner.get(), PR_SUBJECT_A), "Microsoft Outlook テスト メッセージ");
    MapiPtr<IMAPITable> recipients;
    ASSERT_EQ(inner->GetRecipientTable(0, recipients.put()), S_OK);
    MapiRows keep;
    auto rows = Rows(recipients.get(), {PR_DISPLAY_NAME_A}, keep);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(RowText(rows[0], PR_DISPLAY_NAME_A), "xmailuser");
    EXPECT_EQ(Long(inner.get(), PR_HASATTACH), 0);
    // The innermost message has no attachment to open.
    MapiPtr<IAttach> none;
    EXPECT_EQ(inner->OpenAttach(0, nullptr, 0, none.put()), MAPI_E_NOT_FOUND);
}

TEST_F(MessageSamplesTest, AnOleObjectIsListedButNotOpenedAsAMessage)
{
    MapiPtr<IMessage> message = OpenSample("aspose-email-dotnet/MSG_file_with_RTF_Formatting.msg");
    ASSERT_TRUE(message);
    MapiPtr<IAttach> attachment;
    ASSERT_EQ(message->OpenAttach(0, nullptr, 0, attachment.put()), S_OK);
    EXPECT_EQ(Long(attachment.get(), PR_ATTACH_METHOD), static_cast<LONG>(ATTACH_OLE));
    ULONG count = 0;
    HRESULT status = S_OK;
    MapiBuffer<SPropValue> values = GetProps(attachment.get(), {PR_ATTACH_DATA_OBJ}, 0, count, &status);
    EXPECT_EQ(status, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(values[0].ulPropTag, CHANGE_PROP_TYPE(PR_ATTACH_DATA_OBJ, PT_ERROR));
    EXPECT_EQ(values[0].Value.err, MAPI_E_NO_SUPPORT);
    MapiPtr<IMessage> embedded;
    EXPECT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, embedded.put_unknown()),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
}

struct NamedCase {
    const char* file;
    GUID propertySet;
    ULONG lid;          // when `name` is null
    const char16_t* name;
    ULONG type;
    const char* text;   // for string values
};

// {0B63E350-9CCC-11D0-BCDB-00805FCCCE04}, the set of search-related string names.
constexpr GUID kSearchSet = {0x0B63E350, 0x9CCC, 0x11D0, {0xBC, 0xDB, 0x00, 0x80, 0x5F, 0xCC, 0xCE, 0x04}};

TEST_F(MessageSamplesTest, NamedPropertiesResolveThroughGetIDsFromNames)
{
    const std::vector<NamedCase> cases = {
        {"HiraokaHyperTools-msgreader/A_schedule.msg", PSETID_Appointment, 0x8208, nullptr, PT_UNICODE, "A place"},
        {"HiraokaHyperTools-msgreader/A_schedule.msg", PSETID_Appointment, 0x8208, nullptr, PT_STRING8, "A place"},
        {"HiraokaHyperTools-msgreader/newOutlook_Microsoft_Outlook_test.msg", kSearchSet, 0, u"DetectedLanguage",
         PT_UNICODE, "ja"},
    };
    for (const NamedCase& c : cases) {
        SCOPED_TRACE(c.file);
        MapiPtr<IMessage> message = OpenSample(c.file);
        ASSERT_TRUE(message);
        GUID set = c.propertySet;
        MAPINAMEID name{&set, c.name != nullptr ? MNID_STRING : MNID_ID, {}};
        if (c.name != nullptr)
            name.Kind.lpwstrName = const_cast<LPWSTR>(c.name);
        else
            name.Kind.lID = static_cast<LONG>(c.lid);
        LPMAPINAMEID names[] = {&name};
        MapiBuffer<SPropTagArray> tags;
        ASSERT_EQ(message->GetIDsFromNames(1, names, 0, tags.put()), S_OK);
        ULONG id = PROP_ID(tags->aulPropTag[0]);
        EXPECT_GE(id, 0x8000u);
        EXPECT_EQ(Text(message.get(), PROP_TAG(c.type, id)), c.text);

        // And back: the id names the same property.
        LPSPropTagArray asked = tags.get();
        ULONG count = 0;
        MapiBuffer<LPMAPINAMEID> back;
        ASSERT_EQ(message->GetNamesFromIDs(&asked, nullptr, 0, &count, back.put()), S_OK);
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(*back[0]->lpguid, c.propertySet);
        EXPECT_EQ(back[0]->ulKind, name.ulKind);
        if (c.name != nullptr)
            EXPECT_EQ(std::u16string(back[0]->Kind.lpwstrName), c.name);
        else
            EXPECT_EQ(back[0]->Kind.lID, static_cast<LONG>(c.lid));
    }
}

TEST_F(MessageSamplesTest, MultiValuedNamedPropertiesOfADistributionList)
{
    MapiPtr<IMessage> group = OpenSample("aspose-email-dotnet/NewGroup.msg");
    ASSERT_TRUE(group);
    GUID set = PSETID_Address;
    struct Member {
        LONG lid;
        ULONG size;
    };
    for (const Member& member : {Member{0x8055, 91}, Member{0x8054, 114}}) {
        MAPINAMEID name{&set, MNID_ID, {}};
        name.Kind.lID = member.lid;
        LPMAPINAMEID names[] = {&name};
        MapiBuffer<SPropTagArray> tags;
        ASSERT_EQ(group->GetIDsFromNames(1, names, 0, tags.put()), S_OK);
        ULONG count = 0;
        MapiBuffer<SPropValue> values =
            GetProps(group.get(), {PROP_TAG(PT_MV_BINARY, PROP_ID(tags->aulPropTag[0]))}, 0, count);
        ASSERT_EQ(PROP_TYPE(values[0].ulPropTag), PT_MV_BINARY);
        ASSERT_EQ(values[0].Value.MVbin.cValues, 2u);
        EXPECT_EQ(values[0].Value.MVbin.lpbin[0].cb, member.size);
        EXPECT_EQ(values[0].Value.MVbin.lpbin[1].cb, member.size);
    }
}

} // namespace
