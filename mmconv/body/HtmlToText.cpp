// A small HTML reader that keeps only the text.
#include "mmconv/body/HtmlToText.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace mmconv {
namespace {

constexpr std::u16string_view kLineEnd = u"\r\n";

struct NamedReference {
    std::u16string_view name;
    char16_t character;
};

// The character references mail bodies use most; others stay as written.
constexpr std::array<NamedReference, 40> kNamedReferences = {{{u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'},
    {u"quot", u'"'}, {u"apos", u'\''}, {u"nbsp", u'\u00A0'}, {u"copy", u'\u00A9'}, {u"reg", u'\u00AE'},
    {u"trade", u'\u2122'}, {u"euro", u'\u20AC'}, {u"pound", u'\u00A3'}, {u"yen", u'\u00A5'}, {u"cent", u'\u00A2'},
    {u"sect", u'\u00A7'}, {u"deg", u'\u00B0'}, {u"hellip", u'\u2026'}, {u"mdash", u'\u2014'}, {u"ndash", u'\u2013'},
    {u"lsquo", u'\u2018'}, {u"rsquo", u'\u2019'}, {u"ldquo", u'\u201C'}, {u"rdquo", u'\u201D'},
    {u"laquo", u'\u00AB'}, {u"raquo", u'\u00BB'}, {u"bull", u'\u2022'}, {u"middot", u'\u00B7'},
    {u"shy", u'\u00AD'}, {u"times", u'\u00D7'}, {u"divide", u'\u00F7'}, {u"auml", u'\u00E4'}, {u"ouml", u'\u00F6'},
    {u"uuml", u'\u00FC'}, {u"Auml", u'\u00C4'}, {u"Ouml", u'\u00D6'}, {u"Uuml", u'\u00DC'}, {u"szlig", u'\u00DF'},
    {u"eacute", u'\u00E9'}, {u"egrave", u'\u00E8'}, {u"aacute", u'\u00E1'}, {u"ccedil", u'\u00E7'}}};

// Elements whose content is not text.
constexpr std::array<std::u16string_view, 5> kHiddenElements = {u"script", u"style", u"head", u"title", u"xml"};
// Elements that stand on lines of their own.
constexpr std::array<std::u16string_view, 19> kBlockElements = {u"div", u"tr", u"li", u"ul", u"ol", u"table",
    u"blockquote", u"h1", u"h2", u"h3", u"h4", u"h5", u"h6", u"hr", u"dl", u"dt", u"dd", u"center", u"pre"};

char16_t Lower(char16_t c)
{
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
}

bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

template <std::size_t Count>
bool Contains(const std::array<std::u16string_view, Count>& names, std::u16string_view name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

void AppendCodePoint(std::u16string& text, std::uint32_t code)
{
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) {
        text += u'\uFFFD';
    } else if (code >= 0x10000) {
        code -= 0x10000;
        text += static_cast<char16_t>(0xD800 + (code >> 10));
        text += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
    } else {
        text += static_cast<char16_t>(code);
    }
}

class TextWriter {
public:
    explicit TextWriter(std::u16string_view html) : html_(html) {}

    std::u16string Run()
    {
        while (at_ < html_.size()) {
            if (html_[at_] == u'<')
                ReadMarkup();
            else if (html_[at_] == u'&')
                ReadReference();
            else
                AddCharacter(html_[at_++]);
        }
        while (!text_.empty() && (text_.back() == u' ' || text_.back() == u'\r' || text_.back() == u'\n'))
            text_.pop_back();
        return std::move(text_);
    }

private:
    void AddCharacter(char16_t c)
    {
        if (hiddenDepth_ > 0)
            return;
        if (preDepth_ > 0) {
            if (c == u'\n') {
                if (!text_.empty() && text_.back() == u'\r')
                    text_.pop_back();
                text_ += kLineEnd;
            } else if (c != u'\r') {
                text_ += c;
            }
            return;
        }
        if (IsSpace(c)) {
            pendingSpace_ = true;
            return;
        }
        if (pendingSpace_ && !text_.empty() && !AtLineStart())
            text_ += u' ';
        pendingSpace_ = false;
        text_ += c;
    }

    bool AtLineStart() const { return text_.empty() || text_.back() == u'\n'; }

    // Ends the current line unless it is empty; `blankLine` also leaves one empty line after it.
    void BreakLine(bool blankLine)
    {
        pendingSpace_ = false;
        if (hiddenDepth_ > 0 || text_.empty())
            return;
        if (!AtLineStart())
            text_ += kLineEnd;
        if (blankLine && !text_.ends_with(u"\r\n\r\n"))
            text_ += kLineEnd;
    }

    void ReadMarkup()
    {
        if (html_.substr(at_, 4) == u"<!--") {
            const std::size_t end = html_.find(u"-->", at_ + 4);
            at_ = end == std::u16string_view::npos ? html_.size() : end + 3;
            return;
        }
        const std::size_t end = html_.find(u'>', at_ + 1);
        if (end == std::u16string_view::npos) {
            at_ = html_.size();
            return;
        }
        std::u16string_view tag = html_.substr(at_ + 1, end - at_ - 1);
        at_ = end + 1;
        const bool closing = !tag.empty() && tag.front() == u'/';
        if (closing)
            tag.remove_prefix(1);
        std::u16string name;
        for (char16_t c : tag) {
            if (IsSpace(c) || c == u'/' || c == u'>')
                break;
            name += Lower(c);
        }
        Element(name, closing);
    }

    void Element(const std::u16string& name, bool closing)
    {
        if (Contains(kHiddenElements, name)) {
            hiddenDepth_ = closing ? std::max(0, hiddenDepth_ - 1) : hiddenDepth_ + 1;
            return;
        }
        if (name == u"pre")
            preDepth_ = closing ? std::max(0, preDepth_ - 1) : preDepth_ + 1;
        if (name == u"br") {
            if (hiddenDepth_ == 0)
                text_ += kLineEnd;
            pendingSpace_ = false;
        } else if (name == u"p") {
            BreakLine(true);
        } else if (Contains(kBlockElements, name)) {
            BreakLine(false);
        } else if ((name == u"td" || name == u"th") && !closing && !AtLineStart()) {
            pendingSpace_ = true;
        }
    }

    void ReadReference()
    {
        const std::size_t end = html_.find(u';', at_ + 1);
        if (end == std::u16string_view::npos || end - at_ > 10) {
            AddCharacter(html_[at_++]);
            return;
        }
        const std::u16string_view reference = html_.substr(at_ + 1, end - at_ - 1);
        if (!reference.empty() && reference.front() == u'#') {
            std::uint32_t code = 0;
            const bool hex = reference.size() > 1 && Lower(reference[1]) == u'x';
            bool valid = reference.size() > (hex ? 2u : 1u);
            for (char16_t c : reference.substr(hex ? 2 : 1)) {
                const int digit = c >= u'0' && c <= u'9' ? c - u'0'
                                  : hex && Lower(c) >= u'a' && Lower(c) <= u'f' ? Lower(c) - u'a' + 10
                                                                               : -1;
                valid = valid && digit >= 0 && code <= 0x10FFFF;
                code = code * (hex ? 16 : 10) + static_cast<std::uint32_t>(std::max(digit, 0));
            }
            if (valid) {
                at_ = end + 1;
                std::u16string character;
                AppendCodePoint(character, code);
                for (char16_t c : character)
                    AddCharacter(c);
                return;
            }
        }
        for (const NamedReference& named : kNamedReferences) {
            if (named.name == reference) {
                at_ = end + 1;
                AddCharacter(named.character == u'\u00A0' ? u' ' : named.character);
                return;
            }
        }
        AddCharacter(html_[at_++]);
    }

    std::u16string_view html_;
    std::size_t at_ = 0;
    std::u16string text_;
    bool pendingSpace_ = false;
    int hiddenDepth_ = 0;
    int preDepth_ = 0;
};

} // namespace

std::u16string HtmlToText(std::u16string_view html)
{
    return TextWriter(html).Run();
}

} // namespace mmconv
