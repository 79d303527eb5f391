// Encoded words with their width and no-split rules, and folded Base64 header values.
#include "mmconv/encoding/Rfc1522.h"

#include <new>

#include "mmconv/encoding/Base64.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/NeededEncoding.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

constexpr std::size_t kMaxWordLength = 75;
constexpr std::size_t kFoldWidth = 75;
constexpr std::string_view kFold = "\r\n ";

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

void AppendBase64(std::string_view bytes, std::string& result)
{
    const std::size_t start = result.size();
    result.resize(start + (bytes.size() + 2) / 3 * 4);
    Base64Encode(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
        std::span(result.data() + start, result.size() - start));
}

// Moves a word end back to the lead byte of a UTF-8 character that the end would cut.
std::size_t KeepCharacterWhole(std::string_view bytes, std::size_t start, std::size_t end,
    unsigned maxCharSize)
{
    for (unsigned moved = 0; moved + 1 < maxCharSize && end > start + 1; ++moved) {
        if (!IsUtf8Continuation(bytes[end]))
            break;
        --end;
    }
    return end;
}

// The text in the message code page, or in UTF-8 where that code page cannot hold every
// character (a "?" in a header would lose text); the default ANSI code page without a usable
// message code page.
HRESULT ConvertForHeader(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::u16string_view text, std::string& bytes, std::string& charset, unsigned& codePage)
{
    bool lossy = false;
    if (messageCodePage.has_value() && SUCCEEDED(lang.GetCodepageInfo(*messageCodePage, charset))
        && SUCCEEDED(Unicode2Encoding(text, *messageCodePage, bytes, &lossy))) {
        codePage = *messageCodePage;
    } else {
        codePage = lang.GetDefaultANSIPage();
        HRESULT hr = lang.GetDefaultCharset(charset);
        if (FAILED(hr))
            return hr;
        hr = Unicode2Encoding(text, codePage, bytes, &lossy);
        if (FAILED(hr))
            return hr;
    }
    if (lossy) {
        codePage = platform::kCodePageUtf8;
        charset = "utf-8";
        return Unicode2Encoding(text, codePage, bytes);
    }
    return S_OK;
}

// Words for code pages whose characters take more than one byte: each word holds whole
// characters converted on their own, so that a stateful code page (ISO-2022-JP) starts and ends
// every word in its initial state and no word grows beyond the width.
std::string EncodedWordsByCharacter(std::u16string_view text, std::string_view charset, unsigned codePage)
{
    const std::string prefix = "=?" + std::string(charset) + "?B?";
    const std::size_t prefixLength = charset.size() + 7;
    const std::size_t width =
        prefixLength + 4 <= kMaxWordLength ? (kMaxWordLength - prefixLength) / 4 * 4 : 4;
    std::string result;
    std::string word;
    std::string candidate;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = start;
        word.clear();
        while (end < text.size()) {
            const bool pair = end + 1 < text.size() && text[end] >= 0xD800 && text[end] < 0xDC00;
            const std::size_t next = end + (pair ? 2 : 1);
            Unicode2Encoding(text.substr(start, next - start), codePage, candidate);
            if ((candidate.size() + 2) / 3 * 4 > width && end > start)
                break;
            word.swap(candidate);
            end = next;
        }
        if (start > 0)
            result += kFold;
        result += prefix;
        AppendBase64(word, result);
        result += "?=";
        start = end;
    }
    return result;
}

} // namespace

std::string EncodedWords(std::string_view bytes, std::string_view charset, unsigned codePage,
    unsigned maxCharSize)
{
    std::string result;
    if (bytes.empty())
        return result;
    const std::string prefix = "=?" + std::string(charset) + "?B?";
    const std::size_t prefixLength = charset.size() + 7;
    const std::size_t width =
        prefixLength + 4 <= kMaxWordLength ? (kMaxWordLength - prefixLength) / 4 * 4 : 4;
    const bool utf8 = codePage == platform::kCodePageUtf8 && maxCharSize > 1;
    const std::size_t bytesPerWord = maxCharSize > 1 && !utf8 ? bytes.size() : width / 4 * 3;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = std::min(bytes.size(), start + bytesPerWord);
        if (utf8 && end < bytes.size())
            end = KeepCharacterWhole(bytes, start, end, maxCharSize);
        if (start > 0)
            result += kFold;
        result += prefix;
        AppendBase64(bytes.substr(start, end - start), result);
        result += "?=";
        start = end;
    }
    return result;
}

HRESULT EncodeRfc1522W(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::u16string_view text, std::string& result)
{
    result.clear();
    if (text.empty())
        return S_OK;
    try {
        std::string bytes;
        std::string charset;
        unsigned codePage = 0;
        const HRESULT hr = ConvertForHeader(lang, messageCodePage, text, bytes, charset, codePage);
        if (FAILED(hr))
            return hr;
        const unsigned maxCharSize = lang.GetMaxCharSize(codePage);
        if (maxCharSize > 1 && codePage != platform::kCodePageUtf8)
            result = EncodedWordsByCharacter(text, charset, codePage);
        else
            result = EncodedWords(bytes, charset, codePage, maxCharSize);
    } catch (const std::bad_alloc&) {
        result.clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT EncodeRfc1522(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::string_view text, std::string& result)
{
    result.clear();
    std::u16string wide;
    const HRESULT hr = Encoding2Unicode(text, lang.GetDefaultANSIPage(), wide);
    if (FAILED(hr))
        return hr;
    return EncodeRfc1522W(lang, messageCodePage, wide, result);
}

HRESULT GetRfc1522EncodedString(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::u16string_view text, std::string& result)
{
    if (IsNeededEncodingW(text))
        return EncodeRfc1522W(lang, messageCodePage, text, result);
    // Printable ASCII reads the same in every ANSI code page.
    try {
        result.assign(text.begin(), text.end());
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT Binary2Rfc1522(std::span<const std::uint8_t> bytes, bool fold, std::string& result)
{
    result.clear();
    try {
        std::string plain;
        AppendBase64(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
            plain);
        if (!fold) {
            result = std::move(plain);
            return S_OK;
        }
        for (std::size_t start = 0; start < plain.size(); start += kFoldWidth) {
            if (start > 0)
                result += kFold;
            result.append(plain, start, kFoldWidth);
        }
    } catch (const std::bad_alloc&) {
        result.clear();
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

} // namespace mmconv
