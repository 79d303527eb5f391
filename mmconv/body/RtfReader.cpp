// The RTF reader: group state on an explicit stack, font code pages, \uN with its fallback bytes,
// destinations that hold no body text, and the \htmlrtf and \*\htmltag marks of encapsulation.
#include "mmconv/body/RtfReader.h"

#include <algorithm>
#include <array>
#include <utility>

#include "mmconv/body/RtfTokenizer.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "platform/rtf/CompressedRtf.h"

namespace mmconv {
namespace {

constexpr unsigned kCodePageWestern = 1252;
constexpr std::size_t kMaxFieldInstruction = 4096;

// Destinations whose content is not body text: tables, document information, pictures and
// objects, field instructions, headers and footers, list definitions, revision data.
constexpr std::array<std::string_view, 43> kSkippedDestinations = {
    "colortbl", "stylesheet", "info", "pict", "header", "headerl", "headerr", "headerf",
    "footer", "footerl", "footerr", "footerf", "footnote", "xmlnstbl", "listtable",
    "listoverridetable", "revtbl", "rsidtbl", "generator", "themedata", "colorschememapping",
    "latentstyles", "datastore", "filetbl", "pgdsctbl", "objdata", "objclass", "pn", "bkmkstart",
    "bkmkend", "xe", "tc", "txe", "annotation", "atnid", "atnauthor", "userprops", "docvar",
    "nonshppict", "shpinst", "mmathPr", "object", "fontemb"};

struct NamedCharacter {
    std::string_view word;
    char16_t character;
};

constexpr std::array<NamedCharacter, 18> kNamedCharacters = {{
    {"tab", u'\t'}, {"cell", u'\t'}, {"nestcell", u'\t'}, {"emdash", u'\u2014'}, {"endash", u'\u2013'},
    {"emspace", u'\u2003'}, {"enspace", u'\u2002'}, {"qmspace", u'\u2005'}, {"bullet", u'\u2022'},
    {"lquote", u'\u2018'}, {"rquote", u'\u2019'}, {"ldblquote", u'\u201C'}, {"rdblquote", u'\u201D'},
    {"zwj", u'\u200D'}, {"zwnj", u'\u200C'}, {"ltrmark", u'\u200E'}, {"rtlmark", u'\u200F'},
    {"zwbo", u'\u200B'},
}};

bool IsOn(bool hasParameter, std::int32_t parameter)
{
    return !hasParameter || parameter != 0;
}

// Code pages in which bytes below 0x80 are ASCII, so an ASCII run needs no converter.
bool IsAsciiCompatible(unsigned codePage)
{
    return !(codePage >= 50220 && codePage <= 50229) && codePage != 65000 && codePage != 1200 &&
           codePage != 1201;
}

} // namespace

unsigned CodePageOfCharset(int charset)
{
    switch (charset) {
    case 0: return 1252;
    case 2: return 1252;  // symbol fonts: their bytes are shown as the western characters
    case 77: return 10000;
    case 128: return 932;
    case 129: return 949;
    case 130: return 1361;
    case 134: return 936;
    case 136: return 950;
    case 161: return 1253;
    case 162: return 1254;
    case 163: return 1258;
    case 177: return 1255;
    case 178: return 1256;
    case 186: return 1257;
    case 204: return 1251;
    case 222: return 874;
    case 238: return 1250;
    case 254: return 437;
    case 255: return 850;
    default: return 0;
    }
}

void RtfReader::Reset()
{
    info_ = {};
    groups_.clear();
    state_ = {};
    fonts_.clear();
    fieldInstructions_.clear();
    defaultFont_ = -1;
    afterStar_ = false;
    textSeen_ = false;
    fallbackLeft_ = 0;
    pending_.clear();
}

HRESULT RtfReader::Read(std::string_view rtf, RtfHandler& handler)
{
    Reset();
    handler_ = &handler;
    RtfTokenizer tokenizer(rtf);
    if (tokenizer.Next().kind != RtfTokenKind::kGroupStart)
        return MAPI_E_CORRUPT_DATA;
    const RtfToken first = tokenizer.Next();
    if (first.kind != RtfTokenKind::kControlWord || first.word != "rtf")
        return MAPI_E_CORRUPT_DATA;
    groups_.push_back(state_);
    for (RtfToken token = tokenizer.Next(); token.kind != RtfTokenKind::kEnd && !groups_.empty();
         token = tokenizer.Next()) {
        const bool star = std::exchange(afterStar_, false);
        switch (token.kind) {
        case RtfTokenKind::kGroupStart:
            if (HRESULT hr = GroupStart(); FAILED(hr))
                return hr;
            break;
        case RtfTokenKind::kGroupEnd:
            GroupEnd();
            break;
        case RtfTokenKind::kControlWord:
            if (star && state_.destination != Destination::kSkip) {
                // An ignorable destination: encapsulated HTML tags and field instructions are read,
                // all others skipped.
                if (token.word == "htmltag") {
                    state_.run.htmlTag = true;
                    break;
                }
                if (token.word != "fldinst") {
                    state_.destination = Destination::kSkip;
                    break;
                }
            }
            ControlWord(token.word, token.hasParameter, token.parameter);
            break;
        case RtfTokenKind::kControlSymbol:
            ControlSymbol(token.symbol);
            break;
        case RtfTokenKind::kHexByte:
            if (!SkipsUnicodeFallback())
                Bytes({reinterpret_cast<const char*>(&token.byte), 1});
            break;
        case RtfTokenKind::kText: {
            const std::size_t skipped = std::min<std::size_t>(static_cast<std::size_t>(fallbackLeft_), token.data.size());
            fallbackLeft_ -= static_cast<int>(skipped);
            Bytes(token.data.substr(skipped));
            break;
        }
        case RtfTokenKind::kBinary:
            fallbackLeft_ = 0;
            break;
        case RtfTokenKind::kEnd:
            break;
        }
    }
    Flush();
    handler_ = nullptr;
    return S_OK;
}

HRESULT RtfReader::GroupStart()
{
    if (groups_.size() >= kMaxGroupDepth)
        return MAPI_E_CORRUPT_DATA;
    fallbackLeft_ = 0;
    groups_.push_back(state_);
    return S_OK;
}

void RtfReader::GroupEnd()
{
    fallbackLeft_ = 0;
    const int field = state_.field;
    state_ = groups_.back();
    groups_.pop_back();
    if (field >= 0 && field != state_.field)
        FieldEnd(field);
}

void RtfReader::FieldEnd(int field)
{
    Flush();
    if (state_.destination == Destination::kText)
        handler_->FieldEnd(HyperlinkTarget(fieldInstructions_[static_cast<std::size_t>(field)]));
}

bool RtfReader::SkipsUnicodeFallback()
{
    if (fallbackLeft_ == 0)
        return false;
    --fallbackLeft_;
    return true;
}

void RtfReader::ControlWord(std::string_view word, bool hasParameter, std::int32_t parameter)
{
    if (state_.destination == Destination::kSkip || SkipsUnicodeFallback())
        return;
    if (Destinations(word))
        return;
    if (state_.destination == Destination::kFontTable) {
        FontWord(word, hasParameter, parameter);
        return;
    }
    const bool on = IsOn(hasParameter, parameter);
    if (word == "par" || word == "sect" || word == "page" || word == "row") {
        EmitBreak(RtfBreak::kParagraph);
    } else if (word == "line") {
        EmitBreak(RtfBreak::kLine);
    } else if (word == "u") {
        Unicode(parameter);
    } else if (word == "uc") {
        state_.unicodeSkip = std::max(0, parameter);
    } else if (word == "f") {
        state_.font = parameter;
    } else if (word == "b") {
        state_.run.bold = on;
    } else if (word == "i") {
        state_.run.italic = on;
    } else if (word == "ulnone") {
        state_.run.underline = false;
    } else if (word.starts_with("ul") && word != "ulc") {
        state_.run.underline = on;
    } else if (word == "plain") {
        state_.run.bold = state_.run.italic = state_.run.underline = false;
        state_.font = -1;
    } else if (word == "htmlrtf") {
        state_.run.htmlRtf = on;
    } else if (word == "ansi") {
        info_.codePage = kCodePageWestern;
    } else if (word == "mac") {
        info_.codePage = 10000;
    } else if (word == "pc") {
        info_.codePage = 437;
    } else if (word == "pca") {
        info_.codePage = 850;
    } else if (word == "ansicpg" && parameter > 0) {
        info_.codePage = static_cast<unsigned>(parameter);
    } else if (word == "deff") {
        defaultFont_ = parameter;
    } else if ((word == "fromhtml" || word == "fromtext") && groups_.size() == 1 && !textSeen_) {
        // The origin marks count only in the header, before any text.
        (word == "fromhtml" ? info_.fromHtml : info_.fromText) = word == "fromtext" || parameter == 1;
    } else {
        for (const NamedCharacter& named : kNamedCharacters) {
            if (named.word == word) {
                Emit({&named.character, 1});
                break;
            }
        }
    }
}

bool RtfReader::Destinations(std::string_view word)
{
    if (word == "fonttbl") {
        state_.destination = Destination::kFontTable;
        return true;
    }
    if (word == "fldinst") {
        state_.destination = Destination::kFieldInstruction;
        return true;
    }
    if (word == "field" && state_.destination == Destination::kText) {
        Flush();
        state_.field = static_cast<int>(fieldInstructions_.size());
        fieldInstructions_.emplace_back();
        handler_->FieldStart();
        return true;
    }
    if (std::find(kSkippedDestinations.begin(), kSkippedDestinations.end(), word) != kSkippedDestinations.end()) {
        state_.destination = Destination::kSkip;
        return true;
    }
    return false;
}

void RtfReader::FontWord(std::string_view word, bool hasParameter, std::int32_t parameter)
{
    if (word == "f" && hasParameter) {
        state_.fontDefinition = parameter;
        fonts_.try_emplace(parameter);
    } else if (word == "fcharset" && state_.fontDefinition >= 0) {
        fonts_[state_.fontDefinition].charset = parameter;
    } else if (word == "cpg" && state_.fontDefinition >= 0 && parameter > 0) {
        fonts_[state_.fontDefinition].codePage = static_cast<unsigned>(parameter);
    }
}

void RtfReader::ControlSymbol(char symbol)
{
    if (symbol == '*') {
        afterStar_ = true;
        return;
    }
    if (state_.destination == Destination::kSkip || SkipsUnicodeFallback())
        return;
    switch (symbol) {
    case '\\':
    case '{':
    case '}':
        Bytes({&symbol, 1});
        break;
    case '~':
        Emit(u"\u00A0");
        break;
    case '_':
        Emit(u"\u2011");
        break;
    case '\r':
    case '\n':
        EmitBreak(RtfBreak::kParagraph);
        break;
    default:
        break;  // \- optional hyphen, \| \: index marks, broken escapes
    }
}

void RtfReader::Unicode(std::int32_t value)
{
    const char16_t character = static_cast<char16_t>(value < 0 ? value + 65536 : value);
    Emit({&character, 1});
    fallbackLeft_ = state_.unicodeSkip;
}

void RtfReader::Bytes(std::string_view bytes)
{
    if (state_.destination == Destination::kFieldInstruction && state_.field >= 0) {
        std::string& instruction = fieldInstructions_[static_cast<std::size_t>(state_.field)];
        instruction.append(bytes.substr(0, kMaxFieldInstruction - std::min(kMaxFieldInstruction, instruction.size())));
        return;
    }
    if (state_.destination != Destination::kText || bytes.empty())
        return;
    textSeen_ = true;
    const unsigned codePage = CurrentCodePage();
    if (!pending_.empty() && (codePage != pendingCodePage_ || !(state_.run == pendingState_)))
        Flush();
    pendingCodePage_ = codePage;
    pendingState_ = state_.run;
    for (char c : bytes) {
        // Control characters are not text in RTF, except a literal tab.
        if (static_cast<unsigned char>(c) >= 0x20 || c == '\t')
            pending_ += c;
    }
}

void RtfReader::Emit(std::u16string_view text)
{
    Flush();
    if (state_.destination != Destination::kText)
        return;
    textSeen_ = true;
    handler_->Text(text, state_.run);
}

void RtfReader::EmitBreak(RtfBreak kind)
{
    Flush();
    if (state_.destination == Destination::kText)
        handler_->Break(kind, state_.run);
}

void RtfReader::Flush()
{
    if (pending_.empty())
        return;
    std::u16string text;
    const bool ascii = std::all_of(pending_.begin(), pending_.end(),
        [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii && IsAsciiCompatible(pendingCodePage_)) {
        text.assign(pending_.begin(), pending_.end());
    } else if (FAILED(Encoding2Unicode(pending_, pendingCodePage_, text))) {
        Encoding2Unicode(pending_, kCodePageWestern, text);
    }
    pending_.clear();
    handler_->Text(text, pendingState_);
}

std::u16string HyperlinkTarget(std::string_view instruction)
{
    auto skipSpaces = [&instruction] {
        while (!instruction.empty() && instruction.front() == ' ')
            instruction.remove_prefix(1);
    };
    skipSpaces();
    constexpr std::string_view kHyperlink = "HYPERLINK";
    if (instruction.size() < kHyperlink.size() ||
        !std::equal(kHyperlink.begin(), kHyperlink.end(), instruction.begin(),
            [](char a, char b) { return a == (b & ~0x20); }))
        return {};
    instruction.remove_prefix(kHyperlink.size());
    for (;;) {
        skipSpaces();
        if (instruction.starts_with("\\l"))
            return {};
        if (!instruction.starts_with('\\'))
            break;
        // A switch; \o (tip) and \t (frame) take the next word or quoted text along.
        const bool takesArgument = instruction.size() > 1 && (instruction[1] == 'o' || instruction[1] == 't');
        instruction.remove_prefix(std::min<std::size_t>(2, instruction.size()));
        if (!takesArgument)
            continue;
        skipSpaces();
        const bool quoted = instruction.starts_with('"');
        const std::size_t end = quoted ? instruction.find('"', 1) : instruction.find(' ');
        instruction.remove_prefix(end == std::string_view::npos ? instruction.size() : end + (quoted ? 1 : 0));
    }
    const bool quoted = instruction.starts_with('"');
    const std::size_t start = quoted ? 1 : 0;
    const std::size_t end = instruction.find(quoted ? '"' : ' ', start);
    const std::string_view target = instruction.substr(start, end == std::string_view::npos ? end : end - start);
    return std::u16string(target.begin(), target.end());
}

unsigned RtfReader::CurrentCodePage() const
{
    const int font = state_.font >= 0 ? state_.font : defaultFont_;
    if (const auto found = fonts_.find(font); found != fonts_.end()) {
        if (found->second.codePage != 0)
            return found->second.codePage;
        if (const unsigned codePage = CodePageOfCharset(found->second.charset); codePage != 0)
            return codePage;
    }
    return info_.codePage;
}

} // namespace mmconv
