// The SMTP address pass on messages of an organisation file served by the MAPI runtime, in its
// UTF-16 and 8-bit forms: originators, recipients, Reply-To and an attached message get SMTP
// addresses, search keys and one-off entry identifiers; the store keeps its Exchange values.
#include "ex2qln/transfer/AddressForms.h"
#include "ex2qln/transfer/SmtpAddressPass.h"
#include "tests/ex2qln/transfer/OrganisationSession.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace ex2qln::transfer {
namespace {

using transfertest::AddressBookEntryId;
using transfertest::OrganisationSession;

const std::string kDn = "/o=Fix/ou=Site/cn=Recipients/cn=";
const std::string kMdb = "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV1/cn=Microsoft Private MDB";

// A flat entry list of the given entry identifiers (hexadecimal), each padded to 4 bytes.
std::string FlatEntryList(const std::vector<std::string>& entries)
{
    auto le32 = [](std::size_t value) {
        char text[9];
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X", static_cast<unsigned>(value & 0xFF),
                      static_cast<unsigned>((value >> 8) & 0xFF), static_cast<unsigned>((value >> 16) & 0xFF),
                      static_cast<unsigned>(value >> 24));
        return std::string(text);
    };
    std::string body;
    for (const std::string& entry : entries) {
        const std::size_t size = entry.size() / 2;
        body += le32(size) + entry + std::string(2 * ((4 - size % 4) % 4), '0');
    }
    return le32(entries.size()) + le32(body.size() / 2) + body;
}

std::string Organisation()
{
    const std::string ben = AddressBookEntryId(kDn + "ben");
    const std::string dora = AddressBookEntryId(kDn + "dora", 6);
    const std::string unknown = "00000000DCA740C8C042101AB4B908002B2FE18201000000000000002F6E6F6E6500";
    return R"({"formatVersion": 1, "gal": [
  {"kind": "user", "account": "ann", "dn": ")" + kDn + R"(ann", "smtp": "ann@fix.example", "displayName": "Ann Archer", "homeMdb": ")" + kMdb + R"("},
  {"kind": "user", "account": "ben", "dn": ")" + kDn + R"(ben", "smtp": "ben@fix.example", "displayName": "Ben B\u00f6hm", "homeMdb": ")" + kMdb + R"("},
  {"kind": "contact", "dn": ")" + kDn + R"(dora", "smtp": "dora@partner.example", "displayName": "Dora Dunn"}
 ],
 "mailboxes": [{"user": "ann", "folders": [{"name": "Inbox", "special": "inbox", "messages": [
  {"properties": {
     "PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "From Ben",
     "PR_SENDER_NAME": "Ben B\u00f6hm", "PR_SENDER_ENTRYID": ")" + ben + R"(", "PR_SENDER_ADDRTYPE": "EX",
     "PR_SENDER_EMAIL_ADDRESS": ")" + kDn + R"(ben",
     "PR_SENT_REPRESENTING_ENTRYID": ")" + ben + R"(", "PR_SENT_REPRESENTING_ADDRTYPE": "EX",
     "PR_SENT_REPRESENTING_EMAIL_ADDRESS": ")" + kDn + R"(ben",
     "PR_RECEIVED_BY_NAME": "Someone", "PR_RECEIVED_BY_ADDRTYPE": "EX", "PR_RECEIVED_BY_EMAIL_ADDRESS": "/o=Gone/cn=x",
     "PR_REPLY_RECIPIENT_ENTRIES": ")" + FlatEntryList({unknown, ben}) + R"("},
   "recipients": [
     {"PR_RECIPIENT_TYPE": 1, "PR_DISPLAY_NAME": "Ann Archer", "PR_ENTRYID": ")" + AddressBookEntryId(kDn + "ann") + R"(",
      "PR_ADDRTYPE": "EX", "PR_EMAIL_ADDRESS": ")" + kDn + R"(ann"},
     {"PR_RECIPIENT_TYPE": 2, "PR_DISPLAY_NAME": "Dora", "PR_ENTRYID": ")" + dora + R"(",
      "PR_ADDRTYPE": "SMTP", "PR_EMAIL_ADDRESS": "Dora@Partner.example"},
     {"PR_RECIPIENT_TYPE": 2, "PR_DISPLAY_NAME": "Old System", "PR_ADDRTYPE": "X400", "PR_EMAIL_ADDRESS": "c=us;o=old"}],
   "attachments": [{"properties": {"PR_ATTACH_FILENAME": "forwarded.msg"}, "message": {
     "properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Inner", "PR_SENDER_NAME": "Dora Dunn",
                    "PR_SENDER_ENTRYID": ")" + dora + R"(", "PR_SENDER_ADDRTYPE": "EX", "PR_SENDER_EMAIL_ADDRESS": ")" + kDn + R"(dora"}}}]},
  {"properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Plain"}}
 ]}]}]
})";
}

// A property as UTF-8 text or bytes, whichever string form it has; "<missing>" otherwise.
std::string Value(IMAPIProp* object, ULONG tag)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(HrGetOneProp(object, tag, value.put())))
        return "<missing>";
    switch (PROP_TYPE(value->ulPropTag)) {
    case PT_STRING8: return value->Value.lpszA;
    case PT_UNICODE: {
        std::string utf8;
        for (const char16_t* unit = value->Value.lpszW; *unit != 0; ++unit) {
            if (*unit < 0x80) {
                utf8 += static_cast<char>(*unit);
            } else {
                utf8 += static_cast<char>(0xC0 | (*unit >> 6));
                utf8 += static_cast<char>(0x80 | (*unit & 0x3F));
            }
        }
        return utf8;
    }
    case PT_BINARY: return std::string(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
    default: return "<type>";
    }
}

std::string AsString(const std::vector<BYTE>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// One-off identifiers as the pass writes them in each form, and the string tag of each form.
struct Form {
    const char* name;
    bool ascii;
    ULONG stringType;
    std::string (*oneOff)(const char* name, const char* type, const char* address);
};

std::string WideOneOff(const char* name, const char* type, const char* address)
{
    auto widen = [](const char* text) {
        std::u16string wide;
        for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c != 0; ++c) {
            if (*c < 0x80) {
                wide += static_cast<char16_t>(*c);
            } else {
                wide += static_cast<char16_t>(((*c & 0x1F) << 6) | (c[1] & 0x3F));
                ++c;
            }
        }
        return wide;
    };
    return AsString(OneOffEntryId(widen(name), widen(type), widen(address)));
}

std::string NarrowOneOff(const char* name, const char* type, const char* address)
{
    return AsString(OneOffEntryId(std::string_view(name), type, address));
}

const std::vector<Form> kForms = {{"UTF-16", false, PT_UNICODE, WideOneOff}, {"8-bit (--ascii)", true, PT_STRING8, NarrowOneOff}};

class SmtpAddressPassTest : public ::testing::Test {
protected:
    OrganisationSession organisation_{Organisation()};
};

TEST_F(SmtpAddressPassTest, OriginatorsRecipientsReplyToAndAttachedMessagesBecomeSmtp)
{
    ASSERT_TRUE(organisation_.ok());
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        auto tag = [&](ULONG t) { return PROP_TYPE(t) == PT_BINARY ? t : CHANGE_PROP_TYPE(t, form.stringType); };
        MapiPtr<IMessage> message = organisation_.OpenMessage("Inbox", "From Ben");
        ASSERT_TRUE(message);
        ASSERT_EQ(SmtpAddressPass(organisation_.AddressBook(), message.get(), form.ascii), S_OK);

        // The sender, and the sent-representing slot that had no name and gets the book's.
        EXPECT_EQ(Value(message.get(), tag(PR_SENDER_ADDRTYPE)), "SMTP");
        EXPECT_EQ(Value(message.get(), tag(PR_SENDER_EMAIL_ADDRESS)), "ben@fix.example");
        EXPECT_EQ(Value(message.get(), PR_SENDER_SEARCH_KEY), std::string("SMTP:BEN@FIX.EXAMPLE", 21));
        EXPECT_EQ(Value(message.get(), PR_SENDER_ENTRYID), form.oneOff("Ben B\xc3\xb6hm", "SMTP", "ben@fix.example"));
        EXPECT_EQ(Value(message.get(), tag(PR_SENT_REPRESENTING_NAME)), "Ben B\xc3\xb6hm");
        EXPECT_EQ(Value(message.get(), tag(PR_SENT_REPRESENTING_EMAIL_ADDRESS)), "ben@fix.example");
        // An address the book does not know stays as it was, without keys made up for it.
        EXPECT_EQ(Value(message.get(), tag(PR_RECEIVED_BY_ADDRTYPE)), "EX");
        EXPECT_EQ(Value(message.get(), PR_RECEIVED_BY_SEARCH_KEY), "<missing>");

        // Recipients: the Exchange one, the SMTP one with its address kept, the unknown one as it was.
        MapiPtr<IMAPITable> table;
        ASSERT_EQ(message->GetRecipientTable(form.ascii ? 0 : MAPI_UNICODE, table.put()), S_OK);
        SizedSPropTagArray(4, columns) = {4, {tag(PR_ADDRTYPE), tag(PR_EMAIL_ADDRESS), PR_SEARCH_KEY, PR_ENTRYID}};
        MapiRows rows;
        ASSERT_EQ(HrQueryAllRows(table.get(), reinterpret_cast<LPSPropTagArray>(&columns), nullptr, nullptr, 0, rows.put()),
                  S_OK);
        ASSERT_EQ(rows.size(), 3u);
        auto text = [&](ULONG row, ULONG column) {
            const SPropValue& value = rows->aRow[row].lpProps[column];
            if (PROP_TYPE(value.ulPropTag) == PT_ERROR)
                return std::string("<missing>");
            if (PROP_TYPE(value.ulPropTag) == PT_BINARY)
                return std::string(value.Value.bin.lpb, value.Value.bin.lpb + value.Value.bin.cb);
            if (PROP_TYPE(value.ulPropTag) == PT_STRING8)
                return std::string(value.Value.lpszA);
            return std::string(value.Value.lpszW, value.Value.lpszW + std::char_traits<char16_t>::length(value.Value.lpszW));
        };
        EXPECT_EQ(text(0, 0) + " " + text(0, 1), "SMTP ann@fix.example");
        EXPECT_EQ(text(0, 2), std::string("SMTP:ANN@FIX.EXAMPLE", 21));
        EXPECT_EQ(text(0, 3), form.oneOff("Ann Archer", "SMTP", "ann@fix.example"));
        // PrepareRecips fills the row with the book's own values, which the pass then writes as SMTP.
        EXPECT_EQ(text(1, 0) + " " + text(1, 1), "SMTP dora@partner.example");
        EXPECT_EQ(text(1, 2), std::string("SMTP:DORA@PARTNER.EXAMPLE", 26));
        EXPECT_EQ(text(1, 3), form.oneOff("Dora Dunn", "SMTP", "dora@partner.example"));
        EXPECT_EQ(text(2, 0) + " " + text(2, 1), "X400 c=us;o=old");
        EXPECT_EQ(text(2, 3), "<missing>");

        // Reply-To: the entry the book cannot resolve is left out, the other becomes a one-off.
        const std::string oneOff = form.oneOff("Ben B\xc3\xb6hm", "SMTP", "ben@fix.example");
        std::string list = std::string("\x01\0\0\0", 4);
        const std::size_t padded = (oneOff.size() + 3) & ~std::size_t{3};
        list += std::string(1, static_cast<char>(4 + padded)) + std::string(3, '\0');
        list += std::string(1, static_cast<char>(oneOff.size())) + std::string(3, '\0') + oneOff +
                std::string(padded - oneOff.size(), '\0');
        EXPECT_EQ(Value(message.get(), PR_REPLY_RECIPIENT_ENTRIES), list);

        // The attached message, inside the parent.
        MapiPtr<IAttach> attachment;
        ASSERT_EQ(message->OpenAttach(0, nullptr, 0, attachment.put()), S_OK);
        MapiPtr<IMessage> inner;
        ASSERT_EQ(attachment->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, inner.put_unknown()), S_OK);
        EXPECT_EQ(Value(inner.get(), tag(PR_SENDER_ADDRTYPE)), "SMTP");
        EXPECT_EQ(Value(inner.get(), tag(PR_SENDER_EMAIL_ADDRESS)), "dora@partner.example");

        // Nothing went into the store: the message opened again has its Exchange addresses.
        inner.reset();
        attachment.reset();
        message.reset();
        MapiPtr<IMessage> again = organisation_.OpenMessage("Inbox", "From Ben", 0);
        ASSERT_TRUE(again);
        EXPECT_EQ(Value(again.get(), PR_SENDER_ADDRTYPE_A), "EX");
        EXPECT_EQ(Value(again.get(), PR_SENDER_ENTRYID), [] {
            std::string hex = AddressBookEntryId(kDn + "ben");
            std::string bytes;
            for (std::size_t i = 0; i < hex.size(); i += 2)
                bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
            return bytes;
        }());
    }
}

TEST_F(SmtpAddressPassTest, AMessageWithoutAddressesPassesUnchanged)
{
    ASSERT_TRUE(organisation_.ok());
    for (const Form& form : kForms) {
        SCOPED_TRACE(form.name);
        MapiPtr<IMessage> message = organisation_.OpenMessage("Inbox", "Plain");
        ASSERT_TRUE(message);
        ASSERT_EQ(SmtpAddressPass(organisation_.AddressBook(), message.get(), form.ascii), S_OK);
        EXPECT_EQ(Value(message.get(), PR_SENDER_ADDRTYPE_A), "<missing>");
        EXPECT_EQ(Value(message.get(), PR_REPLY_RECIPIENT_ENTRIES), "<missing>");
    }
}

} // namespace
} // namespace ex2qln::transfer
