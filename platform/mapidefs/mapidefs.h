// The published MAPI data structures, property types, flags and the core object interfaces.
#pragma once

#include "mapicode.h"
#include "mapiguid.h"
#include "mapiwin.h"
#include "objidl.h"
#include "unknwn.h"

// ---- Memory --------------------------------------------------------------------------------

using ALLOCATEBUFFER = SCODE(ULONG cbSize, LPVOID* lppBuffer);
using ALLOCATEMORE = SCODE(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer);
using FREEBUFFER = ULONG(LPVOID lpBuffer);
using LPALLOCATEBUFFER = ALLOCATEBUFFER*;
using LPALLOCATEMORE = ALLOCATEMORE*;
using LPFREEBUFFER = FREEBUFFER*;

// ---- Identifiers ---------------------------------------------------------------------------

struct MAPIUID {
    BYTE ab[16];
};
using LPMAPIUID = MAPIUID*;
#define MAPI_ONE_OFF_UID {0x81, 0x2b, 0x1f, 0xa4, 0xbe, 0xa3, 0x10, 0x19, 0x9d, 0x6e, 0x00, 0xdd, 0x01, 0x0f, 0x54, 0x02}
#define MAPI_ONE_OFF_UNICODE 0x8000
#define MAPI_ONE_OFF_NO_RICH_INFO 0x0001

struct ENTRYID {
    BYTE abFlags[4];
    BYTE ab[1];
};
using LPENTRYID = ENTRYID*;
#define CbNewENTRYID(cb) (offsetof(ENTRYID, ab) + (cb))

struct SBinary {
    ULONG cb;
    LPBYTE lpb;
};
using LPSBinary = SBinary*;

struct SBinaryArray {
    ULONG cValues;
    SBinary* lpbin;
};
using ENTRYLIST = SBinaryArray;
using LPENTRYLIST = SBinaryArray*;

struct FLATENTRY {
    ULONG cb;
    BYTE abEntry[1];
};
using LPFLATENTRY = FLATENTRY*;
#define CbNewFLATENTRY(cb) (offsetof(FLATENTRY, abEntry) + (cb))
#define CbFLATENTRY(lpentry) (offsetof(FLATENTRY, abEntry) + (lpentry)->cb)

struct FLATENTRYLIST {
    ULONG cEntries;
    ULONG cbEntries;
    BYTE abEntries[1];
};
using LPFLATENTRYLIST = FLATENTRYLIST*;
#define CbNewFLATENTRYLIST(cb) (offsetof(FLATENTRYLIST, abEntries) + (cb))

// ---- Property types and tags ---------------------------------------------------------------

#define PT_UNSPECIFIED 0x0000u
#define PT_NULL 0x0001u
#define PT_I2 0x0002u
#define PT_SHORT PT_I2
#define PT_LONG 0x0003u
#define PT_I4 PT_LONG
#define PT_R4 0x0004u
#define PT_FLOAT PT_R4
#define PT_DOUBLE 0x0005u
#define PT_R8 PT_DOUBLE
#define PT_CURRENCY 0x0006u
#define PT_APPTIME 0x0007u
#define PT_ERROR 0x000Au
#define PT_BOOLEAN 0x000Bu
#define PT_OBJECT 0x000Du
#define PT_I8 0x0014u
#define PT_LONGLONG PT_I8
#define PT_STRING8 0x001Eu
#define PT_UNICODE 0x001Fu
#define PT_SYSTIME 0x0040u
#define PT_CLSID 0x0048u
#define PT_SVREID 0x00FBu
#define PT_SRESTRICT 0x00FDu
#define PT_ACTIONS 0x00FEu
#define PT_BINARY 0x0102u

#define MV_FLAG 0x1000u
#define MV_INSTANCE 0x2000u
#define MVI_FLAG (MV_FLAG | MV_INSTANCE)
#define MVI_PROP(tag) ((tag) | MVI_FLAG)

#define PT_MV_I2 (MV_FLAG | PT_I2)
#define PT_MV_SHORT PT_MV_I2
#define PT_MV_LONG (MV_FLAG | PT_LONG)
#define PT_MV_I4 PT_MV_LONG
#define PT_MV_R4 (MV_FLAG | PT_R4)
#define PT_MV_FLOAT PT_MV_R4
#define PT_MV_DOUBLE (MV_FLAG | PT_DOUBLE)
#define PT_MV_R8 PT_MV_DOUBLE
#define PT_MV_CURRENCY (MV_FLAG | PT_CURRENCY)
#define PT_MV_APPTIME (MV_FLAG | PT_APPTIME)
#define PT_MV_SYSTIME (MV_FLAG | PT_SYSTIME)
#define PT_MV_STRING8 (MV_FLAG | PT_STRING8)
#define PT_MV_BINARY (MV_FLAG | PT_BINARY)
#define PT_MV_UNICODE (MV_FLAG | PT_UNICODE)
#define PT_MV_CLSID (MV_FLAG | PT_CLSID)
#define PT_MV_I8 (MV_FLAG | PT_I8)
#define PT_MV_LONGLONG PT_MV_I8

// This is an 8-bit build: the "T" forms are the 8-bit ones.
#define PT_TSTRING PT_STRING8
#define PT_MV_TSTRING PT_MV_STRING8

#define PROP_TYPE_MASK 0x0000FFFFu
#define PROP_TYPE(ulPropTag) (static_cast<ULONG>(ulPropTag) & PROP_TYPE_MASK)
#define PROP_ID(ulPropTag) (static_cast<ULONG>(ulPropTag) >> 16)
#define PROP_TAG(ulPropType, ulPropID) ((static_cast<ULONG>(ulPropID) << 16) | static_cast<ULONG>(ulPropType))
#define CHANGE_PROP_TYPE(ulPropTag, ulPropType)                                                    \
    ((static_cast<ULONG>(0xFFFF0000u) & static_cast<ULONG>(ulPropTag)) | static_cast<ULONG>(ulPropType))
#define PROP_ID_NULL 0u
#define PROP_ID_INVALID 0xFFFFu
#define PR_NULL PROP_TAG(PT_NULL, PROP_ID_NULL)
#define PROP_ID_SECURE_MIN 0x67F0u
#define PROP_ID_SECURE_MAX 0x67FFu
// Ids of this range stand for named properties (GetIDsFromNames, GetNamesFromIDs).
#define PROP_ID_NAMED_MIN 0x8000u
#define PROP_ID_NAMED_MAX 0xFFFEu

struct SPropTagArray {
    ULONG cValues;
    ULONG aulPropTag[1];
};
using LPSPropTagArray = SPropTagArray*;
#define CbNewSPropTagArray(count) (offsetof(SPropTagArray, aulPropTag) + (count) * sizeof(ULONG))
#define CbSPropTagArray(lpPropTagArray) CbNewSPropTagArray((lpPropTagArray)->cValues)
#define SizedSPropTagArray(count, name)                                                            \
    struct _SPropTagArray_##name {                                                                 \
        ULONG cValues;                                                                             \
        ULONG aulPropTag[count];                                                                   \
    } name

// ---- Property values ------------------------------------------------------------------------

union CURRENCY {
    struct {
        ULONG Lo;
        LONG Hi;
    } s;
    LONGLONG int64;
};

struct SShortArray { ULONG cValues; SHORT* lpi; };
struct SLongArray { ULONG cValues; LONG* lpl; };
struct SRealArray { ULONG cValues; float* lpflt; };
struct SDoubleArray { ULONG cValues; double* lpdbl; };
struct SCurrencyArray { ULONG cValues; CURRENCY* lpcur; };
struct SAppTimeArray { ULONG cValues; double* lpat; };
struct SDateTimeArray { ULONG cValues; FILETIME* lpft; };
struct SLPSTRArray { ULONG cValues; LPSTR* lppszA; };
struct SWStringArray { ULONG cValues; LPWSTR* lppszW; };
struct SGuidArray { ULONG cValues; GUID* lpguid; };
struct SLargeIntegerArray { ULONG cValues; LARGE_INTEGER* lpli; };

union PV {
    SHORT i;
    LONG l;
    ULONG ul;
    float flt;
    double dbl;
    unsigned short b;
    CURRENCY cur;
    double at;
    FILETIME ft;
    LPSTR lpszA;
    SBinary bin;
    LPWSTR lpszW;
    LPGUID lpguid;
    LARGE_INTEGER li;
    SShortArray MVi;
    SLongArray MVl;
    SRealArray MVflt;
    SDoubleArray MVdbl;
    SCurrencyArray MVcur;
    SAppTimeArray MVat;
    SDateTimeArray MVft;
    SBinaryArray MVbin;
    SLPSTRArray MVszA;
    SWStringArray MVszW;
    SGuidArray MVguid;
    SLargeIntegerArray MVli;
    SCODE err;
    LONG x;
};

struct SPropValue {
    ULONG ulPropTag;
    ULONG dwAlignPad;
    PV Value;
};
using LPSPropValue = SPropValue*;

struct SPropProblem {
    ULONG ulIndex;
    ULONG ulPropTag;
    SCODE scode;
};
using LPSPropProblem = SPropProblem*;

struct SPropProblemArray {
    ULONG cProblem;
    SPropProblem aProblem[1];
};
using LPSPropProblemArray = SPropProblemArray*;
#define CbNewSPropProblemArray(count) (offsetof(SPropProblemArray, aProblem) + (count) * sizeof(SPropProblem))

struct FlagList {
    ULONG cFlags;
    ULONG ulFlag[1];
};
using LPFlagList = FlagList*;
#define CbNewFlagList(count) (offsetof(FlagList, ulFlag) + (count) * sizeof(ULONG))

// ---- Rows, address lists, sorting and restrictions -----------------------------------------

struct ADRENTRY {
    ULONG ulReserved1;
    ULONG cValues;
    LPSPropValue rgPropVals;
};
using LPADRENTRY = ADRENTRY*;

struct ADRLIST {
    ULONG cEntries;
    ADRENTRY aEntries[1];
};
using LPADRLIST = ADRLIST*;
#define CbNewADRLIST(count) (offsetof(ADRLIST, aEntries) + (count) * sizeof(ADRENTRY))
#define SizedADRLIST(count, name)                                                                  \
    struct _ADRLIST_##name {                                                                       \
        ULONG cEntries;                                                                            \
        ADRENTRY aEntries[count];                                                                  \
    } name

struct SRow {
    ULONG ulAdrEntryPad;
    ULONG cValues;
    LPSPropValue lpProps;
};
using LPSRow = SRow*;

struct SRowSet {
    ULONG cRows;
    SRow aRow[1];
};
using LPSRowSet = SRowSet*;
#define CbNewSRowSet(count) (offsetof(SRowSet, aRow) + (count) * sizeof(SRow))
#define SizedSRowSet(count, name)                                                                  \
    struct _SRowSet_##name {                                                                       \
        ULONG cRows;                                                                               \
        SRow aRow[count];                                                                          \
    } name

struct SSortOrder {
    ULONG ulPropTag;
    ULONG ulOrder;
};
using LPSSortOrder = SSortOrder*;
#define TABLE_SORT_ASCEND 0x00000000u
#define TABLE_SORT_DESCEND 0x00000001u
#define TABLE_SORT_COMBINE 0x00000002u

struct SSortOrderSet {
    ULONG cSorts;
    ULONG cCategories;
    ULONG cExpanded;
    SSortOrder aSort[1];
};
using LPSSortOrderSet = SSortOrderSet*;
#define CbNewSSortOrderSet(count) (offsetof(SSortOrderSet, aSort) + (count) * sizeof(SSortOrder))
#define SizedSSortOrderSet(count, name)                                                            \
    struct _SSortOrderSet_##name {                                                                 \
        ULONG cSorts;                                                                              \
        ULONG cCategories;                                                                         \
        ULONG cExpanded;                                                                           \
        SSortOrder aSort[count];                                                                   \
    } name

// Restriction kinds.
#define RES_AND 0x00000000u
#define RES_OR 0x00000001u
#define RES_NOT 0x00000002u
#define RES_CONTENT 0x00000003u
#define RES_PROPERTY 0x00000004u
#define RES_COMPAREPROPS 0x00000005u
#define RES_BITMASK 0x00000006u
#define RES_SIZE 0x00000007u
#define RES_EXIST 0x00000008u
#define RES_SUBRESTRICTION 0x00000009u
#define RES_COMMENT 0x0000000Au
#define RES_COUNT 0x0000000Bu
#define RES_ANNOTATION 0x0000000Cu

// Relational operators.
#define RELOP_LT 0u
#define RELOP_LE 1u
#define RELOP_GT 2u
#define RELOP_GE 3u
#define RELOP_EQ 4u
#define RELOP_NE 5u
#define RELOP_RE 6u

// Fuzzy levels of content restrictions: the match in the low word, options in the high word.
#define FL_FULLSTRING 0x00000000u
#define FL_SUBSTRING 0x00000001u
#define FL_PREFIX 0x00000002u
#define FL_IGNORECASE 0x00010000u
#define FL_IGNORENONSPACE 0x00020000u
#define FL_LOOSE 0x00040000u

// Bitmask relations.
#define BMR_EQZ 0x00000000u
#define BMR_NEZ 0x00000001u

struct SRestriction;
using LPSRestriction = SRestriction*;

struct SAndRestriction { ULONG cRes; LPSRestriction lpRes; };
struct SOrRestriction { ULONG cRes; LPSRestriction lpRes; };
struct SNotRestriction { ULONG ulReserved; LPSRestriction lpRes; };
struct SContentRestriction { ULONG ulFuzzyLevel; ULONG ulPropTag; LPSPropValue lpProp; };
struct SPropertyRestriction { ULONG relop; ULONG ulPropTag; LPSPropValue lpProp; };
struct SComparePropsRestriction { ULONG relop; ULONG ulPropTag1; ULONG ulPropTag2; };
struct SBitMaskRestriction { ULONG relBMR; ULONG ulPropTag; ULONG ulMask; };
struct SSizeRestriction { ULONG relop; ULONG ulPropTag; ULONG cb; };
struct SExistRestriction { ULONG ulReserved1; ULONG ulPropTag; ULONG ulReserved2; };
struct SSubRestriction { ULONG ulSubObject; LPSRestriction lpRes; };
struct SCommentRestriction { ULONG cValues; LPSRestriction lpRes; LPSPropValue lpProp; };
struct SCountRestriction { ULONG ulCount; LPSRestriction lpRes; };

struct SRestriction {
    ULONG rt;
    union {
        SComparePropsRestriction resCompareProps;
        SAndRestriction resAnd;
        SOrRestriction resOr;
        SNotRestriction resNot;
        SContentRestriction resContent;
        SPropertyRestriction resProperty;
        SBitMaskRestriction resBitMask;
        SSizeRestriction resSize;
        SExistRestriction resExist;
        SSubRestriction resSub;
        SCommentRestriction resComment;
        SCommentRestriction resAnnotation;
        SCountRestriction resCount;
    } res;
};

// ---- Named properties -----------------------------------------------------------------------

#define MNID_ID 0u
#define MNID_STRING 1u

struct MAPINAMEID {
    LPGUID lpguid;
    ULONG ulKind;
    union {
        LONG lID;
        LPWSTR lpwstrName;
    } Kind;
};
using LPMAPINAMEID = MAPINAMEID*;

// ---- Errors ---------------------------------------------------------------------------------

struct MAPIERROR {
    ULONG ulVersion;
    LPTSTR lpszError;
    LPTSTR lpszComponent;
    ULONG ulLowLevelError;
    ULONG ulContext;
};
using LPMAPIERROR = MAPIERROR*;
#define MAPI_ERROR_VERSION 0x00000000u

// ---- Flags ----------------------------------------------------------------------------------

#define MAPI_UNICODE 0x80000000u
#define MAPI_MODIFY 0x00000001u
#define MAPI_CREATE 0x00000002u
#define MAPI_ACCESS_MODIFY 0x00000001u
#define MAPI_ACCESS_READ 0x00000002u
#define MAPI_ACCESS_DELETE 0x00000004u
#define MAPI_ACCESS_CREATE_HIERARCHY 0x00000008u
#define MAPI_ACCESS_CREATE_CONTENTS 0x00000010u
#define MAPI_ACCESS_CREATE_ASSOCIATED 0x00000020u
#define MAPI_DEFERRED_ERRORS 0x00000008u
#define MAPI_BEST_ACCESS 0x00000010u
#define MAPI_ASSOCIATED 0x00000040u
#define MAPI_DIALOG 0x00000008u
#define MAPI_NO_STRINGS 0x00000001u
#define MAPI_NO_IDS 0x00000002u
#define MAPI_NO_CACHE 0x00000200u
#define MAPI_CACHE_ONLY 0x00004000u
#define MAPI_MOVE 0x00000001u
#define MAPI_NOREPLACE 0x00000002u
#define MAPI_DECLINE_OK 0x00000004u
#define STREAM_APPEND 0x00000004u

#define KEEP_OPEN_READONLY 0x00000001u
#define KEEP_OPEN_READWRITE 0x00000002u
#define FORCE_SAVE 0x00000004u

// Object types returned by OpenEntry.
#define MAPI_STORE 0x00000001u
#define MAPI_ADDRBOOK 0x00000002u
#define MAPI_FOLDER 0x00000003u
#define MAPI_ABCONT 0x00000004u
#define MAPI_MESSAGE 0x00000005u
#define MAPI_MAILUSER 0x00000006u
#define MAPI_ATTACH 0x00000007u
#define MAPI_DISTLIST 0x00000008u
#define MAPI_PROFSECT 0x00000009u
#define MAPI_STATUS 0x0000000Au
#define MAPI_SESSION 0x0000000Bu
#define MAPI_FORMINFO 0x0000000Cu

// Display types of address-book entries.
#define DT_MAILUSER 0x00000000u
#define DT_DISTLIST 0x00000001u
#define DT_FORUM 0x00000002u
#define DT_AGENT 0x00000003u
#define DT_ORGANIZATION 0x00000004u
#define DT_PRIVATE_DISTLIST 0x00000005u
#define DT_REMOTE_MAILUSER 0x00000006u
#define DT_MODIFIABLE 0x00010000u
#define DT_GLOBAL 0x00020000u
#define DT_LOCAL 0x00030000u
#define DT_WAN 0x00040000u
#define DT_NOT_SPECIFIC 0x00050000u
#define DT_FOLDER 0x01000000u
#define DT_FOLDER_LINK 0x02000000u
#define DT_FOLDER_SPECIAL 0x04000000u

// Recipient types.
#define MAPI_ORIG 0u
#define MAPI_TO 1u
#define MAPI_CC 2u
#define MAPI_BCC 3u
#define MAPI_P1 0x10000000u
#define MAPI_SUBMITTED 0x80000000u

// Message flags (PR_MESSAGE_FLAGS).
#define MSGFLAG_READ 0x00000001u
#define MSGFLAG_UNMODIFIED 0x00000002u
#define MSGFLAG_SUBMIT 0x00000004u
#define MSGFLAG_UNSENT 0x00000008u
#define MSGFLAG_HASATTACH 0x00000010u
#define MSGFLAG_FROMME 0x00000020u
#define MSGFLAG_ASSOCIATED 0x00000040u
#define MSGFLAG_RESEND 0x00000080u
#define MSGFLAG_RN_PENDING 0x00000100u
#define MSGFLAG_NRN_PENDING 0x00000200u

// IMessage::SetReadFlag.
#define SUPPRESS_RECEIPT 0x00000001u
#define CLEAR_READ_FLAG 0x00000004u
#define GENERATE_RECEIPT_ONLY 0x00000010u
#define CLEAR_RN_PENDING 0x00000020u
#define CLEAR_NRN_PENDING 0x00000040u

// Attachment methods (PR_ATTACH_METHOD).
#define NO_ATTACHMENT 0u
#define ATTACH_BY_VALUE 1u
#define ATTACH_BY_REFERENCE 2u
#define ATTACH_BY_REF_RESOLVE 3u
#define ATTACH_BY_REF_ONLY 4u
#define ATTACH_EMBEDDED_MSG 5u
#define ATTACH_OLE 6u

// ModifyRecipients.
#define MODRECIP_ADD 0x00000002u
#define MODRECIP_MODIFY 0x00000004u
#define MODRECIP_REMOVE 0x00000008u

// Folder types.
#define FOLDER_ROOT 0x00000000u
#define FOLDER_GENERIC 0x00000001u
#define FOLDER_SEARCH 0x00000002u

// Containers: hierarchy depth and deleted items.
#define CONVENIENT_DEPTH 0x00000001u
#define SHOW_SOFT_DELETES 0x00000002u

// Store opening.
#define MDB_NO_DIALOG 0x00000001u
#define MDB_WRITE 0x00000004u
#define MDB_TEMPORARY 0x00000020u
#define MDB_NO_MAIL 0x00000080u
#define MDB_ONLINE 0x00000100u

// Address book.
#define AB_NO_DIALOG 0x00000001u
#define MAPI_SEND_NO_RICH_INFO 0x00010000u

// Address-book container flags (PR_CONTAINER_FLAGS).
#define AB_RECIPIENTS 0x00000001u
#define AB_SUBCONTAINERS 0x00000002u
#define AB_MODIFIABLE 0x00000004u
#define AB_UNMODIFIABLE 0x00000008u
#define AB_FIND_ON_OPEN 0x00000010u

// What a store can do (PR_STORE_SUPPORT_MASK).
#define STORE_ENTRYID_UNIQUE 0x00000001u
#define STORE_READONLY 0x00000002u
#define STORE_SEARCH_OK 0x00000004u
#define STORE_MODIFY_OK 0x00000008u
#define STORE_CREATE_OK 0x00000010u
#define STORE_ATTACH_OK 0x00000020u
#define STORE_OLE_OK 0x00000040u
#define STORE_SUBMIT_OK 0x00000080u
#define STORE_NOTIFY_OK 0x00000100u
#define STORE_MV_PROPS_OK 0x00000200u
#define STORE_CATEGORIZE_OK 0x00000400u
#define STORE_RTF_OK 0x00000800u
#define STORE_RESTRICTION_OK 0x00001000u
#define STORE_SORT_OK 0x00002000u
#define STORE_PUBLIC_FOLDERS 0x00004000u
#define STORE_UNCOMPRESSED_RTF 0x00008000u
#define STORE_HTML_OK 0x00010000u
#define STORE_ANSI_OK 0x00020000u
#define STORE_UNICODE_OK 0x00040000u

// Providers in the message-store table (PR_RESOURCE_FLAGS, PR_RESOURCE_TYPE).
#define STATUS_DEFAULT_STORE 0x00000001u
#define MAPI_STORE_PROVIDER 33u

// ---- Tables ---------------------------------------------------------------------------------

using BOOKMARK = ULONG_PTR;
#define BOOKMARK_BEGINNING static_cast<BOOKMARK>(0)
#define BOOKMARK_CURRENT static_cast<BOOKMARK>(1)
#define BOOKMARK_END static_cast<BOOKMARK>(2)

#define TBL_ALL_COLUMNS 0x00000001u
#define TBL_NOADVANCE 0x00000001u
#define TBL_ASYNC 0x00000001u
#define TBL_BATCH 0x00000002u
#define DIR_BACKWARD 0x00000001u

#define TBLSTAT_COMPLETE 0u
#define TBLSTAT_QCHANGED 7u
#define TBLSTAT_SORTING 9u
#define TBLSTAT_SORT_ERROR 10u
#define TBLSTAT_SETTING_COLS 11u
#define TBLSTAT_SETCOL_ERROR 13u
#define TBLSTAT_RESTRICTING 14u
#define TBLSTAT_RESTRICT_ERROR 15u

#define TBLTYPE_SNAPSHOT 0u
#define TBLTYPE_KEYSET 1u
#define TBLTYPE_DYNAMIC 2u

// ---- Interfaces -----------------------------------------------------------------------------

struct NOTIFICATION;
using LPNOTIFICATION = NOTIFICATION*;

class IMAPIAdviseSink : public IUnknown {
public:
    virtual ULONG OnNotify(ULONG cNotif, LPNOTIFICATION lpNotifications) = 0;
};
using LPMAPIADVISESINK = IMAPIAdviseSink*;

class IMAPIProgress : public IUnknown {
public:
    virtual HRESULT Progress(ULONG ulValue, ULONG ulCount, ULONG ulTotal) = 0;
    virtual HRESULT GetFlags(ULONG* lpulFlags) = 0;
    virtual HRESULT GetMax(ULONG* lpulMax) = 0;
    virtual HRESULT GetMin(ULONG* lpulMin) = 0;
    virtual HRESULT SetLimits(ULONG* lpulMin, ULONG* lpulMax, ULONG* lpulFlags) = 0;
};
using LPMAPIPROGRESS = IMAPIProgress*;

class IMAPIProp : public IUnknown {
public:
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT SaveChanges(ULONG ulFlags) = 0;
    virtual HRESULT GetProps(LPSPropTagArray lpPropTagArray, ULONG ulFlags, ULONG* lpcValues,
                             LPSPropValue* lppPropArray) = 0;
    virtual HRESULT GetPropList(ULONG ulFlags, LPSPropTagArray* lppPropTagArray) = 0;
    virtual HRESULT OpenProperty(ULONG ulPropTag, LPCIID lpiid, ULONG ulInterfaceOptions, ULONG ulFlags,
                                 LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT SetProps(ULONG cValues, LPSPropValue lpPropArray, LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT DeleteProps(LPSPropTagArray lpPropTagArray, LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT CopyTo(ULONG ciidExclude, LPCIID rgiidExclude, LPSPropTagArray lpExcludeProps,
                           ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, LPCIID lpInterface, LPVOID lpDestObj,
                           ULONG ulFlags, LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT CopyProps(LPSPropTagArray lpIncludeProps, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                              LPCIID lpInterface, LPVOID lpDestObj, ULONG ulFlags,
                              LPSPropProblemArray* lppProblems) = 0;
    virtual HRESULT GetNamesFromIDs(LPSPropTagArray* lppPropTags, LPGUID lpPropSetGuid, ULONG ulFlags,
                                    ULONG* lpcPropNames, LPMAPINAMEID** lpppPropNames) = 0;
    virtual HRESULT GetIDsFromNames(ULONG cPropNames, LPMAPINAMEID* lppPropNames, ULONG ulFlags,
                                    LPSPropTagArray* lppPropTags) = 0;
};
using LPMAPIPROP = IMAPIProp*;

// Access of an IPropData object and of its properties.
#define IPROP_READONLY 0x00000001u
#define IPROP_READWRITE 0x00000002u
#define IPROP_CLEAN 0x00010000u
#define IPROP_DIRTY 0x00020000u

class IPropData : public IMAPIProp {
public:
    virtual HRESULT HrSetObjAccess(ULONG ulAccess) = 0;
    virtual HRESULT HrSetPropAccess(LPSPropTagArray lpPropTagArray, ULONG* rgulAccess) = 0;
    virtual HRESULT HrGetPropAccess(LPSPropTagArray* lppPropTagArray, ULONG** lprgulAccess) = 0;
    virtual HRESULT HrAddObjProps(LPSPropTagArray lppPropTagArray, LPSPropProblemArray* lprgulAccess) = 0;
};
using LPPROPDATA = IPropData*;

class IMAPITable : public IUnknown {
public:
    virtual HRESULT GetLastError(HRESULT hResult, ULONG ulFlags, LPMAPIERROR* lppMAPIError) = 0;
    virtual HRESULT Advise(ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink, ULONG* lpulConnection) = 0;
    virtual HRESULT Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT GetStatus(ULONG* lpulTableStatus, ULONG* lpulTableType) = 0;
    virtual HRESULT SetColumns(LPSPropTagArray lpPropTagArray, ULONG ulFlags) = 0;
    virtual HRESULT QueryColumns(ULONG ulFlags, LPSPropTagArray* lpPropTagArray) = 0;
    virtual HRESULT GetRowCount(ULONG ulFlags, ULONG* lpulCount) = 0;
    virtual HRESULT SeekRow(BOOKMARK bkOrigin, LONG lRowCount, LONG* lplRowsSought) = 0;
    virtual HRESULT SeekRowApprox(ULONG ulNumerator, ULONG ulDenominator) = 0;
    virtual HRESULT QueryPosition(ULONG* lpulRow, ULONG* lpulNumerator, ULONG* lpulDenominator) = 0;
    virtual HRESULT FindRow(LPSRestriction lpRestriction, BOOKMARK bkOrigin, ULONG ulFlags) = 0;
    virtual HRESULT Restrict(LPSRestriction lpRestriction, ULONG ulFlags) = 0;
    virtual HRESULT CreateBookmark(BOOKMARK* lpbkPosition) = 0;
    virtual HRESULT FreeBookmark(BOOKMARK bkPosition) = 0;
    virtual HRESULT SortTable(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    virtual HRESULT QuerySortOrder(LPSSortOrderSet* lppSortCriteria) = 0;
    virtual HRESULT QueryRows(LONG lRowCount, ULONG ulFlags, LPSRowSet* lppRows) = 0;
    virtual HRESULT Abort() = 0;
    virtual HRESULT ExpandRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulRowCount, ULONG ulFlags,
                              LPSRowSet* lppRows, ULONG* lpulMoreRows) = 0;
    virtual HRESULT CollapseRow(ULONG cbInstanceKey, LPBYTE pbInstanceKey, ULONG ulFlags, ULONG* lpulRowCount) = 0;
    virtual HRESULT WaitForCompletion(ULONG ulFlags, ULONG ulTimeout, ULONG* lpulTableStatus) = 0;
    virtual HRESULT GetCollapseState(ULONG ulFlags, ULONG cbInstanceKey, LPBYTE lpbInstanceKey,
                                     ULONG* lpcbCollapseState, LPBYTE* lppbCollapseState) = 0;
    virtual HRESULT SetCollapseState(ULONG ulFlags, ULONG cbCollapseState, LPBYTE pbCollapseState,
                                     BOOKMARK* lpbkLocation) = 0;
};
using LPMAPITABLE = IMAPITable*;

class IMAPIContainer : public IMAPIProp {
public:
    virtual HRESULT GetContentsTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT GetHierarchyTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT SetSearchCriteria(LPSRestriction lpRestriction, LPENTRYLIST lpContainerList,
                                      ULONG ulSearchFlags) = 0;
    virtual HRESULT GetSearchCriteria(ULONG ulFlags, LPSRestriction* lppRestriction, LPENTRYLIST* lppContainerList,
                                      ULONG* lpulSearchState) = 0;
};
using LPMAPICONTAINER = IMAPIContainer*;

class IAttach : public IMAPIProp {};
using LPATTACH = IAttach*;

class IMessage : public IMAPIProp {
public:
    virtual HRESULT GetAttachmentTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT OpenAttach(ULONG ulAttachmentNum, LPCIID lpInterface, ULONG ulFlags, LPATTACH* lppAttach) = 0;
    virtual HRESULT CreateAttach(LPCIID lpInterface, ULONG ulFlags, ULONG* lpulAttachmentNum,
                                 LPATTACH* lppAttach) = 0;
    virtual HRESULT DeleteAttach(ULONG ulAttachmentNum, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                 ULONG ulFlags) = 0;
    virtual HRESULT GetRecipientTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT ModifyRecipients(ULONG ulFlags, LPADRLIST lpMods) = 0;
    virtual HRESULT SubmitMessage(ULONG ulFlags) = 0;
    virtual HRESULT SetReadFlag(ULONG ulFlags) = 0;
};
using LPMESSAGE = IMessage*;

class IMAPIFolder : public IMAPIContainer {
public:
    virtual HRESULT CreateMessage(LPCIID lpInterface, ULONG ulFlags, LPMESSAGE* lppMessage) = 0;
    virtual HRESULT CopyMessages(LPENTRYLIST lpMsgList, LPCIID lpInterface, LPVOID lpDestFolder, ULONG_PTR ulUIParam,
                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT DeleteMessages(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                   ULONG ulFlags) = 0;
    virtual HRESULT CreateFolder(ULONG ulFolderType, LPTSTR lpszFolderName, LPTSTR lpszFolderComment,
                                 LPCIID lpInterface, ULONG ulFlags, IMAPIFolder** lppFolder) = 0;
    virtual HRESULT CopyFolder(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, LPVOID lpDestFolder,
                               LPTSTR lpszNewFolderName, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                               ULONG ulFlags) = 0;
    virtual HRESULT DeleteFolder(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG_PTR ulUIParam,
                                 LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
    virtual HRESULT SetReadFlags(LPENTRYLIST lpMsgList, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                 ULONG ulFlags) = 0;
    virtual HRESULT GetMessageStatus(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulFlags,
                                     ULONG* lpulMessageStatus) = 0;
    virtual HRESULT SetMessageStatus(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulNewStatus,
                                     ULONG ulNewStatusMask, ULONG* lpulOldStatus) = 0;
    virtual HRESULT SaveContentsSort(LPSSortOrderSet lpSortCriteria, ULONG ulFlags) = 0;
    virtual HRESULT EmptyFolder(ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress, ULONG ulFlags) = 0;
};
using LPMAPIFOLDER = IMAPIFolder*;

class IMsgStore : public IMAPIProp {
public:
    virtual HRESULT Advise(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulEventMask, LPMAPIADVISESINK lpAdviseSink,
                           ULONG* lpulConnection) = 0;
    virtual HRESULT Unadvise(ULONG ulConnection) = 0;
    virtual HRESULT CompareEntryIDs(ULONG cbEntryID1, LPENTRYID lpEntryID1, ULONG cbEntryID2, LPENTRYID lpEntryID2,
                                    ULONG ulFlags, ULONG* lpulResult) = 0;
    virtual HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags,
                              ULONG* lpulObjType, LPUNKNOWN* lppUnk) = 0;
    virtual HRESULT SetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags, ULONG cbEntryID,
                                     LPENTRYID lpEntryID) = 0;
    virtual HRESULT GetReceiveFolder(LPTSTR lpszMessageClass, ULONG ulFlags, ULONG* lpcbEntryID,
                                     LPENTRYID* lppEntryID, LPTSTR* lppszExplicitClass) = 0;
    virtual HRESULT GetReceiveFolderTable(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT StoreLogoff(ULONG* lpulFlags) = 0;
    virtual HRESULT AbortSubmit(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulFlags) = 0;
    virtual HRESULT GetOutgoingQueue(ULONG ulFlags, LPMAPITABLE* lppTable) = 0;
    virtual HRESULT SetLockState(LPMESSAGE lpMessage, ULONG ulLockState) = 0;
    virtual HRESULT FinishedMsg(ULONG ulFlags, ULONG cbEntryID, LPENTRYID lpEntryID) = 0;
    virtual HRESULT NotifyNewMail(LPNOTIFICATION lpNotification) = 0;
};
using LPMDB = IMsgStore*;

class IMailUser : public IMAPIProp {};
using LPMAILUSER = IMailUser*;

// The methods that address-book containers and distribution lists both have, in that order after
// IMAPIContainer's; IABContainer and IDistList stay types of their own.
class IABEntryContainer : public IMAPIContainer {
public:
    virtual HRESULT CreateEntry(ULONG cbEntryID, LPENTRYID lpEntryID, ULONG ulCreateFlags,
                                LPMAPIPROP* lppMAPIPropEntry) = 0;
    virtual HRESULT CopyEntries(LPENTRYLIST lpEntries, ULONG_PTR ulUIParam, LPMAPIPROGRESS lpProgress,
                                ULONG ulFlags) = 0;
    virtual HRESULT DeleteEntries(LPENTRYLIST lpEntries, ULONG ulFlags) = 0;
    virtual HRESULT ResolveNames(LPSPropTagArray lpPropTagArray, ULONG ulFlags, LPADRLIST lpAdrList,
                                 LPFlagList lpFlagList) = 0;
};

class IABContainer : public IABEntryContainer {};
using LPABCONT = IABContainer*;

class IDistList : public IABEntryContainer {};
using LPDISTLIST = IDistList*;

class IProfSect : public IMAPIProp {};
using LPPROFSECT = IProfSect*;

// ---- Table data: the in-memory table behind provider tables ---------------------------------

class ITableData;
using LPTABLEDATA = ITableData*;
using CALLERRELEASE = void(ULONG ulCallerData, LPTABLEDATA lpTblData, LPMAPITABLE lpVue);

#define TAD_ALL_ROWS 0x00000001u

class ITableData : public IUnknown {
public:
    virtual HRESULT HrGetView(LPSSortOrderSet lpSSortOrderSet, CALLERRELEASE* lpfCallerRelease,
                              ULONG ulCallerData, LPMAPITABLE* lppMAPITable) = 0;
    virtual HRESULT HrModifyRow(LPSRow lpSRow) = 0;
    virtual HRESULT HrDeleteRow(LPSPropValue lpSPropValue) = 0;
    virtual HRESULT HrQueryRow(LPSPropValue lpsPropValue, LPSRow* lppSRow, ULONG* lpuliRow) = 0;
    virtual HRESULT HrEnumRow(ULONG ulRowNumber, LPSRow* lppSRow) = 0;
    virtual HRESULT HrNotify(ULONG ulFlags, ULONG cValues, LPSPropValue lpSPropValue) = 0;
    virtual HRESULT HrInsertRow(ULONG uliRow, LPSRow lpSRow) = 0;
    virtual HRESULT HrModifyRows(ULONG ulFlags, LPSRowSet lpSRowSet) = 0;
    virtual HRESULT HrDeleteRows(ULONG ulFlags, LPSRowSet lprowsetToDelete, ULONG* cRowsDeleted) = 0;
};
