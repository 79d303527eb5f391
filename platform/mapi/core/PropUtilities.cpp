// The published helpers on property values: copies, sizes, comparisons and look-up.
#include <mapiutil.h>

#include <cstring>

#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/StringForms.h"

using mapi::AlignedSize;

STDAPI_(SCODE) PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc, ALLOCATEMORE* lpfAllocMore,
                            LPVOID lpvObject)
{
    if (lpSPropValueDest == nullptr || lpSPropValueSrc == nullptr || lpfAllocMore == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    mapi::ChainAllocator allocator(lpfAllocMore, lpvObject);
    return mapi::CopyValue(*lpSPropValueDest, *lpSPropValueSrc, allocator);
}

STDAPI_(ULONG) UlPropSize(LPSPropValue lpSPropValue)
{
    if (lpSPropValue == nullptr)
        return 0;
    const PV& v = lpSPropValue->Value;
    switch (PROP_TYPE(lpSPropValue->ulPropTag)) {
    case PT_I2: return sizeof(SHORT);
    case PT_LONG:
    case PT_R4:
    case PT_ERROR: return 4;
    case PT_BOOLEAN: return sizeof(unsigned short);
    case PT_DOUBLE:
    case PT_APPTIME:
    case PT_CURRENCY:
    case PT_I8:
    case PT_SYSTIME: return 8;
    case PT_CLSID: return sizeof(GUID);
    case PT_STRING8: return v.lpszA == nullptr ? 0 : static_cast<ULONG>(std::strlen(v.lpszA) + 1);
    case PT_UNICODE: return v.lpszW == nullptr ? 0 : static_cast<ULONG>((mapi::Utf16Length(v.lpszW) + 1) * sizeof(WCHAR));
    case PT_BINARY:
    case PT_SVREID: return v.bin.cb;
    default: break;
    }
    // Multi-valued: the sum of the sizes of the values.
    ULONG total = 0;
    if ((PROP_TYPE(lpSPropValue->ulPropTag) & MV_FLAG) == 0 || v.MVl.lpl == nullptr)
        return 0;
    for (ULONG i = 0; i < v.MVl.cValues; ++i) {
        SPropValue element = mapi::ElementAt(*lpSPropValue, i);
        total += UlPropSize(&element);
    }
    return total;
}

STDAPI_(SCODE) ScCountProps(int cValues, LPSPropValue lpPropArray, ULONG* lpcb)
{
    if (cValues < 0 || (cValues > 0 && lpPropArray == nullptr))
        return MAPI_E_INVALID_PARAMETER;
    ULONG bytes = AlignedSize(static_cast<std::size_t>(cValues) * sizeof(SPropValue));
    for (int i = 0; i < cValues; ++i) {
        if (!mapi::IsCopyableType(PROP_TYPE(lpPropArray[i].ulPropTag)))
            return MAPI_E_INVALID_TYPE;
        bytes += mapi::ExtraBytes(lpPropArray[i]);
    }
    if (lpcb != nullptr)
        *lpcb = bytes;
    return S_OK;
}

STDAPI_(SCODE) ScCopyProps(int cValues, LPSPropValue lpPropArray, LPVOID lpvDst, ULONG* lpcb)
{
    SCODE status = ScCountProps(cValues, lpPropArray, nullptr);
    if (status != S_OK || lpvDst == nullptr)
        return status != S_OK ? status : MAPI_E_INVALID_PARAMETER;
    auto* copies = static_cast<LPSPropValue>(lpvDst);
    auto* start = static_cast<BYTE*>(lpvDst);
    mapi::PackedAllocator allocator(start + AlignedSize(static_cast<std::size_t>(cValues) * sizeof(SPropValue)));
    for (int i = 0; i < cValues; ++i)
        mapi::CopyValue(copies[i], lpPropArray[i], allocator);
    if (lpcb != nullptr)
        *lpcb = static_cast<ULONG>(allocator.next() - start);
    return S_OK;
}

STDAPI_(SCODE) ScDupPropset(int cValues, LPSPropValue lpPropArray, LPALLOCATEBUFFER lpAllocateBuffer,
                            LPSPropValue* lppPropArray)
{
    if (lppPropArray == nullptr || lpAllocateBuffer == nullptr || cValues < 0 ||
        (cValues > 0 && lpPropArray == nullptr))
        return MAPI_E_INVALID_PARAMETER;
    return mapi::DuplicateValues(std::span<const SPropValue>(lpPropArray, static_cast<std::size_t>(cValues)),
                                 lpAllocateBuffer, lppPropArray);
}

STDAPI_(LONG) LPropCompareProp(LPSPropValue lpSPropValueA, LPSPropValue lpSPropValueB)
{
    if (lpSPropValueA == nullptr || lpSPropValueB == nullptr)
        return 0;
    std::optional<int> order = mapi::CompareValues(*lpSPropValueA, *lpSPropValueB, false);
    if (order)
        return *order;
    // Values of different types order by type, so that sorting stays consistent.
    return PROP_TYPE(lpSPropValueA->ulPropTag) < PROP_TYPE(lpSPropValueB->ulPropTag) ? -1 : 1;
}

STDAPI_(BOOL) FPropCompareProp(LPSPropValue lpSPropValue1, ULONG ulRelOp, LPSPropValue lpSPropValue2)
{
    if (lpSPropValue1 == nullptr || lpSPropValue2 == nullptr)
        return FALSE;
    std::optional<int> order = mapi::CompareValues(*lpSPropValue1, *lpSPropValue2, false);
    if (!order)
        return FALSE;
    switch (ulRelOp) {
    case RELOP_LT: return *order < 0;
    case RELOP_LE: return *order <= 0;
    case RELOP_GT: return *order > 0;
    case RELOP_GE: return *order >= 0;
    case RELOP_EQ: return *order == 0;
    case RELOP_NE: return *order != 0;
    default: return FALSE;
    }
}

STDAPI_(LPSPropValue) PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag)
{
    if (lpPropArray == nullptr)
        return nullptr;
    bool anyType = PROP_TYPE(ulPropTag) == PT_UNSPECIFIED;
    for (ULONG i = 0; i < cValues; ++i) {
        ULONG tag = lpPropArray[i].ulPropTag;
        if (anyType ? PROP_ID(tag) == PROP_ID(ulPropTag) : tag == ulPropTag)
            return &lpPropArray[i];
    }
    return nullptr;
}
