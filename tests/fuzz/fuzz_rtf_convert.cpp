// Fuzzes the body converter: any input as RTF into text and HTML, as plain text in a double-byte
// code page, and the body type test on its start.
#include "mmconv/body/CMMBodyConverter.h"
#include "mmconv/body/RtfBodyType.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using mmconv::BodySourceKind;
    using mmconv::CMMBodyConverter;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    // The output code page varies with the input, so that lossy and double-byte outputs are reached.
    const unsigned codePage = size % 3 == 0 ? 65001 : size % 3 == 1 ? 1252 : 932;

    std::string text;
    std::string html;
    const HRESULT textResult = CMMBodyConverter::ConvertToText(input, BodySourceKind::kRtf, 0, codePage, text);
    const HRESULT htmlResult = CMMBodyConverter::ConvertToHtml(input, BodySourceKind::kRtf, 0, codePage, html);
    // Both read the same RTF, so both fail or neither does.
    if (FAILED(textResult) != FAILED(htmlResult))
        std::abort();

    CMMBodyConverter::ConvertToText(input, BodySourceKind::kPlainText, 932, codePage, text);
    CMMBodyConverter::ConvertToHtml(input, BodySourceKind::kPlainText, 932, codePage, html);

    if (mmconv::GetRtfBodyType(input.substr(0, 512)) > mmconv::kBodyTypeRtf)
        std::abort();
    return 0;
}
