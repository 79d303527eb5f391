// The two ways a data file hides the bytes of its data blocks: "compressible" (a byte permutation)
// and "high" (a cipher keyed by the block's identifier). Neither is protection; both must be undone
// before anything in a data block can be read.
#pragma once

#include <cstdint>
#include <span>

namespace platform::pst {

enum class BlockEncoding : std::uint8_t { None = 0, Compressible = 1, High = 2 };

// Turns stored bytes into plain ones, in place; `blockId` keys the "high" encoding.
void DecodeBlock(BlockEncoding encoding, std::uint64_t blockId, std::span<std::uint8_t> bytes);
// The reverse, for writing test files in every encoding.
void EncodeBlock(BlockEncoding encoding, std::uint64_t blockId, std::span<std::uint8_t> bytes);

} // namespace platform::pst
