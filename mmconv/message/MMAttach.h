// CMMAttach: one attachment of a message written as a MIME part: a file by value (Base64, or an
// AppleDouble pair for MacBinary data) or an embedded message as message/rfc822.
#pragma once

#include <optional>
#include <span>
#include <string>

#include <MapiPtr.h>
#include <mapidefs.h>

#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MimeOutput.h"

namespace mmconv {

class CMMMessage;

// Attachment types.
inline constexpr unsigned kAttachOrdinary = 1;
inline constexpr unsigned kAttachRelated = 2;

// What the attachment table tells about one attachment, enough to place it in the structure.
struct AttachSummary {
    ULONG number = 0;
    LONG method = 0;
    std::u16string contentId;
    std::u16string contentLocation;
    LONG flags = 0;
    bool contactPhoto = false;
};

// Related (an inline part of an HTML body) when it has a content identifier or location and its
// flags mark it rendered in the body (0x1 or 0x4); a part marked only 0x4 stays ordinary when
// `scheduleKeepsFiles` (meeting items with the configuration flag set).
unsigned GetAttachType(const AttachSummary& summary, bool scheduleKeepsFiles);

class CMMAttach {
public:
    CMMAttach(CMMMessage& owner, IAttach* attach, const AttachSummary& summary, unsigned type);
    ~CMMAttach();
    CMMAttach(const CMMAttach&) = delete;
    CMMAttach& operator=(const CMMAttach&) = delete;

    // The part header and body; `withAttachments` false writes an embedded message without its own
    // attachments.
    HRESULT Save(MimeOutput& output, bool withAttachments);

    // The file name (long, else short), empty without one.
    std::u16string GetFilename() const;

private:
    HRESULT ReadProperties();
    HRESULT PrepareEmbeddedMessage();
    HRESULT SaveHeader(MimeOutput& output, LONG method);
    HRESULT SaveBody(MimeOutput& output, LONG method, bool withAttachments);
    HRESULT DumpBody(MimeOutput& output, int mode);
    std::string GetContentType() const;
    std::string GetContentID() const;
    std::string FileHeader(const std::string& contentType, const char* transferEncoding) const;
    HRESULT SaveMacBinary(MimeOutput& output, std::span<const std::uint8_t> data, bool& written);
    HRESULT ReadData(std::string& data);

    CMMMessage& owner_;
    MapiPtr<IAttach> attach_;
    AttachSummary summary_;
    unsigned type_;
    MapiPtr<IMessage> embedded_;
    PropValues properties_;
    // A message/rfc822 file whose data is not 7-bit text travels as an opaque file.
    bool opaqueMessage_ = false;
};

} // namespace mmconv
