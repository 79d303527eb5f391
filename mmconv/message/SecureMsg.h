// CSecureMsg: S/MIME messages. A clear-signed message is its stored signed entity under the core's
// header; an encrypted or opaque-signed one becomes an application/pkcs7-mime message.
#pragma once

#include "mmconv/message/MMMessage.h"

namespace mmconv {

class CSecureMsg final : public CMMMessage {
public:
    using CMMMessage::CMMMessage;

    HRESULT Save(MimeOutput& output) override;
    HRESULT SaveContent(MimeOutput& output) override;

private:
    // The attachment that holds the S/MIME data: the first named "smime.*", else the last one.
    HRESULT FindSmimeAttachment(MapiPtr<IAttach>& attach);
    std::string SmimeType();
};

} // namespace mmconv
