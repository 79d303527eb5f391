// The constants of the TNEF stream: signature, attribute levels and the attribute identifiers.
#pragma once

#include <cstdint>

namespace platform::tnef {

inline constexpr std::uint32_t kTnefSignature = 0x223E9F78u;
inline constexpr std::uint32_t kTnefVersion = 0x00010000u;

enum class Level : std::uint8_t { kMessage = 1, kAttachment = 2 };

// An attribute identifier holds its data type in the high word and its number in the low word.
inline constexpr std::uint32_t kAttTnefVersion = 0x00089006u;
inline constexpr std::uint32_t kAttOemCodepage = 0x00069007u;
inline constexpr std::uint32_t kAttMessageClass = 0x00078008u;
inline constexpr std::uint32_t kAttMsgProps = 0x00069003u;
inline constexpr std::uint32_t kAttRecipTable = 0x00069004u;
inline constexpr std::uint32_t kAttAttachRenddata = 0x00069002u;
inline constexpr std::uint32_t kAttAttachTitle = 0x00018010u;
inline constexpr std::uint32_t kAttAttachData = 0x0006800Fu;
inline constexpr std::uint32_t kAttAttachment = 0x00069005u;

// Rendering types of attAttachRenddata.
inline constexpr std::uint16_t kRenderFile = 0x0001;
inline constexpr std::uint16_t kRenderOle = 0x0002;
inline constexpr std::uint32_t kRenderDataMacBinary = 0x00000001u;

} // namespace platform::tnef
