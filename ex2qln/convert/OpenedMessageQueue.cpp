// A bounded queue between the opening and the converting thread.
#include "ex2qln/convert/OpenedMessageQueue.h"

namespace ex2qln::convert {

void OpenedMessageQueue::Push(OpenedMessage opened)
{
    std::vector<MapiPtr<IMessage>> converted;
    std::unique_lock lock(mutex_);
    converted.swap(converted_);
    // Once full, the opening thread waits until half have gone, so that the two threads do not
    // wake each other for every message.
    if (waiting_.size() >= capacity_)
        changed_.wait(lock, [&] { return waiting_.size() <= capacity_ / 2 || closed_; });
    if (closed_)
        return;
    waiting_.push_back(std::move(opened));
    if (waiting_.size() == 1)
        changed_.notify_all();
}

void OpenedMessageQueue::Close()
{
    std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
}

bool OpenedMessageQueue::Pop(OpenedMessage& opened)
{
    std::unique_lock lock(mutex_);
    if (opened.message && !closed_)
        converted_.push_back(std::move(opened.message));
    changed_.wait(lock, [&] { return !waiting_.empty() || closed_; });
    if (waiting_.empty())
        return false;
    opened = std::move(waiting_.front());
    waiting_.pop_front();
    if (waiting_.size() == capacity_ / 2)
        changed_.notify_all();
    return true;
}

} // namespace ex2qln::convert
