// The pure pieces behind contacts, lists and reports: the card's quoted-printable layout, the
// certificate-blob walk and the member-identifier unwrapping on malformed data, the image types of
// photos, and the report kinds of message classes.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "mmconv/contact/ContactPhoto.h"
#include "mmconv/contact/MemberEntryId.h"
#include "mmconv/contact/UserCertificate.h"
#include "mmconv/contact/VCardWriter.h"
#include "mmconv/message/ReportMsg.h"

namespace mmconv {
namespace {

std::span<const std::uint8_t> Bytes(const std::string& text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

TEST(CardQuotedPrintable, LinesStayWithin75OctetsAndEscapesStayWhole)
{
    struct Case {
        const char* label;
        std::string value;
        std::size_t column;
        std::string written;
    };
    const Case cases[] = {
        {"controls, \"=\" and 8-bit octets escaped", "a=b\r\n\xC3\xA9", 0, "a=3Db=0D=0A=C3=A9"},
        {"a blank at the very end escaped, inner ones kept", "a b ", 0, "a b=20"},
        {"a soft break before the 75th octet", std::string(80, 'x'), 0,
            std::string(74, 'x') + "=\r\n" + std::string(6, 'x')},
        {"an escape moves whole to the next line", std::string(72, 'x') + "\xFF", 0,
            std::string(72, 'x') + "=\r\n=FF"},
        {"the column counts what stands before the value", "abc", 73, "a=\r\nbc"},
    };
    for (const Case& c : cases) {
        std::string out;
        EncodeQPAndOutput(out, c.value, c.column);
        EXPECT_EQ(out, c.written) << c.label;
    }
}

TEST(CertificateBlob, TheWalkStopsAtTheCertificateOrAtMalformedData)
{
    struct Case {
        const char* label;
        std::string blob;
        std::optional<std::uint16_t> tag;
        std::string value;
    };
    const Case cases[] = {
        {"DER after another entry", std::string("\x01\x00\x06\x00xy\x03\x00\x07\x00" "DER", 13), 3, "DER"},
        {"a hash entry", std::string("\x22\x00\x05\x00h", 5), 34, "h"},
        {"an entry shorter than its header", std::string("\x01\x00\x02\x00\x03\x00\x05\x00x", 9), std::nullopt, ""},
        {"an entry past the end", std::string("\x03\x00\x40\x00xx", 6), std::nullopt, ""},
        {"a truncated header", std::string("\x03\x00\x05", 3), std::nullopt, ""},
        {"no certificate entry", std::string("\x01\x00\x04\x00", 4), std::nullopt, ""},
    };
    for (const Case& c : cases) {
        const std::optional<CertificateEntry> entry = FindCertificateEntry(Bytes(c.blob));
        ASSERT_EQ(entry.has_value(), c.tag.has_value()) << c.label;
        if (entry) {
            EXPECT_EQ(entry->tag, *c.tag) << c.label;
            EXPECT_EQ(std::string(entry->value.begin(), entry->value.end()), c.value) << c.label;
        }
    }
}

TEST(MemberEntryId, OnlyWrappedIdentifiersUnwrap)
{
    const std::string header(20, '\0');
    EXPECT_EQ(UnwrapMemberEntryId(Bytes(header + "\xC3" "inner")).value().size(), 5u);
    EXPECT_FALSE(UnwrapMemberEntryId(Bytes(header + "\xC2" "inner")));
    EXPECT_FALSE(UnwrapMemberEntryId(Bytes(header + "\xC3")));
    EXPECT_FALSE(UnwrapMemberEntryId(Bytes("short")));
}

TEST(ContactPhoto, TheTypeFollowsTheSignature)
{
    EXPECT_EQ(PhotoType(Bytes("GIF89a...")), "GIF");
    EXPECT_EQ(PhotoType(Bytes(std::string("MM\0*", 4))), "TIFF");
    EXPECT_EQ(PhotoType(Bytes("BMxx")), "BMP");
    EXPECT_EQ(PhotoType(Bytes("\xFF\xD8\xFF")), "JPEG");
    EXPECT_EQ(PhotoType(Bytes("")), "JPEG");
}

TEST(ReportKind, TheFirstPatternThatMatchesIgnoringCase)
{
    const std::pair<const char*, ReportKind> cases[] = {
        {"REPORT.IPM.Note.IPNRN", ReportKind::Read},
        {"Report.IPM.Note.IPNNRN", ReportKind::NotRead},
        {"REPORT.IPM.Schedule.Meeting.Request.IPNNDR", ReportKind::NotRead},
        {"report.ipm.note.dr", ReportKind::Delivered},
        {"REPORT.IPM.Note.NDR", ReportKind::NotDelivered},
        {"IPM.Recall.Report.Failure", ReportKind::RecallFailure},
        {"IPM.Recall.Report.Success", ReportKind::Other},
        {"REPORT.NDR", ReportKind::Other},
        {"Report.IPM", ReportKind::Other},
    };
    for (const auto& [messageClass, kind] : cases)
        EXPECT_EQ(ReportKindOfClass(messageClass), kind) << messageClass;
}

} // namespace
} // namespace mmconv
