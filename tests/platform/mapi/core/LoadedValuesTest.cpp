// Tests of how a message's stored values come into the runtime: a property stored in both string
// forms is one property, in the place of the first form and with the value of the last, and the
// values stay readable as long as anything holds the message.
#include "platform/cfb/MsgWriter.h"
#include "tests/platform/mapi/core/MessageTestSupport.h"
#include "tests/support/TemporaryDirectory.h"

#include <gtest/gtest.h>

namespace {

using namespace mapitest;

platform::cfb::MsgProperty Property(ULONG tag, std::u16string text)
{
    platform::cfb::MsgProperty property;
    property.tag = tag;
    if (PROP_TYPE(tag) == PT_STRING8)
        property.bytes.assign(text.begin(), text.end());
    else
        property.text = std::move(text);
    return property;
}

class LoadedValuesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::cfb::MsgDocument document;
        document.message.properties = {Property(PR_SUBJECT_A, u"eight"), Property(PR_SUBJECT_W, u"wide"),
                                       Property(PR_BODY_W, u"body"), Property(PR_COMMENT_W, u"note")};
        std::string error;
        ASSERT_EQ(platform::cfb::WriteMsgFile(path_, document, error), S_OK) << error;
    }

    testsupport::TemporaryDirectory directory_;
    const std::string path_ = directory_.File("forms.msg");
};

TEST_F(LoadedValuesTest, BothFormsOfOnePropertyAreOneValueInTheFirstPlace)
{
    MapiPtr<IMessage> message = OpenMessage(path_);
    MapiBuffer<SPropTagArray> list;
    ASSERT_EQ(message->GetPropList(MAPI_UNICODE, list.put()), S_OK);
    std::vector<ULONG> stored;
    for (ULONG i = 0; i < list->cValues; ++i) {
        const ULONG id = PROP_ID(list->aulPropTag[i]);
        if (id == PROP_ID(PR_SUBJECT) || id == PROP_ID(PR_BODY) || id == PROP_ID(PR_COMMENT))
            stored.push_back(list->aulPropTag[i]);
    }
    EXPECT_EQ(stored, (std::vector<ULONG>{PR_SUBJECT_W, PR_BODY_W, PR_COMMENT_W}));
    EXPECT_EQ(Text(message.get(), PR_SUBJECT_W), "wide");
    EXPECT_EQ(Text(message.get(), PR_COMMENT_W), "note");
}

TEST_F(LoadedValuesTest, CopiedValuesOutliveTheMessageTheyCameFrom)
{
    MapiPtr<IMessage> message = OpenMessage(path_);
    MapiPtr<IMessage> copy = OpenMessage(path_, MAPI_MODIFY);
    SizedSPropTagArray(1, dropped) = {1, {PR_COMMENT_W}};
    ASSERT_EQ(copy->DeleteProps(reinterpret_cast<LPSPropTagArray>(&dropped), nullptr), S_OK);
    ASSERT_EQ(message->CopyTo(0, nullptr, nullptr, 0, nullptr, &IID_IMessage, copy.get(), 0, nullptr), S_OK);
    message.reset();
    EXPECT_EQ(Text(copy.get(), PR_BODY_W), "body");
    EXPECT_EQ(Text(copy.get(), PR_SUBJECT_W), "wide");
    EXPECT_EQ(Text(copy.get(), PR_COMMENT_W), "note");
}

} // namespace
