// CTnefMsg: items without an Internet form of their own. The bodies stay readable and a TNEF copy
// of the whole item travels with them.
#pragma once

#include "mmconv/message/MMMessage.h"

namespace mmconv {

class CTnefMsg : public CMMMessage {
public:
    using CMMMessage::CMMMessage;

    // With kFlagSaveAsTnef the message carries its bodies and the TNEF part side by side
    // (multipart/mixed); otherwise the TNEF part is the last alternative of the bodies.
    HRESULT SaveContent(MimeOutput& output) override;
};

} // namespace mmconv
