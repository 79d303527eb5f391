// The header block: address forms and recipient lists, the originators, the value builders
// (dates, priority words, message identifiers, categories), the carried Internet headers, and the
// values that a message without them still needs (Date, From).
#include <gtest/gtest.h>

#include <mapiguid.h>
#include <mapitags.h>

#include <functional>
#include <vector>

#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MMNamedPropsCnv.h"
#include "tests/mmconv/message/ConversionHarness.h"

namespace convtest {
namespace {

MessageBuilder BasicMessage()
{
    MessageBuilder builder = SentMail();
    builder.Add(Unicode(PR_BODY_W, u"Body"));
    return builder;
}

std::string FlatEntryList(const std::vector<std::string>& entries)
{
    auto u32 = [](std::size_t value) {
        std::string bytes;
        for (int i = 0; i < 4; ++i)
            bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
        return bytes;
    };
    std::string body;
    for (const std::string& entry : entries) {
        body += u32(entry.size()) + entry;
        body.append((4 - entry.size() % 4) % 4, '\0');
    }
    return u32(entries.size()) + u32(body.size()) + body;
}

struct HeaderCase {
    const char* label;
    std::function<void(MessageBuilder&, TestConfig&)> build;
    std::vector<std::string> present;  // whole fields as written
    std::vector<std::string> absent;   // field names
    ULONG flags = 0x01;
};

const HeaderCase kHeaderCases[] = {
    {"a display name with a comma is quoted",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_TO, u"Doe, John", u"SMTP", u"john@example.com"); },
        {"To: \"Doe, John\" <john@example.com>"}, {"Cc", "Bcc"}},
    {"a non-ASCII display name is encoded, without quotes around the words",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_TO, u"M\u00fcller, Eva", u"SMTP", u"eva@example.com"); },
        {"To: =?utf-8?B?TcO8bGxlciwgRXZh?= <eva@example.com>"}, {}},
    {"quotes and backslashes in a name are escaped",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_CC, u"Sales \"EU\" \\ Team", u"SMTP", u"s@example.com"); },
        {"Cc: \"Sales \\\"EU\\\" \\\\ Team\" <s@example.com>"}, {"To"}},
    {"a name that is the address gives the bare address; lists fold one entry per line",
        [](MessageBuilder& b, TestConfig&) {
            b.AddRecipient(MAPI_TO, u"carl@example.com", u"SMTP", u"carl@example.com");
            b.AddRecipient(MAPI_TO, u"Dora", u"SMTP", u"dora@example.com");
        },
        {"To: carl@example.com, \r\n \"Dora\" <dora@example.com>"}, {}},
    {"an Exchange recipient travels with its SMTP address",
        [](MessageBuilder& b, TestConfig&) {
            b.AddRecipient(MAPI_TO, u"Erik", u"EX", u"/o=Org/cn=Recipients/cn=erik")
                .properties.push_back(Unicode(PR_SMTP_ADDRESS_W, u"erik@example.com"));
        },
        {"To: \"Erik\" <erik@example.com>"}, {}},
    {"an Exchange recipient without an SMTP address keeps its name as an empty group",
        [](MessageBuilder& b, TestConfig&) {
            b.AddRecipient(MAPI_TO, u"Fay", u"EX", u"/o=Org/cn=Recipients/cn=fay");
            b.AddRecipient(MAPI_TO, u"Gus", u"SMTP", u"gus@example.com");
        },
        {"To: \"Fay\": ;, \r\n \"Gus\" <gus@example.com>"}, {}},
    {"a recipient with only a display name that is an address",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_TO, u"Hal Jones <hal@example.com>", u"", u""); },
        {"To: \"Hal Jones\" <hal@example.com>"}, {}},
    {"a display name that names another address does not redirect the recipient",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_TO, u"Ida <ida@old.example>", u"SMTP", u"ida@example.com"); },
        {"To: \"Ida <ida@old.example>\" <ida@example.com>"}, {}},
    {"Bcc only in the transfer's mode",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_BCC, u"Jo", u"SMTP", u"jo@example.com"); },
        {"Bcc: \"Jo\" <jo@example.com>"}, {}},
    {"no Bcc outside it",
        [](MessageBuilder& b, TestConfig&) { b.AddRecipient(MAPI_BCC, u"Jo", u"SMTP", u"jo@example.com"); },
        {}, {"Bcc"}, 0},
    {"author and sender alike in another case: no Sender",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(PR_SENT_REPRESENTING_ADDRTYPE_W, u"SMTP"))
                .Add(Unicode(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, u"ANNA@example.com"))
                .Add(Unicode(PR_SENT_REPRESENTING_NAME_W, u"Anna E."));
        },
        {"From: \"Anna E.\" <ANNA@example.com>"}, {"Sender"}},
    {"someone sending on behalf of the author: Sender",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(PR_SENT_REPRESENTING_ADDRTYPE_W, u"SMTP"))
                .Add(Unicode(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, u"boss@example.com"))
                .Add(Unicode(PR_SENT_REPRESENTING_NAME_W, u"Boss"));
        },
        {"Sender: \"Anna\" <anna@example.com>", "From: \"Boss\" <boss@example.com>"}, {}},
    {"the configuration can suppress Sender",
        [](MessageBuilder& b, TestConfig& config) {
            b.Add(Unicode(PR_SENT_REPRESENTING_ADDRTYPE_W, u"SMTP"))
                .Add(Unicode(PR_SENT_REPRESENTING_EMAIL_ADDRESS_W, u"boss@example.com"));
            config.Flag(mmconv::kConfigNoSenderHeader, true);
        },
        {"From: <boss@example.com>"}, {"Sender"}},
    {"an author's Exchange address is taken from its SMTP property",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(PR_SENDER_ADDRTYPE_W, u"EX"))
                .Add(Unicode(PR_SENDER_EMAIL_ADDRESS_W, u"/o=Org/cn=anna"))
                .Add(Unicode(PR_SENDER_SMTP_ADDRESS_W, u"anna@example.com"));
        },
        {"From: \"Anna\" <anna@example.com>"}, {}},
    {"a draft without an author is from the mailbox it belongs to",
        [](MessageBuilder& b, TestConfig& config) {
            std::erase_if(b.Message().properties, [](const MsgProperty& p) { return (p.tag >> 16) >= 0x0C1A && (p.tag >> 16) <= 0x0C1F; });
            config.Text(mmconv::kConfigMailboxAddress, "owner@example.com").Text(mmconv::kConfigMailboxName, "Owner");
        },
        {"From: \"Owner\" <owner@example.com>"}, {}},
    {"importance, priority and sensitivity words",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Long(PR_IMPORTANCE, 2)).Add(Long(PR_PRIORITY, -1)).Add(Long(PR_SENSITIVITY, 3));
        },
        {"Importance: high", "X-MSMail-Priority: high", "X-Priority: 1", "Priority: Non-Urgent",
            "Sensitivity: Company-Confidential"},
        {}},
    {"out-of-range words are left out",
        [](MessageBuilder& b, TestConfig&) { b.Add(Long(PR_IMPORTANCE, 7)).Add(Long(PR_SENSITIVITY, -2)); },
        {}, {"Importance", "X-Priority", "Sensitivity"}},
    {"IPM.Note writes no class; a custom class does",
        [](MessageBuilder& b, TestConfig&) { b.Add(Ansi(PR_MESSAGE_CLASS_A, "ipm.note")); },
        {}, {"X-MAPI-Message-Class", "content-class"}},
    {"a post carries its class and content class",
        [](MessageBuilder& b, TestConfig&) { b.Add(Ansi(PR_MESSAGE_CLASS_A, "IPM.Post")); },
        {"X-MAPI-Message-Class: IPM.Post", "content-class: urn:content-classes:message"}, {}},
    {"an unsent message is dated by its creation time",
        [](MessageBuilder& b, TestConfig&) {
            std::erase_if(b.Message().properties, [](const MsgProperty& p) { return p.tag == PR_CLIENT_SUBMIT_TIME; });
            b.Add(Time(PR_CREATION_TIME, FileTime(2023, 1, 2, 3, 4, 5)));
        },
        {"Date: Mon, 02 Jan 2023 03:04:05 +0000"}, {}},
    {"the report tag rebuilds the identifier with the Internet identifier's domain",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Ansi(PR_INTERNET_MESSAGE_ID_A, "<abc@mail.example.com>"))
                .Add(Binary(PR_REPORT_TAG, std::string("PCDFEB09\0\x01\0\x02\0\0\0\0\0Identifier123456789", 36)));
        },
        {"Message-Id: <!&!SWRlbnRpZmllcjEyMzQ1Njc4OQ==@mail.example.com>"}, {}},
    {"an identifier that is no msg-id is left out",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Ansi(PR_INTERNET_MESSAGE_ID_A, "<abc>"))
                .Add(Binary(PR_REPORT_TAG, std::string("PCDFEB09\0\x01\0\x02\0\0\0\0\0Identifier123456789", 36)));
        },
        {}, {"Message-Id"}},
    {"an identifier stored without brackets gets them",
        [](MessageBuilder& b, TestConfig&) { b.Add(Ansi(PR_INTERNET_MESSAGE_ID_A, " abc.1$@mail.example.com ")); },
        {"Message-Id: <abc.1$@mail.example.com>"}, {}},
    {"categories: keywords as phrases, X-Category as text",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(MultiUnicode(b.Named(PS_PUBLIC_STRINGS, u"Keywords", PT_MV_UNICODE),
                {u"Red", u"Project X.Y", u"Caf\u00e9"}));
        },
        {"Keywords: Red, \"Project X.Y\", =?utf-8?B?Q2Fmw6k=?=",
            "X-Category: =?utf-8?B?UmVkLCBQcm9qZWN0IFguWSwgQ2Fmw6k=?="},
        {}},
    {"the follow-up flag and the thread index",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(b.Named(PSETID_Common, mmconv::kLidFlagRequest, PT_UNICODE), u"Follow up"))
                .Add(Binary(PR_CONVERSATION_INDEX, std::string(60, '\x01')));
        },
        {"X-Message-Flag: Follow up",
            "Thread-Index: AQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQE\r\n BAQEB"},
        {}},
    {"Reply-To from a one-off entry; a read receipt asks the author",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Binary(PR_REPLY_RECIPIENT_ENTRIES,
                      FlatEntryList({OneOff(u"Desk", u"SMTP", u"desk@example.com"), OneOff(u"", u"SMTP", u"x@example.com")})))
                .Add(Boolean(PR_READ_RECEIPT_REQUESTED, true));
        },
        {"Reply-To: \"Desk\" <desk@example.com>, \r\n <x@example.com>",
            "Disposition-Notification-To: \"Anna\" <anna@example.com>"},
        {}},
    {"a subject with a tab is encoded; a long plain one folds before a blank",
        [](MessageBuilder& b, TestConfig&) {
            b.Add(Unicode(PR_SUBJECT_W, u"a\tb")).Add(Unicode(PR_CONVERSATION_TOPIC_W, std::u16string(600, u'x') + u" " +
                                                                                       std::u16string(600, u'y')));
        },
        {"Subject: =?utf-8?B?YQli?=", "Thread-Topic: " + std::string(600, 'x') + "\r\n " + std::string(600, 'y')}, {}},
};

TEST(Header, FieldsAndAddressForms)
{
    for (const HeaderCase& c : kHeaderCases) {
        MessageBuilder builder = BasicMessage();
        TestConfig config;
        c.build(builder, config);
        const Conversion conversion = Convert(builder.Document(), c.flags, &config);
        ASSERT_EQ(conversion.status, S_OK) << c.label;
        const std::string header = HeaderBlock(conversion.output);
        for (const std::string& field : c.present) {
            const std::string name = field.substr(0, field.find(':'));
            EXPECT_EQ(Field(header, name), field) << c.label << "\n" << header;
        }
        for (const std::string& name : c.absent)
            EXPECT_EQ(Field(header, name), "") << c.label;
    }
}

// Received lines come first, folded before " by ", " via ", " with " and " for "; "X-" names of the
// Internet header set and "CustomData" of the public strings come last.
TEST(Header, CarriedHeaders)
{
    MessageBuilder builder = BasicMessage();
    builder.Add(MultiAnsi(builder.Named(PS_INTERNET_HEADERS, u"Received", PT_MV_STRING8),
        {"from a.example by b.example with SMTP for <c@example.com>; Mon, 25 Mar 2024", "from d\r\n by e"}));
    builder.Add(Unicode(builder.Named(PS_INTERNET_HEADERS, u"x-spam-flag", PT_UNICODE), u"NO"));
    builder.Add(Unicode(builder.Named(PS_PUBLIC_STRINGS, u"x-public", PT_UNICODE), u"not carried"));
    builder.Add(Unicode(builder.Named(PS_PUBLIC_STRINGS, u"CustomData", PT_UNICODE), u"d\u00e9j\u00e0"));
    builder.Add(Unicode(builder.Named(PS_INTERNET_HEADERS, u"x-folded", PT_UNICODE), u"one\r\n two\r\nthree"));
    builder.Add(Unicode(builder.Named(PS_INTERNET_HEADERS, u"x-empty", PT_UNICODE), u" "));
    const Conversion conversion = Convert(builder.Document());
    ASSERT_EQ(conversion.status, S_OK);
    const std::string header = HeaderBlock(conversion.output);
    EXPECT_TRUE(header.starts_with("Received: from a.example\r\n  by b.example\r\n  with SMTP\r\n"
                                   "  for <c@example.com>; Mon, 25 Mar 2024\r\nReceived: from d\r\n  by e\r\n"))
        << header;
    EXPECT_NE(header.find("X-Mailer: Quillon MAPI Connector"), std::string::npos) << header;
    EXPECT_TRUE(header.ends_with("x-spam-flag: NO\r\nX-CustomData: =?utf-8?B?ZMOpasOg?=\r\n"
                                 "x-folded: one two three\r\nContent-Type: text/plain;\r\n charset=\"utf-8\"\r\n"
                                 "Content-Transfer-Encoding: quoted-printable\r\n"))
        << header;
    EXPECT_EQ(header.find("x-public"), std::string::npos) << header;
    EXPECT_EQ(header.find("x-empty"), std::string::npos) << header;
}

} // namespace
} // namespace convtest
