// The opened-message queue: what one thread pushes another pops in the same order, a closed queue
// ends the popping and takes nothing more, and a converted message goes back to the pushing side.
#include "ex2qln/convert/OpenedMessageQueue.h"

#include <gtest/gtest.h>

#include <QlnMapiExtras.h>
#include <mapitags.h>

#include <thread>
#include <vector>

#include "platform/cfb/MsgWriter.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

using ex2qln::convert::OpenedMessage;
using ex2qln::convert::OpenedMessageQueue;

class OpenedMessageQueueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::cfb::MsgDocument document;
        platform::cfb::MsgProperty subject;
        subject.tag = PR_SUBJECT_W;
        subject.text = u"Queued";
        document.message.properties = {subject};
        std::string error;
        path_ = temp_.File("queued.msg");
        ASSERT_EQ(platform::cfb::WriteMsgFile(path_, document, error), S_OK) << error;
    }

    MapiPtr<IMessage> Open() const
    {
        MapiPtr<IMessage> message;
        EXPECT_EQ(QlnOpenMsgFile(path_.c_str(), 0, message.put(), nullptr), S_OK);
        return message;
    }

    // The references `message` has besides those the test holds.
    static ULONG References(IMessage* message)
    {
        message->AddRef();
        return message->Release();
    }

    testsupport::TemporaryDirectory temp_;
    std::string path_;
};

TEST_F(OpenedMessageQueueTest, PopsWhatAnotherThreadPushesInItsOrder)
{
    constexpr ULONG kCount = 200;
    OpenedMessageQueue queue(4);
    std::thread pusher([&] {
        for (ULONG position = 1; position <= kCount; ++position) {
            // Every third step is a message that could not be opened.
            if (position % 3 == 0)
                queue.Push({{}, "Inbox", position, MAPI_E_NOT_FOUND, "gone"});
            else
                queue.Push({Open(), "Inbox", position, S_OK, {}});
        }
        queue.Close();
    });
    std::vector<ULONG> positions;
    for (OpenedMessage opened; queue.Pop(opened);) {
        positions.push_back(opened.position);
        EXPECT_EQ(!opened.message, opened.position % 3 == 0) << opened.position;
        EXPECT_EQ(opened.status, opened.message ? S_OK : MAPI_E_NOT_FOUND);
    }
    pusher.join();
    ASSERT_EQ(positions.size(), kCount);
    for (ULONG i = 0; i < kCount; ++i)
        EXPECT_EQ(positions[i], i + 1);
}

TEST_F(OpenedMessageQueueTest, AClosedQueueGivesWhatWaitsThenNothingAndTakesNothingMore)
{
    OpenedMessageQueue queue(4);
    queue.Push({{}, "A", 1, MAPI_E_NOT_FOUND, "first"});
    queue.Push({{}, "A", 2, MAPI_E_NOT_FOUND, "second"});
    queue.Close();
    MapiPtr<IMessage> late = Open();
    IMessage* lateMessage = late.get();
    lateMessage->AddRef();
    queue.Push({std::move(late), "A", 3, S_OK, {}});
    EXPECT_EQ(References(lateMessage), 1u) << "the closed queue kept the message";
    lateMessage->Release();

    OpenedMessage opened;
    ASSERT_TRUE(queue.Pop(opened));
    EXPECT_EQ(opened.reason, "first");
    ASSERT_TRUE(queue.Pop(opened));
    EXPECT_EQ(opened.reason, "second");
    EXPECT_FALSE(queue.Pop(opened));
}

TEST_F(OpenedMessageQueueTest, AConvertedMessageIsLetGoByTheNextPush)
{
    OpenedMessageQueue queue(4);
    MapiPtr<IMessage> first = Open();
    IMessage* firstMessage = first.get();
    firstMessage->AddRef();
    queue.Push({std::move(first), "A", 1, S_OK, {}});
    queue.Push({Open(), "A", 2, S_OK, {}});

    OpenedMessage opened;
    ASSERT_TRUE(queue.Pop(opened));
    ASSERT_EQ(opened.message.get(), firstMessage);
    ASSERT_TRUE(queue.Pop(opened));
    EXPECT_EQ(opened.position, 2u);
    // Converted, the first message waits for the pushing side, which lets it go as it pushes.
    EXPECT_EQ(References(firstMessage), 2u);
    queue.Push({Open(), "A", 3, S_OK, {}});
    EXPECT_EQ(References(firstMessage), 1u);
    firstMessage->Release();
}

} // namespace
