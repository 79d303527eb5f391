// Fuzzes the accounts-file reader the way the account commands walk it: keys, settings, row skips.
#include "ex2qln/inputs/MappedCsv.h"
#include "tests/fuzz/MappedInputFuzz.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    static const char* const kSeparators[] = {",", ";", "\t", ";;", "ab"};
    ex2qln::inputs::CMappedCsv csv(kSeparators[data[0] % 5]);
    if (FAILED(csv.Open(fuzzing::MappedInputPath(data + 1, size - 1))))
        std::abort();
    std::size_t position = 0;
    csv.SkipLineEnds(position);
    for (bool header = true; !csv.AtEnd(position); header = false) {
        const std::size_t rowStart = position;
        ex2qln::inputs::AccountKeys keys;
        csv.ReadAccountKeys(position, header, keys);
        std::string value;
        for (int column = 0; column < 8 && !csv.AtLineEnd(position); ++column) {
            // Skipping a field must land where reading it does.
            std::size_t skipped = position;
            csv.Advance(skipped);
            csv.ReadSettingValue(position, value);
            if (skipped != position || value.find_first_of("\r\n") != std::string::npos)
                std::abort();
        }
        csv.SkipRow(position);
        if (position <= rowStart || position > csv.Size())
            std::abort();
    }
    return 0;
}
