// The SMTP address pass: before a message is converted, its originators, Reply-To entries and
// recipients (and those of its embedded messages) are rewritten in memory into SMTP addresses
// that the address book gives for them. The message is never saved: the store keeps its values.
#pragma once

#include "platform/base/HResult.h"

#include <mapidefs.h>
#include <mapix.h>

namespace ex2qln::transfer {

// Runs the pass on `message`, opened with MAPI_MODIFY: on PT_UNICODE properties, or with `ascii`
// on PT_STRING8 ones (the --ascii run). A failure is reported on standard error and returned; the
// message is then not to be uploaded.
HRESULT SmtpAddressPass(IAddrBook* addressBook, IMessage* message, bool ascii);

} // namespace ex2qln::transfer
