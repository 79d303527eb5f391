// The entry points and the converter choice.
//
// No input may crash a conversion. The converters read binary property data only through
// bounds-checked readers, and every exception (std::bad_alloc included) stops at the entry point
// and becomes a status. A processor fault is not caught: on Linux a signal handler cannot resume
// the conversion safely, so faults are made impossible instead (and fuzzed for).
#include "mmconv/MMConv.h"

#include <QlnMapiExtras.h>
#include <mapicode.h>
#include <mapitags.h>

#include <ctime>
#include <exception>
#include <new>

#include "mmconv/body/RtfBodyType.h"
#include "mmconv/calendar/AppointmentMsg.h"
#include "mmconv/calendar/TaskMsg.h"
#include "mmconv/contact/ContactMsg.h"
#include "mmconv/contact/GroupMsg.h"
#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/ActivityMsg.h"
#include "mmconv/message/LibraryState.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/NoteMsg.h"
#include "mmconv/message/ReportMsg.h"
#include "mmconv/message/SecureMsg.h"
#include "mmconv/message/StickynoteMsg.h"
#include "mmconv/message/TnefMsg.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

// The named properties that mark a message made with a custom form, with the types they have.
constexpr ULONG kCustomFormKeys[] = {NamedKey(kLidCustomFormScript, PT_BINARY), NamedKey(kLidCustomFormData, PT_BINARY),
    NamedKey(kLidCustomFormType, PT_LONG), NamedKey(kLidCustomFormDefinition, PT_BINARY)};

void TraceFailure(int line, const char* what, HRESULT hr)
{
    if (FAILED(hr))
        TraceConversion("%s(%d) : %s failed %#x: %s\n", "MMConv", line, what, static_cast<unsigned>(hr), "");
}

bool UsesCustomForm(std::string_view messageClass, MMNamedPropsCnv& customForm)
{
    for (ULONG key : kCustomFormKeys) {
        if (customForm.CheckPropExists(key))
            return true;
    }
    return IsCustomFormClass(messageClass);
}

bool CustomFormFlagSet(MMNamedPropsCnv& customForm)
{
    MapiBuffer<SPropValue> value;
    return SUCCEEDED(customForm.GetProp(NamedKey(kLidCustomFormFlag, PT_LONG), value)) && value->Value.l != 0;
}

// The converter of a class-table row. Rows without a converter of their own are carried by
// CTnefMsg: their bodies stay readable and the TNEF part keeps every property.
std::unique_ptr<CMMMessage> ConverterOfRow(std::size_t row, IMessage* message, MMCnvSupport& support, ULONG flags,
    MMNamedPropsCnv& customForm, IMessage* calendarContext)
{
    switch (row) {
    case kRowTask:
    case kRowTaskRequest:
        return std::make_unique<CTaskMsg>(message, support, flags, calendarContext);
    case kRowAppointment:
    case kRowSchedule:
        return std::make_unique<CAppointmentMsg>(message, support, flags, calendarContext);
    case kRowException: {
        auto exception = std::make_unique<CAppointmentMsg>(message, support, flags, calendarContext);
        exception->MarkExceptionItem();
        return exception;
    }
    case kRowActivity:
        return std::make_unique<CActivityMsg>(message, support, flags);
    case kRowStickyNote:
        return std::make_unique<CStickynoteMsg>(message, support, flags);
    case kRowNote:
        if (CustomFormFlagSet(customForm) || CMMMessage::GetBodyType(message, support) == kBodyTypeRtf)
            return std::make_unique<CTnefMsg>(message, support, flags);
        return std::make_unique<CNoteMsg>(message, support, flags);
    case kRowContact:
        return std::make_unique<CContactMsg>(message, support, flags);
    case kRowDistList:
        return std::make_unique<CGroupMsg>(message, support, flags);
    case kRowReport:
    case kRowRecallReport:
        return std::make_unique<CReportMsg>(message, support, flags);
    case kRowSmime:
    case kRowSmimeMultipartSigned:
    case kRowReceiptSmime:
        return std::make_unique<CSecureMsg>(message, support, flags);
    default:
        return std::make_unique<CTnefMsg>(message, support, flags);
    }
}

} // namespace

HRESULT MMConvInit(LPALLOCATEBUFFER, LPFREEBUFFER, ULONG, ULONG rtfFlag)
{
    TraceConversion("MMConvInit\n");
    try {
        StartLibrary(rtfFlag != 0, static_cast<unsigned>(std::time(nullptr)));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT MMConvFree()
{
    TraceConversion("MMConvFree\n");
    StopLibrary();
    return S_OK;
}

HRESULT ConstructMessage(LPMESSAGE message, std::unique_ptr<CMMMessage>& result, MMCnvSupport& support, ULONG flags,
    LPMESSAGE calendarContext)
{
    TraceConversion("CMMMessage( static )::ConstructMessage\n");
    result.reset();
    if (message == nullptr)
        return E_FAIL;
    PropValues values;
    const ULONG tags[] = {PR_MESSAGE_CLASS_A, PR_MESSAGE_FLAGS};
    if (HRESULT hr = values.Read(message, tags); FAILED(hr))
        return hr;
    const std::optional<std::string_view> messageClass = values.Ansi(PR_MESSAGE_CLASS_A);
    if (!messageClass)
        return MAPI_E_NOT_FOUND;
    const std::size_t row = MessageClassRowOf(*messageClass);
    MMNamedPropsCnv customForm(message, MMNamedPropsCnv::kCustomFormGroup);
    const bool custom = UsesCustomForm(*messageClass, customForm);

    bool tnef = false;
    if ((flags & kFlagExport) == 0 && support.GetConfigFlag(kConfigSaveAsTnef))
        flags |= kFlagSaveAsTnef;
    if ((values.Long(PR_MESSAGE_FLAGS).value_or(0) & MSGFLAG_ASSOCIATED) != 0)
        flags = (flags | kFlagSaveAsTnef) & ~kFlagExport;
    if ((flags & kFlagExport) == 0 && row == kRowSchedule && support.GetConfigFlag(kConfigScheduleAsTnef)) {
        flags |= kFlagSaveAsTnef;
        tnef = true;
    }
    if (custom && (flags & kFlagSaveAsTnef) != 0)
        tnef = true;
    else if (custom)
        flags |= kFlagCustomForm;
    if (row == kRowException)
        flags |= kFlagCustomForm;

    result = tnef ? std::make_unique<CTnefMsg>(message, support, flags)
                  : ConverterOfRow(row, message, support, flags, customForm, calendarContext);
    result->SetClassIndex(row);
    return S_OK;
}

HRESULT MapiToMime(LPMESSAGE message, MimeOutput& output, MMCnvSupport& support, ULONG flags, LPMESSAGE calendarContext)
{
    TraceConversion("MapiToMime( lpMessage = %#lx, lpStream = %#lx )\n", TraceAddress(message), TraceAddress(&output));
    std::unique_ptr<CMMMessage> converter;
    HRESULT hr = ConstructMessage(message, converter, support, flags, calendarContext);
    TraceFailure(__LINE__, "ConstructMessage", hr);
    if (FAILED(hr))
        return hr;
    hr = converter->Save(output);
    TraceFailure(__LINE__, "Save", hr);
    return hr;
}

namespace {

// A message read from a damaged source names the parts the reader left out; each is traced, and the
// conversion ends with a warning status.
bool ReportLeftOut(LPMESSAGE message)
{
    PropValues values;
    const ULONG tags[] = {PR_QLN_LEFT_OUT_W};
    const SPropValue* leftOut = SUCCEEDED(values.Read(message, tags)) ? values.Find(PR_QLN_LEFT_OUT_W) : nullptr;
    if (leftOut == nullptr || leftOut->Value.MVszW.cValues == 0)
        return false;
    for (ULONG i = 0; i < leftOut->Value.MVszW.cValues; ++i) {
        const std::u16string_view part(leftOut->Value.MVszW.lppszW[i] ? leftOut->Value.MVszW.lppszW[i] : u"");
        TraceConversion("***WARNING***, left out of the source: %s\n", WideToUtf8(part).c_str());
    }
    return true;
}

HRESULT ConvertIntoStream(LPMESSAGE message, LPSTREAM stream, LPMAPISUP supportObject, LPMAPISESSION session,
    IConfigProp* config, ULONG flags)
{
    if (stream == nullptr)
        return E_INVALIDARG;
    try {
        MMCnvSupport support(supportObject, session, config,
            static_cast<HRESULT (*)(IMessage*, MimeOutput&, MMCnvSupport&, ULONG, IMessage*)>(&MapiToMime));
        MimeOutput output(stream);
        HRESULT hr = MapiToMime(message, output, support, flags, nullptr);
        if (SUCCEEDED(hr))
            hr = output.Flush();
        if (SUCCEEDED(hr))
            hr = stream->Commit(STGC_DEFAULT);
        TraceFailure(__LINE__, "MapiToMime", hr);
        if (SUCCEEDED(hr) && ReportLeftOut(message))
            return MAPI_W_ERRORS_RETURNED;
        return hr;
    } catch (const std::bad_alloc&) {
        TraceConversion("***MapiToMime() exception %#x\n", static_cast<unsigned>(E_OUTOFMEMORY));
        return E_OUTOFMEMORY;
    } catch (...) {
        TraceConversion("***MapiToMime() exception %#x\n", static_cast<unsigned>(E_FAIL));
        return E_FAIL;
    }
}

} // namespace

HRESULT MapiToMime(LPMESSAGE message, LPSTREAM stream, LPMAPISESSION session, IConfigProp* config, ULONG flags)
{
    TraceConversion("MapiToMime( lpMessage = %#lx, lpStream = %#lx, lpSession = %#lx )\n", TraceAddress(message),
        TraceAddress(stream), TraceAddress(session));
    return ConvertIntoStream(message, stream, nullptr, session, config, flags);
}

HRESULT MapiToMime(LPMESSAGE message, LPSTREAM stream, LPMAPISUP support, IConfigProp* config, ULONG flags)
{
    TraceConversion("MapiToMime( lpMessage = %#lx, lpStream = %#lx, lpSupport = %#lx )\n", TraceAddress(message),
        TraceAddress(stream), TraceAddress(support));
    return ConvertIntoStream(message, stream, support, nullptr, config, flags);
}

} // namespace mmconv
