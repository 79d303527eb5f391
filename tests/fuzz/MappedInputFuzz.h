// Serves fuzzer input as a mapped file: one memory file per process, rewritten for every input.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>

namespace fuzzing {

// The path of a regular file that holds exactly `size` bytes of `data`.
inline std::string MappedInputPath(const std::uint8_t* data, std::size_t size)
{
    static const int descriptor = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (descriptor < 0 || ftruncate(descriptor, 0) != 0 ||
        (size != 0 && pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size)))
        std::abort();
    return "/proc/self/fd/" + std::to_string(descriptor);
}

} // namespace fuzzing
