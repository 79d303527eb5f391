// GetProps, GetPropList, SetProps, DeleteProps and property streams over stored and computed values.
#include "platform/mapi/core/PropAnswers.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "platform/cfb/MsgFile.h"
#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

SPropValue ErrorValue(ULONG tag, SCODE error)
{
    SPropValue value{};
    value.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
    value.Value.err = error;
    return value;
}

std::u16string WideOf(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE)
        return value.Value.lpszW == nullptr ? std::u16string() : std::u16string(value.Value.lpszW);
    return value.Value.lpszA == nullptr ? std::u16string() : AnsiToUtf16(value.Value.lpszA);
}

std::string AnsiOf(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_STRING8)
        return value.Value.lpszA == nullptr ? std::string() : std::string(value.Value.lpszA);
    return value.Value.lpszW == nullptr ? std::string() : Utf16ToAnsi(value.Value.lpszW);
}

} // namespace

const SPropValue* ShownValue(const PropertyBag& stored, const ComputedValues& computed, ULONG tag)
{
    if (const SPropValue* value = computed.Shown(tag, stored))
        return value;
    return stored.Find(tag);
}

HRESULT AnswerProps(const PropertyBag& stored, const ComputedValues& computed, const SPropTagArray* tags,
                    ULONG flags, ULONG* count, LPSPropValue* values)
{
    if (count == nullptr || values == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *count = 0;
    *values = nullptr;
    std::vector<ULONG> every;
    if (tags == nullptr) {
        for (ULONG tag : computed.MergedTags(stored))
            every.push_back(CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(tag), flags)));
    }
    const std::span<const ULONG> wanted = tags != nullptr ? std::span<const ULONG>(tags->aulPropTag, tags->cValues)
                                                          : std::span<const ULONG>(every);
    void* buffer = nullptr;
    SCODE status = MAPIAllocateBuffer(static_cast<ULONG>(std::max<std::size_t>(wanted.size(), 1) * sizeof(SPropValue)),
                                      &buffer);
    if (status != S_OK)
        return status;
    auto* answers = static_cast<LPSPropValue>(buffer);
    ChainAllocator allocator(MAPIAllocateMore, buffer);
    HRESULT result = S_OK;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        ULONG tag = wanted[i];
        if (computed.IsObject(tag)) {
            answers[i] = ErrorValue(tag, MAPI_E_NO_SUPPORT);
            result = MAPI_W_ERRORS_RETURNED;
            continue;
        }
        const SPropValue* value = ShownValue(stored, computed, tag);
        if (value != nullptr && PROP_TYPE(tag) == PT_UNSPECIFIED)
            tag = CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(value->ulPropTag), flags));
        status = AnswerValue(value, tag, answers[i], allocator);
        if (FAILED(status)) {
            MAPIFreeBuffer(buffer);
            return status;
        }
        if (PROP_TYPE(answers[i].ulPropTag) == PT_ERROR)
            result = MAPI_W_ERRORS_RETURNED;
    }
    *count = static_cast<ULONG>(wanted.size());
    *values = answers;
    return result;
}

HRESULT ListProps(const PropertyBag& stored, const ComputedValues& computed, ULONG flags, LPSPropTagArray* tags)
{
    if (tags == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *tags = nullptr;
    const std::vector<ULONG> mergedTags = computed.MergedTags(stored);
    std::vector<ULONG> list;
    list.reserve(mergedTags.size() + computed.Objects().size());
    for (ULONG merged : mergedTags) {
        // A value kept in its file is listed with its own type, for OpenProperty.
        const StoredValue* kept = PROP_TYPE(merged) == PT_ERROR ? stored.FindStored(merged) : nullptr;
        const bool streamed = kept != nullptr && kept->streamed();
        const ULONG tag = streamed ? kept->tag() : merged;
        list.push_back(CHANGE_PROP_TYPE(tag, StringFormForFlags(PROP_TYPE(tag), flags)));
    }
    list.insert(list.end(), computed.Objects().begin(), computed.Objects().end());
    SCODE status = NewTagArray(list.size(), tags);
    if (status != S_OK)
        return status;
    std::copy(list.begin(), list.end(), (*tags)->aulPropTag);
    return S_OK;
}

HRESULT ChangeProps(PropertyBag& stored, const ComputedValues& computed, const NamedPropertyMap& names, ULONG count,
                    const SPropValue* values, LPSPropProblemArray* problems)
{
    if (problems != nullptr)
        *problems = nullptr;
    if (count > 0 && values == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    std::vector<SPropProblem> found;
    for (ULONG i = 0; i < count; ++i) {
        const SPropValue& value = values[i];
        ULONG type = PROP_TYPE(value.ulPropTag);
        ULONG id = PROP_ID(value.ulPropTag);
        SCODE status = S_OK;
        if (type == PT_NULL || type == PT_ERROR)
            continue;
        if (id == PROP_ID_NULL || id == PROP_ID_INVALID)
            status = MAPI_E_INVALID_PARAMETER;
        else if (computed.IsReadOnly(value.ulPropTag))
            status = MAPI_E_COMPUTED;
        else if (type == PT_OBJECT || type == PT_UNSPECIFIED || !IsCopyableType(type))
            status = MAPI_E_INVALID_TYPE;
        else if (id >= PROP_ID_NAMED_MIN && !names.NameOf(id))
            status = MAPI_E_UNEXPECTED_ID;
        else
            status = stored.Set(value);
        if (status == MAPI_E_NOT_ENOUGH_MEMORY)
            return status;
        if (status != S_OK)
            found.push_back({i, value.ulPropTag, status});
    }
    return ReportProblems(found, problems);
}

HRESULT RemoveProps(PropertyBag& stored, const ComputedValues& computed, const SPropTagArray* tags,
                    LPSPropProblemArray* problems)
{
    if (problems != nullptr)
        *problems = nullptr;
    if (tags == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    std::vector<SPropProblem> found;
    for (ULONG i = 0; i < tags->cValues; ++i) {
        ULONG tag = tags->aulPropTag[i];
        if (computed.IsReadOnly(tag))
            found.push_back({i, tag, MAPI_E_COMPUTED});
        else if (!stored.Erase(tag))
            found.push_back({i, tag, MAPI_E_NOT_FOUND});
    }
    return ReportProblems(found, problems);
}

bool IsStreamType(ULONG type)
{
    return type == PT_BINARY || type == PT_STRING8 || type == PT_UNICODE;
}

std::shared_ptr<const platform::cfb::StreamedValue> StreamedContent(const PropertyBag& stored,
                                                                    const ComputedValues& computed, ULONG tag)
{
    if (PROP_TYPE(tag) != PT_BINARY || computed.Shown(tag, stored) != nullptr)
        return nullptr;
    const StoredValue* kept = stored.FindStored(tag);
    return kept != nullptr ? kept->streamed() : nullptr;
}

HRESULT StreamContent(const PropertyBag& stored, const ComputedValues& computed, ULONG tag, std::vector<BYTE>& content)
{
    content.clear();
    if (auto streamed = StreamedContent(stored, computed, tag))
        return platform::cfb::ReadWhole(*streamed, content);
    const SPropValue* value = ShownValue(stored, computed, tag);
    if (value == nullptr)
        return MAPI_E_NOT_FOUND;
    ULONG type = PROP_TYPE(tag);
    ULONG storedType = PROP_TYPE(value->ulPropTag);
    if (type == PT_BINARY && storedType == PT_BINARY) {
        content.assign(value->Value.bin.lpb, value->Value.bin.lpb + value->Value.bin.cb);
        return S_OK;
    }
    if (!AreStringForms(type, storedType) || (type & MV_FLAG) != 0)
        return MAPI_E_NOT_FOUND;
    if (type == PT_STRING8) {
        std::string text = AnsiOf(*value);
        content.assign(text.begin(), text.end());
        return S_OK;
    }
    std::u16string text = WideOf(*value);
    content.resize(text.size() * 2);
    for (std::size_t i = 0; i < text.size(); ++i) {
        content[2 * i] = static_cast<BYTE>(text[i] & 0xFF);
        content[2 * i + 1] = static_cast<BYTE>(text[i] >> 8);
    }
    return S_OK;
}

SCODE StoreStreamContent(PropertyBag& stored, ULONG tag, std::vector<BYTE> content)
{
    SPropValue value{};
    value.ulPropTag = tag;
    ULONG type = PROP_TYPE(tag);
    if (type == PT_BINARY) {
        value.Value.bin.cb = static_cast<ULONG>(content.size());
        value.Value.bin.lpb = content.data();
        return stored.Set(value);
    }
    if (type == PT_STRING8) {
        std::string text(content.begin(), content.end());
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        value.Value.lpszA = text.data();
        return stored.Set(value);
    }
    std::u16string text(content.size() / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(content[2 * i] | content[2 * i + 1] << 8);
    while (!text.empty() && text.back() == u'\0')
        text.pop_back();
    value.Value.lpszW = text.data();
    return stored.Set(value);
}

HRESULT ReportProblems(const std::vector<SPropProblem>& problems, LPSPropProblemArray* result,
                       ALLOCATEBUFFER* allocateBuffer)
{
    if (problems.empty() || result == nullptr)
        return S_OK;
    void* buffer = nullptr;
    SCODE status = allocateBuffer(static_cast<ULONG>(CbNewSPropProblemArray(problems.size())), &buffer);
    if (status != S_OK)
        return status;
    auto* array = static_cast<LPSPropProblemArray>(buffer);
    array->cProblem = static_cast<ULONG>(problems.size());
    std::copy(problems.begin(), problems.end(), array->aProblem);
    *result = array;
    return S_OK;
}

} // namespace mapi
