// OutputEncodedData from one MAPI stream into another.
#include "mmconv/encoding/IStreamAdapters.h"
#include "mmconv/encoding/OutputEncodedData.h"
#include "tests/support/StreamContents.h"

#include <MapiPtr.h>
#include <objidl.h>

#include <gtest/gtest.h>

#include <string>

namespace {

MapiPtr<IStream> StreamWith(const std::string& contents)
{
    MapiPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    ULONG written = 0;
    EXPECT_EQ(stream->Write(contents.data(), static_cast<ULONG>(contents.size()), &written), S_OK);
    LARGE_INTEGER start{};
    EXPECT_EQ(stream->Seek(start, STREAM_SEEK_SET, nullptr), S_OK);
    return stream;
}

TEST(IStreamAdapters, Base64FromOneStreamIntoAnother)
{
    std::string plain(100, 'a');  // more than one 57-byte line of input
    MapiPtr<IStream> input = StreamWith(plain);
    MapiPtr<IStream> output = StreamWith("");
    mmconv::IStreamSource source(input.get());
    mmconv::IStreamSink sink(output.get());
    ASSERT_EQ(mmconv::OutputEncodedData(sink, source, static_cast<int>(mmconv::TransferMode::Base64), false), S_OK);
    std::string encoded = testsupport::StreamContentsFromStart(output.get(), 100);
    // 57 bytes of "a" are 76 characters of "YWFh"; the remaining 43 bytes end the output.
    std::string line;
    for (int i = 0; i < 19; ++i)
        line += "YWFh";
    std::string rest;
    for (int i = 0; i < 14; ++i)
        rest += "YWFh";
    rest += "YQ==";
    EXPECT_EQ(encoded, line + "\r\n" + rest);
}

} // namespace
