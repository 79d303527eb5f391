// CActivityMsg: journal entries, carried as TNEF beside their bodies.
#pragma once

#include "mmconv/message/TnefMsg.h"

namespace mmconv {

class CActivityMsg final : public CTnefMsg {
public:
    using CTnefMsg::CTnefMsg;
};

} // namespace mmconv
