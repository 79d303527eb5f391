// The published MAPI utility functions: property objects and tables in memory, property helpers,
// row and address-list helpers, and streams on files and compressed RTF.
#pragma once

#include "mapidefs.h"
#include "mapix.h"

// An IPropData kept in memory. lpInterface, when given, must be IID_IMAPIPropData.
STDAPI_(SCODE) CreateIProp(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                           FREEBUFFER* lpFreeBuffer, LPVOID lpvReserved, LPPROPDATA* lppPropData);

// An ITableData kept in memory; its views (HrGetView) are IMAPITable objects. Rows are told apart
// by the value of ulPropTagIndexColumn.
STDAPI_(SCODE) CreateTable(LPCIID lpInterface, ALLOCATEBUFFER* lpAllocateBuffer, ALLOCATEMORE* lpAllocateMore,
                           FREEBUFFER* lpFreeBuffer, LPVOID lpvReserved, ULONG ulTableType,
                           ULONG ulPropTagIndexColumn, LPSPropTagArray lpSPropTagArrayColumns,
                           LPTABLEDATA* lppTableData);

// Sets the columns, restriction and sort order when given, then reads every row from the start.
// crowsMax other than 0 refuses tables with more rows (MAPI_E_TABLE_TOO_BIG).
STDAPI HrQueryAllRows(LPMAPITABLE lpTable, LPSPropTagArray lpPropTags, LPSRestriction lpRestriction,
                      LPSSortOrderSet lpSortOrderSet, LONG crowsMax, LPSRowSet* lppRows);
// Puts the given columns first and keeps the table's other columns after them.
STDAPI HrAddColumnsEx(LPMAPITABLE lpTable, LPSPropTagArray lpPropTagColumnsNew, LPALLOCATEBUFFER lpAllocateBuffer,
                      LPFREEBUFFER lpFreeBuffer, void (*lpfnFilterColumns)(LPSPropTagArray ptaga));

// One property: a missing one gives its error (MAPI_E_NOT_FOUND), not a PT_ERROR value.
STDAPI HrGetOneProp(LPMAPIPROP lpMapiProp, ULONG ulPropTag, LPSPropValue* lppProp);
STDAPI HrSetOneProp(LPMAPIPROP lpMapiProp, LPSPropValue lpProp);
// A tag of type PT_UNSPECIFIED matches any type of that identifier.
STDAPI_(BOOL) FPropExists(LPMAPIPROP lpMapiProp, ULONG ulPropTag);
STDAPI_(LPSPropValue) PpropFindProp(LPSPropValue lpPropArray, ULONG cValues, ULONG ulPropTag);

STDAPI_(void) FreeProws(LPSRowSet lpRows);
STDAPI_(void) FreePadrlist(LPADRLIST lpAdrList);

// Copies of property values: ScDupPropset into one buffer from lpAllocateBuffer; ScCountProps
// tells the bytes that ScCopyProps needs; PropCopyMore chains the copy's data to lpvObject.
STDAPI_(SCODE) ScDupPropset(int cValues, LPSPropValue lpPropArray, LPALLOCATEBUFFER lpAllocateBuffer,
                            LPSPropValue* lppPropArray);
STDAPI_(SCODE) ScCountProps(int cValues, LPSPropValue lpPropArray, ULONG* lpcb);
STDAPI_(SCODE) ScCopyProps(int cValues, LPSPropValue lpPropArray, LPVOID lpvDst, ULONG* lpcb);
STDAPI_(SCODE) PropCopyMore(LPSPropValue lpSPropValueDest, LPSPropValue lpSPropValueSrc,
                            ALLOCATEMORE* lpfAllocMore, LPVOID lpvObject);
STDAPI_(ULONG) UlPropSize(LPSPropValue lpSPropValue);
// Below zero, zero or above zero as the first value is less than, equal to or greater than the second.
STDAPI_(LONG) LPropCompareProp(LPSPropValue lpSPropValueA, LPSPropValue lpSPropValueB);
STDAPI_(BOOL) FPropCompareProp(LPSPropValue lpSPropValue1, ULONG ulRelOp, LPSPropValue lpSPropValue2);

// With SOF_UNIQUEFILENAME, lpszFileName is the directory (the temporary directory when null) and
// a new file named from lpszPrefix is created there; STGM_DELETEONRELEASE removes it on release.
#define SOF_UNIQUEFILENAME 0x80000000u
STDAPI OpenStreamOnFile(LPALLOCATEBUFFER lpAllocateBuffer, LPFREEBUFFER lpFreeBuffer, ULONG ulFlags,
                        LPCTSTR lpszFileName, LPCTSTR lpszPrefix, LPSTREAM* lppStream);

// Compressed RTF.
#define MAPI_COMPRESSED 0x00000000u
#define MAPI_NATIVE_BODY 0x00010000u
#define RTF_SYNC_RTF_CHANGED 0x00000001u
#define RTF_SYNC_BODY_CHANGED 0x00000002u
STDAPI WrapCompressedRTFStream(LPSTREAM lpCompressedRTFStream, ULONG ulFlags, LPSTREAM* lpUncompressedRTFStream);
STDAPI RTFSync(LPMESSAGE lpMessage, ULONG ulFlags, BOOL* lpfMessageUpdated);
