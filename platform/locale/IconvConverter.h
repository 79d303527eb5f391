// Owner of one glibc iconv conversion descriptor.
#pragma once

#include <iconv.h>

#include <string_view>

namespace platform {

class IconvConverter {
public:
    // Opens a converter from one glibc charset name to another; IsOpen tells whether glibc has it.
    IconvConverter(std::string_view toName, std::string_view fromName);
    ~IconvConverter();
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;

    bool IsOpen() const { return handle_ != kInvalid; }
    iconv_t Handle() const { return handle_; }

private:
    static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
    iconv_t handle_ = kInvalid;
};

} // namespace platform
