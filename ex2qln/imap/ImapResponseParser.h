// Parses one IMAP response (a line and whatever literals continue it) into a kind and values.
#pragma once

#include "platform/base/HResult.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::imap {

// Where a response goes on after a literal: its bytes, then the next line.
class ImapInput {
public:
    virtual ~ImapInput() = default;
    // Exactly output.size() bytes.
    virtual HRESULT ReadBytes(std::span<char> output) = 0;
    // The next line without its end.
    virtual HRESULT ReadLine(std::string& line) = 0;
};

enum class ImapLineClass { Continuation, Untagged, Tagged };

// A value before it is placed in a MAPI property list: numbers for 16- and 32-bit tags, text for
// string tags.
struct ImapProperty {
    std::uint32_t tag;
    std::uint32_t number;
    std::string text;

    bool operator==(const ImapProperty&) const = default;
};

struct ImapResponse {
    ImapLineClass lineClass = ImapLineClass::Untagged;
    std::uint32_t kind = 0;
    std::vector<ImapProperty> properties;
    // The text of a status line (OK, NO, BAD, ENABLED) after its response code, as sent (UTF-8).
    std::optional<std::string> statusText;
    // The text of an [ALERT] response code.
    std::optional<std::string> alertText;
};

// Why a response was refused.
struct ImapParseError {
    // The localised text to report, 0 when the input failed (its own status and text stand).
    unsigned textNumber = 0;
    std::string argument;
    // The line was not a response at all: nothing after it can be trusted.
    bool lineRejected = false;
};

// Longest string a literal may carry into a response value; longer ones are read and dropped.
inline constexpr std::size_t kMaximumLiteralValue = 16u * 1024 * 1024;
// Most values one response may carry.
inline constexpr std::size_t kMaximumProperties = 4096;

class ImapResponseParser {
public:
    // `owner` only names the client in trace lines.
    explicit ImapResponseParser(const void* owner = nullptr) : owner_(owner) {}

    // Classifies `line` against the tag of the outstanding command and parses it, reading literal
    // bytes and continuation lines from `input`. S_OK; 0x80040119 with `error` filled for a line that
    // breaks the protocol; or the input's own failure.
    HRESULT Parse(std::string_view line, std::uint32_t expectedTag, ImapInput& input, ImapResponse& response,
                  ImapParseError& error) const;

private:
    const void* owner_;
};

} // namespace ex2qln::imap
