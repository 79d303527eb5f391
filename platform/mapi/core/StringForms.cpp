// String form conversions through iconv, one converter pair per thread and codeset, and one
// converter per thread and code page for stored 8-bit text.
#include "platform/mapi/core/StringForms.h"

#include "platform/locale/CodePages.h"
#include "platform/locale/IconvConverter.h"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>

namespace mapi {
namespace {

// An iconv descriptor and the loop that converts all of an input, putting `replacement` in place of
// each input unit that cannot be converted.
class Converter {
public:
    Converter(std::string_view to, std::string_view from) : iconv_(to, from) {}
    bool valid() const { return iconv_.IsOpen(); }

    std::string Run(const char* input, std::size_t length, std::size_t unit, std::string_view replacement)
    {
        std::string output;
        iconv(iconv_.Handle(), nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        while (length > 0) {
            char* out = buffer;
            std::size_t room = sizeof(buffer);
            std::size_t result = iconv(iconv_.Handle(), const_cast<char**>(&input), &length, &out, &room);
            output.append(buffer, out - buffer);
            if (result != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: skip one input unit and put the replacement in its place.
            std::size_t skip = std::min(unit, length);
            input += skip;
            length -= skip;
            output.append(replacement);
            iconv(iconv_.Handle(), nullptr, nullptr, nullptr, nullptr);
        }
        return output;
    }

private:
    platform::IconvConverter iconv_;
};

struct ThreadConverters {
    std::string codeSet;
    std::unique_ptr<Converter> toUtf16;
    std::unique_ptr<Converter> fromUtf16;
};

ThreadConverters& ConvertersForLocale()
{
    thread_local ThreadConverters converters;
    const char* codeSet = nl_langinfo(CODESET);
    if (codeSet == nullptr || *codeSet == '\0')
        codeSet = "ANSI_X3.4-1968";
    if (converters.toUtf16 == nullptr || converters.codeSet != codeSet) {
        converters.codeSet = codeSet;
        converters.toUtf16 = std::make_unique<Converter>("UTF-16LE", codeSet);
        converters.fromUtf16 = std::make_unique<Converter>(codeSet, "UTF-16LE");
    }
    return converters;
}

// The converter for stored 8-bit text in a code page. 0 is what Outlook writes when nothing names
// another (1252); the UTF-16 code pages are MAPI's wide forms, which no charset row stands for.
std::string ConverterName(unsigned codePage)
{
    switch (codePage) {
    case 0: return platform::IconvNameOfCodePage(1252);
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    default: return platform::IconvNameOfCodePage(codePage);
    }
}

std::u16string FromUtf16Bytes(const std::string& bytes)
{
    std::u16string result(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < result.size(); ++i)
        result[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                          static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
    return result;
}

constexpr char kUtf16Replacement[] = {'\xFD', '\xFF'};

} // namespace

std::u16string AnsiToUtf16(std::string_view text)
{
    Converter& converter = *ConvertersForLocale().toUtf16;
    if (!converter.valid()) {
        std::u16string result;
        for (unsigned char c : text)
            result.push_back(c < 0x80 ? c : u'\uFFFD');
        return result;
    }
    return FromUtf16Bytes(converter.Run(text.data(), text.size(), 1, std::string_view(kUtf16Replacement, 2)));
}

std::u16string CodePageToUtf16(std::string_view text, unsigned codePage)
{
    thread_local std::map<unsigned, std::unique_ptr<Converter>> converters;
    std::unique_ptr<Converter>& converter = converters[codePage];
    if (converter == nullptr)
        converter = std::make_unique<Converter>("UTF-16LE", ConverterName(codePage));
    if (!converter->valid()) {
        // A code page glibc cannot read: its ASCII part still reads.
        std::u16string result;
        for (unsigned char c : text)
            result.push_back(c < 0x80 ? c : u'\uFFFD');
        return result;
    }
    return FromUtf16Bytes(converter->Run(text.data(), text.size(), 1, std::string_view(kUtf16Replacement, 2)));
}

std::string Utf16ToAnsi(std::u16string_view text)
{
    Converter& converter = *ConvertersForLocale().fromUtf16;
    if (!converter.valid()) {
        std::string result;
        for (char16_t c : text)
            result.push_back(c < 0x80 ? static_cast<char>(c) : '?');
        return result;
    }
    std::string bytes(text.size() * 2, '\0');
    for (std::size_t i = 0; i < text.size(); ++i) {
        bytes[2 * i] = static_cast<char>(text[i] & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(text[i] >> 8);
    }
    return converter.Run(bytes.data(), bytes.size(), 2, "?");
}

std::size_t Utf16Length(const WCHAR* text)
{
    std::size_t length = 0;
    while (text[length] != 0)
        ++length;
    return length;
}

} // namespace mapi
