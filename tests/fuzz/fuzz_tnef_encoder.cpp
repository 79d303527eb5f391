// Fuzzes the TNEF encoder's walk: messages built from fuzzed property lists (with recipients,
// attachments, embedded messages and named properties) are encoded through OpenTnefStreamEx
// with fuzzed selections and overrides; every call must return a status, never crash.
#include <QlnMapiExtras.h>
#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>
#include <tnef.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cfb/MsgWriter.h"

#include "MappedInputFuzz.h"

namespace {

using namespace platform::cfb;

constexpr std::uint16_t kTypes[] = {PT_I2, PT_LONG, PT_FLOAT, PT_DOUBLE, PT_CURRENCY,
                                    PT_APPTIME, PT_ERROR, PT_BOOLEAN, PT_I8,
                                    PT_STRING8, PT_UNICODE, PT_SYSTIME, PT_CLSID,
                                    PT_BINARY};

MsgProperty Property(FuzzedDataProvider& data, std::uint16_t id)
{
    MsgProperty property;
    std::uint16_t type = data.PickValueInArray(kTypes);
    bool multi = type != PT_ERROR && type != PT_BOOLEAN && data.ConsumeBool();
    property.tag = static_cast<std::uint32_t>(id) << 16 | type | (multi ? MV_FLAG : 0);
    std::size_t count = multi ? data.ConsumeIntegralInRange<std::size_t>(0, 4) : 1;
    for (std::size_t i = 0; i < count; ++i) {
        std::int64_t integer = type == PT_BOOLEAN ? data.ConsumeIntegralInRange(0, 1) : data.ConsumeIntegral<std::int64_t>();
        double real = data.ConsumeFloatingPoint<double>();
        std::vector<std::uint8_t> bytes = type == PT_CLSID ? data.ConsumeBytes<std::uint8_t>(16)
                                                                 : data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 64));
        if (type == PT_CLSID)
            bytes.resize(16);
        std::string text = data.ConsumeRandomLengthString(64);
        std::u16string wide(text.begin(), text.end());
        if (!multi) {
            property.integer = integer;
            property.real = real;
            property.bytes = bytes;
            property.text = wide;
            continue;
        }
        property.integers.push_back(integer);
        property.reals.push_back(real);
        property.byteValues.push_back(bytes);
        property.texts.push_back(wide);
    }
    return property;
}

MsgPropertyList Properties(FuzzedDataProvider& data)
{
    MsgPropertyList properties;
    std::size_t count = data.ConsumeIntegralInRange<std::size_t>(0, 12);
    for (std::size_t i = 0; i < count; ++i) {
        auto id = data.ConsumeBool() ? data.ConsumeIntegralInRange<std::uint16_t>(0x8000, 0x8003)
                                     : data.ConsumeIntegralInRange<std::uint16_t>(0x0001, 0x7FFF);
        properties.push_back(Property(data, id));
    }
    return properties;
}

MsgMessage Message(FuzzedDataProvider& data, int depth)
{
    MsgMessage message;
    message.properties = Properties(data);
    std::uint32_t recipients = data.ConsumeIntegralInRange<std::uint32_t>(0, 3);
    for (std::uint32_t i = 0; i < recipients; ++i)
        message.recipients.push_back({i, Properties(data)});
    std::uint32_t attachments = data.ConsumeIntegralInRange<std::uint32_t>(0, 3);
    for (std::uint32_t i = 0; i < attachments; ++i) {
        MsgAttachment attachment;
        attachment.number = i;
        attachment.properties = Properties(data);
        if (depth < 3 && data.ConsumeBool()) {
            MsgProperty method;
            method.tag = PR_ATTACH_METHOD;
            method.integer = ATTACH_EMBEDDED_MSG;
            MsgProperty object;
            object.tag = PR_ATTACH_DATA_OBJ;
            attachment.properties.push_back(method);
            attachment.properties.push_back(object);
            attachment.embedded = std::make_unique<MsgMessage>(Message(data, depth + 1));
        }
        message.attachments.push_back(std::move(attachment));
    }
    return message;
}

std::vector<ULONG> Tags(FuzzedDataProvider& data)
{
    std::vector<ULONG> tags(data.ConsumeIntegralInRange<std::size_t>(0, 6));
    for (ULONG& tag : tags)
        tag = data.ConsumeIntegral<ULONG>();
    return tags;
}

MapiBuffer<SPropTagArray> TagArray(const std::vector<ULONG>& tags)
{
    MapiBuffer<SPropTagArray> array;
    if (MAPIAllocateBuffer(static_cast<ULONG>(CbNewSPropTagArray(tags.size())), array.put_void()) != S_OK)
        std::abort();
    array->cValues = static_cast<ULONG>(tags.size());
    std::copy(tags.begin(), tags.end(), array->aulPropTag);
    return array;
}

void Encode(IMessage* message, FuzzedDataProvider& data)
{
    MapiPtr<IStream> stream;
    if (CreateStreamOnHGlobal(nullptr, TRUE, stream.put()) != S_OK)
        std::abort();
    MapiPtr<ITnef> tnef;
    char name[] = "Winmail.dat";
    if (OpenTnefStreamEx(nullptr, stream.get(), name, TNEF_ENCODE | TNEF_PURE, message,
                         data.ConsumeIntegral<WORD>(), nullptr, tnef.put()) != S_OK)
        std::abort();
    std::size_t calls = data.ConsumeIntegralInRange<std::size_t>(0, 4);
    for (std::size_t i = 0; i < calls; ++i) {
        MapiBuffer<SPropTagArray> tags = TagArray(Tags(data));
        tnef->AddProps(data.ConsumeIntegral<ULONG>() & 0x5F, data.ConsumeIntegralInRange<ULONG>(0, 3), nullptr,
                       data.ConsumeBool() ? tags.get() : nullptr);
    }
    if (data.ConsumeBool()) {
        std::string text = data.ConsumeRandomLengthString(32);
        SPropValue value{};
        value.ulPropTag = data.ConsumeBool() ? PROP_TAG(PT_STRING8, 0x0037) : PROP_TAG(PT_LONG, data.ConsumeIntegral<std::uint16_t>());
        value.Value.lpszA = text.data();
        tnef->SetProps(data.ConsumeBool() ? TNEF_PROP_CONTAINED : 0, data.ConsumeIntegralInRange<ULONG>(0, 3), 1, &value);
    }
    if (data.ConsumeBool())
        tnef->EncodeRecips(0, nullptr);
    WORD key = 0;
    LPSTnefProblemArray problems = nullptr;
    HRESULT status = tnef->Finish(0, &key, &problems);
    MAPIFreeBuffer(problems);
    STATSTG stat{};
    stream->Stat(&stat, 0);
    // A finished stream starts with the signature and a non-zero key.
    if (SUCCEEDED(status) && (stat.cbSize.QuadPart < 6 || key == 0))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    FuzzedDataProvider data(bytes, size);
    MsgDocument document;
    document.message = Message(data, 0);
    for (std::uint16_t id = 0x8000; id <= 0x8003; ++id) {
        MsgNamedProperty name;
        name.id = id;
        name.propertySet = {0x29, 0x03, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
        name.isString = data.ConsumeBool();
        name.lid = data.ConsumeIntegral<std::uint32_t>();
        std::string text = data.ConsumeRandomLengthString(16);
        name.name.assign(text.begin(), text.end());
        document.namedProperties.push_back(name);
    }
    std::vector<std::uint8_t> file;
    std::string error;
    if (FAILED(WriteMsgBytes(document, "fuzz.msg", file, error)))
        return 0;  // the writer refuses what a .msg file cannot hold
    std::string path = fuzzing::MappedInputPath(file.data(), file.size());
    MapiPtr<IMessage> message;
    if (FAILED(QlnOpenMsgFile(path.c_str(), 0, message.put(), nullptr)))
        return 0;
    Encode(message.get(), data);
    return 0;
}
