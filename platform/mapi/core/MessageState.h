// What an opened message holds: its properties, recipients and attachments (with embedded
// messages), as values that are copied cheaply and replaced whole, so that an attachment or an
// embedded message can be changed on its own and put back into its parent by SaveChanges.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "platform/cfb/MsgModel.h"

#include "platform/mapi/core/NamedPropertyMap.h"
#include "platform/mapi/core/PropertyBag.h"

namespace mapi {

struct MessageState;

struct RecipientState {
    ULONG rowId = 0;
    PropertyBag properties;
};

struct AttachmentState {
    ULONG number = 0;
    PropertyBag properties;
    std::shared_ptr<const MessageState> embedded;  // the message of an ATTACH_EMBEDDED_MSG attachment
    bool otherObject = false;                      // PR_ATTACH_DATA_OBJ holds something else (OLE)
};

struct MessageState {
    PropertyBag properties;
    std::vector<RecipientState> recipients;
    std::vector<std::shared_ptr<const AttachmentState>> attachments;
    ULONG nextRowId = 0;
    ULONG nextAttachNumber = 0;
};

// The message of a model as the runtime keeps it. PT_STRING8 values are read in the message's
// code page and kept as PT_UNICODE; named-property ids of the model (`modelNames`, shared by its
// embedded messages) become the store's ids in `names`, and model properties in the named range
// without a name are left out. Binary and Unicode values are not copied: they point into the
// model, which `keepAlive` holds for as long as any of them is kept.
MessageState LoadMessageState(const platform::cfb::MsgMessage& message,
                              std::span<const platform::cfb::MsgNamedProperty> modelNames, NamedPropertyMap& names,
                              std::shared_ptr<const void> keepAlive);

} // namespace mapi
