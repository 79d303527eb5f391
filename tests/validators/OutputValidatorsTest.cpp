// The C++ side of the output validators: verdicts, problem lists and listings as tests see them.
#include "tests/support/OutputValidators.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/support/ProcessRunner.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

using testsupport::OutputCheck;

std::string Fixture(const std::string& name)
{
    return std::string(EX2QLN_VALIDATOR_FIXTURES) + "/" + name;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to)
{
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

struct ValidCase {
    OutputCheck check;
    const char* fixture;
};

class ValidFixture : public testing::TestWithParam<ValidCase> {};

TEST_P(ValidFixture, Passes)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(GetParam().check);
    testsupport::ValidatorVerdict verdict = testsupport::ValidateFile(GetParam().check, Fixture(GetParam().fixture));
    EXPECT_TRUE(verdict.ran) << verdict.Describe();
    EXPECT_TRUE(verdict.valid) << verdict.Describe();
    EXPECT_EQ(verdict.exitCode, 0);
    EXPECT_TRUE(verdict.problems.empty()) << verdict.Describe();
}

INSTANTIATE_TEST_SUITE_P(Validators, ValidFixture,
                         testing::Values(ValidCase{OutputCheck::Message, "mixed-attachment.eml"},
                                         ValidCase{OutputCheck::Message, "tnef.eml"},
                                         ValidCase{OutputCheck::Mime, "related-html.eml"},
                                         ValidCase{OutputCheck::Tnef, "tnef.eml"},
                                         ValidCase{OutputCheck::ICalendar, "meeting-request.eml"},
                                         ValidCase{OutputCheck::VCard, "contact.vcf"},
                                         ValidCase{OutputCheck::VGroup, "group.vgroup"},
                                         ValidCase{OutputCheck::Report, "delivery-report.eml"}),
                         [](const testing::TestParamInfo<ValidCase>& info) {
                             std::string name = std::to_string(info.index) + "_" + info.param.fixture;
                             for (char& c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

TEST(OutputValidators, RejectsBytesAndNamesTheProblemByTheGivenName)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(OutputCheck::Mime);
    std::string message = Replaced(testsupport::ReadFile(Fixture("mixed-attachment.eml")), "\r\n", "\n");
    testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(OutputCheck::Mime, message, "converted.eml");
    ASSERT_TRUE(verdict.ran) << verdict.Describe();
    EXPECT_FALSE(verdict.valid);
    EXPECT_EQ(verdict.exitCode, 1);
    ASSERT_FALSE(verdict.problems.empty());
    EXPECT_EQ(verdict.problems[0].location, "converted.eml");
    EXPECT_EQ(verdict.problems[0].checker, "mime");
    EXPECT_NE(verdict.problems[0].message.find("bare LF"), std::string::npos) << verdict.Describe();
    EXPECT_NE(verdict.Describe().find("converted.eml: mime: "), std::string::npos);
}

TEST(OutputValidators, ProblemsExceptLeavesOutTheNamedCheckers)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(OutputCheck::Mime);
    std::string message = Replaced(testsupport::ReadFile(Fixture("mixed-attachment.eml")), "------=_outer_01--\r\n", "");
    testsupport::ValidatorVerdict verdict = testsupport::ValidateBytes(OutputCheck::Mime, message);
    ASSERT_TRUE(verdict.ran) << verdict.Describe();
    std::vector<testsupport::ValidatorProblem> rest = verdict.ProblemsExcept({"gmime"});
    ASSERT_FALSE(rest.empty());
    EXPECT_LT(rest.size(), verdict.problems.size()) << verdict.Describe();
    for (const auto& problem : rest)
        EXPECT_NE(problem.checker, "gmime");
}

TEST(OutputValidators, UnreadableInputIsNoVerdict)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS(OutputCheck::Mime);
    testsupport::ValidatorVerdict verdict = testsupport::ValidateFile(OutputCheck::Mime, Fixture("no-such-file.eml"));
    EXPECT_FALSE(verdict.ran);
    EXPECT_FALSE(verdict.valid);
    EXPECT_EQ(verdict.exitCode, 2);
    EXPECT_NE(verdict.Describe().find("cannot read"), std::string::npos) << verdict.Describe();
}

TEST(OutputValidators, ListsPartsWithTheirDecodedDigest)
{
    testsupport::ValidatorListing listing = testsupport::ListParts(Fixture("mixed-attachment.eml"));
    ASSERT_TRUE(listing.ok) << listing.error;
    const nlohmann::json& attachment = listing.document["parts"].at(2);
    EXPECT_EQ(attachment["filename"], "figures.bin");
    EXPECT_EQ(attachment["size"], 256);
    // SHA-256 of the octets 0x00 to 0xFF, the attachment's content.
    EXPECT_EQ(attachment["sha256"], "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
}

TEST(OutputValidators, ExpandsRecurrencesUpToTheCount)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS("expand");
    testsupport::ValidatorListing listing = testsupport::ExpandRecurrences(Fixture("meeting-request.eml"), 3);
    ASSERT_TRUE(listing.ok) << listing.error;
    const nlohmann::json& series = listing.document["components"].at(0);
    std::vector<std::string> utc;
    for (const auto& occurrence : series["occurrences"])
        utc.push_back(occurrence["utc"]);
    EXPECT_EQ(utc, (std::vector<std::string>{"2024-03-11T09:00:00Z", "2024-03-25T09:00:00Z", "2024-04-01T08:00:00Z"}));
    EXPECT_TRUE(series["truncated"].get<bool>());
}

TEST(OutputValidators, ListsGroupMembers)
{
    EX2QLN_SKIP_WITHOUT_VALIDATORS("members");
    testsupport::ValidatorListing listing = testsupport::ListGroupMembers(Fixture("group.vgroup"));
    ASSERT_TRUE(listing.ok) << listing.error;
    const nlohmann::json& members = listing.document["groups"].at(0)["members"];
    ASSERT_EQ(members.size(), 3u);
    EXPECT_EQ(members[1]["address"], "juergen@example.com");
    EXPECT_EQ(members[1]["name"], "Jürgen Müller");
}

TEST(OutputValidators, AnUnknownCommandIsReportedAsUnrunnable)
{
    std::string missing = testsupport::MissingValidators("no-such-check");
    EXPECT_NE(missing.find("cannot run"), std::string::npos) << missing;
}

} // namespace
