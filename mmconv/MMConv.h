// The conversion library's entry points: start-up and shut-down, and MapiToMime, which writes one
// MAPI message as an Internet message into a stream.
#pragma once

#include <mapidefs.h>
#include <mapispi.h>
#include <mapix.h>

#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MMCnvSupport.h"
#include "mmconv/message/MMMessage.h"

namespace mmconv {

// Once per process before any conversion: keeps the RTF flag (RTF bodies become HTML), seeds the
// boundary generator with the time, sets up the code-page services and reads Outlook's options.
// The allocation routines and the mode are accepted as MAPI callers pass them; the converters keep
// their own strings. Traces "MMConvInit\n".
HRESULT MMConvInit(LPALLOCATEBUFFER allocate, LPFREEBUFFER free, ULONG mode, ULONG rtfFlag);

// Releases what MMConvInit set up; traces "MMConvFree\n".
HRESULT MMConvFree();

// Writes `message` into `stream` as an Internet message and commits the stream. The session (may be
// null) opens address-book entries; the configuration source (may be null) answers the settings.
// `flags` is 0x01 for the transfer. A failure inside, an exception included, comes back as its
// status; nothing is thrown. A message whose source was damaged (the runtime names the parts it left
// out in PR_QLN_LEFT_OUT_W) converts with the warning MAPI_W_ERRORS_RETURNED, each part traced.
HRESULT MapiToMime(LPMESSAGE message, LPSTREAM stream, LPMAPISESSION session, IConfigProp* config, ULONG flags);
// The same with a provider's support object in place of the session.
HRESULT MapiToMime(LPMESSAGE message, LPSTREAM stream, LPMAPISUP support, IConfigProp* config, ULONG flags);

// The core conversion, also used for embedded messages: picks the converter, saves, deletes it.
HRESULT MapiToMime(LPMESSAGE message, MimeOutput& output, MMCnvSupport& support, ULONG flags,
    LPMESSAGE calendarContext);

// Builds the converter for a message from its class (the class table, the custom-form test and the
// TNEF rules); `result` is null on failure.
HRESULT ConstructMessage(LPMESSAGE message, std::unique_ptr<CMMMessage>& result, MMCnvSupport& support,
    ULONG flags, LPMESSAGE calendarContext);

} // namespace mmconv
