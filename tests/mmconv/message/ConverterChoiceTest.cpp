// The converter a message class gets: the class table with its prefix and deepest-ancestor rules,
// custom forms, the TNEF rules, and what each wrapping converter writes.
#include <gtest/gtest.h>

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>

#include <array>
#include <functional>
#include <vector>

#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MMNamedPropsCnv.h"
#include "mmconv/message/MessageClassTable.h"
#include "tests/mmconv/message/ConversionHarness.h"

namespace convtest {
namespace {

using namespace mmconv;

TEST(ClassTable, DetermineCustomClass)
{
    struct Case {
        const char* className;
        std::size_t row;
        bool prefixOnly;
    };
    const Case cases[] = {
        {"IPM.Note", kRowNote, false},
        {"ipm.NOTE", kRowNote, false},
        {"IPM.Note.MyForm", kRowNote, true},
        {"IPM.Note.SMIME", kRowSmime, false},
        {"IPM.Note.SMIME.Custom", kRowSmime, true},
        {"IPM.Note.SMIME.MultipartSigned", kRowSmimeMultipartSigned, false},
        {"REPORT.IPM.Note.NDR", kRowReport, true},
        {"IPM.Schedule.Meeting.Request", kRowSchedule, true},
        {"IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}", kRowException, false},
        {"IPM.Notes", kRowNone, false},
        {"IPMX", kRowNone, false},
        {"", kRowNone, false},
    };
    for (const Case& c : cases) {
        bool prefixOnly = !c.prefixOnly;
        std::array<std::string_view, kMessageClassRows> names{};
        for (std::size_t row = 0; row < kMessageClassRows; ++row)
            names[row] = MessageClassOfRow(row);
        EXPECT_EQ(DetermineCustomClass(c.className, names, &prefixOnly), c.row) << c.className;
        EXPECT_EQ(prefixOnly, c.prefixOnly) << c.className;
        EXPECT_EQ(MessageClassRowOf(c.className), c.row) << c.className;
    }
    EXPECT_EQ(DetermineCustomClass("IPM.Note", {}), 0u);
    // Names are compared within their first 511 characters.
    EXPECT_EQ(MessageClassRowOf("IPM.Note." + std::string(600, 'x')), kRowNote);
}

TEST(ClassTable, CustomFormClassesContinueOutlooksOwn)
{
    EXPECT_TRUE(IsCustomFormClass("IPM.Note.MyForm"));
    EXPECT_TRUE(IsCustomFormClass("IPM.Appointment.Booking"));
    EXPECT_FALSE(IsCustomFormClass("IPM.Note"));
    EXPECT_FALSE(IsCustomFormClass("IPM.Schedule.Meeting.Request"));
    EXPECT_FALSE(IsCustomFormClass("REPORT.IPM.Note.NDR"));
    EXPECT_FALSE(IsCustomFormClass("Something.Else"));
}

MessageBuilder Item(std::string messageClass)
{
    MessageBuilder builder = SentMail(std::move(messageClass), u"Item");
    builder.Add(Unicode(PR_BODY_W, u"Item text"));
    return builder;
}

const std::string kTnefAlternative = "Content-Type: multipart/alternative;";
const std::string kTnefPart = "Content-Type: application/ms-tnef;";
const std::string kNativeTnef = "Content-Type: multipart/mixed;";

struct ChoiceCase {
    const char* label;
    std::string messageClass;
    std::function<void(MessageBuilder&, TestConfig&)> build;
    std::vector<std::string> present;
    std::vector<std::string> absent;
    ULONG flags = 0x01;
};

const ChoiceCase kChoiceCases[] = {
    {"mail is written by the core", "ipm.note", [](MessageBuilder&, TestConfig&) {},
        {"Content-Type: text/plain;"}, {kTnefPart, "X-MAPI-Message-Class", "content-class"}},
    {"a custom form adds its TNEF copy", "IPM.Note.MyForm", [](MessageBuilder&, TestConfig&) {},
        {"X-MAPI-Message-Class: IPM.Note.MyForm", kTnefAlternative, kTnefPart}, {}},
    {"a form's named properties make a custom form too", "IPM.Note",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Binary(b.Named(PSETID_Common, kLidCustomFormScript, PT_BINARY), "script"));
        },
        {kTnefPart}, {}},
    {"the custom-form flag sends a note through TNEF", "IPM.Note",
        [](MessageBuilder& b, TestConfig&) { b.Add(Long(b.Named(PSETID_Common, kLidCustomFormFlag, PT_LONG), 1)); },
        {kTnefAlternative, kTnefPart}, {}},
    {"a post travels with TNEF", "IPM.Post", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:message", kTnefAlternative, kTnefPart}, {}},
    {"an unknown class travels with TNEF and no content class", "IPMX", [](MessageBuilder&, TestConfig&) {},
        {kTnefPart, "X-MAPI-Message-Class: IPMX"}, {"content-class"}},
    {"a non-delivery report is a delivery-status report", "REPORT.IPM.Note.NDR", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:dsn", "report-type=\"delivery-status\""}, {kTnefPart}},
    {"an appointment is its calendar body", "IPM.Appointment", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:appointment", "Content-Type: text/calendar;", "BEGIN:VEVENT"}, {kTnefPart}},
    {"a task is its calendar body", "IPM.Task", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:task", "Content-Type: text/calendar;", "BEGIN:VTODO"}, {kTnefPart}},
    {"a changed occurrence of a series carries its TNEF copy beside its calendar body",
        "IPM.OLE.CLASS.{00061055-0000-0000-C000-000000000046}", [](MessageBuilder&, TestConfig&) {},
        {"BEGIN:VEVENT", kTnefAlternative, kTnefPart}, {}},
    {"a contact is a card", "IPM.Contact", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:person", "Content-Type: text/x-vcard"}, {kTnefPart}},
    {"a distribution list is a group", "IPM.DistList", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:group", "Content-Type: text/x-vgroup"}, {kTnefPart}},
    {"a journal entry travels with TNEF", "IPM.Activity", [](MessageBuilder&, TestConfig&) {},
        {"content-class: urn:content-classes:activity", kTnefPart}, {}},
    {"a sticky note: its colour and size, its text", "IPM.StickyNote",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Long(b.Named(PSETID_Note, kLidNoteColor, PT_LONG), 3))
                .Add(Long(b.Named(PSETID_Note, kLidNoteWidth, PT_LONG), 200))
                .Add(CompressedRtf("{\\rtf1 Rich}"));
        },
        {"content-class: urn:content-classes:note", "X-Note-Color: 3\r\nX-Note-Width: 200\r\n",
            "Content-Transfer-Encoding: quoted-printable\r\n\r\nItem text\r\n"},
        {kTnefPart, "X-Note-Length"}},
    {"an associated item is saved as native TNEF beside its bodies", "IPM.Post",
        [](MessageBuilder& b, TestConfig&) { b.Add(Long(PR_MESSAGE_FLAGS, MSGFLAG_ASSOCIATED)); },
        {"X-MAPI-Associated: yes", kNativeTnef, kTnefPart}, {kTnefAlternative}},
    {"outside the transfer the configuration can ask for TNEF", "IPM.Post",
        [](MessageBuilder&, TestConfig& config) { config.Flag(kConfigSaveAsTnef, true); },
        {kNativeTnef, kTnefPart}, {kTnefAlternative}, 0},
    {"the transfer does not ask the configuration", "IPM.Post",
        [](MessageBuilder&, TestConfig& config) { config.Flag(kConfigSaveAsTnef, true); },
        {kTnefAlternative, kTnefPart}, {kNativeTnef}},
    {"a meeting request as TNEF when configured", "IPM.Schedule.Meeting.Request",
        [](MessageBuilder&, TestConfig& config) { config.Flag(kConfigScheduleAsTnef, true); },
        {"content-class: urn:content-classes:calendarmessage", kNativeTnef, kTnefPart}, {}, 0},
    {"a clear-signed message is its stored signed entity", "IPM.Note.SMIME.MultipartSigned",
        [](MessageBuilder& b, TestConfig&) {
            b.AddFile(u"smime.p7m", "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nSigned text\r\n",
                u"multipart/signed");
        },
        {"X-Mailer: Quillon MAPI Connector", "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n\r\nSigned text\r\n"},
        {"MIME-Version: 1.0\r\nX-", "Item text"}},
    {"an encrypted message is application/pkcs7-mime", "IPM.Note.SMIME",
        [](MessageBuilder& b, TestConfig&) { b.AddFile(u"smime.p7m", "PKCS7", u"application/pkcs7-mime"); },
        {"Content-Type: application/pkcs7-mime;\r\n smime-type=\"enveloped-data\";\r\n name=\"smime.p7m\"\r\n"
         "Content-Transfer-Encoding: base64\r\nContent-Disposition: attachment;\r\n filename=\"smime.p7m\"\r\n\r\nUEtDUzc=\r\n"},
        {"Item text"}},
    {"the stored content type names the S/MIME type", "IPM.Note.SMIME",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(b.Named(PS_INTERNET_HEADERS, u"Content-Type", PT_UNICODE),
                u"application/pkcs7-mime; smime-type=signed-data"));
            b.AddFile(u"x.p7m", "PKCS7", u"application/pkcs7-mime");
        },
        {"smime-type=\"signed-data\""}, {}},
    {"an S/MIME message without its data keeps what it has", "IPM.Note.SMIME", [](MessageBuilder&, TestConfig&) {},
        {"Item text"}, {"pkcs7"}},
};

TEST(ConverterChoice, WhatEachClassGets)
{
    for (const ChoiceCase& c : kChoiceCases) {
        MessageBuilder builder = Item(c.messageClass);
        TestConfig config;
        c.build(builder, config);
        const Conversion conversion = Convert(builder.Document(), c.flags, &config);
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        ExpectTexts(conversion.output, c.present, c.absent, c.label);
    }
}

TEST(ConverterChoice, AMessageWithoutClassFailsWithTheMissingProperty)
{
    MessageBuilder builder = Item("IPM.Note");
    std::erase_if(builder.Message().properties, [](const MsgProperty& p) { return p.tag == PR_MESSAGE_CLASS_A; });
    EXPECT_EQ(Convert(builder.Document()).status, MAPI_E_NOT_FOUND);
}

} // namespace
} // namespace convtest
