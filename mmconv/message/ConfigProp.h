// IConfigProp: where a conversion asks its caller for settings, one property value per tag. The
// transfer supplies its own implementation over the server settings.
#pragma once

#include <mapidefs.h>

namespace mmconv {

class IConfigProp : public IUnknown {
public:
    // One value for the tag, allocated with MAPIAllocateBuffer and freed by the caller with
    // MAPIFreeBuffer; a failing status when there is none.
    virtual HRESULT GetOneProp(ULONG ulPropTag, LPSPropValue* lppProp) = 0;
};

// The settings a conversion asks for. Without an answer every flag counts as false.
inline constexpr ULONG kConfigSaveAsTnef = 0x66A7000B;          // every message as TNEF
inline constexpr ULONG kConfigRtfAsHtml = 0x66A9000B;           // RTF bodies count as HTML
inline constexpr ULONG kConfigScheduleAsTnef = 0x66B1000B;      // IPM.Schedule items as TNEF
inline constexpr ULONG kConfigNoSenderHeader = 0x66B5000B;      // never write "Sender"
inline constexpr ULONG kConfigTnefWithoutAttachments = 0x66B7000B;
inline constexpr ULONG kConfigScheduleInlineAsFile = 0x66BE000B; // IPM.Schedule inline parts stay files
inline constexpr ULONG kConfigBodyTrailer = 0x1000001E;         // UTF-8 text appended to bodies
// The mailbox the conversion works for (the transfer's account).
inline constexpr ULONG kConfigMailboxName = 0x0040001E;         // PR_RECEIVED_BY_NAME_A
inline constexpr ULONG kConfigMailboxAddress = 0x0076001E;      // PR_RECEIVED_BY_EMAIL_ADDRESS_A

} // namespace mmconv
