// Helpers of the message tests.
#include "tests/platform/mapi/core/MessageTestSupport.h"
#include "tests/support/OutlookSamples.h"
#include "tests/support/StreamContents.h"

#include <QlnMapiExtras.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace mapitest {

const std::filesystem::path& SamplesDirectory()
{
    return testsupport::OutlookSamplesDirectory();
}

bool HaveSamples()
{
    return std::filesystem::is_directory(SamplesDirectory());
}

MapiPtr<IMessage> OpenMessage(const std::filesystem::path& path, ULONG flags)
{
    MapiPtr<IMessage> message;
    LPSTR error = nullptr;
    HRESULT status = QlnOpenMsgFile(path.c_str(), flags, message.put(), &error);
    EXPECT_EQ(status, S_OK) << path << ": " << (error != nullptr ? error : "");
    MAPIFreeBuffer(error);
    return message;
}

MapiPtr<IMessage> OpenSample(const std::string& relative, ULONG flags)
{
    return OpenMessage(SamplesDirectory() / relative, flags);
}

MapiBuffer<SPropValue> GetProps(IMAPIProp* object, const std::vector<ULONG>& tags, ULONG flags, ULONG& count,
                                HRESULT* result)
{
    MapiBuffer<SPropTagArray> tagArray;
    if (!tags.empty()) {
        EXPECT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size())), tagArray.put_void()), S_OK);
        tagArray->cValues = static_cast<ULONG>(tags.size());
        std::copy(tags.begin(), tags.end(), tagArray->aulPropTag);
    }
    MapiBuffer<SPropValue> values;
    count = 0;
    HRESULT status = object->GetProps(tagArray.get(), flags, &count, values.put());
    if (result != nullptr)
        *result = status;
    else
        EXPECT_TRUE(SUCCEEDED(status)) << std::hex << status;
    return values;
}

namespace {

std::string ValueText(const SPropValue& value)
{
    switch (PROP_TYPE(value.ulPropTag)) {
    case PT_UNICODE: return platform::Utf16ToUtf8(value.Value.lpszW);
    case PT_STRING8: return value.Value.lpszA;
    case PT_ERROR: {
        char text[32];
        std::snprintf(text, sizeof(text), "<error %#x>", static_cast<unsigned>(value.Value.err));
        return text;
    }
    default: return "<not a string>";
    }
}

} // namespace

std::string Text(IMAPIProp* object, ULONG tag)
{
    ULONG count = 0;
    HRESULT status = S_OK;
    MapiBuffer<SPropValue> values = GetProps(object, {tag}, 0, count, &status);
    if (FAILED(status) || count != 1)
        return "<failed>";
    return ValueText(values[0]);
}

LONG Long(IMAPIProp* object, ULONG tag, LONG absent)
{
    ULONG count = 0;
    HRESULT status = S_OK;
    MapiBuffer<SPropValue> values = GetProps(object, {tag}, 0, count, &status);
    if (status != S_OK || count != 1 || PROP_TYPE(values[0].ulPropTag) != PROP_TYPE(tag))
        return absent;
    return PROP_TYPE(tag) == PT_BOOLEAN ? values[0].Value.b : values[0].Value.l;
}

bool Has(IMAPIProp* object, ULONG tag)
{
    ULONG count = 0;
    HRESULT status = S_OK;
    MapiBuffer<SPropValue> values = GetProps(object, {CHANGE_PROP_TYPE(tag, PT_UNSPECIFIED)}, 0, count, &status);
    return status == S_OK && count == 1 && PROP_TYPE(values[0].ulPropTag) != PT_ERROR;
}

HRESULT StreamBytes(IMAPIProp* object, ULONG tag, std::string& bytes, ULONG flags)
{
    bytes.clear();
    MapiPtr<IStream> stream;
    HRESULT status = object->OpenProperty(tag, &IID_IStream, STGM_READ, flags, stream.put_unknown());
    if (FAILED(status))
        return status;
    bytes = testsupport::StreamContents(stream.get());
    return status;
}

std::vector<std::vector<SPropValue>> Rows(IMAPITable* table, const std::vector<ULONG>& columns, MapiRows& keep)
{
    MapiBuffer<SPropTagArray> tagArray;
    if (!columns.empty()) {
        EXPECT_EQ(MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(columns.size())), tagArray.put_void()), S_OK);
        tagArray->cValues = static_cast<ULONG>(columns.size());
        std::copy(columns.begin(), columns.end(), tagArray->aulPropTag);
    }
    EXPECT_EQ(HrQueryAllRows(table, tagArray.get(), nullptr, nullptr, 0, keep.put()), S_OK);
    std::vector<std::vector<SPropValue>> rows;
    for (ULONG i = 0; i < keep.size(); ++i) {
        const SRow& row = keep->aRow[i];
        rows.emplace_back(row.lpProps, row.lpProps + row.cValues);
    }
    return rows;
}

const SPropValue* Find(const std::vector<SPropValue>& row, ULONG tag)
{
    for (const SPropValue& value : row) {
        if (value.ulPropTag == tag)
            return &value;
    }
    return nullptr;
}

std::string RowText(const std::vector<SPropValue>& row, ULONG tag)
{
    for (const SPropValue& value : row) {
        if (PROP_ID(value.ulPropTag) == PROP_ID(tag))
            return ValueText(value);
    }
    return "<no column>";
}

MapiPtr<IMessage> Embedded(IMessage* message, ULONG attachNumber, ULONG flags, MapiPtr<IAttach>* attachment)
{
    MapiPtr<IAttach> own;
    MapiPtr<IAttach>& opened = attachment != nullptr ? *attachment : own;
    EXPECT_EQ(message->OpenAttach(attachNumber, nullptr, flags, opened.put()), S_OK);
    MapiPtr<IMessage> embedded;
    if (opened) {
        EXPECT_EQ(opened->OpenProperty(PR_ATTACH_DATA_OBJ, &IID_IMessage, 0, flags, embedded.put_unknown()), S_OK);
    }
    return embedded;
}

} // namespace mapitest
