// String form conversions through iconv, one converter pair per thread and codeset.
#include "platform/mapi/core/StringForms.h"

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

class Converter {
public:
    Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {}
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    ~Converter()
    {
        if (valid())
            iconv_close(handle_);
    }
    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Converts all of the input; an input unit that cannot be converted becomes `replacement`.
    std::string Run(const char* input, std::size_t length, std::size_t unit, std::string_view replacement)
    {
        std::string output;
        iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        char buffer[1024];
        while (length > 0) {
            char* out = buffer;
            std::size_t room = sizeof(buffer);
            std::size_t result = iconv(handle_, const_cast<char**>(&input), &length, &out, &room);
            output.append(buffer, out - buffer);
            if (result != static_cast<std::size_t>(-1) || errno == E2BIG)
                continue;
            // EILSEQ or EINVAL: skip one input unit and put the replacement in its place.
            std::size_t skip = std::min(unit, length);
            input += skip;
            length -= skip;
            output.append(replacement);
            iconv(handle_, nullptr, nullptr, nullptr, nullptr);
        }
        return output;
    }

private:
    iconv_t handle_;
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

// The iconv name of a Windows code page: the ones glibc knows by another name, else "CP" and the number.
std::string IconvName(unsigned codePage)
{
    struct Named {
        unsigned codePage;
        const char* name;
    };
    static constexpr Named kNames[] = {
        {0, "CP1252"},           {1200, "UTF-16LE"},     {1201, "UTF-16BE"},     {10000, "MACINTOSH"},
        {20127, "ASCII"},        {20866, "KOI8-R"},      {21866, "KOI8-U"},      {28591, "ISO-8859-1"},
        {28592, "ISO-8859-2"},   {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"},
        {28596, "ISO-8859-6"},   {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},  {28599, "ISO-8859-9"},
        {28603, "ISO-8859-13"},  {28605, "ISO-8859-15"}, {38598, "ISO-8859-8"},  {50220, "ISO-2022-JP"},
        {50221, "ISO-2022-JP"},  {50222, "ISO-2022-JP"}, {50225, "ISO-2022-KR"}, {51932, "EUC-JP"},
        {51936, "GB2312"},       {51949, "EUC-KR"},      {52936, "HZ"},          {54936, "GB18030"},
        {65000, "UTF-7"},        {65001, "UTF-8"},
    };
    for (const Named& named : kNames) {
        if (named.codePage == codePage)
            return named.name;
    }
    return "CP" + std::to_string(codePage);
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
        converter = std::make_unique<Converter>("UTF-16LE", IconvName(codePage).c_str());
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
