// Parsing of command words and options into run settings.
#include "ex2qln/driver/CommandLine.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string_view>

namespace ex2qln::driver {
namespace {

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix)
{
    return text.size() >= prefix.size() && EqualsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

struct CommandWord {
    std::string_view word;
    std::uint32_t bit;
};

constexpr std::array kCommandWords{
    CommandWord{"mailboxes", kMailboxes}, CommandWord{"accounts", kAccounts},
    CommandWord{"passwords", kPasswords}, CommandWord{"transfer", kTransfer},
    CommandWord{"ldif", kLdif},           CommandWord{"distlists", kDistlists},
    CommandWord{"cli", kCli},
};

using FlagSetter = void (*)(RunSettings&);

struct FlagOption {
    std::string_view name;
    FlagSetter set;
};

constexpr std::array kFlagOptions{
    FlagOption{"--ascii", [](RunSettings& s) { s.ascii = true; }},
    FlagOption{"--ssl", [](RunSettings& s) { s.useTls = true; }},
    FlagOption{"--wait", [](RunSettings& s) { s.waitOnCompletion = true; }},
    FlagOption{"--nowait", [](RunSettings& s) { s.waitOnError = false; }},
    FlagOption{"--fix-folders", [](RunSettings& s) { s.fixFolders = true; }},
    FlagOption{"--ignore-errors", [](RunSettings& s) { s.ignoreErrors = true; }},
    FlagOption{"--aliases", [](RunSettings& s) { s.aliases = true; }},
    FlagOption{"--reverse-aliases", [](RunSettings& s) { s.aliases = s.reverseAliases = true; }},
    FlagOption{"--local-log", [](RunSettings& s) { s.localLog = true; }},
    FlagOption{"--skip-imap", [](RunSettings& s) { s.skipImap = 1; }},
    FlagOption{"--skip-imap2", [](RunSettings& s) { s.skipImap = 2; }},
    FlagOption{"--save-status", [](RunSettings& s) { s.saveStatus = 1; }},
    FlagOption{"--fix-groups", [](RunSettings& s) { s.fixGroups = 1; }},
    FlagOption{"--no-admin", [](RunSettings& s) { s.noAdmin = 1; }},
    FlagOption{"--convert-rtf", [](RunSettings& s) { s.convertRtf = true; }},
    FlagOption{"--tls-no-verify", [](RunSettings& s) { s.tlsNoVerify = true; }},
    FlagOption{"--no-journal", [](RunSettings& s) { s.noJournal = true; }},
};

using ValueSetter = void (*)(RunSettings&, std::string);

struct ValuedOption {
    std::string_view prefix;  // the name with its "="
    ValueSetter set;
};

constexpr std::array kValuedOptions{
    ValuedOption{"--pwd=",
                 [](RunSettings& s, std::string v) {
                     s.password = std::move(v);
                     s.passwordFile.reset();
                 }},
    ValuedOption{"--ini=", [](RunSettings& s, std::string v) { s.iniFile = std::move(v); }},
    ValuedOption{"--ldif=", [](RunSettings& s, std::string v) { s.ldifFile = std::move(v); }},
    ValuedOption{"--server=", [](RunSettings& s, std::string v) { s.server = std::move(v); }},
    ValuedOption{"--script=", [](RunSettings& s, std::string v) { s.scriptFile = std::move(v); }},
    ValuedOption{"--public=", [](RunSettings& s, std::string v) { s.publicAccount = std::move(v); }},
    ValuedOption{"--account=", [](RunSettings& s, std::string v) { s.adminAccount = std::move(v); }},
    ValuedOption{"--profile=", [](RunSettings& s, std::string v) { s.profile = std::move(v); }},
    ValuedOption{"--base-dn=", [](RunSettings&, std::string) {}},
    ValuedOption{"--passwds=", [](RunSettings& s, std::string v) { s.passwordDumpFile = std::move(v); }},
    ValuedOption{"--accounts=", [](RunSettings& s, std::string v) { s.accountsFile = std::move(v); }},
    ValuedOption{"--target-dn=", [](RunSettings& s, std::string v) { s.targetDn = std::move(v); }},
    ValuedOption{"--tls-ca=", [](RunSettings& s, std::string v) { s.tlsTrustedCertificate = std::move(v); }},
    ValuedOption{"--journal=", [](RunSettings& s, std::string v) { s.journalFile = std::move(v); }},
    ValuedOption{"--shard=", [](RunSettings& s, std::string v) { s.shard = std::move(v); }},
    ValuedOption{"--jobs=", [](RunSettings& s, std::string v) { s.jobs = std::move(v); }},
    // Another way to give the password, so the later of the two wins.
    ValuedOption{"--pwd-file=",
                 [](RunSettings& s, std::string v) {
                     s.passwordFile = std::move(v);
                     s.password.reset();
                 }},
};

// Applies one argument; false when it is not a word or option of this program.
bool ApplyArgument(std::string_view argument, RunSettings& settings)
{
    for (const CommandWord& command : kCommandWords) {
        if (EqualsIgnoringCase(argument, command.word)) {
            settings.commands |= command.bit;
            return true;
        }
    }
    for (const FlagOption& flag : kFlagOptions) {
        if (EqualsIgnoringCase(argument, flag.name)) {
            flag.set(settings);
            return true;
        }
    }
    for (const ValuedOption& option : kValuedOptions) {
        if (StartsWithIgnoringCase(argument, option.prefix)) {
            option.set(settings, std::string(argument.substr(option.prefix.size())));
            return true;
        }
    }
    return false;
}

} // namespace

ParseResult ParseCommandLine(const std::vector<std::string>& arguments)
{
    ParseResult result;
    for (const std::string& argument : arguments) {
        if (EqualsIgnoringCase(argument, "profileonly")) {
            result.settings.profileOnly = true;
            ++result.acceptedCount;
            return result;
        }
        if (!ApplyArgument(argument, result.settings)) {
            result.rejected = argument;
            return result;
        }
        ++result.acceptedCount;
    }
    return result;
}

namespace {

// Decimal digits only, as a 32-bit number.
std::optional<std::uint32_t> DecimalNumber(std::string_view digits)
{
    std::uint32_t value = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size())
        return std::nullopt;
    return value;
}

} // namespace

std::optional<Shard> ParseShard(std::string_view text)
{
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return std::nullopt;
    const std::optional<std::uint32_t> index = DecimalNumber(text.substr(0, slash));
    const std::optional<std::uint32_t> count = DecimalNumber(text.substr(slash + 1));
    if (!index || !count || *index == 0 || *index > *count)
        return std::nullopt;
    return Shard{*index, *count};
}

std::optional<std::uint32_t> ParseJobs(std::string_view text)
{
    const std::optional<std::uint32_t> jobs = DecimalNumber(text);
    if (!jobs || *jobs == 0 || *jobs > kMostJobs)
        return std::nullopt;
    return jobs;
}

bool IsPasswordArgument(const std::string& argument) { return StartsWithIgnoringCase(argument, "--pwd="); }

} // namespace ex2qln::driver
