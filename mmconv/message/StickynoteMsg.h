// CStickynoteMsg: Outlook notes: the core's header with the note's colour, size and position, and
// the note's text as a plain-text body.
#pragma once

#include "mmconv/message/MMMessage.h"

namespace mmconv {

class CStickynoteMsg final : public CMMMessage {
public:
    using CMMMessage::CMMMessage;

    HRESULT SaveHeader(MimeOutput& output, bool top) override;
    HRESULT GetBodyType(unsigned& bodyType) override;
};

} // namespace mmconv
