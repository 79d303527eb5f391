// The body type an RTF body announces in its header.
#pragma once

#include <string_view>

namespace mmconv {

inline constexpr unsigned kBodyTypeNone = 0;
inline constexpr unsigned kBodyTypePlain = 1;
inline constexpr unsigned kBodyTypeHtml = 2;
inline constexpr unsigned kBodyTypeRtf = 3;

// From the first bytes of decompressed RTF (the caller reads up to 512): none when empty; else the
// text from the first "{" up to the next "{" or "}" decides: holding "fromtext" it is plain,
// holding "fromhtml" HTML, otherwise RTF.
unsigned GetRtfBodyType(std::string_view rtfStart);

} // namespace mmconv
