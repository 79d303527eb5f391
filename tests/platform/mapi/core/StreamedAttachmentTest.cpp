// Tests of attachment data that stays in its .msg file, as the runtime serves it: GetProps answers
// MAPI_E_NOT_ENOUGH_MEMORY as for any value too large to give, OpenProperty reads it in pieces,
// and copies and changes still carry every byte.
#include "platform/cfb/MsgFile.h"
#include "platform/cfb/MsgWriter.h"
#include "tests/platform/mapi/core/MessageTestSupport.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace mapitest;

std::string Pattern(std::size_t size)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 131 + i / 509) & 0xFF);
    return bytes;
}

class StreamedAttachmentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::cfb::MsgDocument document;
        platform::cfb::MsgProperty subject;
        subject.tag = PR_SUBJECT_W;
        subject.text = u"large";
        document.message.properties.push_back(subject);
        platform::cfb::MsgAttachment& attachment = document.message.attachments.emplace_back();
        platform::cfb::MsgProperty method;
        method.tag = PR_ATTACH_METHOD;
        method.integer = ATTACH_BY_VALUE;
        platform::cfb::MsgProperty data;
        data.tag = PR_ATTACH_DATA_BIN;
        data.bytes.assign(data_.begin(), data_.end());
        attachment.properties = {method, data};
        std::string error;
        ASSERT_EQ(platform::cfb::WriteMsgFile(path_, document, error), S_OK) << error;
    }

    MapiPtr<IAttach> Attachment(IMessage* message, ULONG flags = 0)
    {
        MapiPtr<IAttach> attachment;
        EXPECT_EQ(message->OpenAttach(0, nullptr, flags, attachment.put()), S_OK);
        return attachment;
    }

    const std::string data_ = Pattern(platform::cfb::kStreamedValueMinimum * 3 + 17);
    testsupport::TemporaryDirectory directory_;
    const std::string path_ = directory_.File("large.msg");
};

TEST_F(StreamedAttachmentTest, GetPropsAnswersTooLargeAndTheListNamesTheBinary)
{
    MapiPtr<IMessage> message = OpenMessage(path_);
    ASSERT_TRUE(message);
    MapiPtr<IAttach> attachment = Attachment(message.get());
    ASSERT_TRUE(attachment);
    ULONG count = 0;
    HRESULT result = S_OK;
    MapiBuffer<SPropValue> values = GetProps(attachment.get(), {PR_ATTACH_DATA_BIN}, 0, count, &result);
    EXPECT_EQ(result, MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(values[0].ulPropTag, CHANGE_PROP_TYPE(PR_ATTACH_DATA_BIN, PT_ERROR));
    EXPECT_EQ(values[0].Value.err, MAPI_E_NOT_ENOUGH_MEMORY);

    MapiBuffer<SPropTagArray> tags;
    ASSERT_EQ(attachment->GetPropList(0, tags.put()), S_OK);
    EXPECT_NE(std::find(tags->aulPropTag, tags->aulPropTag + tags->cValues, PR_ATTACH_DATA_BIN),
              tags->aulPropTag + tags->cValues);
    EXPECT_GE(static_cast<std::size_t>(Long(attachment.get(), PR_ATTACH_SIZE)), data_.size());
}

TEST_F(StreamedAttachmentTest, OpenPropertyReadsTheBytesInPiecesAndRefusesWrites)
{
    MapiPtr<IMessage> message = OpenMessage(path_);
    ASSERT_TRUE(message);
    MapiPtr<IAttach> attachment = Attachment(message.get());
    ASSERT_TRUE(attachment);
    MapiPtr<IStream> stream;
    ASSERT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.put_unknown()), S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, data_.size());
    std::string read;
    char piece[4096];
    ULONG got = 0;
    do {
        ASSERT_EQ(stream->Read(piece, sizeof piece, &got), S_OK);
        read.append(piece, got);
    } while (got > 0);
    EXPECT_TRUE(read == data_);

    LARGE_INTEGER back{};
    back.QuadPart = -10;
    ASSERT_EQ(stream->Seek(back, STREAM_SEEK_END, nullptr), S_OK);
    ASSERT_EQ(stream->Read(piece, sizeof piece, &got), S_OK);
    EXPECT_EQ(std::string(piece, got), data_.substr(data_.size() - 10));
    ULONG written = 1;
    EXPECT_EQ(stream->Write("x", 1, &written), STG_E_ACCESSDENIED);
    EXPECT_EQ(written, 0u);
}

TEST_F(StreamedAttachmentTest, CopiesAndChangesCarryEveryByte)
{
    MapiPtr<IMessage> source = OpenMessage(path_);
    ASSERT_TRUE(source);
    // The target: an embedded message created in another opened copy of the file.
    MapiPtr<IMessage> holder = OpenMessage(path_, MAPI_MODIFY);
    ASSERT_TRUE(holder);
    MapiPtr<IAttach> holding;
    ULONG number = 0;
    ASSERT_EQ(holder->CreateAttach(nullptr, 0, &number, holding.put()), S_OK);
    MapiPtr<IMessage> target;
    ASSERT_EQ(holding->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, MAPI_CREATE | MAPI_MODIFY,
                                    target.put_unknown()),
              S_OK);
    ASSERT_EQ(source->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IMessage, target.get(), 0, nullptr), S_OK);
    std::string copied;
    ASSERT_EQ(StreamBytes(Attachment(target.get()).get(), PR_ATTACH_DATA_BIN, copied), S_OK);
    EXPECT_TRUE(copied == data_);

    // Opened for a change, the stream starts with the whole value.
    MapiPtr<IMessage> changing = OpenMessage(path_, MAPI_MODIFY);
    ASSERT_TRUE(changing);
    MapiPtr<IStream> stream;
    ASSERT_EQ(Attachment(changing.get(), MAPI_MODIFY)->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, MAPI_MODIFY,
                                                                     stream.put_unknown()),
              S_OK);
    STATSTG stat{};
    ASSERT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, data_.size());
}

} // namespace
