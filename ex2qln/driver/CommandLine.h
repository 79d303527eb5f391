// The run settings and the parser that fills them from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ex2qln::driver {

// Command bits, one per command word.
enum CommandBit : std::uint32_t {
    kMailboxes = 1,
    kAccounts = 2,
    kPasswords = 4,
    kTransfer = 8,
    kLdif = 16,
    kDistlists = 32,
    kCli = 64,
};

inline constexpr std::uint32_t kNeedsAccountsFile = kAccounts | kPasswords | kTransfer;
inline constexpr std::uint32_t kNeedsServer = kAccounts | kPasswords | kTransfer | kCli;
inline constexpr std::uint32_t kNeedsMapiSession = kMailboxes | kTransfer | kLdif | kDistlists;

struct RunSettings {
    std::uint32_t commands = 0;
    bool profileOnly = false;
    bool waitOnError = true;
    bool waitOnCompletion = false;
    bool useTls = false;
    bool fixFolders = false;
    bool ignoreErrors = false;
    bool aliases = false;
    bool reverseAliases = false;
    bool localLog = false;
    bool convertRtf = false;
    bool ascii = false;  // MAPI strings requested without MAPI_UNICODE
    std::uint32_t skipImap = 0;
    std::uint32_t saveStatus = 0;
    std::uint8_t fixGroups = 0;
    std::uint8_t noAdmin = 0;
    bool tlsNoVerify = false;
    bool noJournal = false;  // --no-journal: every run uploads everything

    std::optional<std::string> password;
    std::optional<std::string> iniFile;
    std::optional<std::string> ldifFile;
    std::optional<std::string> server;
    std::optional<std::string> scriptFile;
    std::optional<std::string> publicAccount;
    std::optional<std::string> adminAccount;
    std::optional<std::string> profile;
    std::optional<std::string> passwordDumpFile;
    std::optional<std::string> accountsFile;
    std::optional<std::string> tlsTrustedCertificate;
    std::optional<std::string> passwordFile;  // --pwd-file: the password comes from this file
    std::optional<std::string> journalFile;   // --journal: the transfer journal's path
    std::optional<std::string> shard;         // --shard=K/N as given
    std::optional<std::string> jobs;          // --jobs=N as given
    std::string targetDn = "cn=contacts";
};

struct ParseResult {
    RunSettings settings;
    int acceptedCount = 0;           // arguments accepted before parsing ended
    std::optional<std::string> rejected;  // the argument that ended parsing, if any
};

// Reads the arguments after the program name left to right. Words and option names compare
// without regard to ASCII letter case; a valued option matches as a prefix "--name=" and the rest
// of the argument is its value; later occurrences win. "profileonly" ends parsing at once, and so
// does the first argument that is not recognised.
ParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// A shard as "K/N": this run's share (K, from 1) of N; nullopt unless 1 <= K <= N (decimal, no sign).
struct Shard {
    std::uint32_t index;
    std::uint32_t count;
};
std::optional<Shard> ParseShard(std::string_view text);

// The number of --jobs: 1 to kMostJobs (decimal, no sign); nullopt for anything else.
inline constexpr std::uint32_t kMostJobs = 64;
std::optional<std::uint32_t> ParseJobs(std::string_view text);

// Where the index-th argument's memory may hold a password: the parser only reads, so the caller
// can wipe it afterwards.
bool IsPasswordArgument(const std::string& argument);

} // namespace ex2qln::driver
