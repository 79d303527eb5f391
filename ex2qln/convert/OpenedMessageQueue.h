// The messages of a walk handed from the thread that opens them to the thread that converts them,
// in the order they were opened, at most a few ahead.
#pragma once

#include <mapidefs.h>

#include <MapiPtr.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace ex2qln::convert {

// One step of the walk: a message opened, or one that could not be (no message, its status and why).
struct OpenedMessage {
    MapiPtr<IMessage> message;
    std::string folder;
    ULONG position = 0;
    HRESULT status = S_OK;
    std::string reason;
};

class OpenedMessageQueue {
public:
    explicit OpenedMessageQueue(std::size_t capacity) : capacity_(capacity) {}

    // Waits while `capacity` messages are waiting already; once the queue is closed, the message
    // is let go at once.
    void Push(OpenedMessage opened);
    // No more messages will come, or none more are wanted.
    void Close();
    // The next message, waiting for it; false once the queue is closed and empty. The message
    // `opened` held before goes back to the opening thread, which lets it go: memory is freed
    // where it was taken, not fought over by the two threads.
    bool Pop(OpenedMessage& opened);

private:
    const std::size_t capacity_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<OpenedMessage> waiting_;
    std::vector<MapiPtr<IMessage>> converted_;
    bool closed_ = false;
};

} // namespace ex2qln::convert
