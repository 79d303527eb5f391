// CMMMessage: the base of every message converter. Its thirteen virtual operations, in slot order,
// write a MAPI message as an Internet message; the item converters override some of them.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <MapiPtr.h>
#include <mapidefs.h>

#include "mmconv/message/BodySources.h"
#include "mmconv/message/MMAttach.h"
#include "mmconv/message/HeaderText.h"
#include "mmconv/message/MachineTimeZone.h"
#include "mmconv/message/MMCnvSupport.h"
#include "mmconv/message/MMNamedPropsCnv.h"
#include "mmconv/message/MimeOutput.h"

namespace mmconv {

// Conversion flags.
inline constexpr ULONG kFlagExport = 0x01;            // the transfer's mode
inline constexpr ULONG kFlagStringNamesOnly = 0x02;   // the named-property cache resolves and creates its string group only
inline constexpr ULONG kFlagSaveAsTnef = 0x04;
inline constexpr ULONG kFlagNoTrailer = 0x08;
inline constexpr ULONG kFlagCustomForm = 0x10;        // a TNEF copy is the last alternative of the body
inline constexpr ULONG kFlagNoAttachments = 0x20;

// Body types.
inline constexpr unsigned kBodyTypeCustom = 4;        // written by SaveCustomBody

// Which originator GetAddressString answers.
enum class AddressKind : unsigned { Author = 0, Sender = 1, ReceivedFor = 2 };

// Recipient types of GetRecipients (MAPI_TO, MAPI_CC, MAPI_BCC).
inline constexpr ULONG kRecipientTo = 1;
inline constexpr ULONG kRecipientCc = 2;
inline constexpr ULONG kRecipientBcc = 3;

// What the attachments of a message are, as SaveContent needs it.
struct AttachesInfo {
    unsigned typeMask = 0;        // 1 ordinary attachments, 2 related (inline) parts
    unsigned regularCount = 0;    // by value or embedded messages, not contact photos
    unsigned otherCount = 0;      // by reference, OLE objects
    bool contactPhoto = false;
};

class CMMMessage {
public:
    CMMMessage(IMessage* message, MMCnvSupport& support, ULONG flags);
    virtual ~CMMMessage();
    CMMMessage(const CMMMessage&) = delete;
    CMMMessage& operator=(const CMMMessage&) = delete;

    virtual HRESULT Save(MimeOutput& output);                                             // slot 1
    virtual HRESULT SaveHeader(MimeOutput& output, bool top);                             // slot 2
    virtual HRESULT SaveBodies(MimeOutput& output, bool nested);                          // slot 3
    virtual HRESULT SaveCustomBody(MimeOutput& output);                                   // slot 4
    virtual HRESULT SaveContent(MimeOutput& output);                                      // slot 5
    virtual HRESULT GetContentClass(std::string& contentClass);                           // slot 6
    virtual HRESULT GetAddressString(AddressKind kind, std::string& address, bool encode); // slot 7
    virtual HRESULT GetSubject(std::string& subject);                                     // slot 8
    virtual HRESULT GetMsgEncoding(unsigned& codePage);                                   // slot 9
    virtual HRESULT GetRecipients(ULONG type, std::string& list);                         // slot 10
    virtual HRESULT GetMessageTZ(TimeZoneRule& rule, std::string& name);                  // slot 11
    virtual HRESULT GetBodyType(unsigned& bodyType);                                      // slot 12

    // The body type from the message's properties alone (the rules of slot 12), for the class
    // choice before a converter exists.
    static unsigned GetBodyType(IMessage* message, MMCnvSupport& support);

    ULONG GetFlags() const { return flags_; }
    void SetFlags(ULONG flags) { flags_ = flags; }
    std::size_t ClassIndex() const { return classIndex_; }
    void SetClassIndex(std::size_t row) { classIndex_ = row; }
    IMessage* Message() const { return message_.get(); }
    MMCnvSupport& Support() { return support_; }
    MMNamedPropsCnv& NamedProps() { return namedProps_; }

    // Header text in the message code page.
    HeaderText Text();
    // The charset name of the message code page and that code page (the default ANSI ones when the
    // message's has no name); E_FAIL when neither has one.
    HRESULT GetMsgCharset(std::string& charset, unsigned& codePage);

    // Whether the message has attachments to write: the attachment table has a row (never with
    // kFlagNoAttachments).
    HRESULT CheckAttaches(bool& has);
    HRESULT GetAttachesInfo(AttachesInfo& info);

protected:
    // Parts of SaveContent that the item converters reuse.
    HRESULT SaveContentHeader(MimeOutput& output, std::string_view type, std::string_view subtype,
        std::string& boundary, bool preamble, std::string_view extraParameters = {});
    // The text part and, for an HTML body, the HTML part; with a boundary each opens with its
    // delimiter line.
    HRESULT SaveMsgBody(MimeOutput& output, const std::string* boundary);
    HRESULT SaveAttaches(MimeOutput& output, const std::string& boundary, unsigned typeMask, bool withAttachments);
    HRESULT SaveTnef(MimeOutput& output);
    HRESULT SaveContentWithNativeTnef(MimeOutput& output);

    // Value builders of the header.
    HRESULT GetDate(ULONG tag, std::string& date);
    HRESULT GetMessageID(std::string& id);
    HRESULT GetReplyToRecips(std::string& list, std::string_view authorAddress);
    HRESULT GetPriority(std::string& priority);
    HRESULT GetImportance(std::string& importance, bool text);
    HRESULT GetSensitivity(std::string& sensitivity);
    HRESULT GetMAPICategories(std::string& keywords, std::string& categories);

    // The plain text in `charset`/`codePage`, which turn to UTF-8 where the message code page
    // cannot hold it; empty when the message has no body at all.
    HRESULT PlainText(unsigned bodyType, std::string& text, std::string& charset, unsigned& codePage);
    // The HTML of an HTML body and its charset; false when there is none.
    bool HtmlText(std::string& html, std::string& charset, unsigned codePage);
    // The body sources, read once.
    const BodySources& Bodies();
    // The configured body trailer in the message code page; empty when none is written.
    const std::string& BodyTrailer();
    // The number of the attachment that holds the contact's photo; absent without one.
    std::optional<ULONG> ContactPhotoAttachment();

private:
    HRESULT SaveTnefHeader(MimeOutput& output);
    HRESULT SaveTnefContent(MimeOutput& output);
    // The rows of the attachment table, read once.
    HRESULT ReadAttachments();
    unsigned AttachType(const AttachSummary& summary);
    HRESULT WriteHeaders(MimeOutput& output, bool top);
    // The Date value: the submit time, else the delivery, creation or modification time.
    std::string MessageDate();
    // The From value when the message names no author: the mailbox the conversion works for.
    std::string MailboxOwnerAddress();
    HRESULT ReadRecipientRows();
    // The address of one entry: SMTP as it is, "EX" through its SMTP property or the address book.
    std::optional<std::string> ChooseAddress(std::u16string_view addressType, std::u16string_view address,
        std::u16string_view smtpAddress, std::span<const BYTE> entryId);
    HRESULT SaveContentParts(MimeOutput& output, const AttachesInfo& info, unsigned bodyType);

    ULONG flags_;
    MMCnvSupport& support_;
    MapiPtr<IMessage> message_;
    std::optional<std::vector<AttachSummary>> attachments_;
    MMNamedPropsCnv namedProps_;
    std::size_t classIndex_;
    std::optional<unsigned> codePage_;
    std::optional<unsigned> bodyType_;
    std::optional<std::string> trailer_;
    std::unique_ptr<BodySources> bodies_;
    MapiRows recipientRows_;
    bool recipientsRead_ = false;
};

} // namespace mmconv
