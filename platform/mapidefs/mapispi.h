// The service-provider support object, as far as this system's callers use it: opening entries.
#pragma once

#include "mapidefs.h"

class IMAPISupport : public IUnknown {
public:
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulOpenFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
};
using LPMAPISUP = IMAPISupport*;
