// Secret: an owned password or response text that is wiped from memory when replaced or released.
#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

namespace ex2qln::login {

class Secret {
public:
    Secret() = default;
    explicit Secret(std::string_view text) { Assign(text); }
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    Secret(Secret&& other) noexcept;
    Secret& operator=(Secret&& other) noexcept;
    ~Secret() { Clear(); }

    // Replaces the text; the old bytes are wiped first.
    void Assign(std::string_view text);
    // Appends one character (the terminal prompt reads them one at a time).
    void Append(char character);
    // Drops the last character, if any.
    void DropLast();
    void Clear();

    std::string_view View() const { return {bytes_.get(), size_}; }
    // The text followed by a zero, for interfaces that take C strings.
    const char* CStr() const { return bytes_ ? bytes_.get() : ""; }
    bool Empty() const { return size_ == 0; }

private:
    // Grows to hold at least `capacity` bytes and a terminating zero, wiping the old block.
    void Reserve(std::size_t capacity);

    std::unique_ptr<char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

} // namespace ex2qln::login
