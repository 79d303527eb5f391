// The ITnef object of OpenTnefStreamEx for encoding: it records what AddProps, SetProps and
// EncodeRecips ask for and writes the whole stream on Finish.
#include <mapitags.h>
#include <mapiutil.h>
#include <tnef.h>

#include <cstring>
#include <string_view>

#include "platform/mapi/core/ComObject.h"
#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/TnefEncoding.h"

namespace mapi {
namespace {

constexpr ULONG kScopeFlags = TNEF_PROP_CONTAINED | TNEF_PROP_CONTAINED_TNEF | TNEF_PROP_MESSAGE_ONLY |
                              TNEF_PROP_ATTACHMENTS_ONLY;
constexpr ULONG kAddPropsFlags = TNEF_PROP_INCLUDE | TNEF_PROP_EXCLUDE | kScopeFlags;

// The attachments are in a selection when it takes PR_MESSAGE_ATTACHMENTS.
bool TakesAttachments(bool exclude, const SPropTagArray* tags)
{
    for (ULONG i = 0; tags != nullptr && i < tags->cValues; ++i) {
        if (PROP_ID(tags->aulPropTag[i]) == PROP_ID(PR_MESSAGE_ATTACHMENTS))
            return !exclude;
    }
    return exclude;
}

HRESULT ReportProblems(const std::vector<TnefProblem>& problems, LPSTnefProblemArray* result)
{
    if (result == nullptr)
        return S_OK;
    *result = nullptr;
    if (problems.empty())
        return S_OK;
    void* buffer = nullptr;
    ULONG size = static_cast<ULONG>(offsetof(STnefProblemArray, aProblem) + problems.size() * sizeof(STnefProblem));
    HRESULT status = MAPIAllocateBuffer(size, &buffer);
    if (FAILED(status))
        return status;
    auto* array = static_cast<LPSTnefProblemArray>(buffer);
    array->cProblem = static_cast<ULONG>(problems.size());
    for (std::size_t i = 0; i < problems.size(); ++i)
        array->aProblem[i] = {problems[i].component, problems[i].attribute, problems[i].tag, problems[i].scode};
    *result = array;
    return S_OK;
}

class TnefObject final : public ComObject<ITnef> {
public:
    TnefObject(IStream* stream, IMessage* message, WORD key) : stream_(stream), message_(message)
    {
        stream_->AddRef();
        message_->AddRef();
        request_.key = key;
    }

    HRESULT QueryInterface(REFIID riid, LPVOID* ppvObj) override
    {
        return QueryFor(riid, ppvObj, {&IID_IUnknown, &IID_ITNEF});
    }

    HRESULT AddProps(ULONG ulFlags, ULONG ulElemID, LPVOID lpvData, LPSPropTagArray lpPropList) override
    {
        if ((ulFlags & ~kAddPropsFlags) != 0)
            return MAPI_E_UNKNOWN_FLAGS;
        bool exclude = (ulFlags & TNEF_PROP_EXCLUDE) != 0;
        if (exclude == ((ulFlags & TNEF_PROP_INCLUDE) != 0) || (!exclude && lpPropList == nullptr))
            return MAPI_E_INVALID_PARAMETER;
        // Writing an attachment's data into a file or stream of the caller's is not built.
        if ((ulFlags & TNEF_PROP_CONTAINED_TNEF) != 0 || lpvData != nullptr)
            return E_NOTIMPL;
        if (finished_)
            return MAPI_E_CALL_FAILED;
        return Guard([&]() -> HRESULT {
            auto add = [&](PropertySelection& selection) {
                exclude ? selection.Exclude(lpPropList) : selection.Include(lpPropList);
            };
            if ((ulFlags & TNEF_PROP_CONTAINED) != 0) {
                add(request_.attachments[ulElemID].selection);
                return S_OK;
            }
            if ((ulFlags & TNEF_PROP_ATTACHMENTS_ONLY) == 0)
                add(request_.message.selection);
            if ((ulFlags & TNEF_PROP_ATTACHMENTS_ONLY) != 0)
                add(request_.everyAttachment);
            else if ((ulFlags & TNEF_PROP_MESSAGE_ONLY) == 0 && TakesAttachments(exclude, lpPropList))
                request_.everyAttachment.Exclude(exclude ? lpPropList : nullptr);
            return S_OK;
        });
    }

    HRESULT ExtractProps(ULONG, LPSPropTagArray, LPSTnefProblemArray* lpProblems) override
    {
        if (lpProblems != nullptr)
            *lpProblems = nullptr;
        return E_NOTIMPL;  // decoding TNEF is not built: only encoding is
    }

    HRESULT Finish(ULONG, WORD* lpKey, LPSTnefProblemArray* lpProblems) override
    {
        if (lpProblems != nullptr)
            *lpProblems = nullptr;
        if (finished_)
            return MAPI_E_CALL_FAILED;
        finished_ = true;
        return Guard([&]() -> HRESULT {
            std::vector<BYTE> bytes;
            std::vector<TnefProblem> problems;
            HRESULT status = EncodeTnefStream(message_, request_, bytes, problems);
            if (FAILED(status))
                return status;
            if (bytes.size() > 0xFFFFFFFFu)
                return MAPI_E_TOO_BIG;
            ULONG written = 0;
            status = stream_->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
            if (FAILED(status))
                return status;
            if (written != bytes.size())
                return MAPI_E_NOT_ENOUGH_DISK;
            if (lpKey != nullptr)
                *lpKey = request_.key;
            return ReportProblems(problems, lpProblems);
        });
    }

    HRESULT OpenTaggedBody(LPMESSAGE, ULONG, LPSTREAM* lppStream) override
    {
        if (lppStream != nullptr)
            *lppStream = nullptr;
        return E_NOTIMPL;  // bodies with attachment tags belong to the legacy TNEF forms, not built
    }

    HRESULT SetProps(ULONG ulFlags, ULONG ulElemID, ULONG cValues, LPSPropValue lpProps) override
    {
        if ((ulFlags & ~TNEF_PROP_CONTAINED) != 0)
            return MAPI_E_UNKNOWN_FLAGS;
        if (finished_)
            return MAPI_E_CALL_FAILED;
        return Guard([&] {
            PropertyOverrides& overrides = (ulFlags & TNEF_PROP_CONTAINED) != 0
                                               ? request_.attachments[ulElemID].overrides
                                               : request_.message.overrides;
            return overrides.Add(cValues, lpProps);
        });
    }

    HRESULT EncodeRecips(ULONG, LPMAPITABLE lpRecipientTable) override
    {
        if (finished_)
            return MAPI_E_CALL_FAILED;
        return Guard([&]() -> HRESULT {
            MapiPtr<IMAPITable> own;
            IMAPITable* table = lpRecipientTable;
            if (table == nullptr) {
                HRESULT status = message_->GetRecipientTable(MAPI_UNICODE, own.put());
                if (FAILED(status))
                    return status;
                table = own.get();
            }
            // The rows are read now: the caller may release or change the table before Finish.
            HRESULT status = HrQueryAllRows(table, nullptr, nullptr, nullptr, 0, request_.recipientRows.put());
            if (FAILED(status))
                return status;
            request_.encodeRecipients = true;
            return S_OK;
        });
    }

    HRESULT FinishComponent(ULONG, ULONG, LPSPropTagArray, LPSPropValue, LPSPropTagArray,
                            LPSTnefProblemArray* lpProblems) override
    {
        if (lpProblems != nullptr)
            *lpProblems = nullptr;
        return E_NOTIMPL;  // component-wise encoding is not built: Finish encodes the whole message
    }

private:
    ~TnefObject() override
    {
        message_->Release();
        stream_->Release();
    }

    IStream* stream_;
    IMessage* message_;
    TnefRequest request_;
    bool finished_ = false;
};

// A stream name must be given and be usable as a file name.
bool IsValidStreamName(const char* name)
{
    if (name == nullptr || *name == '\0')
        return false;
    std::string_view text(name);
    return text.size() < 260 && text.find_first_of("[]:") == std::string_view::npos;
}

} // namespace
} // namespace mapi

// Only encoding in the pure form (every property in the encapsulated lists) is built: decoding
// and the legacy attribute mappings answer E_NOTIMPL.
STDAPI OpenTnefStreamEx(LPVOID, LPSTREAM lpStream, LPTSTR lpszStreamName, ULONG ulFlags, LPMESSAGE lpMessage,
                        WORD wKeyVal, LPADRBOOK, LPITNEF* lppTNEF)
{
    if (lppTNEF == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppTNEF = nullptr;
    if ((ulFlags & TNEF_ENCODE) == 0 || (ulFlags & TNEF_PURE) == 0)
        return E_NOTIMPL;
    if (lpStream == nullptr || lpMessage == nullptr || !mapi::IsValidStreamName(lpszStreamName))
        return MAPI_E_INVALID_PARAMETER;
    // The key ties attachments to their places in a tagged body and must not be zero.
    WORD key = wKeyVal != 0 ? wKeyVal : 1;
    return mapi::Guard([&] {
        *lppTNEF = new mapi::TnefObject(lpStream, lpMessage, key);
        return S_OK;
    });
}
