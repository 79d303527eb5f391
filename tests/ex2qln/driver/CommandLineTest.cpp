// Parsing of command words and options.
#include "ex2qln/driver/CommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <utility>

using namespace ex2qln::driver;

namespace {

ParseResult Parse(std::vector<std::string> arguments) { return ParseCommandLine(arguments); }

TEST(CommandLine, WordsAndOptionsIgnoreLetterCase)
{
    ParseResult result = Parse({"TRANSFER", "--SSL", "--Server=Host:1", "MailBoxes", "--NoWait"});
    EXPECT_EQ(result.acceptedCount, 5);
    EXPECT_FALSE(result.rejected);
    EXPECT_EQ(result.settings.commands, kTransfer | kMailboxes);
    EXPECT_TRUE(result.settings.useTls);
    EXPECT_FALSE(result.settings.waitOnError);
    EXPECT_EQ(result.settings.server, "Host:1");  // the value keeps its case
}

TEST(CommandLine, EveryCommandWordSetsItsBit)
{
    const std::pair<const char*, std::uint32_t> cases[] = {
        {"mailboxes", 1}, {"accounts", 2}, {"passwords", 4}, {"transfer", 8},
        {"ldif", 16},     {"distlists", 32}, {"cli", 64},
    };
    for (const auto& [word, bit] : cases) {
        ParseResult result = Parse({word, word});
        EXPECT_EQ(result.settings.commands, bit) << word;
        EXPECT_EQ(result.acceptedCount, 2) << word;
    }
}

TEST(CommandLine, ValuedOptionsAreCaseInsensitivePrefixesAndLaterOnesWin)
{
    ParseResult result = Parse({"--accounts=a.csv", "--ACCOUNTS=B.csv", "--pwd=", "--Target-DN=o=x",
                                "--base-dn=whatever", "--script=s=t"});
    EXPECT_EQ(result.acceptedCount, 6);
    EXPECT_EQ(result.settings.accountsFile, "B.csv");
    EXPECT_EQ(result.settings.password, "");  // given but empty: an empty password
    EXPECT_EQ(result.settings.targetDn, "o=x");
    EXPECT_EQ(result.settings.scriptFile, "s=t");
}

TEST(CommandLine, ThePasswordOrItsFileWhicheverComesLast)
{
    struct Case {
        std::vector<std::string> arguments;
        std::optional<std::string> password;
        std::optional<std::string> passwordFile;
    };
    const Case cases[] = {
        {{"--pwd-file=/run/user/1000/p"}, std::nullopt, "/run/user/1000/p"},
        {{"--PWD-FILE=p"}, std::nullopt, "p"},
        {{"--pwd=secret", "--pwd-file=p"}, std::nullopt, "p"},
        {{"--pwd-file=p", "--pwd=secret"}, "secret", std::nullopt},
        {{"--pwd-file="}, std::nullopt, ""},
    };
    for (const Case& example : cases) {
        ParseResult result = Parse(example.arguments);
        EXPECT_EQ(result.acceptedCount, static_cast<int>(example.arguments.size())) << example.arguments.front();
        EXPECT_EQ(result.settings.password, example.password) << example.arguments.front();
        EXPECT_EQ(result.settings.passwordFile, example.passwordFile) << example.arguments.front();
    }
}

TEST(CommandLine, OptionDefaults)
{
    ParseResult result = Parse({});
    EXPECT_EQ(result.acceptedCount, 0);
    EXPECT_TRUE(result.settings.waitOnError);
    EXPECT_FALSE(result.settings.waitOnCompletion);
    EXPECT_FALSE(result.settings.password);
    EXPECT_EQ(result.settings.targetDn, "cn=contacts");
}

TEST(CommandLine, FlagsAreWholeWords)
{
    struct Case {
        const char* argument;
        bool accepted;
        std::uint32_t skipImap;
    };
    const Case cases[] = {
        {"--skip-imap", true, 1}, {"--skip-imap2", true, 2}, {"--skip-imap3", false, 0},
        {"--skip", false, 0},     {"--ssl=yes", false, 0},   {"--wait-more", false, 0},
    };
    for (const Case& c : cases) {
        ParseResult result = Parse({c.argument});
        EXPECT_EQ(result.acceptedCount, c.accepted ? 1 : 0) << c.argument;
        EXPECT_EQ(result.settings.skipImap, c.skipImap) << c.argument;
    }
}

TEST(CommandLine, FlagEffects)
{
    RunSettings s = Parse({"--ascii", "--fix-folders", "--ignore-errors", "--local-log", "--save-status",
                           "--fix-groups", "--no-admin", "--convert-rtf", "--wait", "--reverse-aliases"})
                        .settings;
    EXPECT_TRUE(s.ascii && s.fixFolders && s.ignoreErrors && s.localLog && s.convertRtf);
    EXPECT_EQ(s.saveStatus, 1u);
    EXPECT_EQ(s.fixGroups, 1);
    EXPECT_EQ(s.noAdmin, 1);
    EXPECT_TRUE(s.waitOnCompletion);
    EXPECT_TRUE(s.aliases);
    EXPECT_TRUE(s.reverseAliases);
    RunSettings plain = Parse({"--aliases"}).settings;
    EXPECT_TRUE(plain.aliases);
    EXPECT_FALSE(plain.reverseAliases);
}

TEST(CommandLine, UnknownArgumentEndsParsing)
{
    ParseResult result = Parse({"--nowait", "bogus", "--wait", "cli"});
    EXPECT_EQ(result.acceptedCount, 1);
    EXPECT_EQ(result.rejected, "bogus");
    EXPECT_FALSE(result.settings.waitOnError);
    EXPECT_FALSE(result.settings.waitOnCompletion);
    EXPECT_EQ(result.settings.commands, 0u);

    ParseResult before = Parse({"bogus", "--nowait"});
    EXPECT_TRUE(before.settings.waitOnError);
}

TEST(CommandLine, ProfileOnlyEndsParsingAtOnce)
{
    ParseResult result = Parse({"--wait", "ProfileOnly", "not-an-option", "--nowait"});
    EXPECT_TRUE(result.settings.profileOnly);
    EXPECT_EQ(result.acceptedCount, 2);
    EXPECT_FALSE(result.rejected);
    EXPECT_TRUE(result.settings.waitOnCompletion);
    EXPECT_TRUE(result.settings.waitOnError);
}

TEST(CommandLine, ShardsByExample)
{
    struct Case {
        const char* text;
        std::optional<std::pair<std::uint32_t, std::uint32_t>> shard;
    };
    const Case cases[] = {
        {"1/1", std::pair{1u, 1u}}, {"2/3", std::pair{2u, 3u}}, {"3/3", std::pair{3u, 3u}},
        {"4294967295/4294967295", std::pair{4294967295u, 4294967295u}},
        {"0/3", std::nullopt},      {"4/3", std::nullopt},      {"1/0", std::nullopt},
        {"2", std::nullopt},        {"/3", std::nullopt},       {"2/", std::nullopt},
        {"+1/2", std::nullopt},     {"-1/2", std::nullopt},     {"1/2/3", std::nullopt},
        {" 1/2", std::nullopt},     {"1/4294967296", std::nullopt}, {"", std::nullopt},
    };
    for (const Case& c : cases) {
        const std::optional<Shard> shard = ParseShard(c.text);
        ASSERT_EQ(shard.has_value(), c.shard.has_value()) << c.text;
        if (shard) {
            EXPECT_EQ(shard->index, c.shard->first) << c.text;
            EXPECT_EQ(shard->count, c.shard->second) << c.text;
        }
    }
}

TEST(CommandLine, JobsByExample)
{
    const std::pair<const char*, std::optional<std::uint32_t>> cases[] = {
        {"1", 1u}, {"4", 4u}, {"64", 64u}, {"0", std::nullopt}, {"65", std::nullopt},
        {"", std::nullopt}, {"+2", std::nullopt}, {"2x", std::nullopt}, {"99999999999", std::nullopt},
    };
    for (const auto& [text, jobs] : cases)
        EXPECT_EQ(ParseJobs(text), jobs) << text;
}

TEST(CommandLine, JournalShardAndJobsOptions)
{
    const ParseResult result =
        Parse({"transfer", "--JOURNAL=/var/j", "--shard=2/3", "--jobs=4", "--no-journal"});
    EXPECT_FALSE(result.rejected);
    EXPECT_EQ(result.settings.journalFile, "/var/j");
    EXPECT_EQ(result.settings.shard, "2/3");
    EXPECT_EQ(result.settings.jobs, "4");
    EXPECT_TRUE(result.settings.noJournal);
    EXPECT_FALSE(Parse({}).settings.noJournal);
}

} // namespace
