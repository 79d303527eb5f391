// Converting every message of an Outlook data file: qlnconvert (our reader, the MAPI runtime and the
// conversion) beside readpst -e of Debian's pst-utils on the same file, each a process of its own
// whose time and peak resident set are read when it ends, in messages per second. Both write their
// outputs (and --messages its assembled file) into a working directory under /dev/shm when there is
// one: a file system in memory, so that the numbers measure the converters, not the disk (creating
// thousands of small files on a real disk takes times that swing widely from run to run). Without
// /dev/shm the directory is under TMPDIR (or /tmp). The directory is printed. Each converter runs
// several times into an emptied directory and its fastest run counts: other work on the machine
// only ever adds time.
//
//   data_file_bench FILE.pst [--messages N] [--runs N] [--code-page=N] [--keep]
//       --messages assembles a copy of the (Unicode) file with N more messages and measures that
//       --runs is how many times each converter runs (3 unless given)
//       --keep leaves the working directory (the assembled file, both outputs) for profiling
#include "bench/DataFileAssembly.h"
#include "bench/ProcessMeasure.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

std::filesystem::path ProgramDirectory()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path();
}

std::size_t FilesBelow(const std::filesystem::path& directory, const std::string& extension)
{
    std::size_t count = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(directory, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->is_regular_file() && (extension.empty() || it->path().extension() == extension))
            ++count;
    }
    return count;
}

std::string FindOnPath(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string directories = path != nullptr ? path : "/usr/bin:/bin";
    for (std::size_t start = 0; start <= directories.size();) {
        std::size_t end = directories.find(':', start);
        end = end == std::string::npos ? directories.size() : end;
        std::filesystem::path candidate = std::filesystem::path(directories.substr(start, end - start)) / name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate.string();
        start = end + 1;
    }
    return "";
}

// Where the working directory goes: the in-memory file system when there is one.
std::string WorkingParent()
{
    std::error_code error;
    if (std::filesystem::is_directory("/dev/shm", error) && access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    const char* temp = std::getenv("TMPDIR");
    return temp != nullptr && *temp != '\0' ? temp : "/tmp";
}

void Print(const char* name, const bench::Measured& measured, std::size_t messages)
{
    std::printf("%-12s %8zu  %8.3f s  %8.1f MB  %10.1f messages/s\n", name, messages, measured.seconds,
                measured.peakMegabytes, measured.seconds > 0 ? static_cast<double>(messages) / measured.seconds : 0.0);
}

// The fastest of `runs` runs of `arguments`, each into `output` emptied first; a failed run ends it.
bench::Measured FastestRun(int runs, const std::vector<std::string>& arguments, const std::filesystem::path& output,
                           const std::string& log)
{
    bench::Measured fastest;
    for (int run = 0; run < runs; ++run) {
        std::error_code ignored;
        std::filesystem::remove_all(output, ignored);
        std::filesystem::create_directories(output, ignored);
        const bench::Measured measured = bench::RunMeasured(arguments, log);
        if (!measured.succeeded)
            return measured;
        if (run == 0 || measured.seconds < fastest.seconds)
            fastest = measured;
    }
    return fastest;
}

} // namespace

int main(int argc, char** argv)
{
    std::size_t messages = 0;
    int runs = 3;
    std::string codePage;
    bool keep = false;
    bool usable = argc >= 2;
    for (int i = 2; usable && i < argc; ++i) {
        if (std::strcmp(argv[i], "--messages") == 0 && i + 1 < argc && std::atol(argv[i + 1]) > 0) {
            messages = static_cast<std::size_t>(std::atol(argv[++i]));
        } else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            runs = std::atoi(argv[++i]);
        } else if (std::strncmp(argv[i], "--code-page=", 12) == 0) {
            codePage = argv[i];
        } else if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else {
            usable = false;
        }
    }
    if (!usable) {
        std::fprintf(stderr, "usage: data_file_bench FILE.pst [--messages N] [--runs N] [--code-page=N] [--keep]\n");
        return 2;
    }
    std::string file = std::filesystem::absolute(argv[1]).string();
    std::string pattern = WorkingParent() + "/ex2qln-pstbench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        return 1;
    }
    const std::filesystem::path directory = pattern;
    setenv("TMPDIR", directory.c_str(), 1);
    std::printf("working in %s\n", directory.c_str());
    const std::string log = (directory / "runs.log").string();
    if (messages != 0) {
        const std::string assembled = (directory / "assembled.pst").string();
        std::string error;
        if (FAILED(bench::AssembleDataFile(file, messages, assembled, error))) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::filesystem::remove_all(directory);
            return 1;
        }
        file = assembled;
        std::printf("assembled %s: %zu more messages, %.1f MB\n", assembled.c_str(), messages,
                    static_cast<double>(std::filesystem::file_size(assembled)) / 1e6);
    }
    std::printf("%-12s %8s  %10s  %11s  %21s\n", "converter", "messages", "time", "peak RSS", "throughput");

    std::vector<std::string> ours = {(ProgramDirectory() / "qlnconvert").string(), "-o", (directory / "ours").string()};
    if (!codePage.empty())
        ours.push_back(codePage);
    ours.push_back(file);
    bench::Measured measured = FastestRun(runs, ours, directory / "ours", log);
    const std::size_t converted = FilesBelow(directory / "ours", ".eml");
    if (!measured.succeeded) {
        std::printf("qlnconvert FAILED (see %s)\n", log.c_str());
        return 1;
    }
    Print("qlnconvert", measured, converted);
    const double ourRate = measured.seconds > 0 ? static_cast<double>(converted) / measured.seconds : 0;

    const std::string readpst = FindOnPath("readpst");
    if (readpst.empty()) {
        std::printf("readpst is not installed (Debian's pst-utils): no comparison\n");
    } else {
        bench::Measured theirs =
            FastestRun(runs, {readpst, "-e", "-q", "-o", (directory / "readpst").string(), file}, directory / "readpst", log);
        const std::size_t written = FilesBelow(directory / "readpst", "");
        Print("readpst -e", theirs, written);
        if (theirs.succeeded && theirs.seconds > 0 && written > 0)
            std::printf("qlnconvert / readpst: %.2f times the messages per second\n",
                        ourRate / (static_cast<double>(written) / theirs.seconds));
    }
    if (keep)
        std::printf("kept %s\n", directory.c_str());
    else
        std::filesystem::remove_all(directory);
    return 0;
}
