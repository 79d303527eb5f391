// Attachment parts: content types and file names, Content-ID and inline rules, files without data,
// attached messages stored as files, MacBinary files, and the attachments a message flags as absent.
#include <gtest/gtest.h>

#include <mapitags.h>

#include <functional>
#include <vector>

#include "tests/mmconv/message/ConversionHarness.h"
#include "tests/support/Base64Text.h"
#include "tests/support/OutputValidators.h"

namespace convtest {
namespace {

MessageBuilder Message()
{
    MessageBuilder builder = SentMail("IPM.Note", u"Files");
    builder.Add(Unicode(PR_BODY_W, u"Body"));
    return builder;
}

// MacBinary II: the 128-byte header, the data fork padded to 128 bytes, the resource fork.
std::string MacBinaryFile()
{
    std::string header(128, '\0');
    header[1] = 4;
    header.replace(2, 4, "Note");
    header.replace(65, 8, "TEXTttxt");
    header[86] = 5;   // data fork length 5
    header[90] = 3;   // resource fork length 3
    std::string data = "hello" + std::string(123, '\0');
    return header + data + "RES";
}

struct AttachmentCase {
    const char* label;
    std::function<void(MessageBuilder&)> build;
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

const AttachmentCase kAttachmentCases[] = {
    {"a content type from the extension when the file has none",
        [](MessageBuilder& b) {
            b.AddFile(u"scan.pdf", "%PDF").properties.push_back(Unicode(PR_ATTACH_EXTENSION_W, u".pdf"));
        },
        {"Content-Type: application/pdf;\r\n name=\"scan.pdf\"\r\n"}, {}},
    {"a malformed stored content type is not written",
        [](MessageBuilder& b) { b.AddFile(u"x.bin", "x", u"text/plain; charset=\"x\""); },
        {"Content-Type: application/octet-stream;\r\n name=\"x.bin\"\r\n"}, {"charset=\"x\""}},
    {"non-ASCII file names in the extended parameter form",
        [](MessageBuilder& b) { b.AddFile(u"R\u00e9sum\u00e9 \u65e5\u672c.txt", "cv", u"text/plain"); },
        {"Content-Type: text/plain;\r\n name*=utf-8''R%C3%A9sum%C3%A9%20%E6%97%A5%E6%9C%AC.txt\r\n",
            "Content-Disposition: attachment;\r\n filename*=utf-8''R%C3%A9sum%C3%A9%20%E6%97%A5%E6%9C%AC.txt\r\n"},
        {"=?utf-8?"}},
    {"a long non-ASCII file name is continued over sections that keep characters whole",
        [](MessageBuilder& b) { b.AddFile(std::u16string(40, u'\u00e9') + u".txt", "x", u"text/plain"); },
        {" name*0*=utf-8''%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9;\r\n"
         " name*1*=%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9%C3%A9;\r\n",
            " name*4*=%C3%A9%C3%A9.txt\r\n"},
        {}},
    {"an inline picture: Content-ID without the stored brackets, no disposition",
        [](MessageBuilder& b) {
            b.Add(Binary(PR_HTML, "<img src=\"cid:pic@x\">"));
            MsgAttachment& picture = b.AddFile(u"pic.png", "PNG", u"image/png");
            picture.properties.push_back(Unicode(PR_ATTACH_CONTENT_ID_W, u"<pic@x>"));
            picture.properties.push_back(Long(PR_ATTACH_FLAGS, 4));
        },
        {"Content-ID: <pic@x>\r\n\r\nUE5H"}, {"Content-Disposition", "<<"}},
    {"a Content-ID on a file not shown in the body keeps its disposition",
        [](MessageBuilder& b) {
            b.AddFile(u"a.png", "PNG", u"image/png").properties.push_back(Unicode(PR_ATTACH_CONTENT_ID_W, u"a@x"));
        },
        {"Content-ID: <a@x>\r\nContent-Disposition: attachment;\r\n filename=\"a.png\"\r\n"}, {}},
    {"a file without data is still a part with its name",
        [](MessageBuilder& b) {
            MsgAttachment& empty = b.AddFile(u"empty.txt", "", u"text/plain");
            std::erase_if(empty.properties, [](const MsgProperty& p) { return p.tag == PR_ATTACH_DATA_BIN; });
        },
        {"filename=\"empty.txt\"\r\n\r\n\r\n"}, {}},
    {"an attached message stored as 7-bit text stays as it is",
        [](MessageBuilder& b) { b.AddFile(u"fwd.eml", "Subject: Hi\r\n\r\nText\r\n", u"message/rfc822"); },
        {"Content-Type: message/rfc822;\r\n name=\"fwd.eml\"\r\nContent-Transfer-Encoding: 7bit\r\n",
            "\r\n\r\nSubject: Hi\r\n\r\nText\r\n\r\n"},
        {}},
    {"an attached message with 8-bit text travels as a file",
        [](MessageBuilder& b) { b.AddFile(u"fwd.eml", "Subject: Gr\xFC\xDF" "e\n\nText\n", u"message/rfc822"); },
        {"Content-Type: application/octet-stream;\r\n name=\"fwd.eml\"\r\nContent-Transfer-Encoding: base64\r\n"},
        {"message/rfc822"}},
    {"payload class and provider are carried",
        [](MessageBuilder& b) {
            MsgAttachment& file = b.AddFile(u"p.bin", "x", u"application/octet-stream");
            file.properties.push_back(Ansi(PR_ATTACH_PAYLOAD_CLASS_A, "IPM.Note.Payload"));
            file.properties.push_back(Ansi(PR_ATTACH_PAYLOAD_PROV_GUID_STR_A, "{12345678-0000-0000-0000-000000000000}"));
        },
        {"X-Payload-Class: IPM.Note.Payload\r\nX-Payload-Provider-Guid: {12345678-0000-0000-0000-000000000000}\r\n"}, {}},
    {"MacBinary as AppleDouble: the header part and the data fork",
        [](MessageBuilder& b) {
            MsgAttachment& file = b.AddFile(u"Note", MacBinaryFile(), u"text/plain");
            file.properties.push_back(Binary(PR_ATTACH_ENCODING, std::string("\x2A\x86\x48\x86\xF7\x14\x03\x0B\x01", 9)));
        },
        {"Content-Type: multipart/appledouble;\r\n boundary=\"B2\"\r\n\r\n--B2\r\nContent-Type: application/applefile;\r\n"
         " name=\"Note\"\r\nContent-Transfer-Encoding: base64\r\n\r\nAAUWBwACAAA",
            "--B2\r\nContent-Type: text/plain;\r\n name=\"Note\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n filename=\"Note\"\r\n\r\naGVsbG8=\r\n\r\n--B2--\r\n"},
        {}},
    {"unreadable MacBinary data is written as it is",
        [](MessageBuilder& b) {
            MsgAttachment& file = b.AddFile(u"odd", "not MacBinary", u"application/octet-stream");
            file.properties.push_back(Binary(PR_ATTACH_ENCODING, std::string("\x2A\x86\x48\x86\xF7\x14\x03\x0B\x01", 9)));
        },
        {"filename=\"odd\"\r\n\r\nbm90IE1hY0JpbmFyeQ==\r\n"}, {"appledouble"}},
    {"inline pictures are written although PR_HASATTACH says none",
        [](MessageBuilder& b) {
            b.Add(Boolean(PR_HASATTACH, false));
            b.AddFile(u"x.txt", "x", u"text/plain");
        },
        {"filename=\"x.txt\""}, {}},
};

TEST(Attachment, Parts)
{
    for (const AttachmentCase& c : kAttachmentCases) {
        MessageBuilder builder = Message();
        c.build(builder);
        const Conversion conversion = Convert(builder.Document());
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        ExpectTexts(NormaliseBoundaries(conversion.output), c.present, c.absent, c.label);
    }
}

// Data larger than the part the runtime keeps in memory (it is read from the .msg file in pieces)
// arrives whole, in lines of 76 characters.
TEST(Attachment, LargeDataArrivesWhole)
{
    std::string data(2 * 64 * 1024 + 40'001, '\0');
    for (std::size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    MessageBuilder builder = Message();
    builder.AddFile(u"big.bin", data, u"application/octet-stream");
    const Conversion conversion = Convert(builder.Document());
    ASSERT_EQ(conversion.status, S_OK);
    const std::string start = "filename=\"big.bin\"\r\n\r\n";
    const std::size_t begin = conversion.output.find(start);
    ASSERT_NE(begin, std::string::npos);
    const std::size_t end = conversion.output.find("\r\n\r\n--", begin + start.size());
    ASSERT_NE(end, std::string::npos);
    const std::string body = conversion.output.substr(begin + start.size(), end - begin - start.size());
    EXPECT_TRUE(testsupport::DecodeBase64(body) == data);
    std::size_t lineStart = 0;
    for (std::size_t lineEnd = body.find("\r\n"); lineEnd != std::string::npos; lineEnd = body.find("\r\n", lineStart)) {
        EXPECT_EQ(lineEnd - lineStart, 76u);
        lineStart = lineEnd + 2;
    }
    EXPECT_LE(body.size() - lineStart, 76u);
}

// Every case reads back cleanly, with the attachment's bytes.
TEST(Attachment, ReadersAcceptEveryPart)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Mime);
    for (const AttachmentCase& c : kAttachmentCases) {
        MessageBuilder builder = Message();
        c.build(builder);
        const Conversion conversion = Convert(builder.Document());
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        const testsupport::ValidatorVerdict verdict =
            testsupport::ValidateBytes(testsupport::OutputCheck::Mime, conversion.output);
        EXPECT_TRUE(verdict.valid) << c.label << "\n" << verdict.Describe();
    }
}

} // namespace
} // namespace convtest
