// The TNEF stream interface and the entry point that opens one on a message.
#pragma once

#include "mapidefs.h"
#include "mapix.h"

#define TNEF_DECODE 0x00000000u
#define TNEF_ENCODE 0x00000002u
#define TNEF_PURE 0x00010000u
#define TNEF_COMPATIBILITY 0x00020000u
#define TNEF_BEST_DATA 0x00040000u
#define TNEF_COMPONENT_ENCODING 0x80000000u

#define TNEF_PROP_INCLUDE 0x00000001u
#define TNEF_PROP_EXCLUDE 0x00000002u
#define TNEF_PROP_CONTAINED 0x00000004u
#define TNEF_PROP_MESSAGE_ONLY 0x00000008u
#define TNEF_PROP_ATTACHMENTS_ONLY 0x00000010u
#define TNEF_PROP_CONTAINED_TNEF 0x00000040u

struct STnefProblem {
    ULONG ulComponent;
    ULONG ulAttribute;
    ULONG ulPropTag;
    SCODE scode;
};
struct STnefProblemArray {
    ULONG cProblem;
    STnefProblem aProblem[1];
};
using LPSTnefProblemArray = STnefProblemArray*;

class ITnef : public IUnknown {
public:
    virtual HRESULT AddProps(ULONG ulFlags, ULONG ulElemID, LPVOID lpvData, LPSPropTagArray lpPropList) = 0;
    virtual HRESULT ExtractProps(ULONG ulFlags, LPSPropTagArray lpPropList, LPSTnefProblemArray* lpProblems) = 0;
    virtual HRESULT Finish(ULONG ulFlags, WORD* lpKey, LPSTnefProblemArray* lpProblems) = 0;
    virtual HRESULT OpenTaggedBody(LPMESSAGE lpMessage, ULONG ulFlags, LPSTREAM* lppStream) = 0;
    virtual HRESULT SetProps(ULONG ulFlags, ULONG ulElemID, ULONG cValues, LPSPropValue lpProps) = 0;
    virtual HRESULT EncodeRecips(ULONG ulFlags, LPMAPITABLE lpRecipientTable) = 0;
    virtual HRESULT FinishComponent(ULONG ulFlags, ULONG ulComponentID, LPSPropTagArray lpCustomPropList,
                                    LPSPropValue lpCustomProps, LPSPropTagArray lpPropList,
                                    LPSTnefProblemArray* lpProblems) = 0;
};
using LPITNEF = ITnef*;

STDAPI OpenTnefStreamEx(LPVOID lpvSupport, LPSTREAM lpStream, LPTSTR lpszStreamName, ULONG ulFlags,
                        LPMESSAGE lpMessage, WORD wKeyVal, LPADRBOOK lpAdressBook, LPITNEF* lppTNEF);
