// A large Unicode data file assembled from a small one, for measuring: the folder with the most
// messages gets many more, each a new node that shares the data of the folder's first message, all
// listed in its contents table (a copy of the table's first row each) and under it in the node tree.
#pragma once

#include "platform/base/HResult.h"

#include <cstddef>
#include <string>

namespace bench {

// Writes `target`: `source` with `copies` more messages. `error` says why it could not.
HRESULT AssembleDataFile(const std::string& source, std::size_t copies, const std::string& target, std::string& error);

} // namespace bench
