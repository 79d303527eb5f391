// Memory and time of serving a large organisation: `ex2qln mailboxes`, a logon with a walk of every
// contents table, and a logon that opens every message one after another, each in a process of its
// own whose peak resident set is read when it ends. The organisation (.msg files with attachments,
// and messages written in the organisation file) is generated once into a temporary directory and
// served at two sizes, so that the growth of the time with the number of messages shows.
//
//   organisation_bench [--keep] [--per-directory N]
//       generate (N .msg files per directory, 1,250 unless given), measure, print, and remove the
//       files unless --keep is given
//   organisation_bench --walk contents|open ORGANISATION-FILE MESSAGES
//       one measured walk (run by the above), which fails unless it met that many messages
#include "bench/organisation/GeneratedOrganisation.h"
#include "bench/ProcessMeasure.h"
#include "bench/organisation/StoreWalk.h"

#include <unistd.h>

#include <chrono>
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

std::uintmax_t BytesBelow(const std::filesystem::path& directory)
{
    std::uintmax_t total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(directory)) {
        if (entry.is_regular_file())
            total += entry.file_size();
    }
    return total;
}

int Walk(const std::string& kind, const std::string& organisation, std::size_t expected)
{
    bench::WalkCounts counts;
    std::string error;
    HRESULT status = bench::WalkOrganisation(organisation, kind == "open" ? bench::WalkKind::OpenMessages
                                                                          : bench::WalkKind::ContentsTables,
                                             counts, error);
    if (FAILED(status)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::printf("%zu mailboxes, %zu folders, %zu rows, %zu messages opened\n", counts.mailboxes, counts.folders,
                counts.rows, counts.messages);
    std::size_t met = kind == "open" ? counts.messages : counts.rows;
    if (met != expected) {
        std::fprintf(stderr, "expected %zu messages, met %zu\n", expected, met);
        return 1;
    }
    return 0;
}

// Private registries and temporary files, so that no profile of the machine's is taken.
void IsolateChildren(const std::filesystem::path& directory)
{
    setenv("EX2QLN_USER_REGISTRY", (directory / "user-registry.ini").c_str(), 1);
    setenv("EX2QLN_MACHINE_REGISTRY", (directory / "machine-registry.ini").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (directory / "config").c_str(), 1);
    setenv("TMPDIR", directory.c_str(), 1);
}

bool Measure(const std::filesystem::path& directory, const std::string& organisation, std::size_t messages)
{
    const std::string self = (ProgramDirectory() / "organisation_bench").string();
    const std::string log = (directory / "runs.log").string();
    struct Phase {
        const char* name;
        std::vector<std::string> arguments;
    } phases[] = {
        {"ex2qln mailboxes", {(ProgramDirectory() / "ex2qln").string(), "mailboxes", "--profile=" + organisation,
                              "--accounts=" + (directory / "accounts.csv").string()}},
        {"logon + every contents table", {self, "--walk", "contents", organisation, std::to_string(messages)}},
        {"logon + open every message", {self, "--walk", "open", organisation, std::to_string(messages)}},
    };
    for (const Phase& phase : phases) {
        bench::Measured measured = bench::RunMeasured(phase.arguments, log);
        if (!measured.succeeded) {
            std::printf("%-30s %8zu  FAILED (see %s)\n", phase.name, messages, log.c_str());
            return false;
        }
        std::printf("%-30s %8zu  %8.2f s  %8.1f MB  %7.1f us/message\n", phase.name, messages, measured.seconds,
                    measured.peakMegabytes, measured.seconds * 1e6 / static_cast<double>(messages));
        std::fflush(stdout);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--walk") == 0)
        return Walk(argv[2], argv[3], std::strtoull(argv[4], nullptr, 10));
    bool keep = false;
    bench::OrganisationShape shape;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0) {
            keep = true;
        } else if (std::strcmp(argv[i], "--per-directory") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0) {
            shape.messagesPerDirectory = static_cast<std::size_t>(std::atoi(argv[++i]));
        } else {
            std::fprintf(stderr, "usage: organisation_bench [--keep] [--per-directory N]\n");
            return 2;
        }
    }
    const char* temp = std::getenv("TMPDIR");
    std::string pattern = std::string(temp != nullptr && *temp != '\0' ? temp : "/tmp") + "/ex2qln-orgbench-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror(pattern.c_str());
        return 1;
    }
    const std::filesystem::path directory = pattern;
    IsolateChildren(directory);

    std::string error;
    auto start = std::chrono::steady_clock::now();
    HRESULT status = bench::WriteMessageFiles(directory.string(), shape, error);
    std::vector<std::pair<std::string, std::size_t>> organisations;
    for (std::size_t directories : {shape.directoriesPerMailbox / 2, shape.directoriesPerMailbox}) {
        std::size_t messages = 0;
        std::string path = (directory / ("organisation-" + std::to_string(directories) + ".json")).string();
        if (SUCCEEDED(status))
            status = bench::WriteOrganisationFile(path, shape, directories, messages, error);
        organisations.emplace_back(path, messages);
    }
    if (FAILED(status)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::filesystem::remove_all(directory);
        return 1;
    }
    std::printf("generated %zu .msg files and %zu inline messages, %.2f GB, in %.0f s under %s\n",
                shape.mailboxes * shape.directoriesPerMailbox * shape.messagesPerDirectory,
                shape.mailboxes * shape.inlineMessagesPerMailbox, static_cast<double>(BytesBelow(directory)) / 1e9,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), directory.c_str());
    std::printf("%-30s %8s  %10s  %11s  %15s\n", "phase", "messages", "time", "peak RSS", "time per message");
    bool all = true;
    for (const auto& [path, messages] : organisations)
        all = Measure(directory, path, messages) && all;
    if (!keep)
        std::filesystem::remove_all(directory);
    return all ? 0 : 1;
}
