// The IMAPIProp answers of the runtime's messages and attachments, worked out from their stored
// and computed values.
#pragma once

#include <vector>

#include "platform/mapi/core/NamedPropertyMap.h"
#include "platform/mapi/core/PropertyBag.h"

namespace mapi {

// The value shown for a tag's id: a computed one over or under the stored one; nullptr if none.
const SPropValue* ShownValue(const PropertyBag& stored, const ComputedValues& computed, ULONG tag);

// GetProps: every value (objects left out) when `tags` is null, strings in the form that
// MAPI_UNICODE in `flags` asks for, also for PT_UNSPECIFIED tags. Objects answer MAPI_E_NO_SUPPORT.
HRESULT AnswerProps(const PropertyBag& stored, const ComputedValues& computed, const SPropTagArray* tags,
                    ULONG flags, ULONG* count, LPSPropValue* values);

// GetPropList: stored, computed and object tags, strings in the form the flags ask for.
HRESULT ListProps(const PropertyBag& stored, const ComputedValues& computed, ULONG flags, LPSPropTagArray* tags);

// SetProps: PT_ERROR and PT_NULL values are passed over; computed values, objects, unknown types
// and named ids that `names` has not handed out are refused one by one as problems.
HRESULT ChangeProps(PropertyBag& stored, const ComputedValues& computed, const NamedPropertyMap& names, ULONG count,
                    const SPropValue* values, LPSPropProblemArray* problems);

// DeleteProps: missing and computed properties are problems.
HRESULT RemoveProps(PropertyBag& stored, const ComputedValues& computed, const SPropTagArray* tags,
                    LPSPropProblemArray* problems);

// The bytes a stream on the property gives: a binary's bytes, a string in the form of the tag
// (8-bit text in the ANSI code page or UTF-16LE), without a terminator.
// The value of `tag` when it is a binary value kept in its file (and no computed value shows over
// it), else nullptr.
std::shared_ptr<const platform::cfb::StreamedValue> StreamedContent(const PropertyBag& stored,
                                                                    const ComputedValues& computed, ULONG tag);

HRESULT StreamContent(const PropertyBag& stored, const ComputedValues& computed, ULONG tag, std::vector<BYTE>& content);
// Stores what a stream on the property holds, in the form of the tag; a trailing terminator goes.
SCODE StoreStreamContent(PropertyBag& stored, ULONG tag, std::vector<BYTE> content);
// Whether OpenProperty gives a stream for the type.
bool IsStreamType(ULONG type);

// CopyTo and CopyProps of an object that does not copy: no problem array, and `status`.
inline HRESULT RefuseCopy(LPSPropProblemArray* lppProblems, HRESULT status)
{
    if (lppProblems != nullptr)
        *lppProblems = nullptr;
    return status;
}

HRESULT ReportProblems(const std::vector<SPropProblem>& problems, LPSPropProblemArray* result,
                       ALLOCATEBUFFER* allocateBuffer = MAPIAllocateBuffer);

} // namespace mapi
