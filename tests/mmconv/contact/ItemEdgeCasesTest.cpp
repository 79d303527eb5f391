// The edge cases of contacts, distribution lists and reports, one table of fixtures: each builds a
// message on the .msg model, converts it through MapiToMime in export mode and compares one piece
// of the result byte for byte (the card after its transfer encoding is undone, a body entity
// header, a header field, or the body with its boundaries named B1, B2...). Every result is also
// given to the independent readers.
#include <gtest/gtest.h>

#include <mapiguid.h>
#include <mapitags.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "mmconv/encoding/QuotedPrintable.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MMNamedPropsCnv.h"
#include "tests/mmconv/message/ConversionHarness.h"
#include "tests/support/OutputValidators.h"

namespace convtest {
namespace {

enum class Piece { Card, EntityHeader, Field, Body };

struct EdgeCase {
    const char* label;
    const char* messageClass;
    std::function<void(MessageBuilder&)> build;
    Piece piece;
    std::string expected;
    std::string field = {};  // for Piece::Field
};

// Times in the tests are UTC, so that dates written in local time are fixed.
class UtcZone {
public:
    UtcZone()
    {
        if (const char* zone = std::getenv("TZ"))
            saved_ = zone;
        setenv("TZ", "UTC", 1);
        tzset();
    }
    ~UtcZone()
    {
        if (saved_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", saved_.c_str(), 1);
        tzset();
    }

private:
    std::string saved_;
};

ULONG Address(MessageBuilder& builder, ULONG lid, ULONG type)
{
    return builder.Named(PSETID_Address, lid, type);
}

ULONG Common(MessageBuilder& builder, ULONG lid, ULONG type)
{
    return builder.Named(PSETID_Common, lid, type);
}

// A wrapped member identifier: flags, the wrapping provider's UID, the type octet and the inner one.
std::string Wrapped(std::uint8_t type, const std::string& inner)
{
    return std::string(4, '\0') + std::string("\xC0\x91\xAD\xD3\x51\x9D\xCF\x11\xA4\xA9\x00\xAA\x00\x47\xFA\xA4", 16) +
           std::string(1, static_cast<char>(type)) + inner;
}

// A certificate blob: entries of tag, length (with the 4-octet header) and value.
std::string CertificateBlob(std::initializer_list<std::pair<std::uint16_t, std::string>> entries)
{
    std::string blob;
    for (const auto& [tag, value] : entries) {
        const std::size_t length = value.size() + 4;
        blob += static_cast<char>(tag & 0xFF);
        blob += static_cast<char>(tag >> 8);
        blob += static_cast<char>(length & 0xFF);
        blob += static_cast<char>(length >> 8);
        blob += value;
    }
    return blob;
}

void Members(MessageBuilder& builder, std::vector<std::string> members, std::vector<std::string> oneOffs)
{
    if (!members.empty())
        builder.Add(MultiBinary(Address(builder, 0x8055, PT_MV_BINARY), std::move(members)));
    if (!oneOffs.empty())
        builder.Add(MultiBinary(Address(builder, 0x8054, PT_MV_BINARY), std::move(oneOffs)));
}

void Photo(MessageBuilder& builder, std::string data)
{
    builder.Add(Boolean(Address(builder, 0x8015, PT_BOOLEAN), true));
    MsgAttachment& photo = builder.AddFile(u"ContactPicture.jpg", data);
    photo.properties.push_back(Boolean(PR_ATTACHMENT_CONTACTPHOTO, true));
}

std::string Piece(const std::string& output, const EdgeCase& c)
{
    const std::string normalised = NormaliseBoundaries(output);
    const std::size_t bodyStart = normalised.find("\r\n\r\n");
    if (c.piece == Piece::Field)
        return Field(HeaderBlock(normalised), c.field);
    if (c.piece == Piece::Body)
        return bodyStart == std::string::npos ? std::string() : normalised.substr(bodyStart + 4);
    const std::size_t entity = normalised.find("Content-Type: text/x-");
    if (entity == std::string::npos)
        return {};
    if (c.piece == Piece::EntityHeader)
        return normalised.substr(entity, normalised.find("\r\n\r\n", entity) + 4 - entity);
    const std::string encoded = normalised.substr(normalised.find("\r\n\r\n", entity) + 4);
    std::vector<std::uint8_t> decoded(encoded.size());
    decoded.resize(mmconv::QuotedPrintableDecode(encoded, decoded));
    const std::string card(decoded.begin(), decoded.end());
    const std::size_t end = card.find("END:VCARD\r\n");
    return end == std::string::npos ? card : card.substr(0, end + 11);
}

// The card of a contact without names, with these lines before its end.
std::string BareCard(const std::string& lines)
{
    return "BEGIN:VCARD\r\nVERSION:2.1\r\nN:;;;;\r\nFN:\r\nORG:;\r\n" + lines + "END:VCARD\r\n";
}

// A report's body as written: the text, the status part of `statusType` with its fields, and the
// original's header fields.
std::string ReportBody(const std::string& text, const std::string& statusType, const std::string& fields,
    const std::string& headers)
{
    return "This is a multi-part message in MIME format.\r\n\r\n--B1\r\nContent-Type: text/plain;\r\n charset=\"utf-8\"\r\n"
           "Content-Transfer-Encoding: quoted-printable\r\n\r\n" + text + "\r\n\r\n--B1\r\nContent-Type: " + statusType +
           "\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + fields +
           "--B1\r\nContent-Type: text/rfc822-headers\r\nContent-Transfer-Encoding: 7bit\r\n\r\n" + headers +
           "\r\n--B1--\r\n\r\n";
}

const std::string kJpeg75 = std::string("\xFF\xD8\xFF\xE0", 4) + std::string(71, 'j');

const EdgeCase kCases[] = {
    {"a contact without names still has N, FN and ORG", "IPM.Contact", [](MessageBuilder&) {}, Piece::Card,
        BareCard("")},
    {"a home address with only a city", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(Unicode(PR_HOME_ADDRESS_CITY_W, u"Paris")); }, Piece::Card,
        BareCard("ADR;HOME;ENCODING=QUOTED-PRINTABLE:;;;Paris;;;\r\n")},
    {"a business address label with a line break", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(Unicode(Address(b, 0x801B, PT_UNICODE), u"12 rue de la Paix\r\nParis")); },
        Piece::Card,
        BareCard("LABEL;WORK;ENCODING=QUOTED-PRINTABLE:12 rue de la Paix=0D=0AParis\r\n")},
    {"\"=\" in a note is escaped, in a title it stays", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(Unicode(PR_BODY_W, u"a=b")).Add(Unicode(PR_TITLE_W, u"x=y")); }, Piece::Card,
        BareCard("TITLE:x=y\r\n"
                 "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db\r\n")},
    {"a 100-character Base64 photo", "IPM.Contact", [](MessageBuilder& b) { Photo(b, kJpeg75); }, Piece::Card,
        BareCard("PHOTO;TYPE=JPEG;ENCODING=BASE64:\r\n"
                 "   /9j/4Gpqampqampqampqampqampqampqampqampqampqampqampqampqampqampqampqampq\r\n"
                 "   ampqampqampqampqampqampqampq\r\n"
                 "\r\n")},
    {"a PNG photo says so", "IPM.Contact",
        [](MessageBuilder& b) { Photo(b, std::string("\x89PNG\r\n\x1A\n", 8) + "png"); }, Piece::Card,
        BareCard("PHOTO;TYPE=PNG;ENCODING=BASE64:\r\n"
                 "   iVBORw0KGgpwbmc=\r\n"
                 "\r\n")},
    {"a display name of non-ASCII characters only names the file in RFC 2231 form", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(Unicode(PR_DISPLAY_NAME_W, u"\u00C9milie")); }, Piece::EntityHeader,
        "Content-Type: text/x-vcard;\r\n"
            " charset=\"utf-8\";\r\n"
            " name*=utf-8''%C3%89milie.vcf\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"},
    {"a telephone number keeps its letters, digits and \"+\"", "IPM.Contact",
        [](MessageBuilder& b) {
            b.Add(Unicode(PR_BUSINESS_TELEPHONE_NUMBER_W, u"+1 (555) 010-0000")).Add(Unicode(PR_PAGER_TELEPHONE_NUMBER_W, u"x 12"));
        },
        Piece::Field, "X-Telnum: [WORK] +15550100000,[PAGER] x12", "X-Telnum"},
    {"non-ASCII names go quoted-printable with their charset; \";\" inside a component is escaped", "IPM.Contact",
        [](MessageBuilder& b) {
            b.Add(Unicode(PR_SURNAME_W, u"M\u00FCller;Lang")).Add(Unicode(PR_GIVEN_NAME_W, u"J\u00FCrgen"));
            b.Add(Unicode(PR_DISPLAY_NAME_W, u"J\u00FCrgen M\u00FCller"));
        },
        Piece::Card,
        "BEGIN:VCARD\r\n"
            "VERSION:2.1\r\n"
            "N;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:M=C3=BCller\\;Lang;J=C3=BCrgen;;;\r\n"
            "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen M=C3=BCller\r\n"
            "ORG:;\r\n"
            "END:VCARD\r\n"},
    {"a long value is folded by soft line breaks", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(Unicode(PR_TITLE_W, std::u16string(100, u't'))); }, Piece::Card,
        BareCard("TITLE;ENCODING=QUOTED-PRINTABLE:tttttttttttttttttttttttttttttttttttttttttt=\r\n"
                 "tttttttttttttttttttttttttttttttttttttttttttttttttttttttttt\r\n")},
    {"a value with a line break where none is expected stays on its line", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(Unicode(PR_DISPLAY_NAME_W, u"Two\r\nLines")).Add(Unicode(PR_NICKNAME_W, u"a\r\nb")); },
        Piece::Card,
        "BEGIN:VCARD\r\n"
            "VERSION:2.1\r\n"
            "N:;;;;\r\n"
            "FN:Two  Lines\r\n"
            "NICKNAME;ENCODING=QUOTED-PRINTABLE:a=0D=0Ab\r\n"
            "ORG:;\r\n"
            "END:VCARD\r\n"},
    {"a certificate is written whole, one found by hash only is left out", "IPM.Contact",
        [](MessageBuilder& b) {
            b.Add(MultiBinary(PR_USER_X509_CERTIFICATE,
                {CertificateBlob({{1, "ab"}, {3, "DER-certificate"}}), CertificateBlob({{34, std::string(20, 'h')}})}));
        },
        Piece::Card,
        BareCard("KEY;X509;ENCODING=BASE64:\r\n"
                 "   REVSLWNlcnRpZmljYXRl\r\n"
                 "\r\n")},
    {"the header says when the contact has a certificate", "IPM.Contact",
        [](MessageBuilder& b) { b.Add(MultiBinary(PR_USER_X509_CERTIFICATE, {CertificateBlob({{3, "DER"}})})); },
        Piece::Field, "X-Has-Certificate: true", "X-Has-Certificate"},
    {"a binary global identifier is written in hexadecimal, the e-mail slots in order", "IPM.Contact",
        [](MessageBuilder& b) {
            b.Add(Binary(Common(b, 0x8519, PT_BINARY), std::string("\x01\x02\xFE", 3)));
            b.Add(Unicode(Address(b, 0x8084, PT_UNICODE), u"first@example.com"));
            b.Add(Unicode(Address(b, 0x80A3, PT_UNICODE), u"third@example.com"));
            b.Add(Unicode(PR_FTP_SITE_W, u"ftp://example.com"));
            b.Add(Long(PR_SENSITIVITY, 2));
        },
        Piece::Card,
        BareCard("EMAIL;PREF;INTERNET:first@example.com\r\n"
                 "EMAIL;INTERNET:third@example.com\r\n"
                 "CLASS:PRIVATE\r\n"
                 "UID:0102FE\r\n"
                 "X-MAPI-FTP_SITE:ftp://example.com\r\n")},
    {"the To field of a contact is its first Internet address", "IPM.Contact",
        [](MessageBuilder& b) {
            b.Add(Unicode(Address(b, 0x8083, PT_UNICODE), u"/o=Org/cn=Recipients/cn=ann"));
            b.Add(Unicode(Address(b, 0x8093, PT_UNICODE), u"ann@example.com"));
        },
        Piece::Field, "To: ann@example.com", "To"},
    {"a member named with quotes and a backslash", "IPM.DistList",
        [](MessageBuilder& b) {
            b.Add(Unicode(PR_DISPLAY_NAME_W, u"Sales"));
            Members(b, {OneOff(u"Sales \"EU\" \\ Team", u"SMTP", u"sales@example.com")}, {});
        },
        Piece::Body, "BEGIN:VGROUP\r\n"
            "PRODID:Quillon MAPI Connector 0.1.0.0\r\n"
            "VERSION:1.0\r\n"
            "NAME:Sales\r\n"
            "MEMBER;CN=\"Sales  EU    Team\":sales@example.com\r\n"
            "END:VGROUP\r\n"
            "\r\n"
            "\r\n"},
    {"each member once: its one-off stands in where its own identifier cannot be opened", "IPM.DistList",
        [](MessageBuilder& b) {
            b.Add(Unicode(PR_DISPLAY_NAME_W, u"Team; all, of it"));
            b.Add(Unicode(PR_BODY_W, u"The whole team\r\nand friends"));
            Members(b,
                {Wrapped(0xC3, std::string(40, 'c')), OneOff(u"Bea", u"SMTP", u"bea@example.com"),
                    Wrapped(0x80, OneOff(u"Cy", u"SMTP", u"cy@example.com")), std::string(30, 'x')},
                {OneOff(u"Al", u"SMTP", u"al@example.com"), OneOff(u"Bea", u"SMTP", u"bea@example.com"),
                    OneOff(u"Cy", u"SMTP", u"cy@example.com"), OneOff(u"Nobody", u"MAPIPDL", u"")});
        },
        Piece::Body, "BEGIN:VGROUP\r\n"
            "PRODID:Quillon MAPI Connector 0.1.0.0\r\n"
            "VERSION:1.0\r\n"
            "NAME:Team\\; all\\, of it\r\n"
            "NOTE:The whole team\\Nand friends\r\n"
            "MEMBER;CN=\"Al\":al@example.com\r\n"
            "MEMBER;CN=\"Bea\":bea@example.com\r\n"
            "MEMBER;CN=\"Cy\":cy@example.com\r\n"
            "END:VGROUP\r\n"
            "\r\n"
            "\r\n"},
    {"a list without recipients names itself by its body in an empty group", "IPM.DistList",
        [](MessageBuilder& b) { b.Add(Unicode(PR_BODY_W, u"Everyone who plays in the band on Fridays")); }, Piece::Field,
        "To: \"[Everyone who plays in the band o]\": ;", "To"},
    {"a non-delivery report", "REPORT.IPM.Note.NDR",
        [](MessageBuilder& b) {
            b.Add(Unicode(PR_ORIGINAL_SUBJECT_W, u"Price list"));
            b.Add(Unicode(PR_ORIGINAL_DISPLAY_TO_W, u"sales@closed.example"));
            b.Add(Time(PR_ORIGINAL_SUBMIT_TIME, FileTime(2024, 4, 25, 10, 0, 0)));
            b.Add(Unicode(PR_ORIGINAL_SENDER_EMAIL_ADDRESS_W, u"anna@example.com"));
            MsgRecipient& r = b.AddRecipient(1, u"sales@closed.example", u"SMTP", u"sales@closed.example");
            r.properties.push_back(Unicode(PR_SUPPLEMENTARY_INFO_W, u"550 5.1.1 User unknown"));
            r.properties.push_back(Time(PR_REPORT_TIME, FileTime(2024, 4, 25, 10, 0, 5)));
        },
        Piece::Body,
        ReportBody("\r\n"
            "  To: sales@closed.example\r\n"
            "  Subject: Price list\r\n"
            "  Sent: Thu, 25 Apr 2024 10:00:00 +0000\r\n"
            "\r\n"
            "did not reach the following recipient(s):\r\n"
            "\r\n"
            "sales@closed.example on Thu, 25 Apr 2024 10:00:05 +0000\r\n"
            "550 5.1.1 User unknown\r\n",
            "message/delivery-status",
            "Reporting-MTA: dns; server\r\n"
            "\r\n"
            "Final-Recipient: rfc822; sales@closed.example\r\n"
            "Action: failed\r\n"
            "Status: 5.0.0\r\n"
            "X-Supplementary-Info: 550 5.1.1 User unknown\r\n"
            "X-Display-Name: sales@closed.example\r\n"
            "\r\n",
            "From: <anna@example.com>\r\n"
            "To: sales@closed.example\r\n"
            "Subject: Price list\r\n"
            "Date: Thu, 25 Apr 2024 10:00:00 +0000\r\n")},
    {"a read receipt without a disposition", "REPORT.IPM.Note.IPNRN",
        [](MessageBuilder& b) {
            b.Add(Unicode(PR_ORIGINAL_SUBJECT_W, u"Budget"));
            b.Add(Time(PR_REPORT_TIME, FileTime(2024, 3, 1, 9, 2, 0)));
            b.Add(Ansi(0x0076001E, "anna@example.com"));
            b.Add(Ansi(PR_INTERNET_MESSAGE_ID_A, "<budget@example.com>"));
        },
        Piece::Body,
        ReportBody("\r\n"
            "  Subject: Budget\r\n"
            "\r\n"
            "was read on Fri, 01 Mar 2024 09:02:00 +0000\r\n",
            "message/disposition-notification",
            "Final-Recipient: rfc822; anna@example.com\r\n"
            "Original-Message-Id: <budget@example.com>\r\n"
            "Disposition: manual-action/MDN-sent-automatically; displayed\r\n"
            "\r\n",
            "Subject: Budget\r\n")},
    {"a not-read report without a disposition says deleted", "REPORT.IPM.Note.IPNNRN",
        [](MessageBuilder& b) { b.Add(Ansi(0x0076001E, "anna@example.com")); }, Piece::Body,
        ReportBody("\r\n"
            "\r\n"
            "was deleted without being read on=20\r\n",
            "message/disposition-notification",
            "Final-Recipient: rfc822; anna@example.com\r\n"
            "Disposition: manual-action/MDN-sent-automatically; deleted\r\n"
            "\r\n",
            "Subject: \r\n")},
};

TEST(ItemEdgeCases, EachPieceAsWritten)
{
    UtcZone utc;
    for (const EdgeCase& c : kCases) {
        SCOPED_TRACE(c.label);
        MessageBuilder builder;
        builder.Add(Ansi(PR_MESSAGE_CLASS_A, c.messageClass));
        c.build(builder);
        TestConfig config;
        config.Text(mmconv::kConfigMailboxAddress, "owner@example.com");
        const Conversion conversion = Convert(builder.Document(), 0x01, &config);
        ASSERT_EQ(conversion.status, S_OK);
        EXPECT_EQ(Piece(conversion.output, c), c.expected) << conversion.output;
        const testsupport::ValidatorVerdict verdict =
            testsupport::ValidateBytes(testsupport::OutputCheck::Message, conversion.output);
        if (verdict.ran) {
            EXPECT_TRUE(verdict.valid) << verdict.Describe();
        }
    }
}

// The original that a non-delivery report returns is what its sender needs to send again: it stays,
// also in export mode and when the report carries the original's submit time.
TEST(ItemEdgeCases, ANonDeliveryReportKeepsTheReturnedOriginal)
{
    MessageBuilder builder = SentMail("REPORT.IPM.Note.NDR", u"Undeliverable: Plan");
    builder.Add(Time(PR_ORIGINAL_SUBMIT_TIME, FileTime(2024, 4, 25, 10, 0, 0)));
    builder.AddRecipient(1, u"gone@closed.example", u"SMTP", u"gone@closed.example");
    MsgMessage& original = builder.AddEmbedded(builder.Message(), u"Plan");
    builder.Add(original, Ansi(PR_MESSAGE_CLASS_A, "IPM.Note"));
    builder.Add(original, Unicode(PR_SUBJECT_W, u"Plan"));
    builder.Add(original, Unicode(PR_BODY_W, u"The plan for May."));
    const Conversion conversion = Convert(builder.Document());
    ASSERT_EQ(conversion.status, S_OK);
    const std::string body = NormaliseBoundaries(conversion.output);
    ExpectTexts(body, {"--B1\r\nContent-Type: message/rfc822", "Subject: Plan\r\n", "The plan for May."},
        {"text/rfc822-headers"}, "returned original");
    const testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(testsupport::OutputCheck::Message, conversion.output);
    if (verdict.ran) {
        EXPECT_TRUE(verdict.valid) << verdict.Describe();
    }
}

// A report received from the Internet keeps the status file it came with beside the returned
// original: both travel with the text in the first part, and the report stays three parts with the
// original's header third.
TEST(ItemEdgeCases, AReportWithMoreThanItsOriginalCarriesItWithItsText)
{
    MessageBuilder builder = SentMail("REPORT.IPM.Note.DR", u"Delivered: Plan");
    builder.AddRecipient(1, u"ann@example.com", u"SMTP", u"ann@example.com");
    builder.AddFile(u"details.txt", "Reporting-MTA: dns; mx.example.com\r\n", u"message/delivery-status");
    MsgMessage& original = builder.AddEmbedded(builder.Message(), u"Plan");
    builder.Add(original, Ansi(PR_MESSAGE_CLASS_A, "IPM.Note"));
    builder.Add(original, Unicode(PR_SUBJECT_W, u"Plan"));
    builder.Add(original, Unicode(PR_BODY_W, u"The plan for May."));
    const Conversion conversion = Convert(builder.Document());
    ASSERT_EQ(conversion.status, S_OK);
    const std::string body = NormaliseBoundaries(conversion.output);
    ExpectTexts(body,
        {"--B1\r\nContent-Type: multipart/mixed;\r\n boundary=\"B2\"\r\n\r\n--B2\r\nContent-Type: text/plain;",
            "filename=\"details.txt\"", "--B2\r\nContent-Type: message/rfc822", "The plan for May.", "--B2--\r\n",
            "--B1\r\nContent-Type: message/delivery-status\r\n", "--B1\r\nContent-Type: text/rfc822-headers"},
        {}, "status file and original with the text");
    const testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(testsupport::OutputCheck::Message, conversion.output);
    if (verdict.ran) {
        EXPECT_TRUE(verdict.valid) << verdict.Describe();
    }
}

// A delivery report goes to the mailbox it was received for; a report that names no author is from
// the mail system of the configured host, and that host reports the delivery status.
TEST(ItemEdgeCases, TheAddressesOfADeliveryReport)
{
    MessageBuilder builder;
    builder.Add(Ansi(PR_MESSAGE_CLASS_A, "REPORT.IPM.Note.DR"));
    builder.Add(Unicode(0x0077001F, u"SMTP")).Add(Unicode(0x0078001F, u"anna@example.com")).Add(Unicode(0x0044001F, u"Anna"));
    builder.AddRecipient(1, u"Bo", u"SMTP", u"bo@example.com");
    TestConfig config;
    config.Text(0x6608001E, "mail.example.com");
    const Conversion conversion = Convert(builder.Document(), 0x01, &config);
    ASSERT_EQ(conversion.status, S_OK);
    const std::string header = HeaderBlock(conversion.output);
    EXPECT_EQ(Field(header, "To"), "To: \"Anna\" <anna@example.com>");
    EXPECT_EQ(Field(header, "From"), "From: <Mailer-Daemon@mail.example.com>");
    ExpectTexts(conversion.output,
        {"Reporting-MTA: dns; mail.example.com\r\n\r\nFinal-Recipient: rfc822; bo@example.com\r\nAction: delivered\r\n"
         "Status: 2.0.0\r\n"},
        {}, "delivery report");
}

TEST(ItemEdgeCases, ReportsOfOtherKindsTravelAsTnef)
{
    for (const char* messageClass : {"IPM.Recall.Report.Failure", "REPORT.IPM.Note.Unknown"}) {
        MessageBuilder builder = SentMail(messageClass, u"Recall");
        const Conversion conversion = Convert(builder.Document());
        ASSERT_EQ(conversion.status, S_OK) << messageClass;
        ExpectTexts(conversion.output, {"content-class: urn:content-classes:reportmessage", "application/ms-tnef"},
            {"multipart/report"}, messageClass);
    }
}

} // namespace
} // namespace convtest
