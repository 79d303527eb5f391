// The session tests' registry, fixtures and property helpers.
#include "tests/platform/mapi/provider/SessionTestSupport.h"

#include <QlnProfiles.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace sessiontest {

const char* const kFixtureOrganisation = R"({
  "formatVersion": 1,
  "name": "Fixture",
  "gal": [
    {"kind": "user", "account": "ann", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=ann", "smtp": "ann@fix.example",
     "displayName": "Ann Archer",
     "homeMdb": "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV1/cn=Microsoft Private MDB",
     "properties": {"PR_BUSINESS_TELEPHONE_NUMBER": "+1 555 0100", "PR_SURNAME": "Archer"}},
    {"kind": "user", "account": "ben", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=ben", "smtp": "ben@fix.example",
     "displayName": "Ben Böhm",
     "homeMta": "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV2/cn=Microsoft MTA"},
    {"kind": "user", "account": "cat", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=cat", "smtp": "cat@fix.example",
     "displayName": "Cat Cole",
     "homeMdb": "/o=Fix/ou=Site/cn=Configuration/cn=Servers/cn=SRV1/cn=Microsoft Private MDB"},
    {"kind": "contact", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=dora", "smtp": "dora@partner.example",
     "displayName": "Dora Dunn"},
    {"kind": "list", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=everyone", "smtp": "everyone@fix.example",
     "displayName": "Everyone", "members": ["ann", "team@fix.example"]},
    {"kind": "list", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=team", "smtp": "team@fix.example",
     "displayName": "Team", "members": ["ben", "dora@partner.example", "cat"]},
    {"kind": "list", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=nobody", "smtp": "nobody@fix.example",
     "displayName": "Nobody", "members": []},
    {"kind": "list", "dn": "/o=Fix/ou=Site/cn=Recipients/cn=secret", "smtp": "secret@fix.example",
     "displayName": "Secret", "members": ["ann"], "cannotOpen": true}
  ],
  "mailboxes": [
    {"user": "ann", "folders": [
      {"name": "Inbox", "class": "IPF.Note", "special": "inbox",
       "messages": [
         {"id": "one", "properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "First",
                                      "PR_BODY": "Hello", "PidLidReminderSet": true}},
         {"id": "two", "properties": {"PR_MESSAGE_CLASS": "IPM.Note", "PR_SUBJECT": "Second"}}
       ],
       "associated": [{"id": "view", "properties": {"PR_MESSAGE_CLASS": "IPM.Microsoft.FolderDesign.NamedView",
                                                    "PR_SUBJECT": "Compact"}}],
       "folders": [{"name": "Projects", "folders": [{"name": "Old"}]}]},
      {"name": "inbox copy", "class": "IPF.Note"},
      {"name": "Calendar", "class": "IPF.Appointment", "special": "calendar",
       "messages": [{"properties": {"PR_MESSAGE_CLASS": "IPM.Appointment", "PR_SUBJECT": "Meeting",
                                    "PidLidBusyStatus": 2}}]}
    ]},
    {"user": "ben@fix.example", "folders": [{"name": "Posteingang", "special": "inbox"}]}
  ],
  "publicFolders": {"server": "SRV1", "folders": [{"name": "News", "class": "IPF.Note",
    "messages": [{"properties": {"PR_MESSAGE_CLASS": "IPM.Post", "PR_SUBJECT": "Welcome"}}]}]}
})";

void SessionTest::SetUp()
{
    directory_.emplace();
    registry_.emplace("EX2QLN_USER_REGISTRY", directory_->File("user-registry.ini"));
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
}

void SessionTest::TearDown()
{
    MAPIUninitialize();
    registry_.reset();
    directory_.reset();
}

std::string SessionTest::WriteFile(const std::string& name, const std::string& text) const
{
    std::filesystem::create_directories((*directory_ / name).parent_path());
    return directory_->Write(name, text);
}

MapiPtr<IMAPISession> SessionTest::Logon(const char* name, HRESULT expected, ULONG flags)
{
    MapiPtr<IMAPISession> session;
    HRESULT status = MAPILogonEx(0, const_cast<char*>(name), nullptr, flags, session.put());
    EXPECT_EQ(static_cast<unsigned>(status), static_cast<unsigned>(expected)) << (name ? name : "(no name)");
    EXPECT_EQ(session.get() != nullptr, SUCCEEDED(status));
    return session;
}

void SessionTest::CreateProfile(const std::string& name, const std::string& organisation, const std::string& mailbox)
{
    MapiPtr<IProfAdmin> admin;
    ASSERT_EQ(MAPIAdminProfiles(0, admin.put()), S_OK);
    std::string profile = name;
    ASSERT_EQ(admin->CreateProfile(profile.data(), nullptr, 0, 0), S_OK);
    MapiPtr<IMsgServiceAdmin> services;
    ASSERT_EQ(admin->AdminServices(profile.data(), nullptr, 0, 0, services.put()), S_OK);
    std::string service = QLN_SERVICE_ORGANISATION;
    ASSERT_EQ(services->CreateMsgService(service.data(), nullptr, 0, 0), S_OK);
    if (organisation.empty())
        return;
    std::string path = organisation;
    std::string box = mailbox;
    SPropValue values[2]{};
    values[0].ulPropTag = PR_QLN_ORGANISATION_PATH_A;
    values[0].Value.lpszA = path.data();
    values[1].ulPropTag = PR_QLN_MAILBOX_A;
    values[1].Value.lpszA = box.data();
    MAPIUID section = kQlnOrganisationSection;
    ASSERT_EQ(services->ConfigureMsgService(&section, 0, 0, mailbox.empty() ? 1 : 2, values), S_OK);
}

std::string Text(const SPropValue* value)
{
    if (value == nullptr)
        return "";
    switch (PROP_TYPE(value->ulPropTag)) {
    case PT_STRING8: return value->Value.lpszA;
    case PT_UNICODE: return platform::Utf16ToUtf8(reinterpret_cast<const char16_t*>(value->Value.lpszW));
    case PT_ERROR: {
        char text[32];
        std::snprintf(text, sizeof text, "<error %#x>", static_cast<unsigned>(value->Value.err));
        return text;
    }
    default: return "<type " + std::to_string(PROP_TYPE(value->ulPropTag)) + ">";
    }
}

std::string Text(IMAPIProp* object, ULONG tag)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(HrGetOneProp(object, tag, value.put())))
        return "";
    return Text(value.get());
}

LONG Long(IMAPIProp* object, ULONG tag, LONG absent)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(HrGetOneProp(object, tag, value.put())))
        return absent;
    return PROP_TYPE(value->ulPropTag) == PT_BOOLEAN ? value->Value.b : value->Value.l;
}

std::vector<BYTE> Bytes(const SPropValue* value)
{
    if (value == nullptr || PROP_TYPE(value->ulPropTag) != PT_BINARY)
        return {};
    return std::vector<BYTE>(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
}

std::vector<BYTE> Binary(IMAPIProp* object, ULONG tag)
{
    MapiBuffer<SPropValue> value;
    if (FAILED(HrGetOneProp(object, tag, value.put())))
        return {};
    return Bytes(value.get());
}

const SPropValue* Find(const SRow& row, ULONG tag)
{
    return PpropFindProp(row.lpProps, row.cValues, tag);
}

void QueryAll(IMAPITable* table, std::vector<ULONG> columns, MapiRows& rows, LPSRestriction restriction)
{
    MapiBuffer<SPropTagArray> tags;
    ASSERT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(columns.size())), tags.put_void()), S_OK);
    tags->cValues = static_cast<ULONG>(columns.size());
    std::copy(columns.begin(), columns.end(), tags->aulPropTag);
    ASSERT_EQ(HrQueryAllRows(table, tags.get(), restriction, nullptr, 0, rows.put()), S_OK);
}

std::vector<std::string> Column(IMAPITable* table, ULONG tag, LPSRestriction restriction)
{
    MapiRows rows;
    QueryAll(table, {tag}, rows, restriction);
    std::vector<std::string> texts;
    for (ULONG i = 0; i < rows.size(); ++i)
        texts.push_back(Text(&rows->aRow[i].lpProps[0]));
    return texts;
}

} // namespace sessiontest
