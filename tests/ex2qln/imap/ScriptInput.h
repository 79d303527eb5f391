// An in-memory ImapInput for parser tests: literal bytes and lines come from a fixed text.
#pragma once

#include "ex2qln/imap/ImapResponseParser.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace ex2qln::imap::testing {

class ScriptInput : public ImapInput {
public:
    explicit ScriptInput(std::string data) : data_(std::move(data)) {}

    HRESULT ReadBytes(std::span<char> output) override
    {
        if (data_.size() - position_ < output.size()) {
            position_ = data_.size();
            return kStatusConnectionClosed;
        }
        std::memcpy(output.data(), data_.data() + position_, output.size());
        position_ += output.size();
        return S_OK;
    }

    HRESULT ReadLine(std::string& line) override
    {
        const std::size_t end = data_.find('\n', position_);
        if (end == std::string::npos) {
            position_ = data_.size();
            return kStatusConnectionClosed;
        }
        line = data_.substr(position_, end - position_);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        position_ = end + 1;
        return S_OK;
    }

    std::string Unread() const { return data_.substr(position_); }

private:
    std::string data_;
    std::size_t position_ = 0;
};

} // namespace ex2qln::imap::testing
