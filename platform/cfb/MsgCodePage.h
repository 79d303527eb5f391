// Which code page the 8-bit strings (PT_STRING8) of a stored message are written in.
#pragma once

#include "platform/cfb/MsgModel.h"

#include <cstdint>

namespace platform::cfb {

// The code page of a message's PT_STRING8 values: PR_MESSAGE_CODEPAGE; else the ANSI code page of
// PR_MESSAGE_LOCALE_ID; else the enclosing message's; else PR_INTERNET_CPID, with the 7-bit and
// EUC forms of the East Asian sets taken as their Windows code pages. 0 when nothing says.
std::uint32_t StringCodePage(const MsgPropertyList& properties, std::uint32_t enclosingCodePage);

} // namespace platform::cfb
