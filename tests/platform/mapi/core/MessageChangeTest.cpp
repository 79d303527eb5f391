// Messages opened for changes change in memory only: properties, recipients, attachments and
// embedded messages change on the object (attachments and embedded messages once saved into
// their parent), and the file they came from keeps its bytes. Without MAPI_MODIFY every change is
// refused. Also the string forms of GetProps and GetPropList, property streams and bad files.
#include "tests/platform/mapi/core/MessageTestSupport.h"
#include "tests/platform/mapi/core/PropValueMakers.h"
#include "tests/support/TemporaryDirectory.h"

#include <QlnMapiExtras.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <functional>

namespace {

using namespace mapitest;

// A copy of a sample in a directory of the test's own, so that a write to it could happen.
class MessageChangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveSamples())
            GTEST_SKIP() << "the shared Outlook samples are not at " << SamplesDirectory();
    }

    std::filesystem::path Copy(const std::string& relative)
    {
        std::filesystem::path copy = directory_ / std::filesystem::path(relative).filename().string();
        std::filesystem::copy_file(SamplesDirectory() / relative, copy);
        return copy;
    }

    testsupport::TemporaryDirectory directory_;
};

constexpr char kReceived[] = "apache-poi/example_received_unicode.msg";
constexpr char kInline[] = "HiraokaHyperTools-msgreader/attachAndInline.msg";
constexpr char kNested[] = "HiraokaHyperTools-msgreader/msgInMsgInMsg.msg";

HRESULT Set(IMAPIProp* object, std::vector<SPropValue> values, MapiBuffer<SPropProblemArray>* problems = nullptr)
{
    MapiBuffer<SPropProblemArray> own;
    return object->SetProps(static_cast<ULONG>(values.size()), values.data(),
                            (problems != nullptr ? problems : &own)->put());
}

ULONG RowCount(IMessage* message, bool recipients)
{
    MapiPtr<IMAPITable> table;
    HRESULT status = recipients ? message->GetRecipientTable(0, table.put()) : message->GetAttachmentTable(0, table.put());
    EXPECT_EQ(status, S_OK);
    ULONG count = 0;
    if (table) {
        EXPECT_EQ(table->GetRowCount(0, &count), S_OK);
    }
    return count;
}

std::vector<std::string> RecipientNames(IMessage* message)
{
    MapiPtr<IMAPITable> table;
    EXPECT_EQ(message->GetRecipientTable(0, table.put()), S_OK);
    MapiRows keep;
    std::vector<std::string> names;
    for (const auto& row : Rows(table.get(), {PR_DISPLAY_NAME_A}, keep))
        names.push_back(RowText(row, PR_DISPLAY_NAME_A));
    return names;
}

// A recipient entry: the values live in `values`.
ADRENTRY Entry(std::vector<SPropValue>& values)
{
    return {0, static_cast<ULONG>(values.size()), values.data()};
}

HRESULT Modify(IMessage* message, ULONG flags, std::vector<std::vector<SPropValue>>& entries)
{
    MapiBuffer<ADRLIST> list;
    EXPECT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewADRLIST(std::max<std::size_t>(entries.size(), 1))),
                                 list.put_void()),
              S_OK);
    list->cEntries = static_cast<ULONG>(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i)
        list->aEntries[i] = Entry(entries[i]);
    return message->ModifyRecipients(flags, list.get());
}

std::vector<LONG> RowIds(IMessage* message)
{
    MapiPtr<IMAPITable> table;
    EXPECT_EQ(message->GetRecipientTable(0, table.put()), S_OK);
    MapiRows keep;
    std::vector<LONG> ids;
    for (const auto& row : Rows(table.get(), {PR_ROWID}, keep))
        ids.push_back(row[0].Value.l);
    return ids;
}

TEST_F(MessageChangeTest, ChangesStayInMemoryAndTheFileKeepsItsBytes)
{
    std::filesystem::path file = Copy(kReceived);
    const std::string before = testsupport::ReadFile(file);
    const auto modified = std::filesystem::last_write_time(file);
    {
        MapiPtr<IMessage> message = OpenMessage(file, MAPI_MODIFY);
        ASSERT_TRUE(message);
        ASSERT_EQ(Set(message.get(), {UnicodeValue(PR_SUBJECT_W, u"Geändert")}), S_OK);
        EXPECT_EQ(Text(message.get(), PR_SUBJECT_A), "Geändert");
        std::vector<std::vector<SPropValue>> added = {
            {LongValue(PR_RECIPIENT_TYPE, MAPI_BCC), UnicodeValue(PR_DISPLAY_NAME_W, u"Added"),
             UnicodeValue(PR_ADDRTYPE_W, u"SMTP"), UnicodeValue(PR_EMAIL_ADDRESS_W, u"added@example.org")}};
        ASSERT_EQ(Modify(message.get(), MODRECIP_ADD, added), S_OK);
        MapiPtr<IAttach> attachment;
        ASSERT_EQ(message->OpenAttach(0, nullptr, MAPI_MODIFY, attachment.put()), S_OK);
        ASSERT_EQ(Set(attachment.get(), {UnicodeValue(PR_ATTACH_LONG_FILENAME_W, u"renamed.gif")}), S_OK);
        ASSERT_EQ(attachment->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        EXPECT_EQ(message->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        EXPECT_EQ(RowCount(message.get(), true), 7u);
    }
    EXPECT_EQ(testsupport::ReadFile(file), before);
    EXPECT_EQ(std::filesystem::last_write_time(file), modified);
    // Opened again, the message is as the file has it.
    MapiPtr<IMessage> again = OpenMessage(file);
    ASSERT_TRUE(again);
    EXPECT_EQ(Text(again.get(), PR_SUBJECT_A), "This is a test message please ignore");
    EXPECT_EQ(RowCount(again.get(), true), 6u);
}

TEST_F(MessageChangeTest, WithoutModifyEveryChangeIsRefused)
{
    MapiPtr<IMessage> message = OpenSample(kNested);
    ASSERT_TRUE(message);
    SPropValue subject = UnicodeValue(PR_SUBJECT_W, u"x");
    SizedSPropTagArray(1, tags) = {1, {PR_SUBJECT_W}};
    SizedADRLIST(1, list) = {1, {{0, 1, &subject}}};
    struct Case {
        const char* what;
        std::function<HRESULT()> call;
    };
    const std::vector<Case> cases = {
        {"SetProps", [&] { return Set(message.get(), {subject}); }},
        {"DeleteProps", [&] { return message->DeleteProps(reinterpret_cast<LPSPropTagArray>(&tags), nullptr); }},
        {"ModifyRecipients", [&] { return message->ModifyRecipients(MODRECIP_ADD, reinterpret_cast<LPADRLIST>(&list)); }},
        {"SaveChanges", [&] { return message->SaveChanges(0); }},
        {"CreateAttach", [&] {
             MapiPtr<IAttach> attachment;
             ULONG number = 0;
             return message->CreateAttach(nullptr, 0, &number, attachment.put());
         }},
        {"DeleteAttach", [&] { return message->DeleteAttach(1, 0, nullptr, 0); }},
        {"OpenAttach for changes", [&] {
             MapiPtr<IAttach> attachment;
             return message->OpenAttach(1, nullptr, MAPI_MODIFY, attachment.put());
         }},
        {"a stream for changes", [&] {
             MapiPtr<IStream> stream;
             return message->OpenProperty(PR_BODY_W, &IID_IStream, 0, MAPI_MODIFY, stream.put_unknown());
         }},
        {"a read-only attachment", [&] {
             MapiPtr<IAttach> attachment;
             EXPECT_EQ(message->OpenAttach(1, nullptr, MAPI_BEST_ACCESS, attachment.put()), S_OK);
             return Set(attachment.get(), {UnicodeValue(PR_ATTACH_LONG_FILENAME_W, u"x")});
         }},
        {"an embedded message for changes", [&] {
             MapiPtr<IAttach> attachment;
             EXPECT_EQ(message->OpenAttach(0, nullptr, 0, attachment.put()), S_OK);
             MapiPtr<IMessage> embedded;
             return attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_MODIFY, embedded.put_unknown());
         }},
        {"a read-only embedded message", [&] {
             MapiPtr<IMessage> embedded = Embedded(message.get(), 0);
             return Set(embedded.get(), {subject});
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.call(), MAPI_E_NO_ACCESS);
    }
    EXPECT_EQ(Text(message.get(), PR_SUBJECT_A), "I have sub attachments!");
    EXPECT_EQ(RowCount(message.get(), false), 2u);
    EXPECT_EQ(Long(message.get(), PR_ACCESS_LEVEL), 0);
}

TEST_F(MessageChangeTest, SetPropsAndDeletePropsReportWhatTheyCannotDo)
{
    MapiPtr<IMessage> message = OpenSample(kReceived, MAPI_MODIFY);
    ASSERT_TRUE(message);
    EXPECT_EQ(Long(message.get(), PR_ACCESS_LEVEL), 1);
    SPropValue nothing{};
    nothing.ulPropTag = PR_NULL;
    SPropValue object{};
    object.ulPropTag = PR_MESSAGE_RECIPIENTS;
    SPropValue computed{};
    computed.ulPropTag = PR_HASATTACH;
    computed.Value.b = 0;
    MapiBuffer<SPropProblemArray> problems;
    ASSERT_EQ(Set(message.get(),
                  {AnsiValue(PR_SUBJECT_A, "Grüße"), nothing, object, computed, LongValue(PR_IMPORTANCE, 2)},
                  &problems),
              S_OK);
    ASSERT_TRUE(problems);
    ASSERT_EQ(problems->cProblem, 2u);
    EXPECT_EQ(problems->aProblem[0].ulIndex, 2u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_COMPUTED);
    EXPECT_EQ(problems->aProblem[1].ulIndex, 3u);
    EXPECT_EQ(problems->aProblem[1].scode, MAPI_E_COMPUTED);
    EXPECT_EQ(Text(message.get(), PR_SUBJECT_W), "Grüße");
    EXPECT_EQ(Long(message.get(), PR_IMPORTANCE), 2);
    EXPECT_EQ(Long(message.get(), PR_HASATTACH), 1);
    // The flags show what is stored, with the attachment flag worked out.
    ASSERT_EQ(Set(message.get(), {LongValue(PR_MESSAGE_FLAGS, MSGFLAG_UNSENT)}), S_OK);
    EXPECT_EQ(Long(message.get(), PR_MESSAGE_FLAGS), MSGFLAG_UNSENT | MSGFLAG_HASATTACH);

    SizedSPropTagArray(3, tags) = {3, {PR_SUBJECT_W, PR_KEYWORD_W, PR_HASATTACH}};
    MapiBuffer<SPropProblemArray> deleted;
    ASSERT_EQ(message->DeleteProps(reinterpret_cast<LPSPropTagArray>(&tags), deleted.put()), S_OK);
    ASSERT_TRUE(deleted);
    ASSERT_EQ(deleted->cProblem, 2u);
    EXPECT_EQ(deleted->aProblem[0].scode, MAPI_E_NOT_FOUND);
    EXPECT_EQ(deleted->aProblem[1].scode, MAPI_E_COMPUTED);
    EXPECT_EQ(Text(message.get(), PR_SUBJECT_W), "<error 0x8004010f>");
}

TEST_F(MessageChangeTest, StringFormsOfGetPropsAndGetPropList)
{
    MapiPtr<IMessage> message = OpenSample("HiraokaHyperTools-msgreader/nonUnicodeCP932.msg");
    ASSERT_TRUE(message);
    struct Case {
        ULONG asked;
        ULONG flags;
        ULONG answered;
    };
    const std::vector<Case> cases = {
        {CHANGE_PROP_TYPE(PR_SUBJECT, PT_UNSPECIFIED), 0, PR_SUBJECT_A},
        {CHANGE_PROP_TYPE(PR_SUBJECT, PT_UNSPECIFIED), MAPI_UNICODE, PR_SUBJECT_W},
        {PR_SUBJECT_A, MAPI_UNICODE, PR_SUBJECT_A},
        {PR_SUBJECT_W, 0, PR_SUBJECT_W},
        {CHANGE_PROP_TYPE(PR_MESSAGE_FLAGS, PT_UNSPECIFIED), MAPI_UNICODE, PR_MESSAGE_FLAGS},
        {CHANGE_PROP_TYPE(PR_SUBJECT, PT_LONG), 0, CHANGE_PROP_TYPE(PR_SUBJECT, PT_ERROR)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.asked);
        ULONG count = 0;
        HRESULT status = S_OK;
        MapiBuffer<SPropValue> values = GetProps(message.get(), {c.asked}, c.flags, count, &status);
        ASSERT_EQ(count, 1u);
        EXPECT_EQ(values[0].ulPropTag, c.answered);
        EXPECT_EQ(status, PROP_TYPE(c.answered) == PT_ERROR ? MAPI_W_ERRORS_RETURNED : S_OK);
        if (c.answered == PR_SUBJECT_A) {
            EXPECT_STREQ(values[0].Value.lpszA, "日本語 Non Unicode タイトル");
        }
        if (c.answered == PR_SUBJECT_W) {
            EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"日本語 Non Unicode タイトル");
        }
    }

    for (ULONG flags : {0u, MAPI_UNICODE}) {
        MapiBuffer<SPropTagArray> list;
        ASSERT_EQ(message->GetPropList(flags, list.put()), S_OK);
        std::vector<ULONG> tags(list->aulPropTag, list->aulPropTag + list->cValues);
        ULONG wanted = flags == 0 ? PR_SUBJECT_A : PR_SUBJECT_W;
        ULONG other = flags == 0 ? PR_SUBJECT_W : PR_SUBJECT_A;
        EXPECT_NE(std::find(tags.begin(), tags.end(), wanted), tags.end());
        EXPECT_EQ(std::find(tags.begin(), tags.end(), other), tags.end());
        for (ULONG tag : {PR_HASATTACH, PR_MESSAGE_SIZE, PR_MESSAGE_RECIPIENTS, PR_MESSAGE_ATTACHMENTS})
            EXPECT_NE(std::find(tags.begin(), tags.end(), tag), tags.end()) << std::hex << tag;

        // All values at once: every listed property but the objects, strings in the same form.
        ULONG count = 0;
        MapiBuffer<SPropValue> values = GetProps(message.get(), {}, flags, count);
        EXPECT_EQ(count, tags.size() - 2);
        EXPECT_NE(PpropFindProp(values.get(), count, wanted), nullptr);
        EXPECT_EQ(PpropFindProp(values.get(), count, PR_MESSAGE_RECIPIENTS), nullptr);
    }
}

TEST_F(MessageChangeTest, ModifyRecipientsAddsModifiesRemovesAndReplaces)
{
    MapiPtr<IMessage> message = OpenSample(kReceived, MAPI_MODIFY);
    ASSERT_TRUE(message);
    std::vector<LONG> ids = RowIds(message.get());
    ASSERT_EQ(ids.size(), 6u);

    std::vector<std::vector<SPropValue>> added = {
        {LongValue(PR_ROWID, 0), LongValue(PR_RECIPIENT_TYPE, MAPI_TO), UnicodeValue(PR_DISPLAY_NAME_W, u"New One")}};
    ASSERT_EQ(Modify(message.get(), MODRECIP_ADD, added), S_OK);
    std::vector<LONG> afterAdd = RowIds(message.get());
    ASSERT_EQ(afterAdd.size(), 7u);
    EXPECT_EQ(std::count(afterAdd.begin(), afterAdd.end(), afterAdd.back()), 1) << "a new row got an old row id";
    EXPECT_EQ(RecipientNames(message.get()).back(), "New One");
    EXPECT_EQ(Text(message.get(), PR_DISPLAY_TO_A), "'Ashutosh Dandavate'; 'Paul Holmes-Higgin'; 'Mike Farman'; New One");

    std::vector<std::vector<SPropValue>> modified = {
        {LongValue(PR_ROWID, ids[0]), LongValue(PR_RECIPIENT_TYPE, MAPI_CC), UnicodeValue(PR_DISPLAY_NAME_W, u"Changed")}};
    ASSERT_EQ(Modify(message.get(), MODRECIP_MODIFY, modified), S_OK);
    EXPECT_EQ(RecipientNames(message.get()).front(), "Changed");
    EXPECT_EQ(Text(message.get(), PR_DISPLAY_TO_A), "'Paul Holmes-Higgin'; 'Mike Farman'; New One");

    std::vector<std::vector<SPropValue>> removed = {{LongValue(PR_ROWID, ids[1])}, {LongValue(PR_ROWID, ids[2])}};
    ASSERT_EQ(Modify(message.get(), MODRECIP_REMOVE, removed), S_OK);
    EXPECT_EQ(RowCount(message.get(), true), 5u);

    // A row id nobody has fails the whole call and changes nothing.
    std::vector<std::vector<SPropValue>> unknown = {{LongValue(PR_ROWID, ids[3])}, {LongValue(PR_ROWID, 999)}};
    EXPECT_EQ(Modify(message.get(), MODRECIP_REMOVE, unknown), MAPI_E_NOT_FOUND);
    EXPECT_EQ(RowCount(message.get(), true), 5u);
    std::vector<std::vector<SPropValue>> withoutRow = {{UnicodeValue(PR_DISPLAY_NAME_W, u"x")}};
    EXPECT_EQ(Modify(message.get(), MODRECIP_MODIFY, withoutRow), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(Modify(message.get(), MODRECIP_ADD | MODRECIP_REMOVE, withoutRow), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(Modify(message.get(), 0x100, withoutRow), MAPI_E_UNKNOWN_FLAGS);

    // Flags 0 replaces the list with the rows given, as read from the table (errors left out).
    MapiPtr<IMAPITable> table;
    ASSERT_EQ(message->GetRecipientTable(MAPI_UNICODE, table.put()), S_OK);
    MapiRows rows;
    ASSERT_EQ(HrQueryAllRows(table.get(), nullptr, nullptr, nullptr, 0, rows.put()), S_OK);
    ASSERT_EQ(rows.size(), 5u);
    SPropValue* type = PpropFindProp(rows->aRow[0].lpProps, rows->aRow[0].cValues, PR_RECIPIENT_TYPE);
    ASSERT_NE(type, nullptr);
    type->Value.l = MAPI_BCC;
    rows->cRows = 2;
    HRESULT replaced = message->ModifyRecipients(0, reinterpret_cast<LPADRLIST>(rows.get()));
    rows->cRows = 5;
    ASSERT_EQ(replaced, S_OK);
    EXPECT_EQ(RecipientNames(message.get()), (std::vector<std::string>{"Changed", "nickb@alfresco.com"}));
    EXPECT_EQ(Text(message.get(), PR_DISPLAY_BCC_A), "Changed");
    EXPECT_EQ(Text(message.get(), PR_DISPLAY_TO_A), "");
}

TEST_F(MessageChangeTest, AttachmentChangesReachTheMessageOnSaveChanges)
{
    MapiPtr<IMessage> message = OpenSample(kInline, MAPI_MODIFY);
    ASSERT_TRUE(message);
    auto names = [&] {
        MapiPtr<IMAPITable> table;
        EXPECT_EQ(message->GetAttachmentTable(0, table.put()), S_OK);
        MapiRows keep;
        std::vector<std::string> result;
        for (const auto& row : Rows(table.get(), {PR_ATTACH_LONG_FILENAME_A}, keep))
            result.push_back(RowText(row, PR_ATTACH_LONG_FILENAME_A));
        return result;
    };

    MapiPtr<IAttach> attachment;
    ASSERT_EQ(message->OpenAttach(0, nullptr, MAPI_MODIFY, attachment.put()), S_OK);
    ASSERT_EQ(Set(attachment.get(), {UnicodeValue(PR_ATTACH_LONG_FILENAME_W, u"renamed.png")}), S_OK);
    MapiPtr<IStream> stream;
    ASSERT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_MODIFY | MAPI_CREATE,
                                       stream.put_unknown()),
              S_OK);
    ULONG written = 0;
    ASSERT_EQ(stream->Write("new data", 8, &written), S_OK);
    ASSERT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
    stream.reset();
    // Not in the message before the attachment is saved.
    EXPECT_EQ(names(), (std::vector<std::string>{"attach.png", "image001.png"}));
    ASSERT_EQ(attachment->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(names(), (std::vector<std::string>{"renamed.png", "image001.png"}));
    MapiPtr<IAttach> reopened;
    ASSERT_EQ(message->OpenAttach(0, nullptr, 0, reopened.put()), S_OK);
    std::string data;
    ASSERT_EQ(StreamBytes(reopened.get(), PR_ATTACH_DATA_BIN, data), S_OK);
    EXPECT_EQ(data, "new data");

    // A new attachment counts once saved; a deleted one goes at once.
    MapiPtr<IAttach> created;
    ULONG number = 0;
    ASSERT_EQ(message->CreateAttach(nullptr, 0, &number, created.put()), S_OK);
    EXPECT_GE(number, 2u);
    ASSERT_EQ(Set(created.get(), {LongValue(PR_ATTACH_METHOD, ATTACH_BY_VALUE),
                                  UnicodeValue(PR_ATTACH_LONG_FILENAME_W, u"added.txt")}),
              S_OK);
    EXPECT_EQ(names().size(), 2u);
    ASSERT_EQ(created->SaveChanges(0), S_OK);
    EXPECT_EQ(names(), (std::vector<std::string>{"renamed.png", "image001.png", "added.txt"}));
    EXPECT_EQ(Long(created.get(), PR_ATTACH_NUM), static_cast<LONG>(number));
    EXPECT_EQ(Long(message.get(), PR_HASATTACH), 1);

    for (ULONG attachmentNumber : {0u, 1u, number})
        ASSERT_EQ(message->DeleteAttach(attachmentNumber, 0, nullptr, 0), S_OK);
    EXPECT_EQ(message->DeleteAttach(number, 0, nullptr, 0), MAPI_E_NOT_FOUND);
    EXPECT_TRUE(names().empty());
    EXPECT_EQ(Long(message.get(), PR_HASATTACH), 0);
    EXPECT_EQ(Long(message.get(), PR_MESSAGE_FLAGS) & MSGFLAG_HASATTACH, 0);
}

TEST_F(MessageChangeTest, EmbeddedChangesGoThroughTheAttachment)
{
    MapiPtr<IMessage> outer = OpenSample(kNested, MAPI_MODIFY);
    ASSERT_TRUE(outer);
    MapiPtr<IAttach> attachment;
    MapiPtr<IMessage> middle = Embedded(outer.get(), 0, MAPI_MODIFY, &attachment);
    ASSERT_TRUE(middle);
    ASSERT_EQ(Set(middle.get(), {UnicodeValue(PR_SUBJECT_W, u"Middle changed")}), S_OK);

    // Changes of the innermost message reach the outer one through both levels of saves.
    MapiPtr<IMessage> inner = Embedded(middle.get(), 0, MAPI_MODIFY);
    ASSERT_TRUE(inner);
    std::vector<std::vector<SPropValue>> replaced = {
        {LongValue(PR_RECIPIENT_TYPE, MAPI_TO), UnicodeValue(PR_DISPLAY_NAME_W, u"Someone"),
         UnicodeValue(PR_ADDRTYPE_W, u"SMTP"), UnicodeValue(PR_EMAIL_ADDRESS_W, u"someone@example.org")}};
    ASSERT_EQ(Modify(inner.get(), 0, replaced), S_OK);
    ASSERT_EQ(inner->SaveChanges(KEEP_OPEN_READWRITE), S_OK);

    // Saved into the middle message's attachment object only so far.
    EXPECT_EQ(RecipientNames(Embedded(middle.get(), 0).get()), (std::vector<std::string>{"xmailuser"}));
    EXPECT_EQ(Text(Embedded(outer.get(), 0).get(), PR_SUBJECT_A), "I have attachments!");

    ASSERT_EQ(middle->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    EXPECT_EQ(Text(Embedded(outer.get(), 0).get(), PR_SUBJECT_A), "I have attachments!");
    ASSERT_EQ(attachment->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    MapiPtr<IMessage> seen = Embedded(outer.get(), 0);
    EXPECT_EQ(Text(seen.get(), PR_SUBJECT_A), "Middle changed");
    // The innermost change was saved into an attachment object that nobody saved.
    EXPECT_EQ(RecipientNames(Embedded(seen.get(), 0).get()), (std::vector<std::string>{"xmailuser"}));
}

TEST_F(MessageChangeTest, EmbeddedSavesAreKeptWhenEveryLevelIsSaved)
{
    MapiPtr<IMessage> outer = OpenSample(kNested, MAPI_MODIFY);
    ASSERT_TRUE(outer);
    MapiPtr<IAttach> attachment;
    MapiPtr<IMessage> middle = Embedded(outer.get(), 0, MAPI_MODIFY, &attachment);
    ASSERT_TRUE(middle);
    MapiPtr<IAttach> innerAttachment;
    MapiPtr<IMessage> inner = Embedded(middle.get(), 0, MAPI_MODIFY, &innerAttachment);
    ASSERT_TRUE(inner);
    ASSERT_EQ(Set(inner.get(), {UnicodeValue(PR_SUBJECT_W, u"Inner changed")}), S_OK);
    for (IMAPIProp* level : std::vector<IMAPIProp*>{inner.get(), innerAttachment.get(), middle.get(), attachment.get()})
        ASSERT_EQ(level->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
    MapiPtr<IMessage> seen = Embedded(Embedded(outer.get(), 0).get(), 0);
    EXPECT_EQ(Text(seen.get(), PR_SUBJECT_A), "Inner changed");
}

TEST_F(MessageChangeTest, PropertyStreamsReadAndWriteTheFormOfTheirTag)
{
    MapiPtr<IMessage> message = OpenSample(kReceived, MAPI_MODIFY);
    ASSERT_TRUE(message);
    MapiPtr<IStream> stream;
    ASSERT_EQ(message->OpenProperty(PR_BODY_W, &IID_IStream, 0, MAPI_MODIFY | MAPI_CREATE, stream.put_unknown()), S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, 0u);
    const char16_t text[] = u"Grüße";
    ASSERT_EQ(stream->Write(text, sizeof(text) - 2, nullptr), S_OK);
    EXPECT_EQ(Text(message.get(), PR_BODY_A).substr(0, 10), "..less you") << "stored before Commit";
    ASSERT_EQ(stream->Commit(STGC_DEFAULT), S_OK);
    EXPECT_EQ(Text(message.get(), PR_BODY_A), "Grüße");
    std::string narrow;
    ASSERT_EQ(StreamBytes(message.get(), PR_BODY_A, narrow), S_OK);
    EXPECT_EQ(narrow, "Grüße");

    // A read-only stream takes no writes.
    MapiPtr<IStream> reading;
    ASSERT_EQ(message->OpenProperty(PR_BODY_A, &IID_IStream, 0, 0, reading.put_unknown()), S_OK);
    EXPECT_EQ(reading->Write("x", 1, nullptr), STG_E_ACCESSDENIED);

    struct Case {
        ULONG tag;
        const IID* iid;
        ULONG flags;
        HRESULT expected;
    };
    const std::vector<Case> cases = {
        {PR_REPORT_TEXT_W, &IID_IStream, 0, MAPI_E_NOT_FOUND},
        {PR_MESSAGE_FLAGS, &IID_IStream, 0, MAPI_E_INVALID_TYPE},
        {PR_HASATTACH, &IID_IStream, 0, MAPI_E_INVALID_TYPE},
        {CHANGE_PROP_TYPE(PR_SUBJECT, PT_BINARY), &IID_IStream, 0, MAPI_E_NOT_FOUND},
        {PR_BODY_W, &IID_IStorage, 0, MAPI_E_INTERFACE_NOT_SUPPORTED},
        {PR_BODY_W, nullptr, 0, MAPI_E_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        MapiPtr<IUnknown> unknown;
        EXPECT_EQ(message->OpenProperty(c.tag, c.iid, 0, c.flags, unknown.put()), c.expected);
        EXPECT_FALSE(unknown);
    }

    // The tables are also there as properties.
    MapiPtr<IMAPITable> recipients;
    ASSERT_EQ(message->OpenProperty(PR_MESSAGE_RECIPIENTS, &IID_IMAPITable, 0, 0, recipients.put_unknown()), S_OK);
    ULONG count = 0;
    ASSERT_EQ(recipients->GetRowCount(0, &count), S_OK);
    EXPECT_EQ(count, 6u);
}

TEST_F(MessageChangeTest, SetReadFlagChangesTheMessageFlags)
{
    MapiPtr<IMessage> message = OpenSample(kNested);
    ASSERT_TRUE(message);
    LONG flags = Long(message.get(), PR_MESSAGE_FLAGS);
    ASSERT_NE(flags, -1);
    EXPECT_EQ(message->SetReadFlag(0), S_OK);
    EXPECT_EQ(Long(message.get(), PR_MESSAGE_FLAGS), flags | MSGFLAG_READ);
    EXPECT_EQ(message->SetReadFlag(CLEAR_READ_FLAG), S_OK);
    EXPECT_EQ(Long(message.get(), PR_MESSAGE_FLAGS), flags & ~MSGFLAG_READ);
    EXPECT_EQ(message->SetReadFlag(CLEAR_READ_FLAG | SUPPRESS_RECEIPT), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(message->SubmitMessage(0), MAPI_E_NO_SUPPORT);
}

// An empty message to copy into: the embedded message of a new attachment of a writable one.
MapiPtr<IMessage> EmptyMessage(IMessage* holder)
{
    MapiPtr<IAttach> attachment;
    ULONG number = 0;
    EXPECT_EQ(holder->CreateAttach(nullptr, 0, &number, attachment.put()), S_OK);
    MapiPtr<IMessage> empty;
    if (attachment) {
        EXPECT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE | MAPI_MODIFY,
                                           empty.put_unknown()),
                  S_OK);
    }
    return empty;
}

TEST_F(MessageChangeTest, CopyToCopiesTheWholeMessageTree)
{
    MapiPtr<IMessage> holder = OpenSample("aquasync-ruby-msg/note.msg", MAPI_MODIFY);
    ASSERT_TRUE(holder);
    MapiPtr<IMessage> target = EmptyMessage(holder.get());
    ASSERT_TRUE(target);
    MapiPtr<IMessage> source = OpenSample(kNested);
    ASSERT_TRUE(source);
    SizedSPropTagArray(1, excluded) = {1, {PR_BODY_W}};
    MapiBuffer<SPropProblemArray> problems;
    ASSERT_EQ(source->CopyTo(0, nullptr, reinterpret_cast<LPSPropTagArray>(&excluded), 0, nullptr, &IID_IMessage,
                             target.get(), 0, problems.put()),
              S_OK);
    EXPECT_FALSE(problems);
    EXPECT_EQ(Text(target.get(), PR_SUBJECT_A), "I have sub attachments!");
    EXPECT_FALSE(Has(target.get(), PR_BODY_W));
    EXPECT_TRUE(Has(target.get(), PR_RTF_COMPRESSED));
    EXPECT_EQ(RowCount(target.get(), false), 2u);
    MapiPtr<IMessage> middle = Embedded(target.get(), 0);
    ASSERT_TRUE(middle);
    EXPECT_EQ(Text(middle.get(), PR_SUBJECT_A), "I have attachments!");
    MapiPtr<IMessage> inner = Embedded(middle.get(), 0);
    ASSERT_TRUE(inner);
    EXPECT_EQ(Text(inner.get(), PR_SUBJECT_A), "Microsoft Outlook テスト メッセージ");
    EXPECT_EQ(RecipientNames(inner.get()), (std::vector<std::string>{"xmailuser"}));
    MapiPtr<IAttach> green;
    ASSERT_EQ(middle->OpenAttach(1, nullptr, 0, green.put()), S_OK);
    std::string png;
    ASSERT_EQ(StreamBytes(green.get(), PR_ATTACH_DATA_BIN, png), S_OK);
    EXPECT_EQ(png.size(), 134u);

    // Named properties arrive under the target's ids for the same names.
    MapiPtr<IMessage> schedule = OpenSample("HiraokaHyperTools-msgreader/A_schedule.msg");
    ASSERT_TRUE(schedule);
    MapiPtr<IMessage> second = EmptyMessage(holder.get());
    ASSERT_EQ(schedule->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, second.get(), 0, nullptr), S_OK);
    GUID set = PSETID_Appointment;
    MAPINAMEID location{&set, MNID_ID, {}};
    location.Kind.lID = 0x8208;
    LPMAPINAMEID names[] = {&location};
    MapiBuffer<SPropTagArray> tags;
    ASSERT_EQ(second->GetIDsFromNames(1, names, 0, tags.put()), S_OK);
    EXPECT_EQ(Text(second.get(), CHANGE_PROP_TYPE(tags->aulPropTag[0], PT_UNICODE)), "A place");
    EXPECT_EQ(RecipientNames(second.get()).size(), 1u);

    // Refusals: a target that cannot change, moving, another interface.
    MapiPtr<IMessage> readOnly = OpenSample(kReceived);
    EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, readOnly.get(), 0, nullptr), MAPI_E_NO_ACCESS);
    EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, 0, nullptr, nullptr, second.get(), MAPI_MOVE, nullptr),
              MAPI_E_NO_SUPPORT);
    EXPECT_EQ(source->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IAttachment, second.get(), 0, nullptr),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
}

TEST_F(MessageChangeTest, UnreadableFilesAreNamedInTheError)
{
    std::filesystem::path damaged = directory_ / "damaged.msg";
    std::ofstream(damaged, std::ios::binary) << std::string(1024, 'x');
    struct Case {
        std::filesystem::path path;
        HRESULT expected;
    };
    const std::vector<Case> cases = {
        {damaged, MAPI_E_CORRUPT_DATA},
        {directory_ / "missing.msg", HResultFromErrno(ENOENT)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        MapiPtr<IMessage> message;
        LPSTR error = nullptr;
        EXPECT_EQ(QlnOpenMsgFile(c.path.c_str(), 0, message.put(), &error), c.expected);
        EXPECT_FALSE(message);
        ASSERT_NE(error, nullptr);
        EXPECT_NE(std::string(error).find(c.path.string()), std::string::npos) << error;
        MAPIFreeBuffer(error);
    }
    MapiPtr<IMessage> message;
    EXPECT_EQ(QlnOpenMsgFile(nullptr, 0, message.put(), nullptr), MAPI_E_INVALID_PARAMETER);
}

} // namespace
