// MMCnvSupport: what one conversion carries besides the message: where entries are opened (a
// support object or a session), where settings come from, and how embedded messages are converted.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <MapiPtr.h>
#include <mapispi.h>
#include <mapix.h>

#include "mmconv/message/ConfigProp.h"

namespace mmconv {

class MimeOutput;

// The whole conversion of one message into `output`; the entry point hands it in so that the core
// converts embedded messages with the same class choice as top-level ones.
using MessageConversion = HRESULT (*)(IMessage* message, MimeOutput& output, class MMCnvSupport& support,
    ULONG flags, IMessage* calendarContext);

class MMCnvSupport {
public:
    // Either object may be absent; each present one is referenced for the context's life. The
    // configuration source is borrowed.
    MMCnvSupport(IMAPISupport* support, IMAPISession* session, IConfigProp* config, MessageConversion convert);

    // The support object's OpenEntry if there is one, else the session's; E_FAIL without either.
    HRESULT OpenEntry(ULONG cbEntryID, LPENTRYID lpEntryID, LPCIID lpInterface, ULONG ulFlags, ULONG* lpulObjType,
        LPUNKNOWN* lppUnk);

    // The configuration source's value for a tag, freed by the caller; E_FAIL without a source.
    HRESULT GetProfileOneProp(ULONG ulPropTag, LPSPropValue* lppProp);
    // A boolean setting; false when the source does not answer.
    bool GetConfigFlag(ULONG ulPropTag);
    // A narrow string setting; absent when the source does not answer.
    std::optional<std::string> GetConfigString(ULONG ulPropTag);

    // The DER form of the certificate with this SHA-1 hash in a certificate store of the session's
    // organisation ("addressbook"); E_FAIL without a session, MAPI_E_NOT_FOUND when it is not there.
    HRESULT FindCertificate(const char* store, std::span<const std::uint8_t> hash, std::string& certificate);

    HRESULT ConvertMessage(IMessage* message, MimeOutput& output, ULONG flags, IMessage* calendarContext);

private:
    MapiPtr<IMAPISupport> support_;
    MapiPtr<IMAPISession> session_;
    IConfigProp* config_;
    MessageConversion convert_;
};

} // namespace mmconv
