// CContactMsg: Outlook contacts as Internet messages whose body is one vCard 2.1 card, with a few
// header fields that let the server index the contact without reading the card.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mmconv/message/MMMessage.h"
#include "mmconv/message/MapiProps.h"

namespace mmconv {

class CContactMsg : public CMMMessage {
public:
    using CMMMessage::CMMMessage;

    // The core's header, then X-Has-Certificate, X-FirstName, X-LastName and X-Telnum.
    HRESULT SaveHeader(MimeOutput& output, bool top) override;
    // SaveContact: the body entity header, the card, a line end; one more line end in any case.
    HRESULT SaveCustomBody(MimeOutput& output) override;
    // The "file under" name when there is one.
    HRESULT GetSubject(std::string& subject) override;
    // Always UTF-8.
    HRESULT GetMsgEncoding(unsigned& codePage) override;
    // In export mode the To field is the contact's first e-mail address.
    HRESULT GetRecipients(ULONG type, std::string& list) override;
    // Always the custom body.
    HRESULT GetBodyType(unsigned& bodyType) override;

    virtual HRESULT SaveContactHeader(MimeOutput& output);
    virtual HRESULT SaveContactContent(MimeOutput& output);

protected:
    // A named property of the contact's sets as UTF-8 text; absent when missing or empty.
    std::optional<std::string> NamedText(ULONG lid);
    // A property by tag (wide strings as UTF-8); absent when missing or empty.
    std::optional<std::string> PropText(ULONG tag);
    // The UID value: the stored global identifier, else the search key in hexadecimal; empty without.
    std::string UidValue();
    // The categories in UTF-8, empty ones left out.
    std::vector<std::string> Categories();
    // The plain-text body in UTF-8; absent when the contact has no body.
    std::optional<std::string> PlainBodyUtf8();

private:
    void SaveNames(class VCardWriter& card);
    void SaveTelephones(VCardWriter& card);
    void SaveAddresses(VCardWriter& card);
    void SaveEmails(VCardWriter& card);
    void SaveUserCertificates(VCardWriter& card);
    void SaveContactPhoto(VCardWriter& card);
    void SaveCustomFields(VCardWriter& card);
    // The DER form of every certificate the contact's certificate property yields.
    std::vector<std::string> UserCertificates();
    std::string TelephoneList();
    // The value of `tag` from the card's values read together; null when it is not one of them.
    const SPropValue* CardValue(ULONG tag);

    // The values of every plain tag the card may show (CardTags), read by the first PropText: one
    // GetProps in place of one for each text.
    PropValues cardValues_;
    bool cardValuesRead_ = false;
};

} // namespace mmconv
