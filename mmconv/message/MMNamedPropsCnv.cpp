// The named-property cache: its three groups of definitions, resolution and look-ups.
#include "mmconv/message/MMNamedPropsCnv.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapiutil.h>

#include <algorithm>
#include <array>
#include <map>
#include <new>

#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/FoldedOutput.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {

const GUID PSETID_Quillon = {0x438256C1, 0xAB42, 0x41A2, {0x88, 0xF8, 0x24, 0x93, 0x18, 0x9A, 0x39, 0x71}};

namespace {

struct NumericName {
    const GUID* set;
    ULONG lid;
};

struct StringName {
    const GUID* set;
    std::u16string_view name;
};

constexpr std::array<ULONG, 15> kCommonLids = {0x8514, 0x8530, 0x8552, 0x8503, 0x8502, 0x8560, 0x8506, 0x8516,
    0x8517, 0x8554, 0x8534, 0x8535, 0x8501, 0x8519, 0x8518};
constexpr std::array<ULONG, 5> kNoteLids = {0x8B00, 0x8B02, 0x8B03, 0x8B04, 0x8B05};
constexpr std::array<ULONG, 30> kAppointmentLids = {0x8218, 0x820D, 0x820E, 0x8213, 0x8250, 0x8251, 0x8257,
    0x8205, 0x8224, 0x8215, 0x8214, 0x8208, 0x8223, 0x8216, 0x8233, 0x8234, 0x8236, 0x8235, 0x8228, 0x8206,
    0x8217, 0x8229, 0x8220, 0x825A, 0x8201, 0x8203, 0x8212, 0x8211, 0x825E, 0x8260};
constexpr std::array<ULONG, 15> kTaskLids = {0x8104, 0x8105, 0x8126, 0x8116, 0x8112, 0x8102, 0x8101, 0x8115,
    0x8122, 0x811F, 0x811A, 0x8113, 0x811C, 0x812A, 0x8108};
constexpr std::array<ULONG, 44> kAddressLids = {0x8015, 0x8045, 0x8046, 0x8047, 0x8048, 0x8049, 0x804A,
    0x801B, 0x801A, 0x801C, 0x8082, 0x8083, 0x8084, 0x8092, 0x8093, 0x8094, 0x80A2, 0x80A3, 0x80A4, 0x80D8,
    0x8085, 0x8095, 0x80A5, 0x8005, 0x8028, 0x8029, 0x8022, 0x802C, 0x802D, 0x802E, 0x804F, 0x8050, 0x8051,
    0x8052, 0x8062, 0x8080, 0x8090, 0x80A0, 0x80D4, 0x80D3, 0x802B, 0x8053, 0x8054, 0x8055};
constexpr std::array<ULONG, 5> kCustomFormLids = {kLidCustomFormFlag, kLidCustomFormScript, kLidCustomFormData,
    kLidCustomFormType, kLidCustomFormDefinition};
constexpr std::array<ULONG, 6> kMeetingLids = {0x0003, 0x000E, 0x0023, 0x0005, 0x000A, 0x001A};
const std::array<StringName, 4> kStringNames = {{{&PS_PUBLIC_STRINGS, kNameKeywords},
    {&PS_INTERNET_HEADERS, kNameContentType}, {&PSETID_Quillon, kNameCustomTagValues},
    {&PSETID_Quillon, kNameCustomTagIds}}};

template <std::size_t Count>
void AddNumeric(std::vector<NumericName>& names, const GUID& set, const std::array<ULONG, Count>& lids)
{
    for (ULONG lid : lids)
        names.push_back({&set, lid});
}

// The definitions of the selected groups, numeric and string ones.
void Definitions(unsigned selector, std::vector<NumericName>& numeric, std::vector<StringName>& strings)
{
    if (selector == MMNamedPropsCnv::kAllGroups) {
        AddNumeric(numeric, PSETID_Common, kCommonLids);
        AddNumeric(numeric, PSETID_Note, kNoteLids);
        AddNumeric(numeric, PSETID_Appointment, kAppointmentLids);
        AddNumeric(numeric, PSETID_Task, kTaskLids);
        AddNumeric(numeric, PSETID_Address, kAddressLids);
    }
    if (selector == MMNamedPropsCnv::kAllGroups || selector == MMNamedPropsCnv::kCustomFormGroup)
        AddNumeric(numeric, PSETID_Common, kCustomFormLids);
    if (selector == MMNamedPropsCnv::kAllGroups || selector == MMNamedPropsCnv::kStringAndMeetingGroup) {
        strings.assign(kStringNames.begin(), kStringNames.end());
        AddNumeric(numeric, PSETID_Meeting, kMeetingLids);
    }
}

bool SameGuid(const GUID* a, const GUID& b)
{
    return a != nullptr && std::memcmp(a, &b, sizeof(GUID)) == 0;
}

// A header field name: printable ASCII without colon or space.
bool IsFieldName(std::u16string_view name)
{
    for (char16_t c : name) {
        if (c <= 0x20 || c >= 0x7F || c == u':')
            return false;
    }
    return !name.empty();
}

// A stored header value on one line: folds are unfolded and other line breaks become spaces.
std::u16string OneLine(std::u16string_view value)
{
    std::u16string line;
    line.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char16_t c = value[i];
        if (c != u'\r' && c != u'\n') {
            line += c;
            continue;
        }
        if (c == u'\r' && i + 1 < value.size() && value[i + 1] == u'\n')
            continue;
        const bool fold = i + 1 < value.size() && (value[i + 1] == u' ' || value[i + 1] == u'\t');
        if (!fold && !line.empty() && line.back() != u' ')
            line += u' ';
    }
    return line;
}

std::u16string Widen(std::string_view narrow)
{
    std::u16string widened;
    widened.reserve(narrow.size());
    for (unsigned char c : narrow)
        widened += static_cast<char16_t>(c);
    return widened;
}

std::optional<std::u16string> StringOf(const SPropValue& value)
{
    if (auto wide = UnicodeValue(&value))
        return std::u16string(*wide);
    if (auto narrow = AnsiValue(&value))
        return Widen(*narrow);
    return std::nullopt;
}

// The values of a multi-valued string property, either form.
std::vector<std::u16string> MultiStrings(const SPropValue& value)
{
    std::vector<std::u16string> strings;
    if (PROP_TYPE(value.ulPropTag) == PT_MV_UNICODE) {
        for (ULONG i = 0; i < value.Value.MVszW.cValues; ++i)
            strings.emplace_back(value.Value.MVszW.lppszW[i] ? value.Value.MVszW.lppszW[i] : u"");
    } else if (PROP_TYPE(value.ulPropTag) == PT_MV_STRING8) {
        for (ULONG i = 0; i < value.Value.MVszA.cValues; ++i)
            strings.push_back(Widen(value.Value.MVszA.lppszA[i] ? value.Value.MVszA.lppszA[i] : ""));
    }
    return strings;
}

bool IsPrintableAscii(std::u16string_view text)
{
    for (char16_t c : text) {
        if (c >= 0x7F || c < 0x20)
            return false;
    }
    return true;
}

} // namespace

MMNamedPropsCnv::MMNamedPropsCnv(IMessage* message, unsigned selector) : selector_(selector)
{
    TraceConversion("MMNamedPropsCnv(%#lx)::MMNamedPropsCnv\n", TraceAddress(this));
    if (message != nullptr)
        message->QueryInterface(IID_IMAPIProp, prop_.put_void());
}

MMNamedPropsCnv::~MMNamedPropsCnv()
{
    TraceConversion("MMNamedPropsCnv(%#lx)::~MMNamedPropsCnv\n", TraceAddress(this));
}

struct MMNamedPropsCnv::Selection {
    std::vector<NumericName> numeric;
    std::vector<StringName> strings;
    std::vector<std::u16string> texts;  // the string names, terminated
    std::vector<MAPINAMEID> ids;
    std::vector<LPMAPINAMEID> pointers;
    // (LID, index in numeric) by LID; a LID defined twice has its later index.
    std::vector<std::pair<ULONG, std::size_t>> byLid;
};

const MMNamedPropsCnv::Selection& MMNamedPropsCnv::SelectionOf(unsigned selector)
{
    auto make = [](unsigned selector) {
        Selection selection;
        Definitions(selector, selection.numeric, selection.strings);
        selection.texts.reserve(selection.strings.size());
        selection.ids.reserve(selection.numeric.size() + selection.strings.size());
        for (const NumericName& name : selection.numeric)
            selection.ids.push_back({const_cast<LPGUID>(name.set), MNID_ID, {static_cast<LONG>(name.lid)}});
        for (const StringName& name : selection.strings) {
            MAPINAMEID id{const_cast<LPGUID>(name.set), MNID_STRING, {}};
            id.Kind.lpwstrName = selection.texts.emplace_back(name.name).data();
            selection.ids.push_back(id);
        }
        for (MAPINAMEID& id : selection.ids)
            selection.pointers.push_back(&id);
        std::map<ULONG, std::size_t> byLid;
        for (std::size_t i = 0; i < selection.numeric.size(); ++i)
            byLid[selection.numeric[i].lid] = i;
        selection.byLid.assign(byLid.begin(), byLid.end());
        return selection;
    };
    static const Selection selections[] = {make(kAllGroups), make(kCustomFormGroup), make(kStringAndMeetingGroup)};
    static const Selection none;
    return selector < std::size(selections) ? selections[selector] : none;
}

HRESULT MMNamedPropsCnv::GetIDs()
{
    if (!prop_)
        return E_FAIL;
    const Selection& selection = SelectionOf(selector_);
    MapiBuffer<SPropTagArray> tags;
    const ULONG flags = selector_ == kStringAndMeetingGroup ? MAPI_CREATE : 0;
    // GetIDsFromNames only reads the names it is given.
    const HRESULT hr = prop_->GetIDsFromNames(static_cast<ULONG>(selection.pointers.size()),
        const_cast<LPMAPINAMEID*>(selection.pointers.data()), flags, tags.put());
    if (FAILED(hr))
        return hr;
    if (!tags || tags->cValues != selection.ids.size())
        return MAPI_E_CALL_FAILED;
    selection_ = &selection;
    tags_ = std::move(tags);
    resolved_ = true;
    return S_OK;
}

HRESULT MMNamedPropsCnv::EnsureResolved()
{
    if (resolved_)
        return S_OK;
    resolveStatus_ = GetIDs();
    return resolveStatus_;
}

HRESULT MMNamedPropsCnv::GetOneProp(ULONG key, ULONG& tag)
{
    tag = PR_NULL;
    if (HRESULT hr = EnsureResolved(); FAILED(hr))
        return hr;
    const ULONG lid = key >> 16;
    const auto found = std::lower_bound(selection_->byLid.begin(), selection_->byLid.end(), lid,
        [](const std::pair<ULONG, std::size_t>& entry, ULONG wanted) { return entry.first < wanted; });
    if (found == selection_->byLid.end() || found->first != lid)
        return E_FAIL;
    const ULONG resolved = tags_->aulPropTag[found->second];
    if (PROP_TYPE(resolved) == PT_ERROR)
        return E_FAIL;
    tag = CHANGE_PROP_TYPE(resolved, key & 0xFFFF);
    return S_OK;
}

HRESULT MMNamedPropsCnv::GetOneProp(std::u16string_view name, ULONG type, ULONG& tag)
{
    TraceConversion("MMNamedPropsCnv(%#lx)::GetOneProp/wstr\n", TraceAddress(this));
    tag = PR_NULL;
    if (HRESULT hr = EnsureResolved(); FAILED(hr))
        return hr;
    const auto& strings = selection_->strings;
    const auto found = std::find_if(strings.begin(), strings.end(), [&](const StringName& known) { return known.name == name; });
    if (found == strings.end())
        return E_FAIL;
    const ULONG resolved = tags_->aulPropTag[selection_->numeric.size() + static_cast<std::size_t>(found - strings.begin())];
    if (PROP_TYPE(resolved) == PT_ERROR)
        return E_FAIL;
    tag = CHANGE_PROP_TYPE(resolved, type);
    return S_OK;
}

bool MMNamedPropsCnv::CheckPropExists(ULONG key)
{
    ULONG tag = 0;
    return SUCCEEDED(GetOneProp(key, tag)) && PropertyExists(prop_.get(), tag);
}

HRESULT MMNamedPropsCnv::GetProp(ULONG key, MapiBuffer<SPropValue>& value)
{
    ULONG tag = 0;
    if (HRESULT hr = GetOneProp(key, tag); FAILED(hr))
        return hr;
    return HrGetOneProp(prop_.get(), tag, value.put());
}

HRESULT MMNamedPropsCnv::GetProp(std::u16string_view name, ULONG type, MapiBuffer<SPropValue>& value)
{
    ULONG tag = 0;
    if (HRESULT hr = GetOneProp(name, type, tag); FAILED(hr))
        return hr;
    return HrGetOneProp(prop_.get(), tag, value.put());
}

HRESULT MMNamedPropsCnv::SaveUnknownHeaders(MimeOutput& output, std::string& carried, const HeaderEncoder& encode)
{
    if (!prop_)
        return E_FAIL;
    MapiBuffer<SPropTagArray> all;
    if (HRESULT hr = prop_->GetPropList(MAPI_UNICODE, all.put()); FAILED(hr))
        return hr;
    std::vector<ULONG> named;
    for (ULONG i = 0; all && i < all->cValues; ++i) {
        if (PROP_ID(all->aulPropTag[i]) >= PROP_ID_NAMED_MIN)
            named.push_back(all->aulPropTag[i]);
    }
    if (named.empty())
        return S_OK;
    TagList namedTags(named);
    LPSPropTagArray nameTags = namedTags.get();
    ULONG nameCount = 0;
    MapiBuffer<LPMAPINAMEID> names;
    // Only a name that is a string can be a field name: numbers are not asked for.
    if (HRESULT hr = prop_->GetNamesFromIDs(&nameTags, nullptr, MAPI_NO_IDS, &nameCount, names.put()); FAILED(hr))
        return hr;
    // Most named properties cannot be header fields by their names: only the values of those that
    // can are read.
    std::vector<ULONG> tags;
    std::vector<const MAPINAMEID*> fieldNames;
    for (ULONG i = 0; i < std::min(static_cast<ULONG>(named.size()), nameCount); ++i) {
        if (MayBeHeaderField(names[i])) {
            tags.push_back(named[i]);
            fieldNames.push_back(names[i]);
        }
    }
    if (tags.empty())
        return S_OK;
    TagList fieldTags(tags);
    ULONG valueCount = 0;
    MapiBuffer<SPropValue> values;
    if (HRESULT hr = prop_->GetProps(fieldTags.get(), MAPI_UNICODE, &valueCount, values.put()); FAILED(hr))
        return hr;
    TraceConversion("SaveUnknownHeaders: counters %d, %d, %d\n", static_cast<int>(named.size()),
        static_cast<int>(valueCount), static_cast<int>(nameCount));
    for (ULONG i = 0; i < std::min(static_cast<ULONG>(tags.size()), valueCount); ++i) {
        if (PROP_TYPE(values[i].ulPropTag) != PT_ERROR)
            SaveUnknownHeader(output, carried, encode, *fieldNames[i], values[i]);
    }
    return S_OK;
}

bool MMNamedPropsCnv::MayBeHeaderField(const MAPINAMEID* name)
{
    if (name == nullptr || name->ulKind != MNID_STRING || name->Kind.lpwstrName == nullptr)
        return false;
    const std::u16string_view text(name->Kind.lpwstrName);
    return text.size() >= 3 && IsFieldName(text) &&
           (SameGuid(name->lpguid, PS_INTERNET_HEADERS) || SameGuid(name->lpguid, PS_PUBLIC_STRINGS) ||
            SameGuid(name->lpguid, PSETID_Quillon));
}

void MMNamedPropsCnv::SaveUnknownHeader(MimeOutput& output, std::string& carried, const HeaderEncoder& encode,
    const MAPINAMEID& name, const SPropValue& value)
{
    const std::u16string_view text(name.Kind.lpwstrName);
    const bool headers = SameGuid(name.lpguid, PS_INTERNET_HEADERS);
    const bool publicStrings = SameGuid(name.lpguid, PS_PUBLIC_STRINGS);
    const std::string fieldName(text.begin(), text.end());
    if (EqualIgnoringAsciiCase(text, u"Received") && !publicStrings) {
        for (const std::u16string& stored : MultiStrings(value)) {
            const std::u16string unfolded = OneLine(stored);
            if (!IsPrintableAscii(unfolded)) {
                TraceConversion("***WARNING***, a Received line is not ASCII and is left out\n");
                continue;
            }
            output.WriteHeader(fieldName, FoldReceivedValue(std::string(unfolded.begin(), unfolded.end())));
        }
        return;
    }
    const std::optional<std::u16string> content = StringOf(value);
    if (!content)
        return;
    const bool xHeader = headers && (text.starts_with(u"X-") || text.starts_with(u"x-"));
    const bool customData = publicStrings && EqualIgnoringAsciiCase(text, u"CustomData");
    if (!xHeader && !customData)
        return;
    const std::u16string line = OneLine(*content);
    if (line.find_first_not_of(u" \t") == std::u16string::npos)
        return;
    carried += customData ? "X-CustomData" : fieldName;
    carried += ": ";
    carried += encode(line);
    carried += "\r\n";
}

HRESULT MMNamedPropsCnv::SaveCustomTags(MimeOutput& output, unsigned& column, LONG component)
{
    MapiBuffer<SPropValue> ids;
    MapiBuffer<SPropValue> values;
    if (FAILED(GetProp(kNameCustomTagIds, PT_MV_LONG, ids)) || FAILED(GetProp(kNameCustomTagValues, PT_MV_UNICODE, values)))
        return S_OK;
    if (ids->Value.MVl.cValues != values->Value.MVszW.cValues)
        return S_OK;
    for (ULONG i = 0; i < ids->Value.MVl.cValues; ++i) {
        if (ids->Value.MVl.lpl[i] != component || values->Value.MVszW.lppszW[i] == nullptr)
            continue;
        if (HRESULT hr = FoldedOutput(output, WideToUtf8(values->Value.MVszW.lppszW[i]) + "\n", column, 0); FAILED(hr))
            return hr;
    }
    return S_OK;
}

std::string FoldReceivedValue(std::string_view value)
{
    static constexpr std::array<std::string_view, 4> kKeywords = {" by ", " via ", " with ", " for "};
    std::string folded;
    folded.reserve(value.size() + 16);
    for (std::string_view keyword : kKeywords) {
        const std::size_t at = value.find(keyword);
        if (at == std::string_view::npos)
            continue;
        folded.append(value.substr(0, at));
        folded += "\r\n ";
        value.remove_prefix(at);
    }
    folded.append(value);
    return folded;
}

} // namespace mmconv
