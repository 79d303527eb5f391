// Bodies: which source each part comes from (PR_BODY, the RTF body, PR_HTML), the charset a part
// is written in, the body trailer, and the cases where a message would otherwise lose its HTML or
// its text.
#include <gtest/gtest.h>

#include <mapitags.h>

#include <functional>
#include <vector>

#include "mmconv/message/ConfigProp.h"
#include "tests/mmconv/message/ConversionHarness.h"
#include "tests/support/OutputValidators.h"
#include "tests/support/TemporaryDirectory.h"

namespace convtest {
namespace {

MessageBuilder Message(long codePage = 65001)
{
    MessageBuilder builder = SentMail("IPM.Note", u"Body");
    builder.Add(Long(PR_INTERNET_CPID, codePage));
    return builder;
}

constexpr char kNativeRtf[] = "{\\rtf1\\ansi {\\b Native} RTF.\\par}";
constexpr char kEncapsulatedHtml[] =
    "{\\rtf1\\ansi\\fromhtml1 {\\*\\htmltag <html><body>}{\\*\\htmltag <p>}From RTF{\\*\\htmltag </p>}"
    "{\\*\\htmltag </body></html>}}";

struct BodyCase {
    const char* label;
    std::function<void(MessageBuilder&, TestConfig&)> build;
    std::vector<std::string> present;
    std::vector<std::string> absent;
    ULONG flags = 0x01;
};

const BodyCase kBodyCases[] = {
    {"PR_HTML beside native RTF is the HTML part as it stands, in its own charset",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Long(PR_INTERNET_CPID, 1252))
                .Add(Long(PR_MSG_EDITOR_FORMAT, 2))
                .Add(Unicode(PR_BODY_W, u"Caf\u00e9"))
                .Add(CompressedRtf(kNativeRtf))
                .Add(Binary(PR_HTML, "<html><body>Caf\xE9 <img src=\"cid:pic\"></body></html>"));
            b.AddFile(u"pic.png", "PNG", u"image/png").properties.push_back(Unicode(PR_ATTACH_CONTENT_ID_W, u"pic"));
            b.Message().attachments.back().properties.push_back(Long(PR_ATTACH_FLAGS, 4));
        },
        {"Content-Type: multipart/related;", "Content-Type: text/plain;\r\n charset=\"windows-1252\"\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n\r\nCaf=E9\r\n",
            "Content-Type: text/html;\r\n charset=\"windows-1252\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n"
            "<html><body>Caf=E9 <img src=3D\"cid:pic\"></body></html>\r\n",
            "Content-ID: <pic>\r\n"},
        {}},
    {"HTML alone gets its HTML part and a text part made from it",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Binary(PR_HTML, "<html><head><title>T</title><style>p{}</style></head><body><p>One &amp; two</p>"
                                  "<p>Three<br>four&nbsp;five &#8364;</p></body></html>"));
        },
        {"charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\nOne & two\r\n\r\nThree\r\nfour five =E2=82=AC\r\n",
            "Content-Type: text/html;"},
        {}},
    {"RTF that encapsulates HTML gives the HTML back; the text part is PR_BODY",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(PR_BODY_W, u"Plain words")).Add(CompressedRtf(kEncapsulatedHtml));
        },
        {"quoted-printable\r\n\r\nPlain words\r\n", "quoted-printable\r\n\r\n<html><body><p>From RTF</p></body></html>\r\n"},
        {}},
    {"text the message code page cannot hold is written in UTF-8",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Long(PR_INTERNET_CPID, 28591)).Add(Unicode(PR_BODY_W, u"\u65e5\u672c and caf\u00e9"));
        },
        {"charset=\"utf-8\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\n=E6=97=A5=E6=9C=AC and caf=C3=A9\r\n"},
        {"iso-8859-1"}},
    {"text it can hold stays in it",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Long(PR_INTERNET_CPID, 28591)).Add(Unicode(PR_BODY_W, u"caf\u00e9"));
        },
        {"charset=\"iso-8859-1\"\r\nContent-Transfer-Encoding: quoted-printable\r\n\r\ncaf=E9\r\n"}, {}},
    {"a message without PR_INTERNET_CPID is written in UTF-8",
        [](MessageBuilder& b, TestConfig&) {
            std::erase_if(b.Message().properties, [](const MsgProperty& p) { return p.tag == PR_INTERNET_CPID; });
            b.Add(Unicode(PR_BODY_W, u"x"));
        },
        {"charset=\"utf-8\""}, {}},
    {"no body at all: an empty text part",
        [](MessageBuilder&, TestConfig&) {},
        {"Content-Transfer-Encoding: quoted-printable\r\n\r\n\r\n"}, {"text/html"}},
    {"the trailer ends the text and stands before </BODY> outside the transfer",
        [](MessageBuilder& b, TestConfig& config) {
            b.Add(Unicode(PR_BODY_W, u"Hi\r\n")).Add(Binary(PR_HTML, "<html><BODY>Hi</body></html>"));
            config.Text(mmconv::kConfigBodyTrailer, "-- <Quillon> & co");
        },
        {"\r\n\r\nHi\r\n-- <Quillon> & co\r\n", "<html><BODY>Hi<PRE>-- &lt;Quillon&gt; &amp; co</PRE></body></html>"}, {},
        0},
    {"no trailer in the transfer",
        [](MessageBuilder& b, TestConfig& config) {
            b.Add(Unicode(PR_BODY_W, u"Hi"));
            config.Text(mmconv::kConfigBodyTrailer, "-- Quillon");
        },
        {"\r\n\r\nHi\r\n"}, {"Quillon\r\n"}},
};

TEST(Body, PartsAndTheirSources)
{
    for (const BodyCase& c : kBodyCases) {
        MessageBuilder builder = Message();
        TestConfig config;
        c.build(builder, config);
        const Conversion conversion = Convert(builder.Document(), c.flags, &config);
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        ExpectTexts(NormaliseBoundaries(conversion.output), c.present, c.absent, c.label);
    }
}

// Python's email package reads the bodies back as the source had them.
TEST(Body, ReadersFindTheSourceText)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(testsupport::OutputCheck::Mime);
    MessageBuilder builder = Message(1252);
    builder.Add(Unicode(PR_BODY_W, u"Gr\u00fc\u00dfe \u2014 \u65e5\u672c")).Add(Binary(PR_HTML, "<p>Gr\xFC\xDF" "e</p>"));
    const Conversion conversion = Convert(builder.Document());
    ASSERT_EQ(conversion.status, S_OK);
    testsupport::TemporaryDirectory directory;
    const std::string path = directory.Write("body.eml", conversion.output);
    const testsupport::ValidatorVerdict verdict = testsupport::ValidateFile(testsupport::OutputCheck::Mime, path);
    EXPECT_TRUE(verdict.valid) << verdict.Describe();
    const testsupport::ValidatorListing listing = testsupport::ListParts(path);
    ASSERT_TRUE(listing.ok) << listing.error;
    const nlohmann::json& message = listing.document["messages"][0];
    EXPECT_EQ(message["text_body"].get<std::string>(), "Gr\xC3\xBC\xC3\x9F" "e \xE2\x80\x94 \xE6\x97\xA5\xE6\x9C\xAC\r\n");
    EXPECT_EQ(message["html_body"].get<std::string>(), "<p>Gr\xC3\xBC\xC3\x9F" "e</p>\r\n");
}

} // namespace
} // namespace convtest
