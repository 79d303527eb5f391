// Whole processes measured: their time and their peak resident set, read when they end.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Measured {
    bool succeeded = false;
    double seconds = 0;
    double peakMegabytes = 0;
};

// Runs `arguments` (the program first) with its output sent to `log`, and measures it.
Measured RunMeasured(const std::vector<std::string>& arguments, const std::string& log);

} // namespace bench
