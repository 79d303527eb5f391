// The compound file's fixed layout (the published structured storage format) that the reader and
// the writer share: signature, header, directory entries, mini sectors and the sector markers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform::cfb {

inline constexpr std::uint8_t kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
inline constexpr std::size_t kHeaderSize = 512;
inline constexpr std::size_t kHeaderDifatCount = 109;  // DIFAT entries the header holds itself
inline constexpr std::size_t kDirectoryEntrySize = 128;
inline constexpr std::size_t kMiniSectorSize = 64;
inline constexpr std::size_t kMiniStreamCutoff = 4096;  // smaller streams live in the mini stream

// Sector numbers above kMaxRegularSector are markers.
inline constexpr std::uint32_t kMaxRegularSector = 0xFFFFFFFAu;
inline constexpr std::uint32_t kDifatSectorMark = 0xFFFFFFFCu;
inline constexpr std::uint32_t kFatSectorMark = 0xFFFFFFFDu;
inline constexpr std::uint32_t kEndOfChain = 0xFFFFFFFEu;
inline constexpr std::uint32_t kFreeSector = 0xFFFFFFFFu;
inline constexpr std::uint32_t kNoStream = 0xFFFFFFFFu;  // no sibling or child in the directory tree

} // namespace platform::cfb
