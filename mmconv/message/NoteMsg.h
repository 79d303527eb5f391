// CNoteMsg: mail (IPM.Note and its forms), written entirely by the conversion core.
#pragma once

#include "mmconv/message/MMMessage.h"

namespace mmconv {

class CNoteMsg final : public CMMMessage {
public:
    using CMMMessage::CMMMessage;
};

} // namespace mmconv
