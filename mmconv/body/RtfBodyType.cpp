// Body type detection from the RTF header.
#include "mmconv/body/RtfBodyType.h"

namespace mmconv {

unsigned GetRtfBodyType(std::string_view rtfStart)
{
    if (rtfStart.empty())
        return kBodyTypeNone;
    const std::size_t open = rtfStart.find('{');
    if (open == std::string_view::npos)
        return kBodyTypeRtf;
    const std::size_t close = rtfStart.find_first_of("{}", open + 1);
    const std::string_view header = rtfStart.substr(open, close == std::string_view::npos ? close : close - open);
    if (header.find("fromtext") != std::string_view::npos)
        return kBodyTypePlain;
    if (header.find("fromhtml") != std::string_view::npos)
        return kBodyTypeHtml;
    return kBodyTypeRtf;
}

} // namespace mmconv
