// CGroupMsg: the VGROUP body and its members.
#include "mmconv/contact/GroupMsg.h"

#include <mapicode.h>
#include <mapitags.h>

#include <algorithm>
#include <vector>

#include "mmconv/contact/MemberEntryId.h"
#include "mmconv/contact/VCardWriter.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/AddressForm.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/EntryIdForms.h"
#include "mmconv/message/FoldedOutput.h"
#include "mmconv/message/HeaderText.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

constexpr ULONG kLidDistributionListName = 0x8053;
constexpr ULONG kLidOneOffMembers = 0x8054;
constexpr ULONG kLidMembers = 0x8055;
constexpr std::size_t kBodyNameLength = 32;

constexpr ULONG kMemberTags[] = {PR_DISPLAY_NAME_W, PR_ADDRTYPE_W, PR_EMAIL_ADDRESS_W, PR_SMTP_ADDRESS_W};

// The values of a multi-valued binary named property; empty when it is missing.
std::vector<std::span<const std::uint8_t>> EntryIds(const MapiBuffer<SPropValue>& value)
{
    std::vector<std::span<const std::uint8_t>> ids;
    if (!value || PROP_TYPE(value->ulPropTag) != PT_MV_BINARY)
        return ids;
    for (ULONG i = 0; i < value->Value.MVbin.cValues; ++i)
        ids.emplace_back(value->Value.MVbin.lpbin[i].lpb, value->Value.MVbin.lpbin[i].cb);
    return ids;
}

// A member's address: its SMTP address where it has one (an Exchange entry's own address is a DN
// that no Internet reader can use), else its e-mail address.
std::u16string MemberAddress(std::u16string_view addressType, std::u16string_view address, std::u16string_view smtp)
{
    if (IsAddrSpec(smtp))
        return std::u16string(smtp);
    if (EqualIgnoringAsciiCase(addressType, u"MAPIPDL"))
        return {};
    return std::u16string(address);
}

} // namespace

HRESULT CGroupMsg::SaveContent(MimeOutput& output)
{
    if ((GetFlags() & kFlagSaveAsTnef) != 0)
        return SaveContentWithNativeTnef(output);
    return CMMMessage::SaveContent(output);
}

HRESULT CGroupMsg::GetRecipients(ULONG type, std::string& list)
{
    HRESULT hr = CMMMessage::GetRecipients(type, list);
    if (FAILED(hr) || !list.empty() || type != kRecipientTo || (GetFlags() & kFlagExport) == 0)
        return hr;
    // A list has no address of its own: the field names it as an empty group, by the start of its
    // body, so that it stays a valid address list.
    PropValues values;
    const ULONG tags[] = {PR_BODY_W};
    values.Read(Message(), tags);
    const std::u16string body(values.Unicode(PR_BODY_W).value_or(u"").substr(0, kBodyNameLength));
    list = EmptyGroup(Text(), u"[" + OneLine(body) + u"]");
    return S_OK;
}

// The group is UTF-8 text as it stands, so the entity says 8bit: without the field a reader would take
// it for 7-bit text.
HRESULT CGroupMsg::SaveContactHeader(MimeOutput& output)
{
    return output.Write("Content-Type: text/x-vgroup;\r\n charset=\"utf-8\"\r\nContent-Transfer-Encoding: 8bit\r\n\r\n");
}

HRESULT CGroupMsg::SaveContactContent(MimeOutput& output)
{
    unsigned column = 0;
    auto line = [&](std::string_view name, std::string_view value, unsigned flags) {
        FoldedOutput(output, name, column, 0);
        FoldedOutput(output, value, column, flags);
        FoldedOutput(output, "\n", column, 0);
    };
    FoldedOutput(output, "BEGIN:VGROUP\n", column, 0);
    line("PRODID:", MailerValue(), 0);
    FoldedOutput(output, "VERSION:1.0\n", column, 0);
    std::optional<std::string> name = PropText(PR_DISPLAY_NAME_W);
    if (!name)
        name = NamedText(kLidDistributionListName);
    if (name)
        line("NAME:", *name, kFoldEscape);
    if (const std::optional<std::string> body = PlainBodyUtf8())
        line("NOTE:", *body, kFoldEscape);
    if (const std::string uid = UidValue(); !uid.empty())
        line("UID:", uid, 0);
    PropValues modified;
    const ULONG modifiedTag[] = {PR_LAST_MODIFICATION_TIME};
    if (SUCCEEDED(modified.Read(Message(), modifiedTag)) && modified.Time(PR_LAST_MODIFICATION_TIME))
        line("REV:", CardTime(*modified.Time(PR_LAST_MODIFICATION_TIME), false), 0);
    if (const std::vector<std::string> categories = Categories(); !categories.empty()) {
        FoldedOutput(output, "CATEGORIES:", column, 0);
        for (std::size_t i = 0; i < categories.size(); ++i) {
            if (i > 0)
                FoldedOutput(output, ",", column, 0);
            FoldedOutput(output, categories[i], column, kFoldEscape);
        }
        FoldedOutput(output, "\n", column, 0);
    }
    NamedProps().SaveCustomTags(output, column, 0);
    if (HRESULT hr = SaveGroupMembers(output, column); FAILED(hr))
        return hr;
    return FoldedOutput(output, "END:VGROUP\n", column, 0);
}

// The two properties hold one entry per member at the same position: the member's own identifier
// and a one-off identifier with its name and address. The one-off stands in for a member whose
// own identifier cannot be opened, so every member is written once.
HRESULT CGroupMsg::SaveGroupMembers(MimeOutput& output, unsigned& column)
{
    MapiBuffer<SPropValue> membersValue;
    MapiBuffer<SPropValue> oneOffsValue;
    NamedProps().GetProp(NamedKey(kLidMembers, PT_MV_BINARY), membersValue);
    NamedProps().GetProp(NamedKey(kLidOneOffMembers, PT_MV_BINARY), oneOffsValue);
    const std::vector<std::span<const std::uint8_t>> members = EntryIds(membersValue);
    const std::vector<std::span<const std::uint8_t>> oneOffs = EntryIds(oneOffsValue);
    for (std::size_t i = 0; i < std::max(members.size(), oneOffs.size()); ++i) {
        std::optional<Member> member = i < members.size() ? ResolveMember(members[i]) : std::nullopt;
        if (!member && i < oneOffs.size())
            member = ResolveMember(oneOffs[i]);
        if (!member) {
            TraceConversion("CGroupMsg(%#lx)::SaveGroupMembers - member %u has no address, skipped\n",
                TraceAddress(this), static_cast<unsigned>(i));
            continue;
        }
        if (HRESULT hr = SaveMember(output, column, *member); FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CGroupMsg::SaveMember(MimeOutput& output, unsigned& column, const Member& member)
{
    std::u16string name = OneLine(member.name);
    std::replace(name.begin(), name.end(), u'"', u' ');
    std::replace(name.begin(), name.end(), u'\\', u' ');
    FoldedOutput(output, "MEMBER", column, 0);
    if (!name.empty())
        FoldedOutput(output, ";CN=\"" + WideToUtf8(name) + "\"", column, 0);
    FoldedOutput(output, ":" + WideToUtf8(OneLine(member.address)), column, 0);
    return FoldedOutput(output, "\n", column, 0);
}

std::optional<CGroupMsg::Member> CGroupMsg::ResolveMember(std::span<const std::uint8_t> entryId)
{
    const std::optional<std::span<const std::uint8_t>> inner = UnwrapMemberEntryId(entryId);
    if (std::optional<Member> member = OpenMember(entryId))
        return member;
    if (inner) {
        if (std::optional<Member> member = OpenMember(*inner))
            return member;
    }
    if (std::optional<Member> member = ReadOneOffMember(entryId))
        return member;
    return inner ? ReadOneOffMember(*inner) : std::nullopt;
}

std::optional<CGroupMsg::Member> CGroupMsg::OpenMember(std::span<const std::uint8_t> entryId)
{
    ULONG objectType = 0;
    MapiPtr<IMAPIProp> entry;
    if (FAILED(Support().OpenEntry(static_cast<ULONG>(entryId.size()),
            reinterpret_cast<LPENTRYID>(const_cast<std::uint8_t*>(entryId.data())), nullptr, 0, &objectType,
            entry.put_unknown())) ||
        !entry)
        return std::nullopt;
    PropValues values;
    if (FAILED(values.Read(entry.get(), kMemberTags)))
        return std::nullopt;
    Member member{std::u16string(values.Unicode(PR_DISPLAY_NAME_W).value_or(u"")),
        MemberAddress(values.Unicode(PR_ADDRTYPE_W).value_or(u""), values.Unicode(PR_EMAIL_ADDRESS_W).value_or(u""),
            values.Unicode(PR_SMTP_ADDRESS_W).value_or(u""))};
    if (member.address.empty())
        return std::nullopt;
    return member;
}

std::optional<CGroupMsg::Member> CGroupMsg::ReadOneOffMember(std::span<const std::uint8_t> entryId)
{
    const std::optional<OneOffEntry> oneOff = ParseOneOffEntryId(entryId, Lang().GetDefaultANSIPage());
    if (!oneOff)
        return std::nullopt;
    Member member{oneOff->displayName, MemberAddress(oneOff->addressType, oneOff->address, u"")};
    if (member.address.empty())
        return std::nullopt;
    return member;
}

} // namespace mmconv
