// Messages of the plain model as IMessage objects, and .msg files opened as messages of their own.
#include "platform/mapi/core/MessageFactory.h"

#include <QlnMapiExtras.h>
#include <mapix.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/cfb/MsgFile.h"

#include "platform/mapi/core/Guard.h"
#include "platform/mapi/core/MessageObject.h"

namespace mapi {

HRESULT OpenModelMessage(std::shared_ptr<const platform::cfb::MsgMessage> message,
                         std::span<const platform::cfb::MsgNamedProperty> modelNames,
                         std::shared_ptr<NamedPropertyMap> names, ULONG flags, std::span<const SPropValue> extra,
                         LPMESSAGE* result)
{
    if (result == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *result = nullptr;
    if (message == nullptr || names == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    return Guard([&]() -> HRESULT {
        const platform::cfb::MsgMessage& model = *message;
        MessageState state = LoadMessageState(model, modelNames, *names, std::move(message));
        for (const SPropValue& value : extra) {
            SCODE status = state.properties.Set(value);
            if (status != S_OK)
                return status;
        }
        bool writable = (flags & (MAPI_MODIFY | MAPI_BEST_ACCESS)) != 0;
        *result = new MessageObject(std::move(names), std::move(state), writable, {});
        return S_OK;
    });
}

} // namespace mapi

namespace {

void GiveError(const std::string& text, LPSTR* lppszError)
{
    if (lppszError == nullptr)
        return;
    void* buffer = nullptr;
    if (MAPIAllocateBuffer(static_cast<ULONG>(text.size() + 1), &buffer) != S_OK)
        return;
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *lppszError = static_cast<LPSTR>(buffer);
}

} // namespace

STDAPI QlnOpenMsgFile(LPCSTR lpszPath, ULONG ulFlags, LPMESSAGE* lppMessage, LPSTR* lppszError)
{
    if (lppszError != nullptr)
        *lppszError = nullptr;
    if (lppMessage == nullptr || lpszPath == nullptr)
        return MAPI_E_INVALID_PARAMETER;
    *lppMessage = nullptr;
    return mapi::Guard([&]() -> HRESULT {
        auto document = std::make_shared<platform::cfb::MsgDocument>();
        std::string error;
        HRESULT status = platform::cfb::ReadMsgFile(lpszPath, *document, error);
        if (FAILED(status)) {
            GiveError(error, lppszError);
            return status;
        }
        std::shared_ptr<const platform::cfb::MsgMessage> message(document, &document->message);
        // What the reader left out travels on the message, for whoever converts it to report.
        std::vector<std::u16string> leftOut;
        for (const std::string& part : document->leftOut)
            leftOut.emplace_back(part.begin(), part.end());
        std::vector<LPWSTR> texts;
        for (std::u16string& text : leftOut)
            texts.push_back(text.data());
        SPropValue note{};
        note.ulPropTag = PR_QLN_LEFT_OUT_W;
        note.Value.MVszW = {static_cast<ULONG>(texts.size()), texts.data()};
        const std::span<const SPropValue> extra(&note, texts.empty() ? 0 : 1);
        return mapi::OpenModelMessage(std::move(message), document->namedProperties,
                                      std::make_shared<mapi::NamedPropertyMap>(), ulFlags, extra, lppMessage);
    });
}
