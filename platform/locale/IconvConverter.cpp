// Opening and closing of iconv descriptors.
#include "platform/locale/IconvConverter.h"

#include <string>

namespace platform {

IconvConverter::IconvConverter(std::string_view toName, std::string_view fromName)
{
    handle_ = iconv_open(std::string(toName).c_str(), std::string(fromName).c_str());
}

IconvConverter::~IconvConverter()
{
    if (IsOpen())
        iconv_close(handle_);
}

} // namespace platform
