// Folding and escaping of content lines.
#include "mmconv/message/FoldedOutput.h"

#include <string>

namespace mmconv {
namespace {

constexpr unsigned kLineOctets = 75;

class LineWriter {
public:
    explicit LineWriter(unsigned& column) : column_(column) {}

    // A physical line passes 75 octets only by the rest of a character that began within them, so
    // a fold is due, before the next character, whenever the line holds 75 octets or more.
    void Octet(char c)
    {
        const bool continuation = (static_cast<unsigned char>(c) & 0xC0) == 0x80;
        if (column_ >= kLineOctets && !continuation)
            Fold();
        out_ += c;
        ++column_;
    }

    // An escaped character: the backslash and the character stay on one physical line.
    void Pair(char escaped)
    {
        if (column_ + 1 >= kLineOctets)
            Fold();
        Octet('\\');
        Octet(escaped);
    }

    void LineEnd()
    {
        out_ += "\r\n";
        column_ = 0;
    }

    const std::string& Result() const { return out_; }

private:
    void Fold()
    {
        out_ += "\r\n ";
        column_ = 1;
    }

    unsigned& column_;
    std::string out_;
};

} // namespace

HRESULT FoldedOutput(MimeOutput& output, std::string_view text, unsigned& column, unsigned flags)
{
    const bool escape = (flags & kFoldEscape) != 0;
    LineWriter writer(column);
    for (char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (escape)
                writer.Pair('N');
            else
                writer.LineEnd();
        } else if (escape && (c == ',' || c == ';' || c == '\\')) {
            writer.Pair(c);
        } else {
            writer.Octet(c);
        }
    }
    return output.Write(writer.Result());
}

} // namespace mmconv
