// Writing a compound file (structured storage): a tree of storages and streams laid out as one file image.
#pragma once

#include "platform/base/HResult.h"

#include <objidl.h>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace platform::cfb {

struct CompoundFileNode {
    std::u16string name;  // 1 to 31 UTF-16 units, none of them '/', '\\', ':' or '!'
    bool isStorage = false;
    std::vector<std::uint8_t> data;          // streams
    std::vector<CompoundFileNode> children;  // storages
};

CompoundFileNode StreamNode(std::u16string name, std::vector<std::uint8_t> data);
CompoundFileNode StorageNode(std::u16string name, std::vector<CompoundFileNode> children = {});

// Lays out a file whose root storage holds `rootChildren`, in version 3 (512-byte sectors) or
// version 4 (4096-byte sectors). Streams under 4096 bytes go to the mini stream. Each storage's
// children form a balanced red-black tree ordered as the format orders names (shorter first, then
// by upper-cased name; only ASCII letters are folded). On failure `error` says which name or
// stream is at fault and `bytes` is left empty; the status is STG_E_INVALIDNAME for a name the format
// cannot hold, STG_E_FILEALREADYEXISTS for two siblings of one name and STG_E_DOCFILETOOLARGE for
// what does not fit (E_INVALIDARG for another version, E_OUTOFMEMORY when memory runs out).
//
// The layout is fixed, so that tests can find what they want to damage: the sectors hold the FAT,
// the DIFAT, the directory, the mini FAT, the mini stream and then the regular streams in entry
// order. Directory entries are numbered storage by storage from the root (0): the children of a
// storage take consecutive numbers in the order given, then the storages among them are numbered
// in turn, depth first.
HRESULT WriteCompoundFile(std::span<const CompoundFileNode> rootChildren, std::vector<std::uint8_t>& bytes,
                          std::string& error, int majorVersion = 3);

} // namespace platform::cfb
