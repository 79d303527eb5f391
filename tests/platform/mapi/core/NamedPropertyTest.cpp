// The named-property map behind a message: ids from 0x8000 in order of creation, MAPI_CREATE,
// the well-known sets, case-insensitive Internet header names, GetNamesFromIDs and its filters,
// one map shared by a message and its embedded messages.
#include "tests/platform/mapi/core/MessageTestSupport.h"

#include <gtest/gtest.h>

namespace {

using namespace mapitest;

// A .msg with no named properties of its own (so that ids are handed out from 0x8000), and one
// with embedded messages.
constexpr char kPlain[] = "Sicos1977-MSGReader/EmailWithAttachments.msg";
constexpr char kNested[] = "HiraokaHyperTools-msgreader/msgInMsgInMsg.msg";

struct Name {
    GUID set;
    bool isString;
    LONG lid;
    std::u16string name;
};

class NamedPropertyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!HaveSamples())
            GTEST_SKIP() << "the shared Outlook samples are not at " << SamplesDirectory();
    }

    // GetIDsFromNames for the names; the tags and the call's status.
    static std::vector<ULONG> Ids(IMAPIProp* object, std::vector<Name> names, ULONG flags, HRESULT& status)
    {
        std::vector<MAPINAMEID> entries(names.size());
        std::vector<LPMAPINAMEID> pointers;
        for (std::size_t i = 0; i < names.size(); ++i) {
            entries[i].lpguid = &names[i].set;
            entries[i].ulKind = names[i].isString ? MNID_STRING : MNID_ID;
            if (names[i].isString)
                entries[i].Kind.lpwstrName = names[i].name.data();
            else
                entries[i].Kind.lID = names[i].lid;
            pointers.push_back(&entries[i]);
        }
        MapiBuffer<SPropTagArray> tags;
        status = object->GetIDsFromNames(static_cast<ULONG>(names.size()), pointers.data(), flags, tags.put());
        if (FAILED(status))
            return {};
        return std::vector<ULONG>(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    }

    static ULONG KnownCount(IMAPIProp* object)
    {
        MapiBuffer<SPropTagArray> tags;
        EXPECT_EQ(object->GetIDsFromNames(0, nullptr, 0, tags.put()), S_OK);
        return tags ? tags->cValues : 0;
    }
};

Name Lid(const GUID& set, LONG lid) { return {set, false, lid, {}}; }
Name String(const GUID& set, std::u16string name) { return {set, true, 0, std::move(name)}; }

TEST_F(NamedPropertyTest, CreatesIdsFrom0x8000InOrderAndFindsThemAgain)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    ASSERT_EQ(KnownCount(message.get()), 0u);
    const std::vector<Name> names = {
        Lid(PSETID_Appointment, 0x8208),     Lid(PSETID_Task, 0x8101),         Lid(PSETID_Address, 0x8083),
        Lid(PSETID_Common, 0x8530),          String(PS_PUBLIC_STRINGS, u"Keywords"), Lid(PSETID_Meeting, 0x0003),
        String(PS_INTERNET_HEADERS, u"X-Spam-Flag"), Lid(PSETID_Note, 0x8B00), Lid(PSETID_Log, 0x8700),
    };
    HRESULT status = S_OK;
    std::vector<ULONG> created = Ids(message.get(), names, MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);
    ASSERT_EQ(created.size(), names.size());
    for (std::size_t i = 0; i < created.size(); ++i)
        EXPECT_EQ(created[i], PROP_TAG(PT_UNSPECIFIED, 0x8000 + i)) << i;

    // The same names again, in another order and without MAPI_CREATE, give the same ids.
    std::vector<Name> reversed(names.rbegin(), names.rend());
    std::vector<ULONG> found = Ids(message.get(), reversed, 0, status);
    ASSERT_EQ(status, S_OK);
    for (std::size_t i = 0; i < found.size(); ++i)
        EXPECT_EQ(found[i], created[created.size() - 1 - i]) << i;
    EXPECT_EQ(KnownCount(message.get()), names.size());
}

TEST_F(NamedPropertyTest, UnknownNamesWithoutCreateAreErrors)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    HRESULT status = S_OK;
    std::vector<ULONG> created = Ids(message.get(), {Lid(PSETID_Common, 0x8514)}, MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);
    std::vector<ULONG> tags =
        Ids(message.get(), {Lid(PSETID_Common, 0x8514), Lid(PSETID_Common, 0x8515), String(PS_PUBLIC_STRINGS, u"Nope")}, 0,
            status);
    EXPECT_EQ(status, MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(tags.size(), 3u);
    EXPECT_EQ(tags[0], created[0]);
    EXPECT_EQ(tags[1], PROP_TAG(PT_ERROR, 0));
    EXPECT_EQ(tags[2], PROP_TAG(PT_ERROR, 0));
    EXPECT_EQ(KnownCount(message.get()), 1u);
}

// The same question asked again, message after message, is answered as the map stands then.
TEST_F(NamedPropertyTest, AnAnswerAskedAgainFollowsNamesAddedSince)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    const std::vector<Name> asked = {Lid(PSETID_Common, 0x8514), String(PS_INTERNET_HEADERS, u"X-Spam-Flag")};
    HRESULT status = S_OK;
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Ids(message.get(), asked, 0, status), (std::vector<ULONG>{PROP_TAG(PT_ERROR, 0), PROP_TAG(PT_ERROR, 0)}));
        EXPECT_EQ(status, MAPI_W_ERRORS_RETURNED);
    }
    std::vector<ULONG> created = Ids(message.get(), {String(PS_INTERNET_HEADERS, u"x-spam-flag")}, MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);
    for (int round = 0; round < 2; ++round) {
        EXPECT_EQ(Ids(message.get(), asked, 0, status), (std::vector<ULONG>{PROP_TAG(PT_ERROR, 0), created[0]}));
        EXPECT_EQ(status, MAPI_W_ERRORS_RETURNED);
    }
    created = Ids(message.get(), asked, MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);
    EXPECT_EQ(Ids(message.get(), asked, 0, status), created);
    EXPECT_EQ(status, S_OK);
    EXPECT_EQ(KnownCount(message.get()), 2u);
}

TEST_F(NamedPropertyTest, NameRulesOfTheWellKnownSets)
{
    struct Case {
        const char* what;
        Name first;
        Name second;
        bool same;
    };
    const std::vector<Case> cases = {
        {"Internet header names ignore case", String(PS_INTERNET_HEADERS, u"X-Spam-Flag"),
         String(PS_INTERNET_HEADERS, u"x-spam-FLAG"), true},
        {"other string names keep case", String(PS_PUBLIC_STRINGS, u"Keywords"), String(PS_PUBLIC_STRINGS, u"keywords"), false},
        {"a name belongs to its set", String(PS_PUBLIC_STRINGS, u"Received"), String(PS_INTERNET_HEADERS, u"Received"), false},
        {"a number belongs to its set", Lid(PSETID_Common, 0x8503), Lid(PSETID_Task, 0x8503), false},
        {"number and string differ", Lid(PS_PUBLIC_STRINGS, 0x8503), String(PS_PUBLIC_STRINGS, u"34051"), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
        ASSERT_TRUE(message);
        HRESULT status = S_OK;
        std::vector<ULONG> tags = Ids(message.get(), {c.first, c.second}, MAPI_CREATE, status);
        ASSERT_EQ(status, S_OK);
        EXPECT_EQ(tags[0] == tags[1], c.same);
    }
}

TEST_F(NamedPropertyTest, PsMapiNamesAreTheIdsThemselves)
{
    MapiPtr<IMessage> message = OpenSample(kPlain);
    ASSERT_TRUE(message);
    HRESULT status = S_OK;
    std::vector<ULONG> tags = Ids(message.get(), {Lid(PS_MAPI, 0x0037), Lid(PS_MAPI, 0x9000)}, 0, status);
    EXPECT_EQ(status, MAPI_W_ERRORS_RETURNED);
    EXPECT_EQ(tags[0], PROP_TAG(PT_UNSPECIFIED, 0x0037));
    EXPECT_EQ(tags[1], PROP_TAG(PT_ERROR, 0));
    EXPECT_EQ(Text(message.get(), CHANGE_PROP_TYPE(tags[0], PT_UNICODE)), "This is the subject");

    MapiBuffer<SPropTagArray> asked;
    ASSERT_EQ(MAPIAllocateBuffer(CbNewSPropTagArray(1), asked.put_void()), S_OK);
    asked->cValues = 1;
    asked->aulPropTag[0] = PR_SUBJECT_W;
    LPSPropTagArray pointer = asked.get();
    ULONG count = 0;
    MapiBuffer<LPMAPINAMEID> names;
    ASSERT_EQ(message->GetNamesFromIDs(&pointer, nullptr, 0, &count, names.put()), S_OK);
    ASSERT_EQ(count, 1u);
    EXPECT_EQ(*names[0]->lpguid, PS_MAPI);
    EXPECT_EQ(names[0]->Kind.lID, 0x0037);
}

TEST_F(NamedPropertyTest, CreatingNeedsAMessageOpenedForChanges)
{
    MapiPtr<IMessage> message = OpenSample(kPlain);
    ASSERT_TRUE(message);
    HRESULT status = S_OK;
    Ids(message.get(), {Lid(PSETID_Common, 0x8530)}, MAPI_CREATE, status);
    EXPECT_EQ(status, MAPI_E_NO_ACCESS);
    EXPECT_EQ(KnownCount(message.get()), 0u);
}

TEST_F(NamedPropertyTest, BadNamesAreRefused)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    MAPINAMEID noSet{nullptr, MNID_ID, {}};
    GUID set = PS_PUBLIC_STRINGS;
    MAPINAMEID noText{&set, MNID_STRING, {}};
    MAPINAMEID badKind{&set, 7, {}};
    for (MAPINAMEID* name : {&noSet, &noText, &badKind}) {
        LPMAPINAMEID names[] = {name};
        MapiBuffer<SPropTagArray> tags;
        EXPECT_EQ(message->GetIDsFromNames(1, names, MAPI_CREATE, tags.put()), MAPI_E_INVALID_PARAMETER);
        EXPECT_FALSE(tags);
    }
    LPMAPINAMEID none = nullptr;
    MapiBuffer<SPropTagArray> tags;
    EXPECT_EQ(message->GetIDsFromNames(1, &none, 0, tags.put()), MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(KnownCount(message.get()), 0u);
}

TEST_F(NamedPropertyTest, GetNamesFromIDsListsFiltersAndReportsUnknownIds)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    HRESULT status = S_OK;
    std::vector<ULONG> created = Ids(message.get(),
                                     {Lid(PSETID_Common, 0x8530), String(PS_PUBLIC_STRINGS, u"Keywords"),
                                      Lid(PSETID_Task, 0x8101), String(PS_INTERNET_HEADERS, u"X-Mailer")},
                                     MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);

    struct Case {
        const char* what;
        const GUID* set;
        ULONG flags;
        std::vector<std::size_t> expected;  // indices into `created`
    };
    GUID common = PSETID_Common;
    const std::vector<Case> cases = {
        {"all", nullptr, 0, {0, 1, 2, 3}},
        {"one set", &common, 0, {0}},
        {"no strings", nullptr, MAPI_NO_STRINGS, {0, 2}},
        {"no ids", nullptr, MAPI_NO_IDS, {1, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LPSPropTagArray tags = nullptr;
        ULONG count = 0;
        MapiBuffer<LPMAPINAMEID> names;
        ASSERT_EQ(message->GetNamesFromIDs(&tags, const_cast<LPGUID>(c.set), c.flags, &count, names.put()), S_OK);
        MapiBuffer<SPropTagArray> keep(tags);
        ASSERT_NE(tags, nullptr);
        ASSERT_EQ(count, c.expected.size());
        ASSERT_EQ(tags->cValues, count);
        for (std::size_t i = 0; i < count; ++i) {
            EXPECT_EQ(PROP_ID(tags->aulPropTag[i]), PROP_ID(created[c.expected[i]]));
            ASSERT_NE(names[i], nullptr);
        }
    }

    MapiBuffer<SPropTagArray> asked;
    ASSERT_EQ(MAPIAllocateBuffer(CbNewSPropTagArray(3), asked.put_void()), S_OK);
    asked->cValues = 3;
    asked->aulPropTag[0] = CHANGE_PROP_TYPE(created[1], PT_MV_UNICODE);
    asked->aulPropTag[1] = PROP_TAG(PT_LONG, 0xFFF0);
    asked->aulPropTag[2] = CHANGE_PROP_TYPE(created[3], PT_UNICODE);
    LPSPropTagArray pointer = asked.get();
    ULONG count = 0;
    MapiBuffer<LPMAPINAMEID> names;
    ASSERT_EQ(message->GetNamesFromIDs(&pointer, nullptr, 0, &count, names.put()), MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 3u);
    ASSERT_NE(names[0], nullptr);
    EXPECT_EQ(*names[0]->lpguid, PS_PUBLIC_STRINGS);
    EXPECT_EQ(std::u16string(names[0]->Kind.lpwstrName), u"Keywords");
    EXPECT_EQ(names[1], nullptr);
    ASSERT_NE(names[2], nullptr);
    EXPECT_EQ(std::u16string(names[2]->Kind.lpwstrName), u"X-Mailer");
}

TEST_F(NamedPropertyTest, IdsRunOutAt0xFFFE)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    constexpr ULONG kAvailable = 0xFFFE - 0x8000 + 1;
    std::vector<Name> names;
    for (ULONG i = 0; i < kAvailable + 2; ++i)
        names.push_back(Lid(PS_PUBLIC_STRINGS, static_cast<LONG>(i)));
    HRESULT status = S_OK;
    std::vector<ULONG> tags = Ids(message.get(), names, MAPI_CREATE, status);
    EXPECT_EQ(status, MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(tags.size(), names.size());
    EXPECT_EQ(tags[kAvailable - 1], PROP_TAG(PT_UNSPECIFIED, 0xFFFE));
    EXPECT_EQ(tags[kAvailable], PROP_TAG(PT_ERROR, 0));
    EXPECT_EQ(tags[kAvailable + 1], PROP_TAG(PT_ERROR, 0));
}

TEST_F(NamedPropertyTest, SetPropsTakesOnlyIdsTheMapHandedOut)
{
    MapiPtr<IMessage> message = OpenSample(kPlain, MAPI_MODIFY);
    ASSERT_TRUE(message);
    HRESULT status = S_OK;
    std::vector<ULONG> tags = Ids(message.get(), {String(PS_PUBLIC_STRINGS, u"CustomData")}, MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);
    SPropValue values[2]{};
    values[0].ulPropTag = CHANGE_PROP_TYPE(tags[0], PT_UNICODE);
    values[0].Value.lpszW = const_cast<LPWSTR>(u"kept");
    values[1].ulPropTag = PROP_TAG(PT_UNICODE, 0x9ABC);
    values[1].Value.lpszW = const_cast<LPWSTR>(u"nameless");
    MapiBuffer<SPropProblemArray> problems;
    ASSERT_EQ(message->SetProps(2, values, problems.put()), S_OK);
    ASSERT_TRUE(problems);
    ASSERT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].ulIndex, 1u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_UNEXPECTED_ID);
    EXPECT_EQ(Text(message.get(), CHANGE_PROP_TYPE(tags[0], PT_STRING8)), "kept");
}

TEST_F(NamedPropertyTest, EmbeddedMessagesShareTheMapOfTheirMessage)
{
    MapiPtr<IMessage> outer = OpenSample(kNested, MAPI_MODIFY);
    ASSERT_TRUE(outer);
    MapiPtr<IMessage> inner = Embedded(outer.get(), 0, MAPI_MODIFY);
    ASSERT_TRUE(inner);
    ULONG known = KnownCount(outer.get());
    EXPECT_GT(known, 0u);
    EXPECT_EQ(KnownCount(inner.get()), known);
    HRESULT status = S_OK;
    std::vector<ULONG> created = Ids(inner.get(), {String(PS_PUBLIC_STRINGS, u"Made inside")}, MAPI_CREATE, status);
    ASSERT_EQ(status, S_OK);
    EXPECT_EQ(created[0], PROP_TAG(PT_UNSPECIFIED, 0x8000 + known));
    std::vector<ULONG> seen = Ids(outer.get(), {String(PS_PUBLIC_STRINGS, u"Made inside")}, 0, status);
    ASSERT_EQ(status, S_OK);
    EXPECT_EQ(seen[0], created[0]);
}

} // namespace
