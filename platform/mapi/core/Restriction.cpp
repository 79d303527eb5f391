// Restriction evaluation over one row of property values.
#include "platform/mapi/core/Restriction.h"

#include <mapiutil.h>

#include <cstring>
#include <cwctype>
#include <regex>
#include <string>

#include "platform/mapi/core/PropValues.h"
#include "platform/mapi/core/StringForms.h"

namespace mapi {
namespace {

constexpr int kMaximumDepth = 64;

// Error and null values in a row stand for a property the row does not have.
const SPropValue* FindPresent(std::span<const SPropValue> row, ULONG tag)
{
    const SPropValue* value = FindById(row, tag);
    if (value == nullptr || PROP_TYPE(value->ulPropTag) == PT_ERROR || PROP_TYPE(value->ulPropTag) == PT_NULL)
        return nullptr;
    return value;
}

bool IsTextType(ULONG type) { return type == PT_STRING8 || type == PT_UNICODE; }

std::u16string WideText(const SPropValue& value)
{
    if (PROP_TYPE(value.ulPropTag) == PT_UNICODE)
        return value.Value.lpszW == nullptr ? std::u16string() : std::u16string(value.Value.lpszW);
    return value.Value.lpszA == nullptr ? std::u16string() : AnsiToUtf16(value.Value.lpszA);
}

// Letters with diacritics of Latin-1 and Latin Extended-A fold to their base letter.
char16_t BaseLetter(char16_t c)
{
    static constexpr char16_t kLatin1[] = u"AAAAAAACEEEEIIIIDNOOOOO*OUUUUYTsaaaaaaaceeeeiiiidnooooo/ouuuuyty";
    if (c >= 0xC0 && c <= 0xFF && c != 0xD7 && c != 0xF7 && c != 0xDE && c != 0xDF && c != 0xFE)
        return kLatin1[c - 0xC0];
    return c;
}

bool IsCombiningMark(char16_t c) { return c >= 0x0300 && c <= 0x036F; }

std::u16string Normalise(std::u16string text, ULONG fuzzyLevel)
{
    bool ignoreCase = (fuzzyLevel & (FL_IGNORECASE | FL_LOOSE)) != 0;
    bool ignoreNonSpace = (fuzzyLevel & (FL_IGNORENONSPACE | FL_LOOSE)) != 0;
    std::u16string result;
    result.reserve(text.size());
    for (char16_t c : text) {
        if (ignoreNonSpace && IsCombiningMark(c))
            continue;
        if (ignoreNonSpace)
            c = BaseLetter(c);
        if (ignoreCase)
            c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
        result.push_back(c);
    }
    return result;
}

template <typename Text>
bool ContentMatches(const Text& value, const Text& pattern, ULONG fuzzyLevel)
{
    switch (fuzzyLevel & 0xFFFFu) {
    case FL_SUBSTRING:
        return value.find(pattern) != Text::npos;
    case FL_PREFIX:
        return value.compare(0, pattern.size(), pattern) == 0;
    default:
        return value == pattern;
    }
}

bool ContentMatchesValue(const SPropValue& value, const SPropValue& pattern, ULONG fuzzyLevel)
{
    ULONG type = PROP_TYPE(value.ulPropTag);
    if (type == PT_BINARY && PROP_TYPE(pattern.ulPropTag) == PT_BINARY) {
        std::string bytes(reinterpret_cast<const char*>(value.Value.bin.lpb), value.Value.bin.lpb ? value.Value.bin.cb : 0);
        std::string wanted(reinterpret_cast<const char*>(pattern.Value.bin.lpb),
                           pattern.Value.bin.lpb ? pattern.Value.bin.cb : 0);
        return ContentMatches(bytes, wanted, fuzzyLevel);
    }
    if (!IsTextType(type) || !IsTextType(PROP_TYPE(pattern.ulPropTag)))
        return false;
    return ContentMatches(Normalise(WideText(value), fuzzyLevel), Normalise(WideText(pattern), fuzzyLevel),
                          fuzzyLevel);
}

std::string Utf8(const std::u16string& text)
{
    std::string result;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            result.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            result.push_back(static_cast<char>(0xC0 | c >> 6));
            result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            result.push_back(static_cast<char>(0xE0 | c >> 12));
            result.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            result.push_back(static_cast<char>(0xF0 | c >> 18));
            result.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            result.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return result;
}

bool RegexMatches(const SPropValue& value, const SPropValue& pattern)
{
    if (!IsTextType(PROP_TYPE(value.ulPropTag)) || !IsTextType(PROP_TYPE(pattern.ulPropTag)))
        return false;
    try {
        std::regex expression(Utf8(WideText(pattern)), std::regex::ECMAScript);
        return std::regex_search(Utf8(WideText(value)), expression);
    } catch (const std::regex_error&) {
        return false;
    }
}

bool Relates(ULONG relop, int order)
{
    switch (relop) {
    case RELOP_LT: return order < 0;
    case RELOP_LE: return order <= 0;
    case RELOP_GT: return order > 0;
    case RELOP_GE: return order >= 0;
    case RELOP_EQ: return order == 0;
    case RELOP_NE: return order != 0;
    default: return false;
    }
}

bool ValueRelates(const SPropValue& value, ULONG relop, const SPropValue& wanted)
{
    if (relop == RELOP_RE)
        return RegexMatches(value, wanted);
    std::optional<int> order = CompareValues(value, wanted, true);
    return order && Relates(relop, *order);
}

// A multi-valued property tested against a single value matches when any of its values does.
template <typename Test>
bool AnyValue(const SPropValue& value, const SPropValue& wanted, Test test)
{
    ULONG type = PROP_TYPE(value.ulPropTag);
    if ((type & MV_FLAG) == 0 || (PROP_TYPE(wanted.ulPropTag) & MV_FLAG) != 0)
        return test(value);
    for (ULONG i = 0; i < value.Value.MVl.cValues && value.Value.MVl.lpl != nullptr; ++i) {
        if (test(ElementAt(value, i)))
            return true;
    }
    return false;
}

HRESULT CheckNode(const SRestriction& restriction, int depth)
{
    if (depth > kMaximumDepth)
        return MAPI_E_TOO_COMPLEX;
    const auto& r = restriction.res;
    auto checkChildren = [depth](ULONG count, const SRestriction* children) -> HRESULT {
        if (count > 0 && children == nullptr)
            return MAPI_E_INVALID_PARAMETER;
        for (ULONG i = 0; i < count; ++i) {
            HRESULT status = CheckNode(children[i], depth + 1);
            if (status != S_OK)
                return status;
        }
        return S_OK;
    };
    switch (restriction.rt) {
    case RES_AND:
        return checkChildren(r.resAnd.cRes, r.resAnd.lpRes);
    case RES_OR:
        return checkChildren(r.resOr.cRes, r.resOr.lpRes);
    case RES_NOT:
        return checkChildren(1, r.resNot.lpRes);
    case RES_CONTENT:
        if (r.resContent.lpProp == nullptr || (r.resContent.ulFuzzyLevel & 0xFFFFu) > FL_PREFIX)
            return MAPI_E_INVALID_PARAMETER;
        return S_OK;
    case RES_PROPERTY:
        if (r.resProperty.lpProp == nullptr || r.resProperty.relop > RELOP_RE)
            return MAPI_E_INVALID_PARAMETER;
        if (r.resProperty.relop == RELOP_RE) {
            if (!IsTextType(PROP_TYPE(r.resProperty.lpProp->ulPropTag)))
                return MAPI_E_INVALID_PARAMETER;
            try {
                std::regex expression(Utf8(WideText(*r.resProperty.lpProp)), std::regex::ECMAScript);
            } catch (const std::regex_error&) {
                return MAPI_E_INVALID_PARAMETER;
            }
        }
        return S_OK;
    case RES_COMPAREPROPS:
        return r.resCompareProps.relop > RELOP_NE ? MAPI_E_INVALID_PARAMETER : S_OK;
    case RES_BITMASK:
        return r.resBitMask.relBMR > BMR_NEZ ? MAPI_E_INVALID_PARAMETER : S_OK;
    case RES_SIZE:
        return r.resSize.relop > RELOP_NE ? MAPI_E_INVALID_PARAMETER : S_OK;
    case RES_EXIST:
        return S_OK;
    case RES_COMMENT:
    case RES_ANNOTATION:
        return r.resComment.lpRes == nullptr ? S_OK : checkChildren(1, r.resComment.lpRes);
    case RES_SUBRESTRICTION:
    case RES_COUNT:
        return MAPI_E_TOO_COMPLEX;
    default:
        return MAPI_E_INVALID_PARAMETER;
    }
}

SCODE CopyValues(LPSPropValue& target, const SPropValue* source, ULONG count, void* root)
{
    target = nullptr;
    if (source == nullptr || count == 0)
        return S_OK;
    void* buffer = nullptr;
    SCODE status = MAPIAllocateMore(static_cast<ULONG>(count * sizeof(SPropValue)), root, &buffer);
    if (status != S_OK)
        return status;
    target = static_cast<LPSPropValue>(buffer);
    ChainAllocator allocator(MAPIAllocateMore, root);
    for (ULONG i = 0; i < count; ++i) {
        status = CopyValue(target[i], source[i], allocator);
        if (status != S_OK)
            return status;
    }
    return S_OK;
}

SCODE CopyChildren(LPSRestriction& target, const SRestriction* source, ULONG count, void* root)
{
    target = nullptr;
    if (source == nullptr || count == 0)
        return S_OK;
    void* buffer = nullptr;
    SCODE status = MAPIAllocateMore(static_cast<ULONG>(count * sizeof(SRestriction)), root, &buffer);
    if (status != S_OK)
        return status;
    target = static_cast<LPSRestriction>(buffer);
    for (ULONG i = 0; i < count; ++i) {
        status = CopyRestriction(target[i], source[i], root);
        if (status != S_OK)
            return status;
    }
    return S_OK;
}

} // namespace

HRESULT CheckRestriction(const SRestriction& restriction) { return CheckNode(restriction, 0); }

SCODE CopyRestriction(SRestriction& target, const SRestriction& source, void* root)
{
    target = source;
    auto& t = target.res;
    const auto& s = source.res;
    switch (source.rt) {
    case RES_AND:
        return CopyChildren(t.resAnd.lpRes, s.resAnd.lpRes, s.resAnd.cRes, root);
    case RES_OR:
        return CopyChildren(t.resOr.lpRes, s.resOr.lpRes, s.resOr.cRes, root);
    case RES_NOT:
        return CopyChildren(t.resNot.lpRes, s.resNot.lpRes, 1, root);
    case RES_CONTENT:
        return CopyValues(t.resContent.lpProp, s.resContent.lpProp, 1, root);
    case RES_PROPERTY:
        return CopyValues(t.resProperty.lpProp, s.resProperty.lpProp, 1, root);
    case RES_COMMENT:
    case RES_ANNOTATION: {
        SCODE status = CopyChildren(t.resComment.lpRes, s.resComment.lpRes, 1, root);
        return status != S_OK ? status : CopyValues(t.resComment.lpProp, s.resComment.lpProp, s.resComment.cValues, root);
    }
    default:
        return S_OK;
    }
}

bool Matches(const SRestriction& restriction, std::span<const SPropValue> row)
{
    const auto& r = restriction.res;
    switch (restriction.rt) {
    case RES_AND:
        for (ULONG i = 0; i < r.resAnd.cRes; ++i) {
            if (!Matches(r.resAnd.lpRes[i], row))
                return false;
        }
        return true;
    case RES_OR:
        for (ULONG i = 0; i < r.resOr.cRes; ++i) {
            if (Matches(r.resOr.lpRes[i], row))
                return true;
        }
        return false;
    case RES_NOT:
        return !Matches(*r.resNot.lpRes, row);
    case RES_CONTENT: {
        const SPropValue* value = FindPresent(row, r.resContent.ulPropTag);
        if (value == nullptr)
            return false;
        const SPropValue& pattern = *r.resContent.lpProp;
        return AnyValue(*value, pattern, [&](const SPropValue& single) {
            return ContentMatchesValue(single, pattern, r.resContent.ulFuzzyLevel);
        });
    }
    case RES_PROPERTY: {
        const SPropValue* value = FindPresent(row, r.resProperty.ulPropTag);
        if (value == nullptr)
            return false;
        const SPropValue& wanted = *r.resProperty.lpProp;
        return AnyValue(*value, wanted, [&](const SPropValue& single) {
            return ValueRelates(single, r.resProperty.relop, wanted);
        });
    }
    case RES_COMPAREPROPS: {
        const SPropValue* first = FindPresent(row, r.resCompareProps.ulPropTag1);
        const SPropValue* second = FindPresent(row, r.resCompareProps.ulPropTag2);
        return first != nullptr && second != nullptr && ValueRelates(*first, r.resCompareProps.relop, *second);
    }
    case RES_BITMASK: {
        const SPropValue* value = FindPresent(row, r.resBitMask.ulPropTag);
        if (value == nullptr || PROP_TYPE(value->ulPropTag) != PT_LONG)
            return false;
        bool zero = (value->Value.ul & r.resBitMask.ulMask) == 0;
        return r.resBitMask.relBMR == BMR_EQZ ? zero : !zero;
    }
    case RES_SIZE: {
        const SPropValue* value = FindPresent(row, r.resSize.ulPropTag);
        if (value == nullptr)
            return false;
        ULONG size = UlPropSize(const_cast<LPSPropValue>(value));
        return Relates(r.resSize.relop, size < r.resSize.cb ? -1 : (size > r.resSize.cb ? 1 : 0));
    }
    case RES_EXIST:
        return FindPresent(row, r.resExist.ulPropTag) != nullptr;
    case RES_COMMENT:
    case RES_ANNOTATION:
        return r.resComment.lpRes == nullptr || Matches(*r.resComment.lpRes, row);
    default:
        return false;
    }
}

void RestrictionTags(const SRestriction& restriction, std::vector<ULONG>& tags)
{
    const auto& r = restriction.res;
    switch (restriction.rt) {
    case RES_AND:
        for (ULONG i = 0; i < r.resAnd.cRes; ++i)
            RestrictionTags(r.resAnd.lpRes[i], tags);
        return;
    case RES_OR:
        for (ULONG i = 0; i < r.resOr.cRes; ++i)
            RestrictionTags(r.resOr.lpRes[i], tags);
        return;
    case RES_NOT:
        RestrictionTags(*r.resNot.lpRes, tags);
        return;
    case RES_CONTENT:
        tags.push_back(r.resContent.ulPropTag);
        return;
    case RES_PROPERTY:
        tags.push_back(r.resProperty.ulPropTag);
        return;
    case RES_COMPAREPROPS:
        tags.push_back(r.resCompareProps.ulPropTag1);
        tags.push_back(r.resCompareProps.ulPropTag2);
        return;
    case RES_BITMASK:
        tags.push_back(r.resBitMask.ulPropTag);
        return;
    case RES_SIZE:
        tags.push_back(r.resSize.ulPropTag);
        return;
    case RES_EXIST:
        tags.push_back(r.resExist.ulPropTag);
        return;
    case RES_COMMENT:
    case RES_ANNOTATION:
        if (r.resComment.lpRes != nullptr)
            RestrictionTags(*r.resComment.lpRes, tags);
        return;
    default:
        return;
    }
}

} // namespace mapi
