// The shared vocabulary table: its size and the words at the borders of each group and at every
// repeated word.
#include <gtest/gtest.h>

#include "mmconv/encoding/Vocabulary.h"

namespace mmconv {
namespace {

struct Entry {
    Vocab position;
    std::string_view word;
};

TEST(Vocabulary, WordsStandAtTheirPositions)
{
    const Entry entries[] = {
        {Vocab::ReturnReceiptTo, "Return-Receipt-To"},
        {Vocab::Organization, "Organization"},
        {Vocab::LineEnd, "\r\n"},
        {Vocab::DispositionNotificationTo, "Disposition-Notification-To"},
        {Vocab::XMirroredBy, "X-Mirrored-by"},
        {Vocab::XAlert, "X-Alert"},
        {Vocab::PossibleSpam, "possible spam"},
        {Vocab::XSupplementaryInfo, "X-Supplementary-Info"},
        {Vocab::Text, "text"},
        {Vocab::Html, "html"},
        {Vocab::WinmailDat, "Winmail.dat"},
        {Vocab::HtmlRepeated, "html"},
        {Vocab::True, "true"},
        {Vocab::QuotedPrintable, "quoted-printable"},
        {Vocab::XUuencode, "x-uuencode"},
        {Vocab::GifExtension, "gif"},
        {Vocab::HtmlExtension, "html"},
        {Vocab::TxtExtension, "txt"},
        {Vocab::Boundary, "boundary"},
        {Vocab::Status500, "5.0.0"},
        {Vocab::UsAscii, "us-ascii"},
        {Vocab::Koi8Ru, "koi8-ru"},
        {Vocab::Iso2022Jp, "iso-2022-jp"},
        {Vocab::Rfc822AddressType, "rfc822"},
        {Vocab::Delayed, "delayed"},
        {Vocab::NormalImportance, "normal"},
        {Vocab::ContentClassActivity, "urn:content-classes:activity"},
        {Vocab::ContentClassNoteRow, ""},
        {Vocab::ContentClassSmime, ""},
        {Vocab::ContentClassSmimeSigned, ""},
        {Vocab::ContentClassDocument, "urn:content-classes:document"},
        {Vocab::NonUrgent, "Non-Urgent"},
        {Vocab::NormalPriority, "Normal"},
        {Vocab::ClassActivity, "IPM.Activity"},
        {Vocab::ClassException, "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}"},
        {Vocab::ClassDocument, "IPM.Document"},
        {Vocab::NormalSensitivity, "Normal"},
        {Vocab::CompanyConfidential, "Company-Confidential"},
        {Vocab::ExLetter, "E"},
        {Vocab::ReportClass, "REPORT"},
        {Vocab::SystemCharset, "SYSTEM_CHARSET"},
        {Vocab::Utf8Body, "utf-8"},
        {Vocab::MailerName, "Quillon MAPI Connector"},
        {Vocab::PlainWrapLenKey, "Common\\MailSettings"},
        {Vocab::AutodetectCodePageOutKey, "Outlook\\Options\\MSHTML\\International"},
        {Vocab::AutodetectCodePageOut, "Autodetect_CodePageOut"},
        {Vocab::FirstDowAgain, "FirstDOW"},
        {Vocab::WorkDay, "WorkDay"},
    };
    for (const Entry& entry : entries)
        EXPECT_EQ(VocabularyWord(entry.position), entry.word)
            << "at " << static_cast<std::size_t>(entry.position);
}

TEST(Vocabulary, HoldsTheWholeTableInOrder)
{
    ASSERT_EQ(kVocabulary.size(), 228u);
    EXPECT_EQ(kVocabulary.front(), "Return-Receipt-To");
    EXPECT_EQ(kVocabulary[28], "\r\n");
    EXPECT_EQ(kVocabulary.back(), "WorkDay");
    // Only the three rows of the class table without a content class are empty.
    int empty = 0;
    for (const std::string_view word : kVocabulary)
        empty += word.empty() ? 1 : 0;
    EXPECT_EQ(empty, 3);
}

} // namespace
} // namespace mmconv
