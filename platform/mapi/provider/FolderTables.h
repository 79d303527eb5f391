// The tables of a folder: its contents (or hidden items) and its subfolders. Their rows are read
// when a view needs them, so that a folder of any size is listed in bounded memory.
#pragma once

#include <mapidefs.h>

#include "platform/mapi/core/PropertyBag.h"
#include "platform/mapi/provider/OrgContext.h"

namespace mapi {

// The values a folder shows, as an object and as a row of its parent's hierarchy table, but for
// PR_CONTENT_UNREAD, which needs every message read (OrgContext::UnreadMessages).
PropertyBag FolderValues(const OrgContext& context, std::size_t storeIndex, const org::Folder& folder);

// The contents table of the folder at `folder` (its hidden items when `associated`). A row holds
// what the folder's index knows (PR_INSTANCE_KEY, PR_ENTRYID, PR_PARENT_ENTRYID, PR_OBJECT_TYPE,
// PR_STORE_ENTRYID, PR_MDB_PROVIDER) without reading the message; any other column reads it, and the
// row then holds the values the opened message shows, without its bodies and with strings cut as
// Exchange cuts them. A message that cannot be read gives what the index knows; opening it says why.
HRESULT OpenContentsTable(const OrgContextPointer& context, const org::ObjectLocation& folder, bool associated,
                          ULONG flags, LPMAPITABLE* result);

// The hierarchy table of the folder at `folder`: its subfolders, or with CONVENIENT_DEPTH every
// folder below it, depth first, with its PR_DEPTH from 0.
HRESULT OpenHierarchyTable(const OrgContextPointer& context, const org::ObjectLocation& folder, ULONG flags,
                           LPMAPITABLE* result);

} // namespace mapi
