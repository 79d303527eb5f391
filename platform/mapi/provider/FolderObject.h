// A folder of a store as IMAPIFolder: its values, its hierarchy and contents tables.
#pragma once

#include <vector>

#include <mapidefs.h>

#include "platform/mapi/provider/OrgContext.h"

namespace mapi {

// The folder at `folderPath` (child indices from the store's root).
HRESULT OpenFolderObject(const OrgContextPointer& context, std::size_t storeIndex, std::vector<std::size_t> folderPath,
                         LPCIID lpInterface, ULONG* lpulObjType, LPUNKNOWN* lppUnk);

} // namespace mapi
