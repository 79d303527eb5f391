// Folding and escaping of content lines.
#include "mmconv/message/FoldedOutput.h"

#include <string>

namespace mmconv {
namespace {

constexpr unsigned kLineOctets = 75;

// The octets of the UTF-8 character that begins with `lead` (1 for an octet that begins none).
unsigned CharacterLength(unsigned char lead)
{
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 1;
}

class LineWriter {
public:
    explicit LineWriter(unsigned& column) : column_(column) {}

    // A fold comes before a character that would not fit whole into the line's 75 octets, never
    // inside one.
    void Octet(char c)
    {
        const unsigned char octet = static_cast<unsigned char>(c);
        const bool continuation = (octet & 0xC0) == 0x80;
        if (!continuation && column_ > 0 && column_ + CharacterLength(octet) > kLineOctets)
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
