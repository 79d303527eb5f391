// The MIME structures a message gets from its body type and attachments, byte for byte with the
// generated boundaries normalised: plain text with a file, HTML alone, HTML with inline pictures,
// with inline pictures and a file, plain text with pictures, an attached e-mail, an OLE object beside
// a file, RTF bodies with and without conversion, and a custom form's TNEF copy.
#include <gtest/gtest.h>

#include <mapiguid.h>
#include <mapitags.h>

#include <functional>
#include <regex>

#include "Version.h"
#include "mmconv/message/ConfigProp.h"
#include "tests/mmconv/message/ConversionHarness.h"
#include "tests/support/OutputValidators.h"

namespace convtest {
namespace {

const std::string kMailer = std::string("X-Mailer: Quillon MAPI Connector ") + ex2qln::version::kText + "\r\n";

// The header every case shares: a sent message from Anna to Bob.
MessageBuilder SentMessage(std::u16string subject)
{
    MessageBuilder builder = SentMail("IPM.Note", std::move(subject));
    builder.Add(Time(PR_CLIENT_SUBMIT_TIME, FileTime(2026, 12, 7, 9, 5, 0))).Add(Unicode(PR_SENDER_NAME_W, u"Anna Example"));
    builder.AddRecipient(MAPI_TO, u"Bob", u"SMTP", u"bob@example.com");
    return builder;
}

std::string Header(const std::string& subject, const std::string& extra = {})
{
    return "Subject: " + subject + "\r\nDate: Mon, 07 Dec 2026 09:05:00 +0000\r\nMIME-Version: 1.0\r\n" +
           "From: \"Anna Example\" <anna@example.com>\r\nTo: \"Bob\" <bob@example.com>\r\n" + extra + kMailer;
}

MsgAttachment& InlinePicture(MessageBuilder& builder, std::u16string contentId)
{
    MsgAttachment& picture = builder.AddFile(u"logo.png", "PNG", u"image/png");
    picture.properties.push_back(Unicode(PR_ATTACH_CONTENT_ID_W, std::move(contentId)));
    picture.properties.push_back(Long(PR_ATTACH_FLAGS, 4));
    return picture;
}

// The Base64 body of every TNEF part replaced by "(TNEF)": its bytes are the TNEF encoder's and are
// checked by the TNEF readers elsewhere.
std::string WithoutTnefData(const std::string& message)
{
    static const std::regex kTnefBody("(filename=\"Winmail.dat\"\r\n\r\n)[A-Za-z0-9+/=\r\n]+?\r\n\r\n");
    return std::regex_replace(message, kTnefBody, "$1(TNEF)\r\n\r\n");
}

struct StructureCase {
    const char* label;
    std::function<MessageBuilder()> build;
    std::string expected;
    ULONG flags = 0x01;
    std::function<void(TestConfig&)> configure = [](TestConfig&) {};
};

const std::string kPlainPart = "Content-Type: text/plain;\r\n charset=\"utf-8\"\r\n"
                               "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
const std::string kHtmlPart = "Content-Type: text/html;\r\n charset=\"utf-8\"\r\n"
                              "Content-Transfer-Encoding: quoted-printable\r\n\r\n";
const std::string kPicturePart = "Content-Type: image/png;\r\n name=\"logo.png\"\r\nContent-Transfer-Encoding: base64\r\n"
                                 "Content-ID: <logo@x>\r\n\r\nUE5H\r\n\r\n";
const std::string kPdfPart = "Content-Type: application/pdf;\r\n name=\"report.pdf\"\r\n"
                             "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n"
                             " filename=\"report.pdf\"\r\n\r\nJVBERi0=\r\n\r\n";
const std::string kMixedStart = "Content-Type: multipart/mixed;\r\n boundary=\"B1\"\r\n\r\n"
                                "This is a multi-part message in MIME format.\r\n\r\n--B1\r\n";
const std::string kHtml = "<html><body><p>Hi <img src=\"cid:logo@x\"></p></body></html>";
const std::string kHtmlEncoded = "<html><body><p>Hi <img src=3D\"cid:logo@x\"></p></body></html>";
const std::string kTextOnlyHtml = "<html><body><p>Hi</p></body></html>";

const StructureCase kStructureCases[] = {
    {"plain text with one file",
        [] {
            MessageBuilder builder = SentMessage(u"Report");
            builder.Add(Unicode(PR_BODY_W, u"Hello\r\nthe report."));
            builder.AddFile(u"report.pdf", "%PDF-", u"application/pdf");
            return builder;
        },
        Header("Report") + kMixedStart + kPlainPart + "Hello\r\nthe report.\r\n\r\n--B1\r\n" + kPdfPart +
            "--B1--\r\n\r\n"},
    {"HTML alone",
        [] {
            MessageBuilder builder = SentMessage(u"Html");
            builder.Add(Unicode(PR_BODY_W, u"Hi")).Add(Binary(PR_HTML, kTextOnlyHtml));
            return builder;
        },
        Header("Html") + "Content-Type: multipart/alternative;\r\n boundary=\"B1\"\r\n\r\n--B1\r\n" + kPlainPart +
            "Hi\r\n\r\n--B1\r\n" + kHtmlPart + kTextOnlyHtml + "\r\n\r\n--B1--\r\n\r\n"},
    {"HTML with inline pictures only",
        [] {
            MessageBuilder builder = SentMessage(u"Pictures");
            builder.Add(Unicode(PR_BODY_W, u"Hi")).Add(Binary(PR_HTML, kHtml));
            InlinePicture(builder, u"logo@x");
            return builder;
        },
        Header("Pictures") +
            "Content-Type: multipart/related;\r\n boundary=\"B1\";\r\n type=\"multipart/alternative\"\r\n\r\n"
            "This is a multi-part message in MIME format.\r\n\r\n--B1\r\n"
            "Content-Type: multipart/alternative;\r\n boundary=\"B2\"\r\n\r\n--B2\r\n" +
            kPlainPart + "Hi\r\n\r\n--B2\r\n" + kHtmlPart + kHtmlEncoded + "\r\n\r\n--B2--\r\n\r\n--B1\r\n" +
            kPicturePart + "--B1--\r\n\r\n"},
    {"HTML with inline pictures and a file",
        [] {
            MessageBuilder builder = SentMessage(u"Both");
            builder.Add(Unicode(PR_BODY_W, u"Hi")).Add(Binary(PR_HTML, kHtml));
            InlinePicture(builder, u"logo@x");
            builder.AddFile(u"report.pdf", "%PDF-", u"application/pdf");
            return builder;
        },
        Header("Both") + kMixedStart +
            "Content-Type: multipart/related;\r\n boundary=\"B2\";\r\n type=\"multipart/alternative\"\r\n\r\n\r\n--B2\r\n"
            "Content-Type: multipart/alternative;\r\n boundary=\"B3\"\r\n\r\n--B3\r\n" +
            kPlainPart + "Hi\r\n\r\n--B3\r\n" + kHtmlPart + kHtmlEncoded + "\r\n\r\n--B3--\r\n\r\n--B2\r\n" +
            kPicturePart + "--B2--\r\n\r\n--B1\r\n" + kPdfPart + "--B1--\r\n\r\n"},
    {"plain text with inline pictures",
        [] {
            MessageBuilder builder = SentMessage(u"Plain pictures");
            builder.Add(Unicode(PR_BODY_W, u"Hi"));
            InlinePicture(builder, u"logo@x");
            builder.AddFile(u"report.pdf", "%PDF-", u"application/pdf");
            return builder;
        },
        Header("Plain pictures") + kMixedStart + kPlainPart + "Hi\r\n\r\n--B1\r\n" + kPicturePart + "--B1\r\n" +
            kPdfPart + "--B1--\r\n\r\n"},
    {"an attached e-mail",
        [] {
            MessageBuilder builder = SentMessage(u"Forward");
            builder.Add(Unicode(PR_BODY_W, u"See below."));
            MsgMessage& inner = builder.AddEmbedded(builder.Message(), u"Original");
            builder.Add(inner, Ansi(PR_MESSAGE_CLASS_A, "IPM.Note"))
                .Add(inner, Unicode(PR_SUBJECT_W, u"Original"))
                .Add(inner, Time(PR_CLIENT_SUBMIT_TIME, FileTime(2026, 12, 6, 8, 0, 0)))
                .Add(inner, Long(PR_INTERNET_CPID, 65001))
                .Add(inner, Unicode(PR_BODY_W, u"First words."));
            builder.AddFile(u"report.pdf", "%PDF-", u"application/pdf");
            MsgMessage& innerMessage = *builder.Message().attachments.front().embedded;
            MsgAttachment& innerFile = innerMessage.attachments.emplace_back();
            innerFile.properties.push_back(Long(PR_ATTACH_METHOD, ATTACH_BY_VALUE));
            innerFile.properties.push_back(Unicode(PR_ATTACH_LONG_FILENAME_W, u"note.txt"));
            innerFile.properties.push_back(Unicode(PR_ATTACH_MIME_TAG_W, u"text/plain"));
            innerFile.properties.push_back(Binary(PR_ATTACH_DATA_BIN, "note"));
            return builder;
        },
        Header("Forward") + kMixedStart + kPlainPart + "See below.\r\n\r\n--B1\r\n" +
            "Content-Type: message/rfc822\r\n\r\n"
            "Subject: Original\r\nDate: Sun, 06 Dec 2026 08:00:00 +0000\r\nMIME-Version: 1.0\r\n" +
            kMailer + "Content-Type: multipart/mixed;\r\n boundary=\"B2\"\r\n\r\n"
            "This is a multi-part message in MIME format.\r\n\r\n--B2\r\n" +
            kPlainPart + "First words.\r\n\r\n--B2\r\n"
            "Content-Type: text/plain;\r\n name=\"note.txt\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n filename=\"note.txt\"\r\n\r\nbm90ZQ==\r\n\r\n--B2--\r\n\r\n\r\n\r\n"
            "--B1\r\n" + kPdfPart + "--B1--\r\n\r\n"},
    {"an OLE object beside a file: the file stays",
        [] {
            MessageBuilder builder = SentMessage(u"Ole");
            builder.Add(Unicode(PR_BODY_W, u"Hi"));
            builder.AddFile(u"report.pdf", "%PDF-", u"application/pdf");
            MsgAttachment& ole = builder.Message().attachments.emplace_back();
            ole.number = 1;
            ole.properties.push_back(Long(PR_ATTACH_METHOD, ATTACH_OLE));
            ole.properties.push_back(Unicode(PR_ATTACH_LONG_FILENAME_W, u"drawing"));
            return builder;
        },
        Header("Ole") + kMixedStart + kPlainPart + "Hi\r\n\r\n--B1\r\n" + kPdfPart + "--B1--\r\n\r\n"},
    {"RTF only, not converted: TNEF beside the text",
        [] {
            MessageBuilder builder = SentMessage(u"Rtf");
            builder.Add(CompressedRtf("{\\rtf1\\ansi Bold {\\b words}.\\par}"));
            return builder;
        },
        Header("Rtf") + "Content-Type: multipart/alternative;\r\n boundary=\"B1\"\r\n\r\n--B1\r\n" + kPlainPart +
            "Bold words.\r\n\r\n\r\n--B1\r\n"
            "Content-Type: application/ms-tnef;\r\n name=\"Winmail.dat\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n filename=\"Winmail.dat\"\r\n\r\n(TNEF)\r\n\r\n--B1--\r\n\r\n"},
    {"RTF only, converted: text and HTML",
        [] {
            MessageBuilder builder = SentMessage(u"Rtf");
            builder.Add(CompressedRtf("{\\rtf1\\ansi Bold {\\b words}.\\par}"));
            return builder;
        },
        Header("Rtf") + "Content-Type: multipart/alternative;\r\n boundary=\"B1\"\r\n\r\n--B1\r\n" + kPlainPart +
            "Bold words.\r\n\r\n\r\n--B1\r\n" + kHtmlPart +
            "<html>\r\n<head>\r\n<meta http-equiv=3D\"Content-Type\" content=3D\"text/html; charset=3Dutf-8\">\r\n"
            "<style>p { margin: 0; }</style>\r\n</head>\r\n<body>\r\n<p>Bold <b>words</b>.</p>\r\n</body>\r\n"
            "</html>\r\n\r\n\r\n--B1--\r\n\r\n",
        0x01, [](TestConfig& config) { config.Flag(mmconv::kConfigRtfAsHtml, true); }},
    {"a custom form: its TNEF copy is the last alternative",
        [] {
            MessageBuilder builder = SentMessage(u"Form");
            builder.Add(Ansi(PR_MESSAGE_CLASS_A, "IPM.Note.Expenses")).Add(Unicode(PR_BODY_W, u"Claim"));
            return builder;
        },
        Header("Form", "X-MAPI-Message-Class: IPM.Note.Expenses\r\n") +
            "Content-Type: multipart/alternative;\r\n boundary=\"B1\"\r\n\r\n--B1\r\n" + kPlainPart +
            "Claim\r\n\r\n--B1\r\n"
            "Content-Type: application/ms-tnef;\r\n name=\"Winmail.dat\"\r\nContent-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment;\r\n filename=\"Winmail.dat\"\r\n\r\n(TNEF)\r\n\r\n--B1--\r\n\r\n"},
};

TEST(MimeStructure, ByteForByte)
{
    for (const StructureCase& c : kStructureCases) {
        TestConfig config;
        c.configure(config);
        const Conversion conversion = Convert(c.build().Document(), c.flags, &config);
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        EXPECT_EQ(WithoutTnefData(NormaliseBoundaries(conversion.output)), c.expected) << c.label;
    }
}

// The independent readers accept every structure, TNEF parts included.
TEST(MimeStructure, EveryStructurePassesTheReaders)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Message);
    for (const StructureCase& c : kStructureCases) {
        TestConfig config;
        c.configure(config);
        const Conversion conversion = Convert(c.build().Document(), c.flags, &config);
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        const testsupport::ValidatorVerdict verdict =
            testsupport::ValidateBytes(testsupport::OutputCheck::Message, conversion.output);
        EXPECT_TRUE(verdict.valid) << c.label << "\n" << verdict.Describe();
    }
}

} // namespace
} // namespace convtest
