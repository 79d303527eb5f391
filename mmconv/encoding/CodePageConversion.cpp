// iconv loops with replacement of what a code page cannot hold.
#include "mmconv/encoding/CodePageConversion.h"

#include <bit>
#include <cerrno>
#include <new>

#include "platform/locale/CodePages.h"
#include "platform/locale/IconvConverter.h"

namespace mmconv {
namespace {

using platform::IconvConverter;

constexpr std::string_view kWideName =
    std::endian::native == std::endian::little ? "UTF-16LE" : "UTF-16BE";
constexpr std::size_t kChunk = 4096;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Units to skip over the character that iconv refused at the front of the remaining input.
std::size_t RefusedUnits(const char16_t* unit, std::size_t unitsLeft)
{
    return unitsLeft >= 2 && IsHighSurrogate(unit[0]) && IsLowSurrogate(unit[1]) ? 2 : 1;
}

// Writes the shift sequence back to the initial state (stateful code pages such as ISO-2022-JP).
void ResetState(iconv_t handle, std::string& result)
{
    char buffer[16];
    char* out = buffer;
    std::size_t outLeft = sizeof buffer;
    iconv(handle, nullptr, nullptr, &out, &outLeft);
    result.append(buffer, static_cast<std::size_t>(out - buffer));
}

void WideToBytes(iconv_t handle, std::u16string_view text, std::string& result, bool& lossy)
{
    char* in = const_cast<char*>(reinterpret_cast<const char*>(text.data()));
    std::size_t inLeft = text.size() * sizeof(char16_t);
    char buffer[kChunk];
    while (inLeft > 0) {
        char* out = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t status = iconv(handle, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - buffer));
        if (status != static_cast<std::size_t>(-1)) {
            lossy = lossy || status > 0;
            continue;
        }
        if (errno == E2BIG)
            continue;
        ResetState(handle, result);
        result.push_back('?');
        lossy = true;
        const auto* unit = reinterpret_cast<const char16_t*>(in);
        const std::size_t skip =
            std::min(inLeft, RefusedUnits(unit, inLeft / sizeof(char16_t)) * sizeof(char16_t));
        in += skip;
        inLeft -= skip;
    }
    ResetState(handle, result);
}

void BytesToWide(iconv_t handle, std::string_view bytes, std::u16string& result, bool& lossy)
{
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    char16_t buffer[kChunk];
    while (inLeft > 0) {
        char* out = reinterpret_cast<char*>(buffer);
        std::size_t outLeft = sizeof buffer;
        const std::size_t status = iconv(handle, &in, &inLeft, &out, &outLeft);
        result.append(buffer, static_cast<std::size_t>(out - reinterpret_cast<char*>(buffer))
                / sizeof(char16_t));
        if (status != static_cast<std::size_t>(-1)) {
            lossy = lossy || status > 0;
            continue;
        }
        if (errno == E2BIG)
            continue;
        iconv(handle, nullptr, nullptr, nullptr, nullptr);
        result.push_back(u'\uFFFD');
        lossy = true;
        ++in;
        --inLeft;
    }
}

} // namespace

bool IsCodePageAvailable(unsigned codePage)
{
    const platform::CodePageInfo* info = platform::FindCodePage(codePage);
    return info != nullptr && IconvConverter(info->iconvName, kWideName).IsOpen()
        && IconvConverter(kWideName, info->iconvName).IsOpen();
}

HRESULT Unicode2Encoding(std::u16string_view text, unsigned codePage, std::string& result,
    bool* lossy)
{
    result.clear();
    const platform::CodePageInfo* info = platform::FindCodePage(codePage);
    if (info == nullptr)
        return E_FAIL;
    const IconvConverter converter(info->iconvName, kWideName);
    if (!converter.IsOpen())
        return E_FAIL;
    bool replaced = false;
    try {
        WideToBytes(converter.Handle(), text, result, replaced);
    } catch (const std::bad_alloc&) {
        result.clear();
        return E_OUTOFMEMORY;
    }
    if (lossy != nullptr)
        *lossy = replaced;
    return S_OK;
}

HRESULT Encoding2Unicode(std::string_view bytes, unsigned codePage, std::u16string& result,
    bool* lossy)
{
    result.clear();
    const platform::CodePageInfo* info = platform::FindCodePage(codePage);
    if (info == nullptr)
        return E_FAIL;
    const IconvConverter converter(kWideName, info->iconvName);
    if (!converter.IsOpen())
        return E_FAIL;
    bool replaced = false;
    try {
        BytesToWide(converter.Handle(), bytes, result, replaced);
    } catch (const std::bad_alloc&) {
        result.clear();
        return E_OUTOFMEMORY;
    }
    if (lossy != nullptr)
        *lossy = replaced;
    return S_OK;
}

HRESULT ConvertCodePage(std::string_view bytes, unsigned fromCodePage, unsigned toCodePage,
    std::string& result, bool* lossy)
{
    result.clear();
    std::u16string wide;
    bool lossyIn = false;
    HRESULT hr = Encoding2Unicode(bytes, fromCodePage, wide, &lossyIn);
    if (FAILED(hr))
        return hr;
    bool lossyOut = false;
    hr = Unicode2Encoding(wide, toCodePage, result, &lossyOut);
    if (FAILED(hr))
        return hr;
    if (lossy != nullptr)
        *lossy = lossyIn || lossyOut;
    return S_OK;
}

} // namespace mmconv
