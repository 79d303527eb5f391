// CSecureMsg: the signed entity as stored, or the PKCS #7 data as application/pkcs7-mime. A message
// whose S/MIME attachment is missing keeps what it has through the core's content.
#include "mmconv/message/SecureMsg.h"

#include <mapicode.h>
#include <mapiguid.h>
#include <mapitags.h>
#include <mapiutil.h>

#include "mmconv/encoding/ConversionTrace.h"
#include "mmconv/encoding/IStreamAdapters.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "mmconv/encoding/Vocabulary.h"
#include "mmconv/message/AsciiCase.h"
#include "mmconv/message/MapiProps.h"
#include "mmconv/message/MessageClassTable.h"
#include "mmconv/message/MimeParameter.h"
#include "mmconv/message/TraceAddress.h"

namespace mmconv {
namespace {

constexpr std::u16string_view kSmimePrefix = u"smime.";

HRESULT CopyData(IAttach* attach, MimeOutput& output, TransferMode mode)
{
    MapiPtr<IStream> stream;
    if (HRESULT hr = attach->OpenProperty(PR_ATTACH_DATA_BIN, &IID_IStream, 0, 0, stream.put_unknown()); FAILED(hr))
        return hr;
    IStreamSource source(stream.get());
    return OutputEncodedData(output, source, static_cast<int>(mode), false);
}

} // namespace

HRESULT CSecureMsg::FindSmimeAttachment(MapiPtr<IAttach>& attach)
{
    MapiPtr<IMAPITable> table;
    if (HRESULT hr = Message()->GetAttachmentTable(MAPI_UNICODE, table.put()); FAILED(hr))
        return hr;
    const ULONG columns[] = {PR_ATTACH_NUM, PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_FILENAME_W};
    TagList list(columns);
    MapiRows rows;
    if (HRESULT hr = HrQueryAllRows(table.get(), list.get(), nullptr, nullptr, 0, rows.put()); FAILED(hr))
        return hr;
    if (rows.size() == 0)
        return MAPI_E_NOT_FOUND;
    ULONG chosen = rows.size() - 1;
    bool named = false;
    for (ULONG i = 0; i < rows.size() && !named; ++i) {
        const SRow& row = rows->aRow[i];
        for (ULONG tag : {PR_ATTACH_LONG_FILENAME_W, PR_ATTACH_FILENAME_W}) {
            if (StartsWithIgnoringAsciiCase(UnicodeValue(FindValue(row.lpProps, row.cValues, tag)).value_or(u""), kSmimePrefix)) {
                chosen = i;
                named = true;
            }
        }
    }
    if (!named)
        TraceConversion("*CSecureMsg(%#lx)::Save error - smime attachment not found, use the last one\n",
            TraceAddress(this));
    const SPropValue* number = FindValue(rows->aRow[chosen].lpProps, rows->aRow[chosen].cValues, PR_ATTACH_NUM);
    if (number == nullptr)
        return MAPI_E_NOT_FOUND;
    return Message()->OpenAttach(static_cast<ULONG>(number->Value.l), nullptr, 0, attach.put());
}

HRESULT CSecureMsg::Save(MimeOutput& output)
{
    if (ClassIndex() != kRowSmimeMultipartSigned)
        return CMMMessage::Save(output);
    MapiPtr<IAttach> attach;
    if (FAILED(FindSmimeAttachment(attach)))
        return CMMMessage::Save(output);
    // The signed entity brings its own MIME-Version and Content-Type.
    if (HRESULT hr = SaveHeader(output, false); FAILED(hr))
        return hr;
    if (HRESULT hr = CopyData(attach.get(), output, TransferMode::Unchanged); FAILED(hr))
        return hr;
    return output.Write("\r\n");
}

std::string CSecureMsg::SmimeType()
{
    MapiBuffer<SPropValue> stored;
    if (SUCCEEDED(NamedProps().GetProp(kNameContentType, PT_UNICODE, stored))) {
        const std::u16string_view type = UnicodeValue(stored.get()).value_or(u"");
        for (Vocab word : {Vocab::SignedData, Vocab::EnvelopedData, Vocab::SignedReceipt}) {
            const std::string_view name = VocabularyWord(word);
            if (type.find(std::u16string(name.begin(), name.end())) != std::u16string_view::npos)
                return std::string(name);
        }
    }
    switch (ClassIndex()) {
    case kRowSmimeMultipartSigned:
        return std::string(VocabularyWord(Vocab::SignedData));
    case kRowReceiptSmime:
        return std::string(VocabularyWord(Vocab::SignedReceipt));
    default:
        return std::string(VocabularyWord(Vocab::EnvelopedData));
    }
}

HRESULT CSecureMsg::SaveContent(MimeOutput& output)
{
    MapiPtr<IAttach> attach;
    if (FAILED(FindSmimeAttachment(attach))) {
        TraceConversion("CSecureMsg(%#lx)::SaveContent - no S/MIME data, the message is written as it is\n",
            TraceAddress(this));
        return CMMMessage::SaveContent(output);
    }
    std::string header = "Content-Type: application/pkcs7-mime";
    AppendParameter(header, "smime-type", SmimeType());
    AppendParameter(header, "name", std::string_view("smime.p7m"));
    header += "\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment";
    AppendParameter(header, "filename", std::string_view("smime.p7m"));
    header += "\r\n\r\n";
    output.Write(header);
    if (HRESULT hr = CopyData(attach.get(), output, TransferMode::Base64); FAILED(hr))
        return hr;
    return output.Write("\r\n\r\n");
}

} // namespace mmconv
