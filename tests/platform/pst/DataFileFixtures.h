// Data files for tests, made from the shared sample files: the same file in another block
// encoding, and damaged copies.
#pragma once

#include "platform/cfb/MsgModel.h"
#include "platform/pst/BlockEncoding.h"
#include "platform/pst/PstStore.h"

#include <filesystem>
#include <string>

namespace pstfixtures {

// Writes `sample` to `target` with its data blocks in `encoding`.
void WriteReencoded(const std::filesystem::path& sample, platform::pst::BlockEncoding encoding,
                    const std::filesystem::path& target);

// Writes `sample` to `target` without its free space: the header, the B-tree pages and the blocks,
// one after the other, the pages' offsets made to match.
void WriteCompacted(const std::filesystem::path& sample, const std::filesystem::path& target);

// Everything the reader gives for a message, one line per property, recipient and attachment, so
// that two readings compare as text.
std::string Describe(const platform::cfb::MsgDocument& document);

// Every folder below the root with its messages, described as above.
std::string DescribeStore(const platform::pst::PstStore& store);

// A data file header (564 bytes) of `version` and `encoding`, its B-trees at the offsets given.
std::string MakeHeader(std::uint16_t version, std::uint8_t encoding, std::uint64_t nodeRoot, std::uint64_t blockRoot);

} // namespace pstfixtures
