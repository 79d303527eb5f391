// The organisation tests' way to its messages, which are read when asked for: where each is, and
// what it holds once read.
#pragma once

#include "platform/orgsource/Organisation.h"

#include <functional>
#include <vector>

namespace orgtest {

namespace org = platform::orgsource;

// Message `index` of the folder at `folderPath` (child indices from the store's root).
org::ObjectLocation MessageIn(std::size_t store, std::vector<std::size_t> folderPath, std::size_t index,
                              bool associated = false);

// The message read; a message that cannot be read fails the test and gives an empty document.
platform::cfb::MsgDocument ReadOrFail(const org::Organisation& organisation, const org::ObjectLocation& location);

// Every message of the store, hidden items after each folder's messages, folders depth first.
void ForEachMessage(const org::Organisation& organisation, std::size_t store,
                    const std::function<void(const org::ObjectLocation&)>& visit);

} // namespace orgtest
