// Tests of attachment data that stays in its .msg file: which values stay there, that reading them in
// pieces of any size gives the bytes written, and that a file shrunk after opening is reported.
#include "platform/cfb/MsgFile.h"
#include "platform/cfb/MsgWriter.h"
#include "tests/platform/cfb/TestBytes.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace platform::cfb;
using namespace cfbtest;

// A message with one attachment of `large` bytes, just past the size that stays in the file, and one
// just below it.
struct TwoAttachments {
    Bytes large = Pattern(kStreamedValueMinimum + 123'457, 3);
    Bytes small = Pattern(kStreamedValueMinimum - 1, 4);
    std::string path;

    explicit TwoAttachments(const testsupport::TemporaryDirectory& dir) : path(dir.File("two.msg"))
    {
        MsgDocument document;
        document.message.properties.push_back(Integer(PR_MESSAGE_FLAGS, 1));
        for (const Bytes* data : {&large, &small}) {
            MsgAttachment& attachment = document.message.attachments.emplace_back();
            attachment.number = static_cast<std::uint32_t>(document.message.attachments.size() - 1);
            attachment.properties.push_back(Integer(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
            attachment.properties.push_back(Binary(PR_ATTACH_DATA_BIN, *data));
        }
        std::string error;
        EXPECT_EQ(WriteMsgFile(path, document, error), S_OK) << error;
    }
};

const MsgProperty& Data(const MsgDocument& document, std::size_t attachment)
{
    const MsgProperty* data = FindProperty(document.message.attachments.at(attachment).properties, PR_ATTACH_DATA_BIN);
    EXPECT_NE(data, nullptr);
    static const MsgProperty kNone;
    return data != nullptr ? *data : kNone;
}

TEST(StreamedValueTest, OnlyLargeAttachmentDataOfAFileStaysInTheFile)
{
    testsupport::TemporaryDirectory dir;
    TwoAttachments message(dir);
    MsgDocument document;
    std::string error;
    ASSERT_EQ(ReadMsgFile(message.path, document, error), S_OK) << error;
    ASSERT_EQ(document.message.attachments.size(), 2u);
    const MsgProperty& large = Data(document, 0);
    ASSERT_NE(large.streamed, nullptr);
    EXPECT_TRUE(large.bytes.empty());
    EXPECT_EQ(large.streamed->Size(), message.large.size());
    const MsgProperty& small = Data(document, 1);
    EXPECT_EQ(small.streamed, nullptr);
    EXPECT_TRUE(small.bytes == message.small);

    // A file read from memory keeps every value in the model.
    const std::string image = testsupport::ReadFile(message.path);
    MsgDocument fromMemory;
    ASSERT_EQ(ReadMsgBytes(Ascii(image), "two.msg", fromMemory, error), S_OK) << error;
    EXPECT_EQ(Data(fromMemory, 0).streamed, nullptr);
    EXPECT_TRUE(Data(fromMemory, 0).bytes == message.large);
}

TEST(StreamedValueTest, ReadInPiecesOfAnySizeGivesTheBytesWritten)
{
    testsupport::TemporaryDirectory dir;
    TwoAttachments message(dir);
    MsgDocument document;
    std::string error;
    ASSERT_EQ(ReadMsgFile(message.path, document, error), S_OK) << error;
    const StreamedValue& value = *Data(document, 0).streamed;
    // Pieces smaller than a sector, a sector, across sectors, and more than is left.
    for (std::size_t piece : {std::size_t{1}, std::size_t{511}, std::size_t{512}, std::size_t{4096},
                              std::size_t{65'537}, message.large.size() + 10}) {
        Bytes read;
        Bytes buffer(piece);
        std::size_t got = 0;
        do {
            ASSERT_EQ(value.ReadAt(read.size(), buffer, got), S_OK);
            ASSERT_LE(got, piece);
            read.insert(read.end(), buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(got));
        } while (got == piece);
        EXPECT_TRUE(read == message.large) << "pieces of " << piece;
    }
    Bytes buffer(16);
    std::size_t got = 1;
    EXPECT_EQ(value.ReadAt(message.large.size(), buffer, got), S_OK);
    EXPECT_EQ(got, 0u) << "nothing after the end";
    EXPECT_EQ(value.ReadAt(message.large.size() - 5, buffer, got), S_OK);
    EXPECT_EQ(got, 5u) << "the rest at the end";
}

TEST(StreamedValueTest, AFileThatShrinksAfterOpeningIsReportedDamaged)
{
    testsupport::TemporaryDirectory dir;
    TwoAttachments message(dir);
    MsgDocument document;
    std::string error;
    ASSERT_EQ(ReadMsgFile(message.path, document, error), S_OK) << error;
    std::filesystem::resize_file(message.path, std::filesystem::file_size(message.path) / 2);
    Bytes whole;
    EXPECT_EQ(ReadWhole(*Data(document, 0).streamed, whole), MAPI_E_CORRUPT_DATA);
    EXPECT_LT(whole.size(), message.large.size());
}

TEST(StreamedValueTest, AWrittenDocumentCarriesTheDataThatStayedInTheFile)
{
    testsupport::TemporaryDirectory dir;
    TwoAttachments message(dir);
    MsgDocument document;
    std::string error;
    ASSERT_EQ(ReadMsgFile(message.path, document, error), S_OK) << error;
    std::vector<std::uint8_t> image;
    ASSERT_EQ(WriteMsgBytes(document, "again.msg", image, error), S_OK) << error;
    MsgDocument again;
    ASSERT_EQ(ReadMsgBytes(image, "again.msg", again, error), S_OK) << error;
    EXPECT_TRUE(Data(again, 0).bytes == message.large);
}

} // namespace
