// CMMAttach: the part header of an attachment, its data in Base64, MacBinary files as AppleDouble,
// and embedded messages converted whole.
#include "mmconv/message/MMAttach.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/IStreamAdapters.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/Utf8.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/Boundary.h"
#include "mmconv/message/MacBinary.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/MMMessage.h"
#include "mmconv/message/TraceAddress.h"
#include "platform/registry/Registry.h"

namespace mmconv {
namespace {

constexpr ULONG kAttachFlagInvisibleInHtml = 0x1;
constexpr ULONG kAttachFlagRenderedInBody = 0x4;
constexpr std::size_t kLongestMessageLine = 998;

constexpr ULONG kAttachTags[] = {PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_FILENAME_W, PR_ATTACH_MIME_TAG_W,
    PR_ATTACH_EXTENSION_W, PR_ATTACH_CONTENT_LOCATION_W, PR_ATTACH_PAYLOAD_CLASS_A,
    PR_ATTACH_PAYLOAD_PROV_GUID_STR_A, PR_ATTACH_ENCODING};

// Content types by extension: the registry's class keys, which fall back to the system's list.
// Looked up once per extension for the process.
std::optional<std::string> RegisteredContentType(std::u16string_view extension)
{
    static std::mutex mutex;
    static std::map<std::u16string, std::optional<std::string>, std::less<>> cache;
    if (extension.empty() || extension.size() > 64)
        return std::nullopt;
    std::lock_guard lock(mutex);
    if (auto found = cache.find(extension); found != cache.end())
        return found->second;
    std::optional<std::string> type;
    if (std::all_of(extension.begin(), extension.end(), [](char16_t c) { return c > 0x20 && c < 0x7F && c != u'\\'; })) {
        std::string key(extension.begin(), extension.end());
        if (key.front() != '.')
            key.insert(key.begin(), '.');
        if (auto opened = platform::RegistryKey::Open(platform::RegistryRoot::ClassesRoot, key))
            type = opened->ReadString("Content Type");
    }
    if (type && !IsMediaType(*type))
        type.reset();
    cache.emplace(std::u16string(extension), type);
    return type;
}

// Whether bytes can stand in a message as they are: 7-bit, no NUL, CR LF line ends only, lines
// within the limit.
bool IsSevenBitText(std::string_view data)
{
    std::size_t lineLength = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        const auto c = static_cast<unsigned char>(data[i]);
        if (c == 0 || c >= 0x80)
            return false;
        if (c == '\r') {
            if (i + 1 >= data.size() || data[i + 1] != '\n')
                return false;
            ++i;
            lineLength = 0;
            continue;
        }
        if (c == '\n' || ++lineLength > kLongestMessageLine)
            return false;
    }
    return true;
}

// A Content-ID value from a stored identifier: without angle brackets, printable ASCII without
// blanks; nothing otherwise.
std::optional<std::string> ContentIdValue(std::u16string_view id)
{
    if (id.size() >= 2 && id.front() == u'<' && id.back() == u'>')
        id = id.substr(1, id.size() - 2);
    if (id.empty() || !std::all_of(id.begin(), id.end(), [](char16_t c) {
            return c > 0x20 && c < 0x7F && c != u'<' && c != u'>' && c != u'"' && c != u'\\';
        }))
        return std::nullopt;
    return std::string(id.begin(), id.end());
}

// A Content-Location value: a URI, so anything but printable ASCII is percent-encoded (UTF-8).
std::string LocationValue(std::u16string_view location)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string value;
    for (unsigned char c : WideToUtf8(location)) {
        if (c > 0x20 && c < 0x7F && c != '"' && c != '%') {
            value += static_cast<char>(c);
            continue;
        }
        value += '%';
        value += kHex[c >> 4];
        value += kHex[c & 0xF];
    }
    return value;
}

} // namespace

unsigned GetAttachType(const AttachSummary& summary, bool scheduleKeepsFiles)
{
    if (summary.contentId.empty() && summary.contentLocation.empty())
        return kAttachOrdinary;
    const bool invisible = (summary.flags & kAttachFlagInvisibleInHtml) != 0;
    const bool rendered = (summary.flags & kAttachFlagRenderedInBody) != 0;
    if (invisible || (rendered && !scheduleKeepsFiles))
        return kAttachRelated;
    return kAttachOrdinary;
}

CMMAttach::CMMAttach(CMMMessage& owner, IAttach* attach, const AttachSummary& summary, unsigned type)
    : owner_(owner), attach_(attach), summary_(summary), type_(type)
{
    TraceConversion("CMMAttach(%#lx)::CMMAttach number = %lu\n", TraceAddress(this),
        static_cast<unsigned long>(summary.number));
}

CMMAttach::~CMMAttach()
{
    TraceConversion("CMMAttach(%#lx)::~CMMAttach\n", TraceAddress(this));
}

HRESULT CMMAttach::ReadProperties()
{
    return properties_.Read(attach_.get(), kAttachTags);
}

std::u16string CMMAttach::GetFilename() const
{
    if (auto name = properties_.Unicode(PR_ATTACH_LONG_FILENAME_W); name && !name->empty())
        return std::u16string(*name);
    return std::u16string(properties_.Unicode(PR_ATTACH_FILENAME_W).value_or(u""));
}

std::string CMMAttach::GetContentType() const
{
    if (auto tag = properties_.Unicode(PR_ATTACH_MIME_TAG_W)) {
        const std::string type(tag->begin(), tag->end());
        if (IsMediaType(type) && std::all_of(tag->begin(), tag->end(), [](char16_t c) { return c < 0x80; }))
            return type;
    }
    if (auto type = RegisteredContentType(properties_.Unicode(PR_ATTACH_EXTENSION_W).value_or(u"")))
        return *type;
    return "application/octet-stream";
}

std::string CMMAttach::GetContentID() const
{
    return ContentIdValue(summary_.contentId).value_or(std::string());
}

HRESULT CMMAttach::PrepareEmbeddedMessage()
{
    return attach_->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, 0, embedded_.put_unknown());
}

HRESULT CMMAttach::Save(MimeOutput& output, bool withAttachments)
{
    if (HRESULT hr = ReadProperties(); FAILED(hr))
        return hr;
    const LONG method = summary_.method;
    if (method == ATTACH_EMBEDDED_MSG) {
        if (HRESULT hr = PrepareEmbeddedMessage(); FAILED(hr))
            return hr;
    } else if (auto encoding = properties_.Binary(PR_ATTACH_ENCODING); encoding && IsMacBinaryEncoding(*encoding)) {
        std::string data;
        if (HRESULT hr = ReadData(data); FAILED(hr))
            return hr;
        bool written = false;
        const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        if (HRESULT hr = SaveMacBinary(output, bytes, written); FAILED(hr) || written)
            return hr;
    }
    if (HRESULT hr = SaveHeader(output, method); FAILED(hr))
        return hr;
    return SaveBody(output, method, withAttachments);
}

std::string CMMAttach::FileHeader(const std::string& contentType, const char* transferEncoding) const
{
    const std::u16string filename = GetFilename();
    std::string header = "Content-Type: " + contentType;
    if (!filename.empty())
        AppendParameter(header, "name", filename);
    header += "\r\nContent-Transfer-Encoding: ";
    header += transferEncoding;
    header += "\r\n";
    const std::string contentId = GetContentID();
    if (!contentId.empty())
        header += "Content-ID: <" + contentId + ">\r\n";
    if (!summary_.contentLocation.empty())
        header += "Content-Location: " + LocationValue(summary_.contentLocation) + "\r\n";
    if (type_ == kAttachRelated && (!contentId.empty() || !summary_.contentLocation.empty()))
        return header;
    header += "Content-Disposition: attachment";
    if (!filename.empty())
        AppendParameter(header, "filename", filename);
    header += "\r\n";
    if (auto payload = properties_.Ansi(PR_ATTACH_PAYLOAD_CLASS_A); payload && !payload->empty())
        header += "X-Payload-Class: " + std::string(*payload) + "\r\n";
    if (auto guid = properties_.Ansi(PR_ATTACH_PAYLOAD_PROV_GUID_STR_A); guid && !guid->empty())
        header += "X-Payload-Provider-Guid: " + std::string(*guid) + "\r\n";
    return header;
}

HRESULT CMMAttach::SaveHeader(MimeOutput& output, LONG method)
{
    if (method == ATTACH_EMBEDDED_MSG) {
        std::string header = "Content-Type: message/rfc822";
        if (const std::u16string filename = GetFilename(); !filename.empty()) {
            AppendParameter(header, "name", filename);
            AppendParameter(header, "filename", filename);
        }
        header += "\r\n\r\n";
        return output.Write(header);
    }
    std::string contentType = GetContentType();
    const char* transferEncoding = "base64";
    if (EqualIgnoringAsciiCase(contentType, "message/rfc822")) {
        std::string data;
        if (HRESULT hr = ReadData(data); FAILED(hr))
            return hr;
        opaqueMessage_ = !IsSevenBitText(data);
        if (opaqueMessage_) {
            TraceConversion("CMMAttach(%#lx) - message/rfc822 data is not 7-bit text, written as a file\n",
                TraceAddress(this));
            contentType = "application/octet-stream";
        } else {
            transferEncoding = "7bit";
        }
    }
    return output.Write(FileHeader(contentType, transferEncoding) + "\r\n");
}

HRESULT CMMAttach::ReadData(std::string& data)
{
    const HRESULT hr = ReadPropertyStream(attach_.get(), PR_ATTACH_DATA_BIN, data);
    return hr == MAPI_E_NOT_FOUND ? S_OK : hr;
}

HRESULT CMMAttach::DumpBody(MimeOutput& output, int mode)
{
    MapiPtr<IStream> stream;
    HRESULT hr = attach_->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.put_unknown());
    if (hr == MAPI_E_NOT_FOUND) {
        // A file without data is still a part, with its name: nothing that was there is lost.
        TraceConversion("CMMAttach(%#lx) - attachment %lu has no data\n", TraceAddress(this),
            static_cast<unsigned long>(summary_.number));
        return S_OK;
    }
    if (FAILED(hr))
        return hr;
    IStreamSource source(stream.get());
    return OutputEncodedData(output, source, mode, false);
}

HRESULT CMMAttach::SaveBody(MimeOutput& output, LONG method, bool withAttachments)
{
    HRESULT hr = S_OK;
    if (method == ATTACH_EMBEDDED_MSG) {
        ULONG flags = (owner_.GetFlags() & ~(kFlagExport | kFlagCustomForm)) | kFlagNoTrailer;
        if (!withAttachments)
            flags |= kFlagNoAttachments;
        hr = owner_.Support().ConvertMessage(embedded_.get(), output, flags, owner_.Message());
    } else {
        const bool unchanged = EqualIgnoringAsciiCase(GetContentType(), "message/rfc822") && !opaqueMessage_;
        hr = DumpBody(output, static_cast<int>(unchanged ? TransferMode::Unchanged : TransferMode::Base64));
    }
    if (FAILED(hr))
        return hr;
    return output.Write("\r\n");
}

HRESULT CMMAttach::SaveMacBinary(MimeOutput& output, std::span<const std::uint8_t> data, bool& written)
{
    written = false;
    const std::optional<MacBinaryFile> file = ParseMacBinary(data);
    if (!file) {
        TraceConversion("CMMAttach(%#lx) - MacBinary data unreadable, written as it is\n", TraceAddress(this));
        return S_OK;
    }
    const std::string boundary = GenerateBoundary();
    std::string header = "Content-Type: multipart/appledouble";
    AppendParameter(header, "boundary", boundary);
    header += "\r\n\r\n--" + boundary + "\r\nContent-Type: application/applefile";
    if (const std::u16string filename = GetFilename(); !filename.empty())
        AppendParameter(header, "name", filename);
    header += "\r\nContent-Transfer-Encoding: base64\r\n\r\n";
    output.Write(header);
    const std::vector<std::uint8_t> appleDouble = BuildAppleDouble(*file);
    MemorySource appleSource(appleDouble);
    if (HRESULT hr = OutputEncodedData(output, appleSource, static_cast<int>(TransferMode::Base64), false); FAILED(hr))
        return hr;
    output.Write("\r\n\r\n--" + boundary + "\r\n" + FileHeader(GetContentType(), "base64") + "\r\n");
    MemorySource dataSource(file->dataFork);
    if (HRESULT hr = OutputEncodedData(output, dataSource, static_cast<int>(TransferMode::Base64), false); FAILED(hr))
        return hr;
    written = true;
    return output.Write("\r\n\r\n--" + boundary + "--\r\n\r\n");
}

} // namespace mmconv
