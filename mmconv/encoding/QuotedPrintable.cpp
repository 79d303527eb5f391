// Quoted-printable encoding with the message line layout, and its decoding.
#include "mmconv/encoding/QuotedPrintable.h"

#include <algorithm>
#include <string_view>

namespace mmconv {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Appends to a growing string.
struct StringOutput {
    std::string& target;
    void Put(char c) { target.push_back(c); }
    void Put(std::string_view text) { target.append(text); }
};

// Writes into a fixed span while there is room and counts every character.
struct SpanOutput {
    std::span<char> target;
    std::size_t count = 0;
    void Put(char c)
    {
        if (count < target.size())
            target[count] = c;
        ++count;
    }
    void Put(std::string_view text)
    {
        for (const char c : text)
            Put(c);
    }
};

using State = QuotedPrintableEncoder::State;

bool NeedsEscape(std::uint8_t byte)
{
    return byte == '=' || byte < 0x20 || byte >= 0x80;
}

template <class Output>
void SoftBreak(State& state, Output& output)
{
    output.Put("=\r\n");
    state.column = 0;
}

template <class Output>
void PutLiteral(State& state, char c, Output& output)
{
    if (state.column > 0 && state.column >= state.maxColumn)
        SoftBreak(state, output);
    output.Put(c);
    ++state.column;
}

template <class Output>
void PutEscape(State& state, std::uint8_t byte, Output& output)
{
    if (state.column > 0 && state.column + 3 > state.maxColumn)
        SoftBreak(state, output);
    const char escape[3] = {'=', kHex[byte >> 4], kHex[byte & 0x0F]};
    output.Put(std::string_view(escape, 3));
    state.column += 3;
}

template <class Output>
void FlushBlank(State& state, bool atLineEnd, Output& output)
{
    if (state.pendingBlank < 0)
        return;
    const auto blank = static_cast<std::uint8_t>(state.pendingBlank);
    state.pendingBlank = -1;
    if (atLineEnd)
        PutEscape(state, blank, output);
    else
        PutLiteral(state, static_cast<char>(blank), output);
}

template <class Output>
void EncodeByte(State& state, std::uint8_t byte, Output& output)
{
    if (state.pendingCr) {
        state.pendingCr = false;
        if (byte == '\n') {
            FlushBlank(state, true, output);
            output.Put("\r\n");
            state.column = 0;
            return;
        }
        FlushBlank(state, false, output);
        PutEscape(state, '\r', output);
    }
    if (byte == '\r') {
        state.pendingCr = true;
        return;
    }
    FlushBlank(state, false, output);
    if (byte == ' ' || byte == '\t') {
        state.pendingBlank = byte;
        return;
    }
    if (NeedsEscape(byte))
        PutEscape(state, byte, output);
    else
        PutLiteral(state, static_cast<char>(byte), output);
}

// The end of the run from `at` of bytes that go out as they are and fit on the current line: no
// space, nothing NeedsEscape takes (tabs and line ends among it); `at` itself when the next byte
// needs EncodeByte.
std::size_t PlainRunEnd(const State& state, std::span<const std::uint8_t> piece, std::size_t at)
{
    if (state.pendingCr || state.pendingBlank >= 0 || state.column >= state.maxColumn)
        return at;
    const std::size_t end = std::min(piece.size(), at + (state.maxColumn - state.column));
    std::size_t run = at;
    while (run < end && piece[run] != ' ' && !NeedsEscape(piece[run]))
        ++run;
    return run;
}

template <class Output>
void EncodeEnd(State& state, Output& output)
{
    if (state.pendingCr) {
        state.pendingCr = false;
        FlushBlank(state, false, output);
        PutEscape(state, '\r', output);
        return;
    }
    FlushBlank(state, true, output);
}

State MakeState(std::size_t lineLength)
{
    if (lineLength < 2)
        lineLength = kDefaultLineLength;
    return State{.maxColumn = lineLength - 1};
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The length of the line end starting at position, 0 when there is none.
std::size_t LineEndLength(std::span<const char> source, std::size_t position)
{
    if (position < source.size() && source[position] == '\n')
        return 1;
    if (position + 1 < source.size() && source[position] == '\r' && source[position + 1] == '\n')
        return 2;
    return 0;
}

std::size_t SkipBlanks(std::span<const char> source, std::size_t position)
{
    while (position < source.size() && IsBlank(source[position]))
        ++position;
    return position;
}

// Decodes the source, handing every output byte to emit.
template <class Emit>
void DecodeInto(std::span<const char> source, Emit emit)
{
    std::size_t i = 0;
    while (i < source.size()) {
        const char c = source[i];
        if (c == '=') {
            const int high = i + 2 < source.size() ? HexValue(source[i + 1]) : -1;
            const int low = i + 2 < source.size() ? HexValue(source[i + 2]) : -1;
            if (high >= 0 && low >= 0) {
                emit(static_cast<std::uint8_t>(high * 16 + low));
                i += 3;
                continue;
            }
            const std::size_t afterBlanks = SkipBlanks(source, i + 1);
            const std::size_t lineEnd = LineEndLength(source, afterBlanks);
            if (lineEnd > 0 || afterBlanks == source.size()) {
                i = afterBlanks + lineEnd;
                continue;
            }
            emit(static_cast<std::uint8_t>('='));
            ++i;
            continue;
        }
        if (IsBlank(c)) {
            const std::size_t afterBlanks = SkipBlanks(source, i);
            const bool trailing =
                afterBlanks == source.size() || LineEndLength(source, afterBlanks) > 0;
            for (; i < afterBlanks; ++i) {
                if (!trailing)
                    emit(static_cast<std::uint8_t>(source[i]));
            }
            continue;
        }
        emit(static_cast<std::uint8_t>(c));
        ++i;
    }
}

} // namespace

QuotedPrintableEncoder::QuotedPrintableEncoder(std::size_t lineLength)
    : state_(MakeState(lineLength))
{
}

void QuotedPrintableEncoder::Encode(std::span<const std::uint8_t> piece, std::string& output)
{
    output.reserve(output.size() + piece.size() + piece.size() / 8 + 16);
    StringOutput out{output};
    std::size_t at = 0;
    while (at < piece.size()) {
        // Most text is a run of bytes written as they are: appended whole, as far as the line has room.
        const std::size_t end = PlainRunEnd(state_, piece, at);
        if (end > at) {
            output.append(reinterpret_cast<const char*>(piece.data() + at), end - at);
            state_.column += end - at;
            at = end;
            continue;
        }
        EncodeByte(state_, piece[at++], out);
    }
}

void QuotedPrintableEncoder::Finish(std::string& output)
{
    StringOutput out{output};
    EncodeEnd(state_, out);
}

std::size_t QuotedPrintableEncode(std::span<const std::uint8_t> source, std::span<char> destination,
    std::size_t lineLength)
{
    State state = MakeState(lineLength);
    SpanOutput out{destination};
    for (const std::uint8_t byte : source)
        EncodeByte(state, byte, out);
    EncodeEnd(state, out);
    return out.count;
}

std::size_t QuotedPrintableDecode(std::span<const char> source, std::span<std::uint8_t> destination)
{
    std::size_t needed = 0;
    DecodeInto(source, [&needed](std::uint8_t) { ++needed; });
    if (destination.size() < needed)
        return needed;
    std::size_t written = 0;
    DecodeInto(source, [&](std::uint8_t byte) { destination[written++] = byte; });
    return written;
}

} // namespace mmconv
