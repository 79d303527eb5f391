// Where the shared Outlook samples are: a folder beside the repository that tests skip without.
#pragma once

#include <algorithm>
#include <filesystem>
#include <vector>

// Targets get the location by linking test_samples (tests/support/CMakeLists.txt).
#ifndef EX2QLN_SAMPLES_DIR
#error "EX2QLN_SAMPLES_DIR is not defined: link the test_samples target"
#endif

namespace testsupport {

// The "outlook" folder of the shared samples, whether or not it is there.
inline const std::filesystem::path& OutlookSamplesDirectory()
{
    static const std::filesystem::path directory = std::filesystem::path(EX2QLN_SAMPLES_DIR) / "outlook";
    return directory;
}

inline bool HaveOutlookSamples()
{
    return std::filesystem::is_directory(OutlookSamplesDirectory());
}

// Every .msg file below the samples folder, sorted by path; empty when the folder is not there.
inline std::vector<std::filesystem::path> OutlookSampleFiles()
{
    std::vector<std::filesystem::path> files;
    if (!HaveOutlookSamples())
        return files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(OutlookSamplesDirectory())) {
        if (entry.is_regular_file() && entry.path().extension() == ".msg")
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace testsupport
