// 8-bit strings of a data file (folder names of ANSI files) as UTF-16.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace platform::pst {

// `bytes` in the Windows code page `codePage` (0 stands for 1252); bytes the code page cannot read
// become U+FFFD.
std::u16string EightBitToUtf16(std::span<const std::uint8_t> bytes, unsigned codePage);

} // namespace platform::pst
