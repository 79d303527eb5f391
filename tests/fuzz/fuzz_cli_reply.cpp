// Fuzzes the CLI reply grammar: a valid reply's text is always the end of its line.
#include "ex2qln/cli/CliReply.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    const std::optional<ex2qln::cli::CliReplyLine> reply = ex2qln::cli::ParseCliReply(line);
    if (!reply)
        return 0;
    if (reply->code < 0 || reply->text.size() > line.size() ||
        reply->text.data() + reply->text.size() != line.data() + line.size())
        std::abort();
    return 0;
}
