// CMMMessage: the MIME structure after the header: mixed, related and alternative multiparts,
// the body parts and one part per attachment.
#include "mmconv/message/MMMessage.h"

#include <mapicode.h>
#include <mapitags.h>
#include <mapiutil.h>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/message/Boundary.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

constexpr ULONG kAttachColumns[] = {PR_ATTACH_NUM, PR_ATTACH_METHOD, PR_ATTACH_CONTENT_ID_W,
    PR_ATTACH_CONTENT_LOCATION_W, PR_ATTACH_FLAGS, PR_ATTACHMENT_CONTACTPHOTO};

constexpr std::string_view kPreamble = "This is a multi-part message in MIME format.\r\n";

bool IsWrittenMethod(LONG method)
{
    return method == ATTACH_BY_VALUE || method == ATTACH_EMBEDDED_MSG;
}

AttachSummary SummaryOf(const SRow& row)
{
    AttachSummary summary;
    const SPropValue* values = row.lpProps;
    const ULONG count = row.cValues;
    if (const SPropValue* number = FindValue(values, count, PR_ATTACH_NUM))
        summary.number = static_cast<ULONG>(number->Value.l);
    if (const SPropValue* method = FindValue(values, count, PR_ATTACH_METHOD))
        summary.method = method->Value.l;
    summary.contentId = std::u16string(UnicodeValue(FindValue(values, count, PR_ATTACH_CONTENT_ID_W)).value_or(u""));
    summary.contentLocation =
        std::u16string(UnicodeValue(FindValue(values, count, PR_ATTACH_CONTENT_LOCATION_W)).value_or(u""));
    if (const SPropValue* flags = FindValue(values, count, PR_ATTACH_FLAGS))
        summary.flags = flags->Value.l;
    if (const SPropValue* photo = FindValue(values, count, PR_ATTACHMENT_CONTACTPHOTO))
        summary.contactPhoto = photo->Value.b != 0;
    return summary;
}

// The media type of the first part in written body parts: what a multipart/related around them
// names as its root's type.
std::string FirstContentType(std::string_view parts)
{
    constexpr std::string_view kField = "Content-Type: ";
    if (!parts.starts_with(kField))
        return "text/plain";
    parts.remove_prefix(kField.size());
    return std::string(parts.substr(0, parts.find_first_of(";\r")));
}

} // namespace

HRESULT CMMMessage::ReadAttachments()
{
    if (attachments_)
        return S_OK;
    attachments_.emplace();
    MapiPtr<IMAPITable> table;
    if (HRESULT hr = message_->GetAttachmentTable(MAPI_UNICODE, table.put()); FAILED(hr))
        return hr;
    TagList columns(kAttachColumns);
    MapiRows rows;
    if (HRESULT hr = HrQueryAllRows(table.get(), columns.get(), nullptr, nullptr, 0, rows.put()); FAILED(hr))
        return hr;
    for (ULONG i = 0; i < rows.size(); ++i)
        attachments_->push_back(SummaryOf(rows->aRow[i]));
    return S_OK;
}

unsigned CMMMessage::AttachType(const AttachSummary& summary)
{
    const bool scheduleKeepsFiles = classIndex_ == kRowSchedule && support_.GetConfigFlag(kConfigScheduleInlineAsFile);
    return GetAttachType(summary, scheduleKeepsFiles);
}

// Exchange leaves PR_HASATTACH false when every attachment is hidden (inline pictures of an HTML
// body), so the table itself decides.
HRESULT CMMMessage::CheckAttaches(bool& has)
{
    has = false;
    if ((flags_ & kFlagNoAttachments) != 0) {
        TraceConversion("CMMMessage::CheckAttaches() - skipping attachments seek\n");
        return S_OK;
    }
    if (HRESULT hr = ReadAttachments(); FAILED(hr))
        return hr;
    has = !attachments_->empty();
    return S_OK;
}

HRESULT CMMMessage::GetAttachesInfo(AttachesInfo& info)
{
    info = AttachesInfo();
    if (HRESULT hr = ReadAttachments(); FAILED(hr))
        return hr;
    for (const AttachSummary& summary : *attachments_) {
        if (summary.contactPhoto) {
            info.contactPhoto = true;
            continue;
        }
        if (!IsWrittenMethod(summary.method)) {
            ++info.otherCount;
            continue;
        }
        ++info.regularCount;
        info.typeMask |= AttachType(summary);
    }
    return S_OK;
}

std::optional<ULONG> CMMMessage::ContactPhotoAttachment()
{
    if (FAILED(ReadAttachments()))
        return std::nullopt;
    for (const AttachSummary& summary : *attachments_) {
        if (summary.contactPhoto)
            return summary.number;
    }
    return std::nullopt;
}

HRESULT CMMMessage::SaveContentHeader(MimeOutput& output, std::string_view type, std::string_view subtype,
    std::string& boundary, bool preamble, std::string_view extraParameters)
{
    boundary = GenerateBoundary();
    std::string header = "Content-Type: ";
    header.append(type).append("/").append(subtype);
    AppendParameter(header, "boundary", boundary);
    header.append(extraParameters);
    header += "\r\n\r\n";
    if (preamble)
        header += kPreamble;
    header += "\r\n--" + boundary + "\r\n";
    return output.Write(header);
}

HRESULT CMMMessage::SaveContent(MimeOutput& output)
{
    TraceConversion("CMMMessage(%#lx)::SaveContent\n", TraceAddress(this));
    bool has = false;
    AttachesInfo info;
    if (HRESULT hr = CheckAttaches(has); FAILED(hr))
        return hr;
    if (has) {
        if (HRESULT hr = GetAttachesInfo(info); FAILED(hr))
            return hr;
    }
    unsigned bodyType = kBodyTypeNone;
    GetBodyType(bodyType);
    // Files by value are written also when the message has attachments that MIME cannot carry
    // (by reference, OLE objects); those are only left out, with a trace.
    if (info.otherCount > 0)
        TraceConversion("CMMMessage(%#lx)::SaveContent - %u attachments by reference or OLE left out\n",
            TraceAddress(this), info.otherCount);
    if (info.regularCount > 0)
        return SaveContentParts(output, info, bodyType);
    return SaveBodies(output, info.contactPhoto && info.regularCount == 0 && info.otherCount == 0);
}

HRESULT CMMMessage::SaveContentParts(MimeOutput& output, const AttachesInfo& info, unsigned bodyType)
{
    const unsigned mask = info.typeMask;
    const bool relatedOutside = mask == kAttachRelated && bodyType != kBodyTypePlain;
    const bool relatedInside = mask == (kAttachOrdinary | kAttachRelated) && bodyType != kBodyTypePlain;
    std::string bodies;
    std::string typeParameter;
    if (relatedOutside || relatedInside) {
        MimeOutput gathered(bodies);
        if (HRESULT hr = SaveBodies(gathered, true); FAILED(hr))
            return hr;
        AppendParameter(typeParameter, "type", FirstContentType(bodies));
    }
    std::string outer;
    if (HRESULT hr = SaveContentHeader(output, "multipart", relatedOutside ? "related" : "mixed", outer, true,
            relatedOutside ? std::string_view(typeParameter) : std::string_view());
        FAILED(hr))
        return hr;
    std::string inner;
    if (relatedInside) {
        if (HRESULT hr = SaveContentHeader(output, "multipart", "related", inner, false, typeParameter); FAILED(hr))
            return hr;
    }
    if (relatedOutside || relatedInside) {
        if (HRESULT hr = output.Write(bodies); FAILED(hr))
            return hr;
    } else if (HRESULT hr = SaveBodies(output, true); FAILED(hr)) {
        return hr;
    }
    if (relatedInside) {
        if (HRESULT hr = SaveAttaches(output, inner, kAttachRelated, true); FAILED(hr))
            return hr;
        output.Write("--" + inner + "--\r\n\r\n");
        if (HRESULT hr = SaveAttaches(output, outer, kAttachOrdinary, true); FAILED(hr))
            return hr;
    } else if (HRESULT hr = SaveAttaches(output, outer, mask, true); FAILED(hr)) {
        return hr;
    }
    return output.Write("--" + outer + "--\r\n\r\n");
}

HRESULT CMMMessage::SaveAttaches(MimeOutput& output, const std::string& boundary, unsigned typeMask,
    bool withAttachments)
{
    if (HRESULT hr = ReadAttachments(); FAILED(hr))
        return hr;
    for (const AttachSummary& summary : *attachments_) {
        if (summary.contactPhoto || !IsWrittenMethod(summary.method))
            continue;
        const unsigned type = AttachType(summary);
        if ((type & typeMask) == 0)
            continue;
        MapiPtr<IAttach> opened;
        if (HRESULT hr = message_->OpenAttach(summary.number, nullptr, 0, opened.put()); FAILED(hr))
            return hr;
        output.Write("--" + boundary + "\r\n");
        CMMAttach attach(*this, opened.release(), summary, type);
        if (HRESULT hr = attach.Save(output, withAttachments); FAILED(hr))
            return hr;
        if (HRESULT hr = output.Write("\r\n"); FAILED(hr))
            return hr;
    }
    return S_OK;
}

HRESULT CMMMessage::SaveBodies(MimeOutput& output, bool)
{
    unsigned bodyType = kBodyTypeNone;
    GetBodyType(bodyType);
    if (bodyType != kBodyTypeHtml && (flags_ & kFlagCustomForm) == 0) {
        if (bodyType == kBodyTypeCustom)
            return SaveCustomBody(output);
        return SaveMsgBody(output, nullptr);
    }
    const std::string boundary = GenerateBoundary();
    std::string header = "Content-Type: multipart/alternative";
    AppendParameter(header, "boundary", boundary);
    output.Write(header + "\r\n");
    if (bodyType == kBodyTypeCustom) {
        output.Write("\r\n--" + boundary + "\r\n");
        if (HRESULT hr = SaveCustomBody(output); FAILED(hr))
            return hr;
    } else if (HRESULT hr = SaveMsgBody(output, &boundary); FAILED(hr)) {
        return hr;
    }
    if ((flags_ & kFlagCustomForm) != 0) {
        output.Write("--" + boundary + "\r\n");
        if (HRESULT hr = SaveTnef(output); FAILED(hr))
            return hr;
    }
    return output.Write("--" + boundary + "--\r\n\r\n");
}

} // namespace mmconv
