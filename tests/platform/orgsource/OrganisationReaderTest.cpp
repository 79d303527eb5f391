// Tests of the organisation reader on small inline files: values of every type, derived
// properties, and malformed files with their exact status and message.
#include "platform/cfb/MsgWriter.h"
#include "platform/orgsource/OrganisationReader.h"
#include "platform/orgsource/PropertyNames.h"
#include "platform/orgsource/PropertyReader.h"
#include "tests/platform/orgsource/OrganisationMessages.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#include <mapitags.h>

namespace {

using namespace platform::orgsource;
namespace cfb = platform::cfb;

const std::string kUser = R"({"kind": "user", "account": "a", "dn": "/o=X/cn=a", "smtp": "a@x.example", "displayName": "A"})";

// An organisation with one user whose mailbox has one folder holding `messages`.
std::string WithMessages(const std::string& messages)
{
    return R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [{"name": "Inbox", "messages": [)" +
           messages + "]}]}]}";
}

std::string WithProperties(const std::string& properties)
{
    return WithMessages(R"({"properties": {)" + properties + "}}");
}

struct Loaded {
    HRESULT status;
    std::string error;
    Organisation organisation;
};

Loaded Load(const std::string& text, const std::optional<std::string>& baseDirectory = "")
{
    Loaded loaded;
    loaded.status = ReadOrganisationText(text, "org.json", baseDirectory, loaded.organisation, loaded.error);
    return loaded;
}

// The first message of the first folder, read.
cfb::MsgDocument FirstMessage(const Organisation& organisation)
{
    return orgtest::ReadOrFail(organisation, orgtest::MessageIn(0, {0, 0}, 0));
}

struct Failure {
    HRESULT status;
    std::string error;
};

Failure ReadFirstMessage(const Organisation& organisation)
{
    cfb::MsgDocument document;
    Failure failure{S_OK, ""};
    failure.status = organisation.ReadMessage(orgtest::MessageIn(0, {0, 0}, 0), document, failure.error);
    return failure;
}

// A file or message that is wrong, with the status and the text it gives.
struct MalformedCase {
    std::string text;
    HRESULT status;
    std::string message;
};

const std::string messages = "mailboxes[0].folders[0].messages[0]";

TEST(OrganisationReaderTest, MalformedFiles)
{
    const std::vector<MalformedCase> cases = {
        {"[]", MAPI_E_BAD_VALUE, "org.json: expected an object"},
        {R"({"gal": [], "gal": []})", MAPI_E_CORRUPT_DATA, "org.json: gal: the key is given twice"},
        {R"({"gal": [{"kind": "user", "dn": "x", "dn": "y"}]})", MAPI_E_CORRUPT_DATA, "org.json: gal[0].dn: the key is given twice"},
        {R"({"formatVersion": 2})", MAPI_E_BAD_VALUE, "org.json: formatVersion: only format version 1 is known"},
        {R"({"mailbox": []})", MAPI_E_INVALID_PARAMETER, "org.json: mailbox: unknown member"},
        {R"({"gal": {}})", MAPI_E_BAD_VALUE, "org.json: gal: expected an array"},
        {R"({"gal": [{"kind": "robot"}]})", MAPI_E_BAD_VALUE, "org.json: gal[0].kind: expected \"user\", \"contact\" or \"list\""},
        {R"({"gal": [{"kind": "user", "account": "a", "smtp": "a@x", "displayName": "A"}]})", MAPI_E_BAD_VALUE, "org.json: gal[0]: missing \"dn\""},
        {R"({"gal": [{"kind": "user", "dn": "/o=X/cn=a", "smtp": "a@x", "displayName": "A"}]})", MAPI_E_BAD_VALUE, "org.json: gal[0]: missing \"account\""},
        {R"({"gal": [{"kind": "contact", "dn": "/o=X/cn=ä", "smtp": "a@x", "displayName": "A"}]})", MAPI_E_BAD_VALUE, "org.json: gal[0].dn: a DN is printable ASCII text"},
        {R"({"gal": [{"kind": "contact", "dn": "/o=X/cn=a", "smtp": "nobody", "displayName": "A"}]})", MAPI_E_BAD_VALUE, "org.json: gal[0].smtp: expected an SMTP address"},
        {R"({"gal": [{"kind": "contact", "dn": "/o=X/cn=a", "smtp": "a@x", "displayName": "A", "homeMdb": "/o=X"}]})", MAPI_E_INVALID_PARAMETER, "org.json: gal[0].homeMdb: unknown member"},
        {R"({"gal": [)" + kUser + R"(, {"kind": "user", "account": "A", "dn": "/o=X/cn=b", "smtp": "b@x", "displayName": "B"}]})", MAPI_E_COLLISION, "org.json: gal[1].account: the account \"A\" is already used by gal[0]"},
        {R"({"gal": [)" + kUser + R"(, {"kind": "contact", "dn": "/O=X/CN=A", "smtp": "b@x", "displayName": "B"}]})", MAPI_E_COLLISION, "org.json: gal[1].dn: the DN \"/O=X/CN=A\" is already used by gal[0]"},
        {R"({"gal": [)" + kUser + R"(, {"kind": "contact", "dn": "/o=X/cn=b", "smtp": "A@x.example", "displayName": "B"}]})", MAPI_E_COLLISION, "org.json: gal[1].smtp: the SMTP address \"A@x.example\" is already used by gal[0]"},
        {R"({"gal": [{"kind": "list", "dn": "/o=X/cn=l", "smtp": "l@x", "displayName": "L", "members": ["ghost"]}]})", MAPI_E_NOT_FOUND, "org.json: gal[0].members[0]: no GAL entry has the DN, address or account \"ghost\""},
        {R"({"gal": [{"kind": "list", "dn": "/o=X/cn=l", "smtp": "l@x", "displayName": "L", "members": ["l@x"]}]})", MAPI_E_BAD_VALUE, "org.json: gal[0].members[0]: a list cannot be a member of itself"},
        {R"({"gal": [)" + kUser + R"(, {"kind": "list", "dn": "/o=X/cn=l", "smtp": "l@x", "displayName": "L", "members": ["a", "/o=X/cn=a"]}]})", MAPI_E_COLLISION, "org.json: gal[1].members[1]: \"/o=X/cn=a\" is already a member"},
        {R"({"gal": [{"kind": "list", "dn": "/o=X/cn=l", "smtp": "l@x", "displayName": "L", "cannotOpen": "yes"}]})", MAPI_E_BAD_VALUE, "org.json: gal[0].cannotOpen: expected true or false"},
        {R"({"gal": [{"kind": "contact", "dn": "/o=X/cn=c", "smtp": "c@x", "displayName": "C", "properties": {"PidLidFileUnder": "C"}}]})", MAPI_E_BAD_VALUE, "org.json: gal[0].properties.PidLidFileUnder: named properties are not allowed here"},
        {R"({"mailboxes": [{"user": "nobody"}]})", MAPI_E_NOT_FOUND, "org.json: mailboxes[0].user: no GAL entry has the DN, address or account \"nobody\""},
        {R"({"gal": [{"kind": "contact", "dn": "/o=X/cn=c", "smtp": "c@x", "displayName": "C"}], "mailboxes": [{"user": "c@x"}]})", MAPI_E_BAD_VALUE, "org.json: mailboxes[0].user: \"c@x\" is not a mail user"},
        {R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a"}, {"user": "a@x.example"}]})", MAPI_E_COLLISION, "org.json: mailboxes[1].user: \"a@x.example\" has a mailbox already"},
        {R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [{"class": "IPF.Note"}]}]})", MAPI_E_BAD_VALUE, "org.json: mailboxes[0].folders[0]: missing \"name\""},
        {R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [{"name": "Inbox"}, {"name": "INBOX"}]}]})", MAPI_E_COLLISION, "org.json: mailboxes[0].folders[1]: a folder named \"INBOX\" is already in this folder"},
        {R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [{"name": "In", "special": "postbox"}]}]})", MAPI_E_BAD_VALUE, "org.json: mailboxes[0].folders[0].special: unknown special folder \"postbox\""},
        {R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [{"name": "A", "special": "inbox"}, {"name": "B", "special": "inbox"}]}]})", MAPI_E_COLLISION, "org.json: mailboxes[0].folders[1].special: the mailbox has a \"inbox\" folder already"},
        {R"({"publicFolders": {"folders": [{"name": "A", "special": "inbox"}]}})", MAPI_E_BAD_VALUE, "org.json: publicFolders.folders[0].special: the public folders have no special folders"},
        {WithMessages(R"({"id": "x"}, {"id": "x"})"), MAPI_E_COLLISION, "org.json: mailboxes[0].folders[0].messages[1].id: the message id \"x\" is used twice in this folder"},
        {WithMessages(R"({"subject": "x"})"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".subject: unknown member"},
        {WithMessages("5"), MAPI_E_BAD_VALUE, "org.json: " + messages + ": expected an object"},
        {WithMessages(R"({"id": 5})"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".id: expected a string"},
        {R"({"certificateStores": []})", MAPI_E_BAD_VALUE, "org.json: certificateStores: expected an object of certificate stores"},
        {R"({"certificateStores": {"addressbook": "30 82"}})", MAPI_E_BAD_VALUE, "org.json: certificateStores.addressbook: expected an array"},
        {R"({"certificateStores": {"addressbook": ["3G"]}})", MAPI_E_BAD_VALUE, "org.json: certificateStores.addressbook[0]: expected hexadecimal bytes"},
    };
    for (const auto& c : cases) {
        Loaded loaded = Load(c.text);
        EXPECT_EQ(loaded.status, c.status) << c.text;
        EXPECT_EQ(loaded.error, c.message) << c.text;
        EXPECT_TRUE(loaded.organisation.gal.empty() && loaded.organisation.stores.empty()) << c.text;
    }
}

TEST(OrganisationReaderTest, CertificateStoresByNameInLowerCase)
{
    Loaded loaded = Load(R"({"certificateStores": {"comment": "c", "AddressBook": ["30 82", {"base64": "MAE="}], "my": []}})");
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const std::map<std::string, std::vector<std::vector<std::uint8_t>>> expected = {
        {"addressbook", {{0x30, 0x82}, {0x30, 0x01}}}, {"my", {}}};
    EXPECT_EQ(loaded.organisation.certificateStores, expected);
}

// What a message holds is read when the message is: a fault there fails that message, not the logon.
TEST(OrganisationReaderTest, MalformedMessages)
{
    const std::vector<MalformedCase> cases = {
        {WithProperties(R"("PR_SUBJECT": 5)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_SUBJECT: expected a string"},
        {WithProperties(R"("PR_SUBJEKT": "x")"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".properties.PR_SUBJEKT: unknown property name \"PR_SUBJEKT\""},
        {WithProperties(R"("PR_SUBJECT": "x", "PR_SUBJECT_A": "y")"), MAPI_E_COLLISION, "org.json: " + messages + ".properties.PR_SUBJECT_A: property 0x0037001F is given twice"},
        {WithProperties(R"("PR_IMPORTANCE": 1.5)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_IMPORTANCE: expected an integer"},
        {WithProperties(R"("PR_IMPORTANCE": 4294967296)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_IMPORTANCE: value out of range for PT_LONG"},
        {WithProperties(R"("0x3A4D0002": 70000)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.0x3A4D0002: value out of range for PT_I2"},
        {WithProperties(R"("PR_HASATTACH": 1)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_HASATTACH: expected true or false"},
        {WithProperties(R"("PR_CLIENT_SUBMIT_TIME": "2024-02-30T10:00:00Z")"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_CLIENT_SUBMIT_TIME: expected a time as YYYY-MM-DDThh:mm:ssZ"},
        {WithProperties(R"("PR_SEARCH_KEY": "0g")"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_SEARCH_KEY: expected hexadecimal bytes"},
        {WithProperties(R"("PR_SEARCH_KEY": {"base64": "!!"})"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_SEARCH_KEY.base64: expected Base64 text"},
        {WithProperties(R"("PR_SEARCH_KEY": {"hex": "00", "text": "a"})"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_SEARCH_KEY: expected hexadecimal bytes or one of {\"hex\"}, {\"base64\"}, {\"text\"}, {\"file\"}"},
        {WithProperties(R"("PR_SEARCH_KEY": {"file": "absent.bin"})"), HResultFromErrno(ENOENT), "org.json: " + messages + ".properties.PR_SEARCH_KEY.file: cannot read absent.bin: No such file or directory"},
        {WithProperties(R"("0x00010048": "{1234}")"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.0x00010048: expected a GUID such as {00062002-0000-0000-C000-000000000046}"},
        {WithProperties(R"("PR_CHILDRENS_NAMES": "Ann")"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_CHILDRENS_NAMES: expected an array"},
        {WithProperties(R"("PR_CHILDRENS_NAMES": ["Ann", 2])"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PR_CHILDRENS_NAMES[1]: expected a string"},
        {WithProperties(R"("0x80000003": 1)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.0x80000003: property id 0x8000 is in the named range; write it as SET:ID:TYPE"},
        {WithProperties(R"("0x0037000D": 1)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.0x0037000D: property type PT_OBJECT cannot be written in an organisation file"},
        {WithProperties(R"("0x00370000": 1)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.0x00370000: property type 0x0000 cannot be written in an organisation file"},
        {WithProperties(R"("PSETID_Nothing:0x8205:PT_LONG": 1)"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".properties.PSETID_Nothing:0x8205:PT_LONG: unknown property set \"PSETID_Nothing\""},
        {WithProperties(R"("PSETID_Appointment:0x8205:PT_INT": 1)"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".properties.PSETID_Appointment:0x8205:PT_INT: unknown property type \"PT_INT\""},
        {WithProperties(R"("PSETID_Appointment::PT_LONG": 1)"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".properties.PSETID_Appointment::PT_LONG: a named property needs a LID or a name between SET: and :TYPE"},
        {WithProperties(R"("PSETID_Appointment:PT_LONG": 1)"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".properties.PSETID_Appointment:PT_LONG: a named property is written as SET:ID:TYPE"},
        {WithProperties(R"("PidLidNothing": 1)"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".properties.PidLidNothing: unknown named property \"PidLidNothing\""},
        {WithMessages(R"({"recipients": [{"PR_RECIPIENT_TYPE": "to"}]})"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".recipients[0].PR_RECIPIENT_TYPE: expected an integer"},
        {WithMessages(R"({"attachments": [{"data": "00", "message": {}}]})"), MAPI_E_BAD_VALUE, "org.json: " + messages + ".attachments[0]: an attachment has \"data\" or \"message\", not both"},
        {WithMessages(R"({"attachments": [{"data": "00", "properties": {"PR_ATTACH_DATA_BIN": "01"}}]})"), MAPI_E_COLLISION, "org.json: " + messages + ".attachments[0].data: PR_ATTACH_DATA_BIN is given twice"},
        {WithMessages(R"({"attachments": [{"message": {"id": "inner"}}]})"), MAPI_E_INVALID_PARAMETER, "org.json: " + messages + ".attachments[0].message.id: unknown member"},
        {WithMessages(R"("absent.msg")"), HResultFromErrno(ENOENT), "org.json: " + messages + ": absent.msg: cannot be read (No such file or directory)"},
    };
    for (const auto& c : cases) {
        Loaded loaded = Load(c.text);
        ASSERT_EQ(loaded.status, S_OK) << c.text << ": " << loaded.error;
        Failure failure = ReadFirstMessage(loaded.organisation);
        EXPECT_EQ(failure.status, c.status) << c.text;
        EXPECT_EQ(failure.error, c.message) << c.text;
    }
}

TEST(OrganisationReaderTest, SyntaxErrorsGiveLineAndColumn)
{
    for (const auto& [text, start] : std::vector<std::pair<std::string, std::string>>{
             {"{", "org.json: line 1, column 2: syntax error"},
             {"{\n  \"gal\": [,]\n}", "org.json: line 2, column 11: syntax error"},
             {"", "org.json: line 1, column 1: syntax error"},
             {"{\"name\": \"\xC3\"}", "org.json: line 1, column 12: syntax error"},
         }) {
        Loaded loaded = Load(text);
        EXPECT_EQ(loaded.status, MAPI_E_CORRUPT_DATA) << text;
        EXPECT_EQ(loaded.error.substr(0, start.size()), start) << loaded.error;
    }
}

TEST(OrganisationReaderTest, DeepNestingIsRefused)
{
    std::string message = R"({"properties": {"PR_SUBJECT": "x"}})";
    for (int i = 0; i < 40; ++i) {
        message = R"({"attachments": [{"message": )" + message + "}]}";
    }
    Loaded deepMessage = Load(WithMessages(message));
    ASSERT_EQ(deepMessage.status, S_OK) << deepMessage.error;
    Failure failure = ReadFirstMessage(deepMessage.organisation);
    EXPECT_EQ(failure.status, MAPI_E_TOO_BIG);
    EXPECT_NE(failure.error.find("embedded messages are nested too deeply"), std::string::npos) << failure.error;

    std::string folder = R"({"name": "f"})";
    for (int i = 0; i < 70; ++i) {
        folder = R"({"name": "f", "folders": [)" + folder + "]}";
    }
    Loaded deepFolders = Load(R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [)" + folder + "]}]}");
    EXPECT_EQ(deepFolders.status, MAPI_E_TOO_BIG);
    EXPECT_NE(deepFolders.error.find("folders are nested too deeply"), std::string::npos) << deepFolders.error;
}

TEST(OrganisationReaderTest, JsonNestedDeeperThanTheFormatNeedsIsRefusedWithItsPlace)
{
    const std::string refused = ": too deeply nested: more than 256 levels of arrays and objects";
    const std::string deepArrays = std::string(100000, '[') + std::string(100000, ']');
    std::string deepObjects;
    for (int i = 0; i < 100000; ++i)
        deepObjects += R"({"a":)";
    deepObjects += "1" + std::string(100000, '}');
    struct Case {
        const char* name;
        std::string text;
        std::string error;  // empty: nothing about nesting
    };
    const std::vector<Case> cases = {
        {"arrays 100,000 deep", deepArrays, "org.json: line 1, column 257" + refused},
        {"objects 100,000 deep", deepObjects, "org.json: line 1, column 1281" + refused},
        {"257 levels in an ignored comment, never closed", "{\n \"comment\": " + std::string(256, '['),
         "org.json: line 2, column 268" + refused},
        {"256 levels", "{\"comment\": " + std::string(255, '[') + std::string(255, ']') + "}", ""},
        {"brackets in strings do not count",
         R"({"name": ")" + std::string(300, '[') + R"(\"{{{", "comment": [")" + std::string(300, '{') + "\"]}", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Loaded loaded = Load(c.text);
        if (c.error.empty()) {
            EXPECT_EQ(loaded.status, S_OK) << loaded.error;
            continue;
        }
        EXPECT_EQ(loaded.status, MAPI_E_CORRUPT_DATA);
        EXPECT_EQ(loaded.error, c.error);
    }
}

TEST(OrganisationReaderTest, TheDeepestFileTheFormatAllowsIsRead)
{
    // An attached message 32 levels down, holding a multi-valued property and a recipient, in a
    // folder 63 levels down: as deep as the format lets arrays and objects go.
    std::string message = R"({"properties": {"PR_SUBJECT": "deep", "PR_CHILDRENS_NAMES": ["Ann"]},
                              "recipients": [{"PR_DISPLAY_NAME": "B", "PR_RECIPIENT_TYPE": 1}]})";
    for (int level = 0; level < 32; ++level)
        message = R"({"attachments": [{"message": )" + message + "}]}";
    std::string folder = R"({"name": "f", "messages": [)" + message + "]}";
    for (int level = 0; level < 62; ++level)
        folder = R"({"name": "f", "folders": [)" + folder + "]}";
    const Loaded loaded = Load(R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [)" + folder + "]}]}");
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Folder* deepest = &loaded.organisation.stores.at(0).root.folders.at(0);
    for (int level = 0; level < 63; ++level)
        deepest = &deepest->folders.at(0);
    EXPECT_EQ(deepest->messages.size(), 1u);
}

TEST(OrganisationReaderTest, ValuesOfEachType)
{
    Loaded loaded = Load(WithProperties(R"(
        "0x0037001E": "Grüße",
        "PR_IMPORTANCE": 2,
        "PR_ICON_INDEX": "0xFFFFFFFF",
        "0x3A4D0002": -2,
        "0x66060014": -9007199254740993,
        "PR_HASATTACH": true,
        "0x66000005": 0.25,
        "0x66010006": 12.34,
        "PR_CLIENT_SUBMIT_TIME": "1970-01-01T00:00:01Z",
        "PR_SEARCH_KEY": "01 02 ff",
        "PR_HTML": {"text": "<p>é</p>"},
        "PR_CONVERSATION_INDEX": {"base64": "AQID"},
        "0x66020048": "{00062002-0000-0000-C000-000000000046}",
        "PR_CHILDRENS_NAMES_A": ["Ann", "Bo"],
        "0x66031003": [1, "0x10"],
        "0x66041102": ["00", {"text": "z"}],
        "0x66050001": null)"));
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const cfb::MsgDocument document = FirstMessage(loaded.organisation);
    const auto& properties = document.message.properties;
    auto get = [&](std::uint32_t tag) -> const cfb::MsgProperty& {
        const auto* property = cfb::FindProperty(properties, tag);
        if (property == nullptr) {
            ADD_FAILURE() << std::hex << tag;
            static const cfb::MsgProperty none;
            return none;
        }
        return *property;
    };
    EXPECT_EQ(get(0x0037001F).text, u"Grüße");
    EXPECT_EQ(get(0x00170003).integer, 2);
    EXPECT_EQ(get(0x10800003).integer, -1);
    EXPECT_EQ(get(0x3A4D0002).integer, -2);
    EXPECT_EQ(get(0x66060014).integer, -9007199254740993);
    EXPECT_EQ(get(0x0E1B000B).integer, 0);  // derived from the attachments, not taken from the file
    EXPECT_EQ(get(0x66000005).real, 0.25);
    EXPECT_EQ(get(0x66010006).integer, 123400);
    EXPECT_EQ(get(0x00390040).integer, 116444736010000000);
    EXPECT_EQ(get(0x300B0102).bytes, (std::vector<std::uint8_t>{1, 2, 0xFF}));
    EXPECT_EQ(get(0x10130102).bytes, (std::vector<std::uint8_t>{'<', 'p', '>', 0xC3, 0xA9, '<', '/', 'p', '>'}));
    EXPECT_EQ(get(0x00710102).bytes, (std::vector<std::uint8_t>{1, 2, 3}));
    EXPECT_EQ(get(0x66020048).bytes.size(), 16u);
    EXPECT_EQ(get(0x3A58101F).texts, (std::vector<std::u16string>{u"Ann", u"Bo"}));
    EXPECT_EQ(get(0x66031003).integers, (std::vector<std::int64_t>{1, 16}));
    EXPECT_EQ(get(0x66041102).byteValues, (std::vector<std::vector<std::uint8_t>>{{0}, {'z'}}));
    EXPECT_EQ(cfb::FindProperty(properties, 0x66050001) != nullptr, true);
}

TEST(OrganisationReaderTest, NamedPropertiesMapPerMessageAndPerStoreForFolders)
{
    Loaded loaded = Load(R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [{"name": "Inbox",
        "properties": {"PidLidReminderSet": true},
        "messages": [
        {"properties": {"PidLidBusyStatus": 2, "PS_PUBLIC_STRINGS:Keywords:PT_MV_UNICODE": ["a"]},
         "attachments": [{"message": {"properties": {"PSETID_Appointment:0x8205:PT_LONG": 3}}}]},
        {"properties": {"{00020329-0000-0000-C000-000000000046}:Keywords:PT_MV_STRING8": ["b"],
                        "PS_INTERNET_HEADERS:\"0x12\":PT_UNICODE": "named like a number",
                        "PS_PUBLIC_STRINGS:urn:schemas:contacts:sn:PT_UNICODE": "colons"}}]}]}]})");
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Store& store = loaded.organisation.stores.at(0);
    ASSERT_EQ(store.namedProperties.size(), 1u);
    EXPECT_EQ(store.namedProperties[0].lid, 0x8503u);
    const Folder& inbox = store.root.folders.at(0).folders.at(0);
    EXPECT_EQ(cfb::FindProperty(inbox.properties, 0x8000000B)->integer, 1);

    // Each message read has its own mapping, which its embedded messages share.
    const cfb::MsgDocument first = orgtest::ReadOrFail(loaded.organisation, orgtest::MessageIn(0, {0, 0}, 0));
    ASSERT_EQ(first.namedProperties.size(), 2u);
    EXPECT_EQ(first.namedProperties[0].id, 0x8000);
    EXPECT_EQ(first.namedProperties[0].lid, 0x8205u);
    EXPECT_FALSE(first.namedProperties[0].isString);
    EXPECT_EQ(first.namedProperties[1].name, u"Keywords");
    EXPECT_EQ(cfb::FindProperty(first.message.properties, 0x80000003)->integer, 2);
    EXPECT_EQ(cfb::FindProperty(first.message.properties, 0x8001101F)->texts, std::vector<std::u16string>{u"a"});
    EXPECT_EQ(cfb::FindProperty(first.message.attachments.at(0).embedded->properties, 0x80000003)->integer, 3);
    const cfb::MsgDocument second = orgtest::ReadOrFail(loaded.organisation, orgtest::MessageIn(0, {0, 0}, 1));
    ASSERT_EQ(second.namedProperties.size(), 3u);
    EXPECT_EQ(second.namedProperties[0].name, u"Keywords");
    EXPECT_EQ(second.namedProperties[1].name, u"0x12");
    EXPECT_EQ(second.namedProperties[2].name, u"urn:schemas:contacts:sn");
    EXPECT_EQ(cfb::FindProperty(second.message.properties, 0x8000101F)->texts, std::vector<std::u16string>{u"b"});
}

TEST(OrganisationReaderTest, DerivedPropertiesAndAttachments)
{
    Loaded loaded = Load(R"({"gal": [)" + kUser + R"(,
        {"kind": "list", "dn": "/o=X/cn=l", "smtp": "l@x", "displayName": "L", "members": ["a"], "cannotOpen": true,
         "properties": {"PR_MHS_COMMON_NAME": "list cn", "0x80080003": 7}}],
      "mailboxes": [{"user": "a", "folders": [{"name": "Inbox", "class": "IPF.Note", "special": "inbox",
        "messages": [{"properties": {"PR_MESSAGE_FLAGS": 1}, "attachments": [{"data": {"text": "hi"}}, {"message": {}}]},
                     {"properties": {"PR_SUBJECT": "unread"}}],
        "associated": [{"properties": {"PR_MESSAGE_CLASS": "IPM.Configuration.X"}}],
        "folders": [{"name": "Sub"}]},
        {"name": "Calendar", "class": "IPF.Appointment", "special": "calendar"},
        {"name": "Sent", "special": "sentItems"}]}]})");
    ASSERT_EQ(loaded.status, S_OK) << loaded.error;
    const Organisation& org = loaded.organisation;
    const GalEntry& list = org.gal.at(1);
    EXPECT_EQ(list.members, std::vector<std::size_t>{0});
    EXPECT_TRUE(list.openFails);
    EXPECT_EQ(cfb::FindProperty(list.properties, PR_DISPLAY_TYPE)->integer, 1);
    EXPECT_EQ(cfb::FindProperty(list.properties, PR_OBJECT_TYPE)->integer, 8);
    EXPECT_EQ(cfb::FindProperty(list.properties, PR_MHS_COMMON_NAME_W)->text, u"list cn");
    EXPECT_EQ(cfb::FindProperty(list.properties, 0x80080003)->integer, 7);
    const auto* searchKey = cfb::FindProperty(org.gal.at(0).properties, PR_SEARCH_KEY);
    ASSERT_NE(searchKey, nullptr);
    EXPECT_EQ(std::string(searchKey->bytes.begin(), searchKey->bytes.end()), std::string("EX:/O=X/CN=A\0", 13));
    EXPECT_EQ(cfb::FindProperty(org.gal.at(0).properties, PR_MHS_COMMON_NAME_W)->text, u"A");

    const Store& store = org.stores.at(0);
    const Folder& subtree = store.root.folders.at(0);
    const Folder& inbox = subtree.folders.at(0);
    EXPECT_EQ(cfb::FindProperty(store.properties, PR_IPM_SUBTREE_ENTRYID)->bytes, subtree.entryId);
    EXPECT_EQ(cfb::FindProperty(store.properties, PR_IPM_SENTMAIL_ENTRYID)->bytes, subtree.folders.at(2).entryId);
    EXPECT_EQ(cfb::FindProperty(store.properties, PR_DISPLAY_NAME_W)->text, u"Mailbox - A");
    EXPECT_EQ(store.receiveFolder, inbox.entryId);
    EXPECT_EQ(cfb::FindProperty(inbox.properties, PR_IPM_APPOINTMENT_ENTRYID)->bytes, subtree.folders.at(1).entryId);
    EXPECT_EQ(cfb::FindProperty(store.root.properties, PR_IPM_APPOINTMENT_ENTRYID)->bytes, subtree.folders.at(1).entryId);
    EXPECT_EQ(cfb::FindProperty(inbox.properties, PR_CONTENT_COUNT)->integer, 2);
    ObjectLocation inboxLocation = *org.Locate(inbox.entryId);
    EXPECT_EQ(org.UnreadMessages(inboxLocation), 1u);
    EXPECT_EQ(cfb::FindProperty(inbox.properties, PR_ASSOC_CONTENT_COUNT)->integer, 1);
    EXPECT_EQ(cfb::FindProperty(inbox.properties, PR_SUBFOLDERS)->integer, 1);
    EXPECT_EQ(cfb::FindProperty(inbox.properties, PR_CONTAINER_CLASS_W)->text, u"IPF.Note");
    EXPECT_EQ(cfb::FindProperty(inbox.properties, PR_PARENT_ENTRYID)->bytes, subtree.entryId);
    EXPECT_EQ(cfb::FindProperty(store.root.properties, PR_FOLDER_TYPE)->integer, 0);

    const cfb::MsgDocument first = orgtest::ReadOrFail(org, orgtest::MessageIn(0, {0, 0}, 0));
    const auto& message = first.message;
    EXPECT_EQ(cfb::FindProperty(message.properties, PR_MESSAGE_FLAGS)->integer, 0x11);
    EXPECT_EQ(cfb::FindProperty(message.properties, PR_PARENT_ENTRYID)->bytes, inbox.entryId);
    EXPECT_EQ(cfb::FindProperty(message.properties, PR_HASATTACH)->integer, 1);
    ASSERT_EQ(message.attachments.size(), 2u);
    EXPECT_EQ(cfb::FindProperty(message.attachments[0].properties, PR_ATTACH_METHOD)->integer, 1);
    EXPECT_EQ(cfb::FindProperty(message.attachments[0].properties, PR_ATTACH_DATA_BIN)->bytes, (std::vector<std::uint8_t>{'h', 'i'}));
    EXPECT_EQ(cfb::FindProperty(message.attachments[1].properties, PR_ATTACH_METHOD)->integer, 5);
    EXPECT_NE(cfb::FindProperty(message.attachments[1].properties, PR_ATTACH_DATA_OBJ), nullptr);
    EXPECT_NE(message.attachments[1].embedded, nullptr);
    EXPECT_EQ(message.attachments[1].number, 1u);
    const cfb::MsgDocument second = orgtest::ReadOrFail(org, orgtest::MessageIn(0, {0, 0}, 1));
    EXPECT_EQ(cfb::FindProperty(second.message.properties, PR_MESSAGE_FLAGS), nullptr);
    const cfb::MsgDocument hidden = orgtest::ReadOrFail(org, orgtest::MessageIn(0, {0, 0}, 0, true));
    EXPECT_EQ(cfb::FindProperty(hidden.message.properties, PR_MESSAGE_FLAGS)->integer, 0x40);
}

TEST(OrganisationReaderTest, EntryIdentifiersAreStableAndFound)
{
    const std::string text = R"({"gal": [)" + kUser + R"(], "mailboxes": [{"user": "a", "folders": [
        {"name": "Inbox", "messages": [{"id": "m"}, {}], "associated": [{}], "folders": [{"name": "Sub", "messages": [{}]}]}]}],
        "publicFolders": {"folders": [{"name": "News", "messages": [{}]}]}})";
    Loaded first = Load(text);
    Loaded second = Load(text);
    ASSERT_EQ(first.status, S_OK) << first.error;
    const Organisation& org = first.organisation;
    const Folder& inbox = org.stores.at(0).root.folders.at(0).folders.at(0);
    const Folder& secondInbox = second.organisation.stores.at(0).root.folders.at(0).folders.at(0);
    EXPECT_EQ(inbox.entryId, secondInbox.entryId);
    EntryId firstMessage = org.MessageEntryId(orgtest::MessageIn(0, {0, 0}, 0));
    EXPECT_EQ(firstMessage, second.organisation.MessageEntryId(orgtest::MessageIn(0, {0, 0}, 0)));
    EXPECT_EQ(inbox.messages.at(1).key, "#1");

    // Messages are found by their identifiers, and only by exactly those bytes.
    for (const ObjectLocation& message : {orgtest::MessageIn(0, {0, 0}, 0, true), orgtest::MessageIn(0, {0, 0, 0}, 0),
                                          orgtest::MessageIn(1, {0, 0}, 0)}) {
        auto location = org.Locate(org.MessageEntryId(message));
        ASSERT_TRUE(location.has_value());
        EXPECT_EQ(org.MessageAt(*location), org.MessageAt(message));
        EXPECT_EQ(location->storeIndex, message.storeIndex);
    }
    EntryId flagged = firstMessage;
    flagged[0] = 1;
    EXPECT_FALSE(org.Locate(flagged).has_value());
    EntryId elsewhere = firstMessage;
    elsewhere[67] ^= 1;  // the last byte of the message's counter: a message nobody has
    EXPECT_FALSE(org.Locate(elsewhere).has_value());

    auto location = org.Locate(inbox.entryId);
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(org.FolderAt(*location), &inbox);

    // Identifiers built elsewhere: another letter case in the DN, another server name.
    location = org.Locate(MakeAddressBookEntryId(DT_MAILUSER, "/O=X/CN=A"));
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->galIndex, 0u);
    location = org.Locate(MakeStoreEntryId(StoreKind::Mailbox, "ELSEWHERE", "/o=x/cn=A"));
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->kind, EntryIdKind::Store);
    EXPECT_EQ(location->storeIndex, 0u);
    location = org.Locate(org.galEntryId);
    ASSERT_TRUE(location.has_value());
    EXPECT_EQ(location->galIndex, static_cast<std::size_t>(-1));
    EXPECT_FALSE(org.Locate(MakeAddressBookEntryId(0, "/o=X/cn=nobody")).has_value());
    EXPECT_FALSE(org.Locate(std::vector<std::uint8_t>{1, 2, 3}).has_value());
}

TEST(OrganisationReaderTest, FileReferencesNeedABaseDirectoryAndARegularFile)
{
    const std::string prefix = "org.json: mailboxes[0].folders[0].messages[0]";
    struct Case {
        std::string text;
        std::optional<std::string> base;
        std::string message;
    };
    const std::vector<Case> cases = {
        {WithMessages(R"("a.msg")"), std::nullopt, prefix + ": this organisation text cannot refer to files"},
        {WithMessages(R"({"attachments": [{"data": {"file": "/etc/hostname"}}]})"), std::nullopt,
         prefix + ".attachments[0].data.file: this organisation text cannot refer to files"},
        {WithMessages(R"({"attachments": [{"data": {"file": "/dev/null"}}]})"), "",
         prefix + ".attachments[0].data.file: cannot read /dev/null: not a regular file"},
    };
    for (const auto& c : cases) {
        Loaded loaded = Load(c.text, c.base);
        ASSERT_EQ(loaded.status, S_OK) << loaded.error;
        Failure failure = ReadFirstMessage(loaded.organisation);
        EXPECT_EQ(failure.status, MAPI_E_BAD_VALUE) << c.text;
        EXPECT_EQ(failure.error, c.message);
    }
}

TEST(OrganisationReaderTest, FileReferencesAreRelativeToTheOrganisationFile)
{
    testsupport::TemporaryDirectory directory;
    std::filesystem::create_directories(directory / "data");
    std::ofstream(directory / "data" / "blob.bin", std::ios::binary) << "\x01\x02";
    std::ofstream(directory / "org.json") << WithMessages(R"({"attachments": [{"data": {"file": "data/blob.bin"}}]})");
    Organisation organisation;
    std::string error;
    ASSERT_EQ(ReadOrganisationFile((directory / "org.json").string(), organisation, error), S_OK) << error;
    const cfb::MsgDocument document = FirstMessage(organisation);
    const auto& attachment = document.message.attachments.at(0);
    EXPECT_EQ(cfb::FindProperty(attachment.properties, 0x37010102)->bytes, (std::vector<std::uint8_t>{1, 2}));

    std::string missing = (directory / "absent.json").string();
    EXPECT_EQ(ReadOrganisationFile(missing, organisation, error), HResultFromErrno(ENOENT));
    EXPECT_EQ(error, missing + ": cannot open the file: No such file or directory");
}

// The files a message is made from are read each time the message is: what is gone after the logon
// fails that message with the file's name, and what comes back is read again.
TEST(OrganisationReaderTest, MessagesReadTheirFilesWhenAskedFor)
{
    testsupport::TemporaryDirectory directory;
    std::filesystem::create_directories(directory / "mail");
    auto writeFiles = [&] {
        cfb::MsgDocument document;
        document.message.properties.push_back(TextProperty(0x0037001F, u"From the file"));
        std::string error;
        ASSERT_EQ(cfb::WriteMsgFile((directory / "mail" / "a.msg").string(), document, error), S_OK) << error;
        std::ofstream(directory / "blob.bin", std::ios::binary) << "\x07";
    };
    writeFiles();
    std::ofstream(directory / "org.json") << WithMessages(R"({"msg": "mail/a.msg", "properties": {"PR_IMPORTANCE": 2}},
        {"attachments": [{"data": {"file": "blob.bin"}}]})");
    Organisation organisation;
    std::string error;
    ASSERT_EQ(ReadOrganisationFile((directory / "org.json").string(), organisation, error), S_OK) << error;
    std::filesystem::remove(directory / "mail" / "a.msg");
    std::filesystem::remove(directory / "blob.bin");

    const std::string prefix = (directory / "org.json").string() + ": mailboxes[0].folders[0].messages[";
    struct Case {
        std::size_t message;
        std::string error;
    } cases[] = {
        {0, prefix + "0].msg: " + directory.Path() + "/mail/a.msg: cannot be read (No such file or directory)"},
        {1, prefix + "1].attachments[0].data.file: cannot read " + directory.Path() + "/blob.bin: No such file or directory"},
    };
    for (const Case& c : cases) {
        cfb::MsgDocument document;
        EXPECT_EQ(organisation.ReadMessage(orgtest::MessageIn(0, {0, 0}, c.message), document, error), HResultFromErrno(ENOENT));
        EXPECT_EQ(error, c.error);
        EXPECT_TRUE(document.message.properties.empty());
    }
    writeFiles();
    cfb::MsgDocument overlay = orgtest::ReadOrFail(organisation, orgtest::MessageIn(0, {0, 0}, 0));
    EXPECT_EQ(cfb::FindProperty(overlay.message.properties, 0x0037001F)->text, u"From the file");
    EXPECT_EQ(cfb::FindProperty(overlay.message.properties, PR_IMPORTANCE)->integer, 2);
    cfb::MsgDocument attached = orgtest::ReadOrFail(organisation, orgtest::MessageIn(0, {0, 0}, 1));
    EXPECT_EQ(cfb::FindProperty(attached.message.attachments.at(0).properties, 0x37010102)->bytes, std::vector<std::uint8_t>{7});
}

} // namespace
