// The in-memory property object: string forms, errors for missing values, changes and access.
#include "tests/platform/mapi/core/PropValueMakers.h"

#include <gtest/gtest.h>

#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <string>
#include <vector>

namespace {

using namespace mapitest;

class PropDataTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                              props_.put()),
                  S_OK);
    }

    void Set(std::vector<SPropValue> values)
    {
        LPSPropProblemArray problems = nullptr;
        ASSERT_EQ(props_->SetProps(static_cast<ULONG>(values.size()), values.data(), &problems), S_OK);
        EXPECT_EQ(problems, nullptr);
    }

    MapiPtr<IPropData> props_;
};

TEST_F(PropDataTest, GetPropsGivesEachValueInTheFormAskedFor)
{
    char16_t accounts[2][6] = {u"anna", u"bj\u00F6rn"};
    LPWSTR accountList[2] = {accounts[0], accounts[1]};
    SPropValue multi{};
    multi.ulPropTag = PROP_TAG(PT_MV_UNICODE, 0x6010);
    multi.Value.MVszW = {2, accountList};
    Set({AnsiValue(PR_SUBJECT_A, "Quarterly report"), UnicodeValue(PR_DISPLAY_NAME_W, u"Gr\u00FC\u00DFe"),
         LongValue(PR_MESSAGE_FLAGS, 42), multi});

    SizedSPropTagArray(7, tags) = {7,
                                   {PR_SUBJECT_W, PR_DISPLAY_NAME_A, PROP_TAG(PT_UNSPECIFIED, 0x0E07), PR_BODY_W,
                                    PROP_TAG(PT_STRING8, 0x0E07), PROP_TAG(PT_MV_STRING8, 0x6010), PR_SUBJECT_A}};
    ULONG count = 0;
    MapiBuffer<SPropValue> values;
    ASSERT_EQ(props_->GetProps(reinterpret_cast<LPSPropTagArray>(&tags), 0, &count, values.put()),
              MAPI_W_ERRORS_RETURNED);
    ASSERT_EQ(count, 7u);
    EXPECT_EQ(values[0].ulPropTag, PR_SUBJECT_W);
    EXPECT_EQ(std::u16string(values[0].Value.lpszW), u"Quarterly report");
    EXPECT_EQ(values[1].ulPropTag, PR_DISPLAY_NAME_A);
    EXPECT_STREQ(values[1].Value.lpszA, "Gr\u00FC\u00DFe");
    EXPECT_EQ(values[2].ulPropTag, PR_MESSAGE_FLAGS);  // PT_UNSPECIFIED: the stored type
    EXPECT_EQ(values[2].Value.l, 42);
    // A missing property and a type the value cannot take come back as errors.
    EXPECT_EQ(values[3].ulPropTag, PROP_TAG(PT_ERROR, 0x1000));
    EXPECT_EQ(values[3].Value.err, MAPI_E_NOT_FOUND);
    EXPECT_EQ(values[4].ulPropTag, PROP_TAG(PT_ERROR, 0x0E07));
    EXPECT_EQ(values[4].Value.err, MAPI_E_NOT_FOUND);
    ASSERT_EQ(values[5].ulPropTag, PROP_TAG(PT_MV_STRING8, 0x6010));
    ASSERT_EQ(values[5].Value.MVszA.cValues, 2u);
    EXPECT_STREQ(values[5].Value.MVszA.lppszA[1], "bj\u00F6rn");
    EXPECT_STREQ(values[6].Value.lpszA, "Quarterly report");
}

TEST_F(PropDataTest, AllPropertiesComeInTheStringFormOfTheFlags)
{
    Set({AnsiValue(PR_SUBJECT_A, "S"), UnicodeValue(PR_BODY_W, u"B"), LongValue(PR_IMPORTANCE, 2)});
    for (ULONG flags : {0u, MAPI_UNICODE}) {
        ULONG count = 0;
        MapiBuffer<SPropValue> values;
        ASSERT_EQ(props_->GetProps(nullptr, flags, &count, values.put()), S_OK);
        ASSERT_EQ(count, 3u);
        ULONG stringType = flags == MAPI_UNICODE ? PT_UNICODE : PT_STRING8;
        EXPECT_EQ(values[0].ulPropTag, PROP_TAG(stringType, 0x0037));
        EXPECT_EQ(values[1].ulPropTag, PROP_TAG(stringType, 0x1000));
        EXPECT_EQ(values[2].ulPropTag, PR_IMPORTANCE);

        MapiBuffer<SPropTagArray> list;
        ASSERT_EQ(props_->GetPropList(flags, list.put()), S_OK);
        ASSERT_EQ(list->cValues, 3u);
        EXPECT_EQ(list->aulPropTag[1], PROP_TAG(stringType, 0x1000));
    }
}

TEST_F(PropDataTest, SetPropsReplacesByIdentifierAndReportsWhatItCannotKeep)
{
    Set({AnsiValue(PR_SUBJECT_A, "old")});
    SPropValue values[4] = {UnicodeValue(PR_SUBJECT_W, u"new"), LongValue(PR_NULL, 0), LongValue(PR_ATTACH_DATA_OBJ, 0),
                            LongValue(PROP_TAG(PT_ERROR, 0x0E07), MAPI_E_NOT_FOUND)};
    MapiBuffer<SPropProblemArray> problems;
    ASSERT_EQ(props_->SetProps(4, values, problems.put()), S_OK);
    ASSERT_TRUE(problems);
    ASSERT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].ulIndex, 2u);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_INVALID_TYPE);

    MapiBuffer<SPropTagArray> list;
    ASSERT_EQ(props_->GetPropList(MAPI_UNICODE, list.put()), S_OK);
    ASSERT_EQ(list->cValues, 1u);
    EXPECT_EQ(list->aulPropTag[0], PR_SUBJECT_W);
    MapiBuffer<SPropValue> subject;
    ASSERT_EQ(HrGetOneProp(props_.get(), PR_SUBJECT_A, subject.put()), S_OK);
    EXPECT_STREQ(subject->Value.lpszA, "new");
}

TEST_F(PropDataTest, DeletePropsRemovesAndReportsMissingOnes)
{
    Set({LongValue(PR_IMPORTANCE, 1), LongValue(PR_PRIORITY, 0)});
    SizedSPropTagArray(2, tags) = {2, {PR_IMPORTANCE, PR_SENSITIVITY}};
    MapiBuffer<SPropProblemArray> problems;
    ASSERT_EQ(props_->DeleteProps(reinterpret_cast<LPSPropTagArray>(&tags), problems.put()), S_OK);
    ASSERT_TRUE(problems);
    ASSERT_EQ(problems->cProblem, 1u);
    EXPECT_EQ(problems->aProblem[0].ulPropTag, PR_SENSITIVITY);
    EXPECT_EQ(problems->aProblem[0].scode, MAPI_E_NOT_FOUND);
    EXPECT_FALSE(FPropExists(props_.get(), PR_IMPORTANCE));
    EXPECT_TRUE(FPropExists(props_.get(), PR_PRIORITY));
}

TEST_F(PropDataTest, ReadOnlyPropertiesAndObjectsRefuseChanges)
{
    Set({LongValue(PR_IMPORTANCE, 1), LongValue(PR_PRIORITY, 0)});
    SizedSPropTagArray(1, tags) = {1, {PR_IMPORTANCE}};
    ULONG access[] = {IPROP_READONLY | IPROP_CLEAN};
    ASSERT_EQ(props_->HrSetPropAccess(reinterpret_cast<LPSPropTagArray>(&tags), access), S_OK);
    SPropValue change = LongValue(PR_IMPORTANCE, 2);
    EXPECT_EQ(HrSetOneProp(props_.get(), &change), MAPI_E_NO_ACCESS);

    MapiBuffer<SPropTagArray> accessTags;
    MapiBuffer<ULONG> accessValues;
    ASSERT_EQ(props_->HrGetPropAccess(accessTags.put(), accessValues.put()), S_OK);
    ASSERT_EQ(accessTags->cValues, 2u);
    EXPECT_EQ(accessValues[0], IPROP_READONLY | IPROP_CLEAN);
    EXPECT_EQ(accessValues[1], IPROP_READWRITE | IPROP_DIRTY);

    ASSERT_EQ(props_->HrSetObjAccess(IPROP_READONLY), S_OK);
    SPropValue other = LongValue(PR_PRIORITY, 1);
    EXPECT_EQ(props_->SetProps(1, &other, nullptr), MAPI_E_NO_ACCESS);
    EXPECT_EQ(props_->HrSetObjAccess(0), MAPI_E_INVALID_PARAMETER);
}

TEST_F(PropDataTest, OneValueHelpers)
{
    LPSPropValue value = nullptr;
    EXPECT_EQ(HrGetOneProp(props_.get(), PR_BODY_A, &value), MAPI_E_NOT_FOUND);
    EXPECT_EQ(value, nullptr);
    SPropValue host = AnsiValue(0x6608001E, "mail.example.org");
    ASSERT_EQ(HrSetOneProp(props_.get(), &host), S_OK);
    EXPECT_TRUE(FPropExists(props_.get(), 0x6608001E));
    EXPECT_TRUE(FPropExists(props_.get(), PROP_TAG(PT_UNSPECIFIED, 0x6608)));
    EXPECT_FALSE(FPropExists(props_.get(), PROP_TAG(PT_LONG, 0x6608)));
}

TEST(CreateIProp, RefusesOtherInterfacesAndMissingAllocators)
{
    LPPROPDATA props = nullptr;
    EXPECT_EQ(CreateIProp(&IID_IMessage, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, &props),
              MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_EQ(CreateIProp(nullptr, nullptr, MAPIAllocateMore, MAPIFreeBuffer, nullptr, &props),
              MAPI_E_INVALID_PARAMETER);
    EXPECT_EQ(props, nullptr);
}

TEST(CreateIProp, AnswersForItsInterfaces)
{
    MapiPtr<IPropData> props;
    ASSERT_EQ(CreateIProp(nullptr, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, props.put()), S_OK);
    MapiPtr<IMAPIProp> asProp;
    EXPECT_EQ(props->QueryInterface(IID_IMAPIProp, asProp.put_void()), S_OK);
    EXPECT_EQ(static_cast<IMAPIProp*>(props.get()), asProp.get());
    MapiPtr<IMessage> asMessage;
    EXPECT_EQ(props->QueryInterface(IID_IMessage, asMessage.put_void()), MAPI_E_INTERFACE_NOT_SUPPORTED);
    EXPECT_FALSE(asMessage);
}

} // namespace
