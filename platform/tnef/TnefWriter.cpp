// The TNEF attribute layout: level, identifier, length, data and the 16-bit checksum.
#include "platform/tnef/TnefWriter.h"

#include <limits>

namespace platform::tnef {

std::uint16_t Checksum(std::span<const std::uint8_t> data)
{
    std::uint32_t sum = 0;
    for (std::uint8_t byte : data)
        sum += byte;
    return static_cast<std::uint16_t>(sum & 0xFFFFu);
}

void AppendBytes(std::vector<std::uint8_t>& out, std::span<const std::uint8_t> bytes)
{
    out.insert(out.end(), bytes.begin(), bytes.end());
}

void AppendPadding(std::vector<std::uint8_t>& out)
{
    while (out.size() % 4 != 0)
        out.push_back(0);
}

TnefWriter::TnefWriter(std::vector<std::uint8_t>& output, std::uint16_t key) : output_(output)
{
    AppendU32(output_, kTnefSignature);
    AppendU16(output_, key);
}

HRESULT TnefWriter::Attribute(Level level, std::uint32_t id, std::span<const std::uint8_t> data)
{
    if (data.size() > std::numeric_limits<std::uint32_t>::max())
        return MAPI_E_TOO_BIG;
    output_.reserve(output_.size() + data.size() + 11);
    output_.push_back(static_cast<std::uint8_t>(level));
    AppendU32(output_, id);
    AppendU32(output_, static_cast<std::uint32_t>(data.size()));
    AppendBytes(output_, data);
    AppendU16(output_, Checksum(data));
    return S_OK;
}

HRESULT TnefWriter::MessageHeader(std::uint32_t codePage, std::span<const std::uint8_t> messageClass)
{
    std::vector<std::uint8_t> data;
    AppendU32(data, kTnefVersion);
    HRESULT status = Attribute(Level::kMessage, kAttTnefVersion, data);
    if (FAILED(status))
        return status;
    data.clear();
    AppendU32(data, codePage);
    AppendU32(data, 0);
    status = Attribute(Level::kMessage, kAttOemCodepage, data);
    if (FAILED(status) || messageClass.empty())
        return status;
    data.assign(messageClass.begin(), messageClass.end());
    data.push_back(0);
    return Attribute(Level::kMessage, kAttMessageClass, data);
}

HRESULT TnefWriter::AttachRenderData(const RenderData& render)
{
    std::vector<std::uint8_t> data;
    AppendU16(data, render.type);
    AppendU32(data, render.position);
    AppendU16(data, render.width);
    AppendU16(data, render.height);
    AppendU32(data, render.flags);
    return Attribute(Level::kAttachment, kAttAttachRenddata, data);
}

} // namespace platform::tnef
