// CConfigProp: the transfer's configuration source for the conversion library. It answers from two
// property objects (both the server settings in this program): the mailbox identity from the second,
// everything else from the first.
#pragma once

#include <MapiPtr.h>
#include <mapidefs.h>

#include "mmconv/message/ConfigProp.h"

namespace ex2qln::transfer {

class CConfigProp final : public mmconv::IConfigProp {
public:
    // Each object may be null; each present one is referenced for the source's life.
    CConfigProp(IMAPIProp* settings, IMAPIProp* identity);

    // Not a COM object of its own: it lives on its user's stack.
    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override;
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }

    // PR_RECEIVED_BY_NAME_A and PR_RECEIVED_BY_EMAIL_ADDRESS_A come from the identity's
    // PR_DISPLAY_NAME and PR_EMAIL_ADDRESS (answered under the asked tag); the identity tags
    // themselves from the identity; any other tag from the settings. MAPI_E_NOT_FOUND when the
    // object is missing or lacks the value.
    HRESULT GetOneProp(ULONG ulPropTag, LPSPropValue* lppProp) override;

private:
    MapiPtr<IMAPIProp> settings_;
    MapiPtr<IMAPIProp> identity_;
};

} // namespace ex2qln::transfer
