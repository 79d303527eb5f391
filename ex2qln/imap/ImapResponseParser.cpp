// The IMAP response grammar this client reads: line classes, keywords, response codes, LIST lines,
// strings with the server's escapes, and literals.
#include "ex2qln/imap/ImapResponseParser.h"

#include "ex2qln/diag/Log.h"
#include "ex2qln/diag/PeerText.h"
#include "ex2qln/imap/ImapKeywords.h"
#include "ex2qln/imap/ImapRecords.h"
#include "ex2qln/imap/ImapTexts.h"

#include <mapicode.h>

#include <algorithm>
#include <array>
#include <cstdint>

namespace ex2qln::imap {
namespace {

constexpr std::size_t kDiscardChunk = 65536;

unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? static_cast<unsigned char>(c - 0x20) : c; }

bool EqualsNoCase(std::string_view left, std::string_view right)
{
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(), [](char a, char b) {
               return AsciiUpper(static_cast<unsigned char>(a)) == AsciiUpper(static_cast<unsigned char>(b));
           });
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

// Characters that cannot start a string (the quote and the brace start quoted strings and literals).
bool IsAtomSpecial(char c)
{
    return IsControl(c) || c == '(' || c == ')' || c == ' ' || c == '%' || c == '*' || c == '\\' || c == ']';
}

bool EndsAtom(char c) { return c == ' ' || c == '(' || c == ')' || c == '"' || IsControl(c); }

// Decimal digits as a 32-bit number; nullopt when there are none or the value overflows.
std::optional<std::uint32_t> ParseDecimal(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits) {
        if (!IsDigit(c))
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > UINT32_MAX)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

// The byte count of a literal that ends `line` ("{n}"), or nullopt.
std::optional<std::uint64_t> TrailingLiteral(std::string_view line)
{
    if (line.empty() || line.back() != '}')
        return std::nullopt;
    const std::size_t open = line.rfind('{');
    if (open == std::string_view::npos)
        return std::nullopt;
    const std::string_view digits = line.substr(open + 1, line.size() - open - 2);
    if (digits.empty() || digits.size() > 19 || !std::all_of(digits.begin(), digits.end(), IsDigit))
        return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : digits)
        value = value * 10 + static_cast<unsigned>(c - '0');
    return value;
}

std::uint32_t FlagBit(std::string_view word)
{
    if (EqualsNoCase(word, "\\ANSWERED"))
        return kFlagAnswered;
    if (EqualsNoCase(word, "\\FLAGGED"))
        return kFlagFlagged;
    if (EqualsNoCase(word, "\\DELETED"))
        return kFlagDeleted;
    if (EqualsNoCase(word, "\\DRAFT"))
        return kFlagDraft;
    if (EqualsNoCase(word, "\\SEEN"))
        return kFlagSeen;
    if (EqualsNoCase(word, "FORWARDED") || EqualsNoCase(word, "$FORWARDED"))
        return kFlagForwarded;
    return 0;
}

unsigned long Address(const void* owner) { return static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(owner)); }

// The parse of one response: the line being read, the position in it, and the results.
class ResponseReader {
public:
    // Reads `firstLine` from `start` on.
    ResponseReader(const void* owner, std::string_view firstLine, std::size_t start, ImapInput& input,
                   ImapResponse& response, ImapParseError& error)
        : owner_(owner), firstLine_(firstLine), line_(firstLine), position_(start), input_(input),
          response_(response), error_(error)
    {
    }

    HRESULT ParseBody();
    // Reads the literals that end the current line, and the lines after them, without keeping them.
    HRESULT SkipTrailingLiterals();

private:
    bool AtEnd() const { return position_ >= line_.size(); }
    char Peek() const { return line_[position_]; }
    std::string_view Rest() const { return line_.substr(std::min(position_, line_.size())); }
    void SkipBlanks()
    {
        while (!AtEnd() && Peek() == ' ')
            ++position_;
    }
    void SkipOneBlank()
    {
        if (!AtEnd() && Peek() == ' ')
            ++position_;
    }
    bool Consume(char c)
    {
        if (AtEnd() || Peek() != c)
            return false;
        ++position_;
        return true;
    }
    std::string_view TakeWhile(bool (*keep)(char));
    std::string_view TakeWord();

    HRESULT Fail(unsigned textNumber, std::string_view argument);
    HRESULT InvalidReply() { return Fail(kTextInvalidReply, firstLine_); }
    HRESULT AddNumber(std::uint32_t tag, std::uint32_t number);
    HRESULT AddText(std::uint32_t tag, std::string text);

    HRESULT ParseStatus();
    void DecodeResponseCode(std::string_view code, bool& failed);
    bool ParseFlags(std::string_view text, std::uint32_t& bits);
    HRESULT ParseList();
    HRESULT ParseNumberAfter(std::uint32_t tag);
    HRESULT ParseFetch();
    HRESULT ParseStringValue(bool atomAllowed, std::optional<std::string>& value);
    HRESULT ParseQuoted(std::optional<std::string>& value);
    HRESULT ParseLiteral(std::optional<std::string>& value);
    HRESULT DiscardBytes(std::uint64_t count);
    HRESULT NextLine();

    const void* owner_;
    std::string_view firstLine_;
    std::string storage_;
    std::string_view line_;
    std::size_t position_ = 0;
    ImapInput& input_;
    ImapResponse& response_;
    ImapParseError& error_;
};

std::string_view ResponseReader::TakeWhile(bool (*keep)(char))
{
    const std::size_t start = position_;
    while (!AtEnd() && keep(Peek()))
        ++position_;
    return line_.substr(start, position_ - start);
}

// Callers stand on a character that is neither a blank nor ")", so a word is never empty.
std::string_view ResponseReader::TakeWord()
{
    return TakeWhile([](char c) { return c != ' ' && c != ')'; });
}

HRESULT ResponseReader::Fail(unsigned textNumber, std::string_view argument)
{
    error_.textNumber = textNumber;
    error_.argument.assign(argument);
    return MAPI_E_EXTENDED_ERROR;
}

HRESULT ResponseReader::AddNumber(std::uint32_t tag, std::uint32_t number)
{
    if (response_.properties.size() >= kMaximumProperties)
        return InvalidReply();
    response_.properties.push_back({tag, number, {}});
    return S_OK;
}

HRESULT ResponseReader::AddText(std::uint32_t tag, std::string text)
{
    if (response_.properties.size() >= kMaximumProperties)
        return InvalidReply();
    response_.properties.push_back({tag, 0, std::move(text)});
    return S_OK;
}

HRESULT ResponseReader::NextLine()
{
    const HRESULT status = input_.ReadLine(storage_);
    if (FAILED(status))
        return status;
    line_ = storage_;
    position_ = 0;
    return S_OK;
}

HRESULT ResponseReader::DiscardBytes(std::uint64_t count)
{
    std::array<char, kDiscardChunk> chunk;
    while (count > 0) {
        const std::size_t size = static_cast<std::size_t>(std::min<std::uint64_t>(count, chunk.size()));
        const HRESULT status = input_.ReadBytes(std::span(chunk.data(), size));
        if (FAILED(status))
            return status;
        count -= size;
    }
    return S_OK;
}

HRESULT ResponseReader::SkipTrailingLiterals()
{
    for (std::optional<std::uint64_t> count = TrailingLiteral(line_); count; count = TrailingLiteral(line_)) {
        HRESULT status = DiscardBytes(*count);
        if (SUCCEEDED(status))
            status = NextLine();
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

HRESULT ResponseReader::ParseBody()
{
    if (StartsWithNoCase(Rest(), "WATCH ")) {
        response_.kind |= kKindWatchFlag;
        position_ += 6;
    }
    std::optional<std::uint32_t> number;
    if (!AtEnd() && IsDigit(Peek())) {
        number = ParseDecimal(TakeWhile(IsDigit));
        SkipOneBlank();
    }
    const std::string_view keyword = TakeWhile([](char c) { return c != ' '; });
    const std::uint32_t kind = LookUpKeyword(keyword);
    response_.kind |= kind;
    SkipOneBlank();
    switch (kind) {
    case kKindUnknown:
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("######## CImapXP(%#lx)::ParseLine got unknown key '%s'\n", Address(owner_),
                        diag::EscapeControlCharacters(keyword).c_str());
        return S_OK;
    case kKindOk:
    case kKindNo:
    case kKindBad:
    case kKindEnabled:
        return ParseStatus();
    case kKindBye:
    case kKindCapability:
    case kKindMakeCall:
    case kKindQuotaRoot:
        return Rest().empty() ? S_OK : AddText(kPropComment, std::string(Rest()));
    case kKindMailTrailer: {
        std::optional<std::string> trailer;
        const HRESULT status = ParseStringValue(false, trailer);
        if (FAILED(status) || !trailer)
            return status;
        return AddText(kPropBody, std::move(*trailer));
    }
    case kKindList:
    case kKindLsub:
        return ParseList();
    case kKindExists:
        return number ? AddNumber(kPropContentCount, *number) : S_OK;
    case kKindFetch:
        return ParseFetch();
    default:
        return S_OK;
    }
}

HRESULT ResponseReader::ParseStatus()
{
    if (!AtEnd() && Peek() == '[') {
        const std::size_t close = Rest().find(']');
        if (close != std::string_view::npos) {
            const std::string_view code = Rest().substr(1, close - 1);
            position_ += close + 1;
            SkipOneBlank();
            bool failed = false;
            DecodeResponseCode(code, failed);
            if (failed)
                return MAPI_E_EXTENDED_ERROR;
        }
    }
    const std::string_view text = Rest();
    response_.statusText.emplace(text);
    if (text.empty())
        return S_OK;
    return AddText(kPropComment, std::string(text));
}

void ResponseReader::DecodeResponseCode(std::string_view code, bool& failed)
{
    const std::size_t blank = code.find(' ');
    const std::string_view name = code.substr(0, blank);
    const std::string_view arguments = blank == std::string_view::npos ? std::string_view() : code.substr(blank + 1);
    auto addNumber = [&](std::uint32_t tag, std::string_view digits) {
        if (const std::optional<std::uint32_t> value = ParseDecimal(digits))
            failed = failed || FAILED(AddNumber(tag, *value));
    };
    if (EqualsNoCase(name, "ALERT")) {
        response_.alertText.emplace(Rest());
    } else if (EqualsNoCase(name, "UIDVALIDITY")) {
        addNumber(kPropUidValidity, arguments);
    } else if (EqualsNoCase(name, "READ-ONLY")) {
        failed = FAILED(AddNumber(kPropAccess, 0));
    } else if (EqualsNoCase(name, "READ-WRITE")) {
        failed = FAILED(AddNumber(kPropAccess, 1));
    } else if (EqualsNoCase(name, "PERMANENTFLAGS")) {
        std::uint32_t bits = 0;
        failed = !ParseFlags(arguments, bits) || FAILED(AddNumber(kPropPermanentFlags, bits));
    } else if (EqualsNoCase(name, "UIDNEXT")) {
        addNumber(kPropUidNext, arguments);
    } else if (EqualsNoCase(name, "APPENDUID")) {
        const std::size_t separator = arguments.find(' ');
        addNumber(kPropUidValidity, arguments.substr(0, separator));
        if (separator != std::string_view::npos)
            addNumber(kPropAppendUid, arguments.substr(separator + 1));
    }
}

bool ResponseReader::ParseFlags(std::string_view text, std::uint32_t& bits)
{
    const std::size_t close = text.find(')');
    if (text.empty() || text.front() != '(' || close == std::string_view::npos) {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("######## CImapXP(%#lx)::ParseFlags got bogus flags '%s'\n", Address(owner_),
                        diag::EscapeControlCharacters(text).c_str());
        Fail(kTextBogusFlags, text);
        return false;
    }
    std::string_view words = text.substr(1, close - 1);
    while (!words.empty()) {
        const std::size_t blank = words.find(' ');
        bits |= FlagBit(words.substr(0, blank));
        words = blank == std::string_view::npos ? std::string_view() : words.substr(blank + 1);
    }
    return true;
}

HRESULT ResponseReader::ParseNumberAfter(std::uint32_t tag)
{
    SkipBlanks();
    const std::optional<std::uint32_t> value = ParseDecimal(TakeWhile(IsDigit));
    if (!value)
        return InvalidReply();
    return AddNumber(tag, *value);
}

// The message's UID and size from a FETCH's items; the other items (lists, quoted strings, atoms)
// are passed over.
HRESULT ResponseReader::ParseFetch()
{
    if (!Consume('('))
        return S_OK;
    int depth = 0;
    while (!AtEnd()) {
        SkipBlanks();
        if (AtEnd())
            break;
        if (Consume('(')) {
            ++depth;
            continue;
        }
        if (Consume(')')) {
            if (depth-- == 0)
                break;
            continue;
        }
        if (Consume('"')) {
            while (!AtEnd() && Peek() != '"')
                position_ += Peek() == '\\' ? 2 : 1;
            Consume('"');
            continue;
        }
        const std::string_view item = TakeWord();
        HRESULT status = S_OK;
        if (depth == 0 && EqualsNoCase(item, "UID"))
            status = ParseNumberAfter(kPropUid);
        else if (depth == 0 && EqualsNoCase(item, "RFC822.SIZE"))
            status = ParseNumberAfter(kPropMessageSize);
        if (FAILED(status))
            return status;
    }
    return S_OK;
}

HRESULT ResponseReader::ParseList()
{
    SkipBlanks();
    if (!Consume('('))
        return InvalidReply();
    std::uint32_t attributes = 0;
    for (;;) {
        SkipBlanks();
        if (AtEnd())
            return InvalidReply();
        if (Consume(')'))
            break;
        const std::string_view word = TakeWord();
        HRESULT status = S_OK;
        std::uint32_t stringTag = 0;
        if (EqualsNoCase(word, "\\NOINFERIORS"))
            attributes |= kFolderNoInferiors;
        else if (EqualsNoCase(word, "\\NOSELECT"))
            attributes |= kFolderNoSelect;
        else if (EqualsNoCase(word, "\\MARKED"))
            attributes |= kFolderMarked;
        else if (EqualsNoCase(word, "\\MESSAGES"))
            status = ParseNumberAfter(kPropContentCount);
        else if (EqualsNoCase(word, "\\UNSEEN"))
            status = ParseNumberAfter(kPropContentUnread);
        else if (EqualsNoCase(word, "\\CLASS"))
            stringTag = kPropContainerClass;
        else if (EqualsNoCase(word, "X-Post-Class"))
            stringTag = kPropPostClass;
        else if (EqualsNoCase(word, "X-Post-Desc"))
            stringTag = kPropPostDescription;
        else if (EqualsNoCase(word, "X-View-Info"))
            stringTag = kPropViewInfo;
        else if (StartsWithNoCase(word, "X-"))
            stringTag = PR_NULL;  // read and dropped
        if (stringTag != 0) {
            std::optional<std::string> value;
            status = ParseStringValue(false, value);
            // "default" stands for the server's own choice, which needs no value here.
            if (SUCCEEDED(status) && value && stringTag != PR_NULL && !EqualsNoCase(*value, "default"))
                status = AddText(stringTag, std::move(*value));
        }
        if (FAILED(status))
            return status;
    }
    HRESULT status = AddNumber(kPropFolderAttributes, attributes);
    if (FAILED(status))
        return status;

    std::optional<std::string> delimiter;
    status = ParseStringValue(false, delimiter);
    if (FAILED(status))
        return status;
    const std::uint32_t delimiterValue =
        delimiter && !delimiter->empty() ? static_cast<unsigned char>(delimiter->front()) : 0u;
    status = AddNumber(kPropDelimiter, delimiterValue);
    if (FAILED(status))
        return status;

    std::optional<std::string> name;
    status = ParseStringValue(true, name);
    if (FAILED(status))
        return status;
    if (!name || name->empty()) {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("######## CImapXP(%#lx)::ParseLine got empty folder name\n", Address(owner_));
        return Fail(kTextEmptyFolderName, {});
    }
    return AddText(kPropFolderName, std::move(*name));
}

HRESULT ResponseReader::ParseStringValue(bool atomAllowed, std::optional<std::string>& value)
{
    value.reset();
    SkipBlanks();
    if (AtEnd()) {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("######## CImapXP(%#lx)::ParseString got empty string\n", Address(owner_));
        return S_OK;
    }
    if (Peek() == '"')
        return ParseQuoted(value);
    if (Peek() == '{')
        return ParseLiteral(value);
    if (IsAtomSpecial(Peek()))
        return Fail(kTextInvalidAtomSpecial, Rest());
    const std::string_view atom = TakeWhile([](char c) { return !EndsAtom(c); });
    if (EqualsNoCase(atom, "NIL"))
        return S_OK;
    if (!atomAllowed)
        return Fail(kTextInvalidAtom, atom);
    value.emplace(atom);
    return S_OK;
}

HRESULT ResponseReader::ParseQuoted(std::optional<std::string>& value)
{
    ++position_;
    std::string text;
    for (;;) {
        if (AtEnd())
            return InvalidReply();
        const char c = line_[position_++];
        if (c == '"')
            break;
        if (c != '\\') {
            text += c;
            continue;
        }
        if (AtEnd())
            return InvalidReply();
        const char escaped = line_[position_++];
        if (escaped == 'e') {
            text += "\r\n";
        } else if (escaped == 'n') {
            text += '\n';
        } else if (escaped == 'r') {
            text += '\r';
        } else if (escaped == 't') {
            text += '\t';
        } else if (IsDigit(escaped)) {
            unsigned byte = static_cast<unsigned>(escaped - '0');
            for (int digits = 1; digits < 3 && !AtEnd() && IsDigit(Peek()); ++digits)
                byte = byte * 10 + static_cast<unsigned>(line_[position_++] - '0');
            // A zero would end the value early for every C-string reader of it.
            text += byte % 256 == 0 ? ' ' : static_cast<char>(byte % 256);
        } else {
            text += escaped;
        }
    }
    value = std::move(text);
    return S_OK;
}

HRESULT ResponseReader::ParseLiteral(std::optional<std::string>& value)
{
    const std::optional<std::uint64_t> count = TrailingLiteral(Rest());
    if (!count || Rest().find('{', 1) != std::string_view::npos)
        return Fail(kTextInvalidAtomSpecial, Rest());
    if (*count > kMaximumLiteralValue) {
        const HRESULT status = DiscardBytes(*count);
        if (FAILED(status))
            return status;
        const HRESULT lineStatus = NextLine();
        return FAILED(lineStatus) ? lineStatus : InvalidReply();
    }
    std::string text(static_cast<std::size_t>(*count), '\0');
    HRESULT status = input_.ReadBytes(text);
    if (FAILED(status))
        return status;
    std::replace(text.begin(), text.end(), '\0', ' ');
    status = NextLine();
    if (FAILED(status))
        return status;
    value = std::move(text);
    return S_OK;
}

// The tag of a completion line: hexadecimal digits and a blank; nullopt when the line has none.
std::optional<std::pair<std::uint64_t, std::size_t>> LeadingTag(std::string_view line)
{
    std::uint64_t value = 0;
    std::size_t length = 0;
    for (; length < line.size(); ++length) {
        const char c = line[length];
        unsigned digit = 0;
        if (IsDigit(c))
            digit = static_cast<unsigned>(c - '0');
        else if (AsciiUpper(static_cast<unsigned char>(c)) >= 'A' && AsciiUpper(static_cast<unsigned char>(c)) <= 'F')
            digit = static_cast<unsigned>(AsciiUpper(static_cast<unsigned char>(c)) - 'A' + 10);
        else
            break;
        value = std::min<std::uint64_t>(value * 16 + digit, UINT64_C(1) << 40);
    }
    if (length == 0 || length >= line.size() || line[length] != ' ')
        return std::nullopt;
    return std::pair(value, length + 1);
}

} // namespace

HRESULT ImapResponseParser::Parse(std::string_view line, std::uint32_t expectedTag, ImapInput& input,
                                  ImapResponse& response, ImapParseError& error) const
{
    response = ImapResponse{};
    error = ImapParseError{};
    if (line.starts_with("+ ")) {
        response.lineClass = ImapLineClass::Continuation;
        response.kind = kKindContinuation;
        if (line.size() > 2)
            response.properties.push_back({kPropComment, 0, std::string(line.substr(2))});
        return S_OK;
    }
    std::size_t start = 0;
    if (line.starts_with("* ")) {
        start = 2;
    } else if (line.starts_with("NOOPNOOP ")) {
        start = 9;
    } else if (const auto tag = LeadingTag(line); tag && tag->first == expectedTag) {
        response.lineClass = ImapLineClass::Tagged;
        start = tag->second;
    } else {
        if (diag::TraceOn(diag::kTraceProtocols))
            diag::Trace("CImapXP(%#lx)::ParseLine got invalid line '%s'\n", Address(owner_),
                        diag::EscapeControlCharacters(line).c_str());
        error.textNumber = kTextInvalidReply;
        error.argument.assign(line);
        error.lineRejected = true;
        return MAPI_E_EXTENDED_ERROR;
    }
    ResponseReader reader(owner_, line, start, input, response, error);
    const HRESULT status = reader.ParseBody();
    if (FAILED(status) && error.textNumber == 0)
        return status;
    // Whatever was parsed, the literals that end the last line belong to this response.
    const HRESULT skipStatus = reader.SkipTrailingLiterals();
    if (FAILED(skipStatus)) {
        error = ImapParseError{};
        return skipStatus;
    }
    return status;
}

} // namespace ex2qln::imap
