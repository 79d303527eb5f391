// What the conversion fuzz targets share: the library started once, and a .msg file's bytes
// opened through the MAPI runtime and converted as the transfer converts.
#pragma once

#include <MapiPtr.h>
#include <QlnMapiExtras.h>
#include <mapiutil.h>

#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "mmconv/MMConv.h"

#include "MappedInputFuzz.h"

namespace fuzzing {

// The conversion's status, or nothing when the file does not open (a status of its own reader).
inline std::optional<HRESULT> ConvertMsgFile(const std::vector<std::uint8_t>& file, ULONG flags)
{
    static const HRESULT started = mmconv::MMConvInit(MAPIAllocateBuffer, MAPIFreeBuffer, 1, 0);
    if (FAILED(started))
        std::abort();
    MapiPtr<IMessage> message;
    if (FAILED(QlnOpenMsgFile(MappedInputPath(file.data(), file.size()).c_str(), 0, message.put(), nullptr)))
        return std::nullopt;
    MapiPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put())))
        std::abort();
    const HRESULT hr = mmconv::MapiToMime(message.get(), stream.get(), static_cast<LPMAPISESSION>(nullptr), nullptr, flags);
    // A conversion that succeeds always writes its header.
    STATSTG stat{};
    if (SUCCEEDED(hr) && (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || stat.cbSize.QuadPart == 0))
        std::abort();
    return hr;
}

} // namespace fuzzing
