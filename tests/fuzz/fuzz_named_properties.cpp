// Fuzzes the named-property readers: the .msg file's name mapping (its GUID, entry and string
// streams) as the fuzzer gives it, over a message whose named properties are string values and
// lists, read by the runtime and then by the conversion's named-property cache (the categories,
// the follow-up flag, the carried Received and X- headers, the custom-form test). A damaged entry
// may be left out; nothing may crash, and what opens converts to a status.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/cfb/CompoundFileWriter.h"

#include "ConversionFuzz.h"

namespace {

using platform::cfb::CompoundFileNode;
using platform::cfb::StorageNode;
using platform::cfb::StreamNode;

std::vector<std::uint8_t> Le32(std::uint32_t value)
{
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value >> 16),
        static_cast<std::uint8_t>(value >> 24)};
}

void Append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

std::u16string Hex8(std::uint32_t value)
{
    static constexpr char16_t kHex[] = u"0123456789ABCDEF";
    std::u16string text;
    for (int shift = 28; shift >= 0; shift -= 4)
        text += kHex[(value >> shift) & 0xF];
    return text;
}

std::vector<std::uint8_t> Utf16(const std::string& bytes)
{
    std::vector<std::uint8_t> text(bytes.begin(), bytes.end());
    if (text.size() % 2 != 0)
        text.push_back(0);
    text.insert(text.end(), {0, 0});
    return text;
}

// A top-level message: its class and subject, and named string properties 0x8000 on.
std::vector<CompoundFileNode> Message(FuzzedDataProvider& data)
{
    std::vector<CompoundFileNode> streams;
    std::vector<std::uint8_t> properties(32, 0);
    auto addString = [&](std::uint32_t tag, std::vector<std::uint8_t> value) {
        Append(properties, Le32(tag));
        Append(properties, Le32(6));
        Append(properties, Le32(static_cast<std::uint32_t>(value.size())));
        Append(properties, Le32(0));
        streams.push_back(StreamNode(u"__substg1.0_" + Hex8(tag), std::move(value)));
    };
    addString(0x001A001F, Utf16(std::string("I\0P\0M\0.\0N\0o\0t\0e\0", 16)));
    addString(0x0037001F, Utf16(data.ConsumeRandomLengthString(40)));
    for (std::uint32_t id = 0x8000; id < 0x8006; ++id) {
        if (data.ConsumeBool()) {
            addString(id << 16 | 0x001F, Utf16(data.ConsumeRandomLengthString(60)));
            continue;
        }
        // A multi-valued narrow string: the lengths, then one stream per value.
        const std::uint32_t tag = id << 16 | 0x101E;
        const int count = data.ConsumeIntegralInRange(0, 3);
        std::vector<std::uint8_t> lengths;
        for (int i = 0; i < count; ++i) {
            std::string value = data.ConsumeRandomLengthString(60);
            value.push_back('\0');
            Append(lengths, Le32(static_cast<std::uint32_t>(value.size())));
            streams.push_back(StreamNode(u"__substg1.0_" + Hex8(tag) + u"-" + Hex8(static_cast<std::uint32_t>(i)),
                std::vector<std::uint8_t>(value.begin(), value.end())));
        }
        Append(properties, Le32(tag));
        Append(properties, Le32(6));
        Append(properties, Le32(static_cast<std::uint32_t>(lengths.size())));
        Append(properties, Le32(0));
        streams.push_back(StreamNode(u"__substg1.0_" + Hex8(tag), lengths));
    }
    streams.push_back(StreamNode(u"__properties_version1.0", properties));
    return streams;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* input, std::size_t size)
{
    FuzzedDataProvider data(input, size);
    std::vector<std::uint8_t> guids = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 96));
    std::vector<std::uint8_t> entries = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 96));
    std::vector<std::uint8_t> strings = data.ConsumeBytes<std::uint8_t>(data.ConsumeIntegralInRange(0, 256));
    std::vector<CompoundFileNode> root = Message(data);
    root.push_back(StorageNode(u"__nameid_version1.0", {StreamNode(u"__substg1.0_00020102", guids),
        StreamNode(u"__substg1.0_00030102", entries), StreamNode(u"__substg1.0_00040102", strings)}));
    std::vector<std::uint8_t> file;
    std::string error;
    if (FAILED(platform::cfb::WriteCompoundFile(root, file, error)))
        return 0;
    // A mail whose named properties are whatever the names say converts, whatever they say.
    const std::optional<HRESULT> converted = fuzzing::ConvertMsgFile(file, 0x01);
    if (converted && FAILED(*converted) && *converted != E_OUTOFMEMORY)
        std::abort();
    return 0;
}
