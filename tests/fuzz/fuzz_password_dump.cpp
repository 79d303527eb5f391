// Fuzzes the password-dump search: the first input line names the account, the rest is the dump.
#include "ex2qln/inputs/MappedPwd.h"
#include "tests/fuzz/MappedInputFuzz.h"

#include <mapicode.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = std::min(input.find('\n'), input.size());
    const std::string_view account = input.substr(0, split);
    const std::size_t dumpStart = std::min(split + 1, size);
    ex2qln::inputs::CMappedPwd dump;
    if (FAILED(dump.Open(fuzzing::MappedInputPath(data + dumpStart, size - dumpStart))))
        std::abort();
    std::string hash;
    std::size_t line = 0;
    const HRESULT status = dump.FindNtHash(account, hash, line);
    if (SUCCEEDED(status) && std::string_view(dump.Bytes().data(), dump.Size()).find(std::string(account) + ":") ==
                                 std::string_view::npos)
        std::abort();
    // A hash too long is cut to nothing and names a line of the file.
    if (status == MAPI_E_TOO_BIG && (!hash.empty() || line == 0 || line > dump.Size()))
        std::abort();
    if (hash.size() > 4 * ex2qln::inputs::CMappedPwd::kMaximumHashLength)
        std::abort();
    // The hash goes between double quotes on a command line: no line break, no bare control byte.
    if (std::any_of(hash.begin(), hash.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }))
        std::abort();
    return 0;
}
