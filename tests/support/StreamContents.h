// Reading a MAPI stream (IStream) to its end, for tests of what a stream holds.
#pragma once

#include <mapidefs.h>

#include <cstddef>
#include <string>

namespace testsupport {

// The bytes from where `stream` stands to its end, read `chunk` bytes at a time: a small or odd
// size makes reads end inside whatever the stream decodes. A failing read ends the reading.
std::string StreamContents(IStream* stream, std::size_t chunk = 4096);

// The same from the stream's start; a failing seek fails the calling test.
std::string StreamContentsFromStart(IStream* stream, std::size_t chunk = 4096);

} // namespace testsupport
