// Reading a MAPI stream to its end.
#include "tests/support/StreamContents.h"

#include <gtest/gtest.h>

#include <vector>

namespace testsupport {

std::string StreamContents(IStream* stream, std::size_t chunk)
{
    std::string contents;
    std::vector<char> buffer(chunk);
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buffer.data(), static_cast<ULONG>(buffer.size()), &got)) && got > 0)
        contents.append(buffer.data(), got);
    return contents;
}

std::string StreamContentsFromStart(IStream* stream, std::size_t chunk)
{
    LARGE_INTEGER start{};
    EXPECT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    return StreamContents(stream, chunk);
}

} // namespace testsupport
