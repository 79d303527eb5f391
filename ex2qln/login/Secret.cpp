// Secret: copies of a password never outlive their owner in readable form.
#include "ex2qln/login/Secret.h"

#include <openssl/crypto.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace ex2qln::login {

Secret::Secret(Secret&& other) noexcept
    : bytes_(std::move(other.bytes_)), size_(std::exchange(other.size_, 0)),
      capacity_(std::exchange(other.capacity_, 0))
{
}

Secret& Secret::operator=(Secret&& other) noexcept
{
    if (this != &other) {
        Clear();
        bytes_ = std::move(other.bytes_);
        size_ = std::exchange(other.size_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
    }
    return *this;
}

void Secret::Assign(std::string_view text)
{
    Clear();
    Reserve(text.size());
    if (!text.empty())
        std::memcpy(bytes_.get(), text.data(), text.size());
    size_ = text.size();
    bytes_[size_] = '\0';
}

void Secret::Append(char character)
{
    if (size_ == capacity_)
        Reserve(std::max<std::size_t>(64, capacity_ * 2));
    bytes_[size_++] = character;
    bytes_[size_] = '\0';
}

void Secret::DropLast()
{
    if (size_ == 0)
        return;
    bytes_[--size_] = '\0';
}

void Secret::Clear()
{
    if (bytes_)
        OPENSSL_cleanse(bytes_.get(), capacity_ + 1);
    bytes_.reset();
    size_ = 0;
    capacity_ = 0;
}

void Secret::Reserve(std::size_t capacity)
{
    if (capacity <= capacity_ && bytes_)
        return;
    auto grown = std::make_unique<char[]>(capacity + 1);
    if (size_ != 0)
        std::memcpy(grown.get(), bytes_.get(), size_);
    if (bytes_)
        OPENSSL_cleanse(bytes_.get(), capacity_ + 1);
    bytes_ = std::move(grown);
    capacity_ = capacity;
}

} // namespace ex2qln::login
