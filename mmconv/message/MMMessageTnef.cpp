// CMMMessage: the TNEF part ("Winmail.dat") and the message form that carries it beside the bodies.
#include "mmconv/message/MMMessage.h"

#include <mapitags.h>
#include <mapiutil.h>
#include <tnef.h>

#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/IStreamAdapters.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/message/ConfigProp.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

constexpr char kTnefName[] = "Winmail.dat";
constexpr ULONG kTnefFlags = TNEF_ENCODE | TNEF_PURE;

// The addressing of the original message, left out of the TNEF copy outside the transfer.
constexpr ULONG kAddressingTags[] = {PR_MESSAGE_ATTACHMENTS, PR_MESSAGE_RECIPIENTS, 0x0077001E, 0x0044001E,
    0x0078001E, 0x00430102, 0x00520102, 0x0064001E, 0x0042001E, 0x0065001E, 0x00410102, 0x003B0102, 0x5D02001E,
    0x0C1E001E, 0x0C1A001E, 0x0C1F001E, 0x0C190102, 0x0C1D0102, 0x0075001E, 0x0040001E, 0x0076001E, 0x003F0102,
    0x00510102, PR_READ_RECEIPT_REQUESTED};

// Each TNEF stream gets the next key of the process.
WORD NextTnefKey()
{
    static WORD key = 0;
    if (++key == 0)
        key = 1;
    return key;
}

} // namespace

HRESULT CMMMessage::SaveTnef(MimeOutput& output)
{
    if (HRESULT hr = SaveTnefHeader(output); FAILED(hr))
        return hr;
    return SaveTnefContent(output);
}

HRESULT CMMMessage::SaveTnefHeader(MimeOutput& output)
{
    std::string header = "Content-Type: application/ms-tnef";
    AppendParameter(header, "name", kTnefName);
    header += "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment";
    AppendParameter(header, "filename", kTnefName);
    header += "\r\n\r\n";
    return output.Write(header);
}

HRESULT CMMMessage::SaveTnefContent(MimeOutput& output)
{
    MapiPtr<IStream> buffer;
    if (HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, buffer.put()); FAILED(hr))
        return hr;
    MapiPtr<ITnef> tnef;
    std::string name = kTnefName;
    if (HRESULT hr = OpenTnefStreamEx(nullptr, buffer.get(), name.data(), kTnefFlags, message_.get(), NextTnefKey(), nullptr,
            tnef.put());
        FAILED(hr))
        return hr;
    std::vector<ULONG> excluded;
    const bool exporting = (flags_ & kFlagExport) != 0;
    if (!exporting)
        excluded.assign(std::begin(kAddressingTags), std::end(kAddressingTags));
    if (classIndex_ == kRowTaskRequest || support_.GetConfigFlag(kConfigTnefWithoutAttachments))
        excluded.push_back(PR_MESSAGE_ATTACHMENTS);
    TagList exclusions(excluded);
    if (HRESULT hr = tnef->AddProps(TNEF_PROP_EXCLUDE, 0, nullptr, exclusions.get()); FAILED(hr))
        return hr;
    if (exporting) {
        if (HRESULT hr = tnef->EncodeRecips(0, nullptr); FAILED(hr))
            return hr;
    }
    WORD key = 0;
    MapiBuffer<STnefProblemArray> problems;
    if (HRESULT hr = tnef->Finish(0, &key, problems.put()); FAILED(hr)) {
        TraceConversion("CMMMessage::_SaveUnicodeTnef(%#lx) error %#x. Unable to proceed attachment\n",
            TraceAddress(this), static_cast<unsigned>(hr));
        return hr;
    }
    LARGE_INTEGER start{};
    if (HRESULT hr = buffer->Seek(start, STREAM_SEEK_SET, nullptr); FAILED(hr))
        return hr;
    IStreamSource source(buffer.get());
    if (HRESULT hr = OutputEncodedData(output, source, static_cast<int>(TransferMode::Base64), false); FAILED(hr))
        return hr;
    return output.Write("\r\n\r\n");
}

HRESULT CMMMessage::SaveContentWithNativeTnef(MimeOutput& output)
{
    const ULONG saved = flags_;
    flags_ = (flags_ & ~kFlagCustomForm) | kFlagSaveAsTnef;
    std::string boundary;
    HRESULT hr = SaveContentHeader(output, "multipart", "mixed", boundary, true);
    if (SUCCEEDED(hr))
        hr = SaveBodies(output, true);
    if (SUCCEEDED(hr))
        hr = output.Write("--" + boundary + "\r\n");
    if (SUCCEEDED(hr))
        hr = SaveTnef(output);
    if (SUCCEEDED(hr))
        hr = output.Write("--" + boundary + "--\r\n\r\n");
    flags_ = saved;
    if (FAILED(hr))
        TraceConversion("CMMMessage::SaveContentWithNativeTnef(%#lx) error. Unable to save native tnef content\n",
            TraceAddress(this));
    return hr;
}

} // namespace mmconv
