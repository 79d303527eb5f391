// MAPI messages kept in a compound file (IMessage on IStorage).
#pragma once

#include "mapidefs.h"

struct MSGSESS;
using LPMSGSESS = MSGSESS*;
using MSGCALLRELEASE = void(ULONG ulCallerData, LPMESSAGE lpMessage);

#define IMSG_NO_ISTG_COMMIT 0x00000001u

#define PROPATTR_MANDATORY 0x00000001u
#define PROPATTR_READABLE 0x00000002u
#define PROPATTR_WRITEABLE 0x00000004u
#define PROPATTR_NOT_PRESENT 0x00000008u

struct SPropAttrArray {
    ULONG cValues;
    ULONG aPropAttr[1];
};
using LPSPropAttrArray = SPropAttrArray*;

STDAPI_(SCODE) OpenIMsgOnIStg(LPMSGSESS lpMsgSess, LPALLOCATEBUFFER lpAllocateBuffer, LPALLOCATEMORE lpAllocateMore,
                              LPFREEBUFFER lpFreeBuffer, LPMALLOC lpMalloc, LPVOID lpMapiSup, LPSTORAGE lpStg,
                              MSGCALLRELEASE* lpfMsgCallRelease, ULONG ulCallerData, ULONG ulFlags,
                              LPMESSAGE* lppMsg);
STDAPI SetAttribIMsgOnIStg(LPVOID lpObject, LPSPropTagArray lpPropTags, LPSPropAttrArray lpPropAttrs,
                           LPSPropProblemArray* lppPropProblems);
