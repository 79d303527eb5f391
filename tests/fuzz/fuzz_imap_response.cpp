// Fuzzes the IMAP response parser: the first line is the response line, the bytes after it are what
// the connection delivers for literals and the lines that follow them. The line's words also go
// through the capability reading, as a CAPABILITY line's text would.
#include "ex2qln/imap/ImapResponseParser.h"
#include "ex2qln/imap/ServerFeatures.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

namespace {

// The socket's line reader drops the CR of a CR LF.
std::string_view WithoutCarriageReturn(std::string_view line)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    return line;
}

class FeedInput : public ex2qln::imap::ImapInput {
public:
    explicit FeedInput(std::string_view data) : data_(data) {}

    HRESULT ReadBytes(std::span<char> output) override
    {
        if (data_.size() < output.size())
            return kStatusConnectionClosed;
        if (!output.empty())  // a {0} literal asks for nothing, through a span that may be null
            std::memcpy(output.data(), data_.data(), output.size());
        data_.remove_prefix(output.size());
        return S_OK;
    }

    HRESULT ReadLine(std::string& line) override
    {
        const std::size_t end = data_.find('\n');
        if (end == std::string_view::npos)
            return kStatusConnectionClosed;
        line.assign(WithoutCarriageReturn(data_.substr(0, end)));
        data_.remove_prefix(end + 1);
        return S_OK;
    }

private:
    std::string_view data_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t end = all.find('\n');
    const std::string_view line = WithoutCarriageReturn(all.substr(0, end));
    FeedInput input(end == std::string_view::npos ? std::string_view() : all.substr(end + 1));
    ex2qln::imap::ImapResponse response;
    ex2qln::imap::ImapParseError error;
    const HRESULT status = ex2qln::imap::ImapResponseParser().Parse(line, 1, input, response, error);
    if (FAILED(status) && error.textNumber == 0 && status != kStatusConnectionClosed)
        std::abort();
    if (response.properties.size() > ex2qln::imap::kMaximumProperties)
        std::abort();
    ex2qln::imap::ServerFeatures features;
    ex2qln::imap::AddCapabilities(line, features);
    if (features.extensions)
        std::abort();  // only ENABLE can turn them on
    return 0;
}
