// CTnefMsg: the core's content with a TNEF copy.
#include "mmconv/message/TnefMsg.h"

namespace mmconv {

HRESULT CTnefMsg::SaveContent(MimeOutput& output)
{
    if ((GetFlags() & kFlagSaveAsTnef) != 0)
        return SaveContentWithNativeTnef(output);
    const ULONG saved = GetFlags();
    SetFlags(saved | kFlagCustomForm);
    const HRESULT hr = CMMMessage::SaveContent(output);
    SetFlags(saved);
    return hr;
}

} // namespace mmconv
