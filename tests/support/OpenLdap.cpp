// slapadd in dry-run mode on a throw-away configuration.
#include "tests/support/OpenLdap.h"

#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

#include <filesystem>

namespace testsupport {
namespace {

const char* const kSlapadd = "/usr/sbin/slapadd";
const char* const kSchemas = "/etc/ldap/schema";
const char* const kModules = "/usr/lib/ldap";

// The DN of each "added: \"DN\" (00000001)" line slapadd -v writes.
std::vector<std::string> AddedEntries(const std::string& messages)
{
    std::vector<std::string> added;
    const std::string marker = "added: \"";
    for (std::size_t at = messages.find(marker); at != std::string::npos; at = messages.find(marker, at)) {
        at += marker.size();
        const std::size_t end = messages.find("\"", at);
        if (end == std::string::npos)
            break;
        added.push_back(messages.substr(at, end - at));
    }
    return added;
}

} // namespace

SlapaddResult LoadIntoOpenLdap(const std::string& ldif, const std::string& suffix)
{
    SlapaddResult result;
    if (!std::filesystem::exists(kSlapadd) || !std::filesystem::exists(std::string(kSchemas) + "/inetorgperson.schema"))
        return result;
    result.available = true;
    testsupport::TemporaryDirectory directory;
    std::filesystem::create_directory(directory.File("db"));
    testsupport::WriteFile(directory.File("slapd.conf"),
                           "include " + std::string(kSchemas) + "/core.schema\n"
                           "include " + std::string(kSchemas) + "/cosine.schema\n"
                           "include " + std::string(kSchemas) + "/inetorgperson.schema\n"
                           "modulepath " + std::string(kModules) + "\n"
                           "moduleload back_mdb\n"
                           "database mdb\n"
                           "suffix \"" + suffix + "\"\n"
                           "directory " + directory.File("db") + "\n");
    testsupport::WriteFile(directory.File("input.ldif"), ldif);
    testsupport::ProcessRun run;
    run.program = kSlapadd;
    run.arguments = {"-u", "-v", "-f", directory.File("slapd.conf"), "-l", directory.File("input.ldif")};
    run.timeout = std::chrono::seconds(60);
    const testsupport::ProcessResult process = testsupport::RunProcess(run);
    result.exitCode = process.exitCode;
    result.messages = process.standardError + process.standardOutput;
    result.added = AddedEntries(result.messages);
    return result;
}

} // namespace testsupport
