// CMMMessage: life cycle, the save sequence, the message code page and charset, the body type and
// the body sources.
#include "mmconv/message/MMMessage.h"

#include <mapicode.h>
#include <mapitags.h>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/encoding/CodePageConversion.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/MessageCodePage.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/locale/CodePages.h"

namespace mmconv {
namespace {

constexpr std::size_t kRtfPeekSize = 512;

MapiPtr<IMessage> Hold(IMessage* message)
{
    if (message != nullptr)
        message->AddRef();
    return MapiPtr<IMessage>(message);
}

bool IsAssociated(IMessage* message)
{
    PropValues values;
    const ULONG tags[] = {PR_MESSAGE_FLAGS};
    return SUCCEEDED(values.Read(message, tags)) && (values.Long(PR_MESSAGE_FLAGS).value_or(0) & MSGFLAG_ASSOCIATED) != 0;
}

// The type an RTF-only body finally gets: HTML when RTF is to be converted, else as Outlook's
// "Message RTF Format" option says.
unsigned ResolveRtfType(MMCnvSupport& support)
{
    if (ConvertRtfBodies() || support.GetConfigFlag(kConfigRtfAsHtml))
        return kBodyTypeHtml;
    const std::optional<std::uint32_t> option = Options().rtfFormat;
    if (option == 0u)
        return kBodyTypeHtml;
    if (option == 1u)
        return kBodyTypePlain;
    return kBodyTypeRtf;
}

} // namespace

CMMMessage::CMMMessage(IMessage* message, MMCnvSupport& support, ULONG flags)
    : flags_(flags),
      support_(support),
      message_(Hold(message)),
      namedProps_(message, (flags & kFlagStringNamesOnly) != 0 ? MMNamedPropsCnv::kStringAndMeetingGroup
                                                                : MMNamedPropsCnv::kAllGroups),
      classIndex_(kRowNote)
{
    TraceConversion("CMMMessage(%#lx)::CMMMessage m_pMessage = %#lx\n", TraceAddress(this), TraceAddress(message));
}

CMMMessage::~CMMMessage()
{
    TraceConversion("CMMMessage(%#lx)::~CMMMessage\n", TraceAddress(this));
}

HRESULT CMMMessage::Save(MimeOutput& output)
{
    if (HRESULT hr = SaveHeader(output, true); FAILED(hr))
        return hr;
    return SaveContent(output);
}

HRESULT CMMMessage::SaveCustomBody(MimeOutput&)
{
    return S_OK;
}

HRESULT CMMMessage::GetContentClass(std::string& contentClass)
{
    contentClass = std::string(ContentClassOfRow(classIndex_));
    return S_OK;
}

HRESULT CMMMessage::GetSubject(std::string& subject)
{
    subject.clear();
    PropValues values;
    const ULONG tags[] = {PR_SUBJECT_W};
    if (HRESULT hr = values.Read(message_.get(), tags); FAILED(hr))
        return hr;
    const std::optional<std::u16string_view> text = values.Unicode(PR_SUBJECT_W);
    if (!text)
        return MAPI_E_NOT_FOUND;
    subject = Text().Unstructured(*text);
    return S_OK;
}

HRESULT CMMMessage::GetMsgEncoding(unsigned& codePage)
{
    if (codePage_) {
        codePage = *codePage_;
        return S_OK;
    }
    PropValues values;
    const ULONG tags[] = {PR_INTERNET_CPID};
    values.Read(message_.get(), tags);
    MessageCodePageInputs inputs;
    if (std::optional<LONG> cpid = values.Long(PR_INTERNET_CPID))
        inputs.internetCpid = static_cast<std::uint32_t>(*cpid);
    else
        TraceConversion("CMMMessage(%#lx)::GetMsgEncoding: no message encoding found, using utf8 ...\n",
            TraceAddress(this));
    inputs.outlookMajorVersion = Options().majorVersion;
    inputs.autodetectCodePageOut = Options().autodetectCodePageOut;
    const std::optional<std::string> trailer = support_.GetConfigString(kConfigBodyTrailer);
    inputs.trailerUtf8 = trailer ? std::string_view(*trailer) : std::string_view();
    unsigned chosen = platform::kCodePageUtf8;
    if (HRESULT hr = SelectMessageCodePage(Lang(), inputs, chosen); FAILED(hr))
        return hr;
    codePage_ = chosen;
    codePage = chosen;
    return S_OK;
}

HRESULT CMMMessage::GetMsgCharset(std::string& charset, unsigned& codePage)
{
    if (SUCCEEDED(GetMsgEncoding(codePage)) && SUCCEEDED(Lang().GetCodepageInfo(codePage, charset)))
        return S_OK;
    codePage = Lang().GetDefaultANSIPage();
    return Lang().GetDefaultCharset(charset);
}

HeaderText CMMMessage::Text()
{
    unsigned codePage = 0;
    if (FAILED(GetMsgEncoding(codePage)))
        return HeaderText(Lang(), std::nullopt);
    return HeaderText(Lang(), codePage);
}

HRESULT CMMMessage::GetMessageTZ(TimeZoneRule& rule, std::string& name)
{
    std::string standardName;
    if (HRESULT hr = MachineTimeZone(rule, standardName); FAILED(hr))
        return hr;
    if (standardName.empty()) {
        TraceConversion("***WARNING***, Unable to get TimeZone Name");
        name = "TimeZone";
        return S_OK;
    }
    // The C library's zone abbreviations are ASCII, the same in every code page.
    name = standardName;
    return S_OK;
}

unsigned CMMMessage::GetBodyType(IMessage* message, MMCnvSupport& support)
{
    PropValues values;
    const ULONG tags[] = {PR_MSG_EDITOR_FORMAT};
    values.Read(message, tags);
    unsigned type = kBodyTypeNone;
    if (std::optional<LONG> format = values.Long(PR_MSG_EDITOR_FORMAT); format && *format >= 1 && *format <= 3) {
        type = static_cast<unsigned>(*format);
    } else if (std::optional<std::string> rtf = ReadRtfStart(message, kRtfPeekSize); rtf && !rtf->empty()) {
        type = GetRtfBodyType(*rtf);
    } else if (PropertyExists(message, PR_HTML)) {
        type = kBodyTypeHtml;
    } else if (PropertyExists(message, PR_BODY_W)) {
        type = kBodyTypePlain;
    }
    return type == kBodyTypeRtf ? ResolveRtfType(support) : type;
}

HRESULT CMMMessage::GetBodyType(unsigned& bodyType)
{
    if (!bodyType_)
        bodyType_ = GetBodyType(message_.get(), support_);
    bodyType = *bodyType_;
    return S_OK;
}

const BodySources& CMMMessage::Bodies()
{
    if (!bodies_) {
        bodies_ = std::make_unique<BodySources>();
        ReadBodySources(message_.get(), *bodies_);
    }
    return *bodies_;
}

const std::string& CMMMessage::BodyTrailer()
{
    if (trailer_)
        return *trailer_;
    trailer_.emplace();
    if ((flags_ & (kFlagExport | kFlagNoTrailer)) != 0 || IsAssociated(message_.get()))
        return *trailer_;
    const std::optional<std::string> configured = support_.GetConfigString(kConfigBodyTrailer);
    unsigned codePage = platform::kCodePageUtf8;
    if (configured && !configured->empty() && SUCCEEDED(GetMsgEncoding(codePage)))
        Unicode2Encoding(Utf8ToWide(*configured), codePage, *trailer_);
    TraceConversion("SaveMsgBody(trailer length=%d)\n", static_cast<int>(trailer_->size()));
    return *trailer_;
}

} // namespace mmconv
