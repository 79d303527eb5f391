// RFC 2047 "B" encoded words for header text, and Base64 header values for binary data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "mmconv/encoding/MMLang.h"
#include "platform/base/HResult.h"

namespace mmconv {

// Lays out bytes that are already in the charset as encoded words "=?charset?B?...?=" joined by
// CR LF space. Each word holds at most (75 - prefix length) rounded down to a multiple of four Base64
// characters, so it stays within 75 characters. UTF-8 is never split inside a character; other code
// pages whose characters take more than one byte are not split at all (one word, however long).
std::string EncodedWords(std::string_view bytes, std::string_view charset, unsigned codePage,
    unsigned maxCharSize);

// Wide text as encoded words in the message code page (absent when it could not be determined). When
// that code page has no name or converter, the default ANSI charset and code page are used instead;
// when the code page cannot hold every character of the text, UTF-8. Words never split a character;
// in code pages whose characters take more than one byte (other than UTF-8) each word is converted
// on its own. Empty text gives an empty result.
HRESULT EncodeRfc1522W(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::u16string_view text, std::string& result);

// Narrow text in the default ANSI code page, widened first, then as EncodeRfc1522W.
HRESULT EncodeRfc1522(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::string_view text, std::string& result);

// The text itself when it needs no encoding, else its encoded words.
HRESULT GetRfc1522EncodedString(const CMMLang& lang, std::optional<unsigned> messageCodePage,
    std::u16string_view text, std::string& result);

// Base64 of binary data for a header value; folded, it is cut into pieces of 75 characters joined by
// CR LF space.
HRESULT Binary2Rfc1522(std::span<const std::uint8_t> bytes, bool fold, std::string& result);

} // namespace mmconv
