// The image type of a contact's photo, for the card's PHOTO line.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace mmconv {

// PNG, GIF, BMP or TIFF when the data begins with that format's signature; JPEG otherwise (the form
// Outlook stores).
std::string_view PhotoType(std::span<const std::uint8_t> data);

} // namespace mmconv
