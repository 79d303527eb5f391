// CReportMsg: delivery and read reports as multipart/report (RFC 6522): a readable text, the
// machine-readable delivery-status (RFC 3464) or disposition-notification (RFC 8098) part, and the
// original message or its header fields. Other report kinds travel as TNEF.
#pragma once

#include <string>
#include <string_view>

#include "mmconv/message/TnefMsg.h"

namespace mmconv {

enum class ReportKind { Read = 0, NotRead = 1, Delivered = 2, NotDelivered = 3, RecallFailure = 4, Other = 5 };

// The kind of a report class by its patterns, ignoring case, the first that matches:
// REPORT.*.IPNRN, REPORT.*.IPNNRN, REPORT.*.IPNNDR, REPORT.*.DR, REPORT.*.NDR, *.RECALL.REPORT.FAILURE.
ReportKind ReportKindOfClass(std::string_view messageClass);

class CReportMsg final : public CTnefMsg {
public:
    // The kind comes from the message class.
    CReportMsg(IMessage* message, MMCnvSupport& support, ULONG flags);

    HRESULT SaveContent(MimeOutput& output) override;
    HRESULT GetContentClass(std::string& contentClass) override;
    // The core's address; a report with no author is from the mail system of the configured host.
    HRESULT GetAddressString(AddressKind kind, std::string& address, bool encode) override;
    // A delivery report goes to the mailbox it was received for.
    HRESULT GetRecipients(ULONG type, std::string& list) override;

    ReportKind Kind() const { return kind_; }

private:
    bool IsDeliveryReport() const { return kind_ == ReportKind::Delivered || kind_ == ReportKind::NotDelivered; }
    HRESULT SaveReport(MimeOutput& output);
    HRESULT SaveReportText(MimeOutput& output, const std::string& boundary);
    // The text part, then the attachments, as one multipart/mixed part.
    HRESULT SaveTextWithAttachments(MimeOutput& output, const std::string& boundary);
    // Whether the one attachment is a message: the returned original.
    bool OnlyAttachmentIsMessage();
    HRESULT SaveDeliveryStatus(MimeOutput& output, const std::string& boundary);
    HRESULT SaveDispositionNotification(MimeOutput& output, const std::string& boundary);
    HRESULT SaveOriginalHeaders(MimeOutput& output, const std::string& boundary);
    std::u16string GeneratedText();
    std::string FinalRecipientOfAuthor();
    HRESULT ReadReportRecipients();

    ReportKind kind_;
    MapiRows reportRecipients_;
};

} // namespace mmconv
