// Attribute map lines: tags in hexadecimal, the types each export takes, the special LDIF names.
#include "ex2qln/directory/AttributeMap.h"

#include <mapicode.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using ex2qln::directory::BuildCsvMap;
using ex2qln::directory::BuildLdifMap;
using ex2qln::directory::LdifMap;
using ex2qln::directory::LdifMapProblem;
using ex2qln::directory::MapLine;
using ex2qln::directory::ParseMapSection;
using ex2qln::directory::ParsePropertyTag;

TEST(ParsePropertyTag, ReadsHexadecimalTagsOnly)
{
    const std::vector<std::pair<std::string, std::optional<ULONG>>> cases = {
        {"3A08001E", 0x3A08001E},  {"0x3a08001e", 0x3A08001E}, {"0X1E", 0x1E},       {"1e", 0x1E},
        {"FFFFFFFF", 0xFFFFFFFF},  {"", std::nullopt},         {"0x", std::nullopt}, {"123456789", std::nullopt},
        {"3A08001G", std::nullopt}, {" 1E", std::nullopt},     {"-1E", std::nullopt}, {"+1E", std::nullopt},
    };
    for (const auto& [key, tag] : cases)
        EXPECT_EQ(ParsePropertyTag(key), tag) << key;
}

TEST(ParseMapSection, KeepsFileOrderAndSkipsWhatIsNoMapLine)
{
    std::vector<MapLine> lines;
    ASSERT_EQ(ParseMapSection("[other]\n1=a\n[csv]\n3A08001E = Business Phone \n; comment=x\nno equals\n"
                              "3A00001E=Account=Name\r\n[CSV]\n1=later\n",
                              "csv", lines),
              S_OK);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].Text(), "3A08001E=Business Phone");
    EXPECT_EQ(lines[1].key, "3A00001E");
    EXPECT_EQ(lines[1].name, "Account=Name");
}

TEST(BuildCsvMap, TakesTheFourScalarTypes)
{
    ex2qln::directory::CsvMap map;
    std::string rejected;
    ASSERT_EQ(BuildCsvMap({{"3A4D0002", "A"}, {"3A4E0003", "B"}, {"3A40000B", "C"}, {"3A08001E", "D"}}, map, rejected),
              S_OK);
    EXPECT_EQ(map.tags, (std::vector<ULONG>{0x3A4D0002, 0x3A4E0003, 0x3A40000B, 0x3A08001E}));
    EXPECT_EQ(map.titles, (std::vector<std::string>{"A", "B", "C", "D"}));
    for (const char* refused : {"3A08001F", "3A080102", "3A08101E", "3A080014", "3A080040", "3A080000"}) {
        EXPECT_EQ(BuildCsvMap({{"3A08001E", "ok"}, {refused, "T"}}, map, rejected), MAPI_E_BAD_VALUE) << refused;
        EXPECT_EQ(rejected, std::string(refused) + "=T");
    }
}

TEST(BuildLdifMap, SpecialNamesChooseTheNameSources)
{
    LdifMap map;
    std::string rejected;
    LdifMapProblem problem = LdifMapProblem::kNone;
    ASSERT_EQ(BuildLdifMap({{"3001001E", "CN"}, {"3A06001E", "Sn"}, {"3A08101E", "telephoneNumber"},
                            {"81230102", "userCertificate;binary"}, {"81241102", "1.2.840.113549.1.9.1"}},
                           map, rejected, problem),
              S_OK);
    EXPECT_EQ(map.commonNameTag, 0x3001001Eu);
    EXPECT_EQ(map.surnameTag, 0x3A06001Eu);
    ASSERT_EQ(map.attributes.size(), 3u);
    EXPECT_EQ(map.attributes[0].tag, 0x3A08101Eu);
    EXPECT_EQ(map.attributes[1].name, "userCertificate;binary");
    EXPECT_EQ(map.attributes[2].name, "1.2.840.113549.1.9.1");

    const std::vector<std::pair<MapLine, LdifMapProblem>> refusals = {
        {{"3A080040", "birthday"}, LdifMapProblem::kPropertyType},
        {{"3A08001F", "cn"}, LdifMapProblem::kPropertyType},
        {{"mail", "mail"}, LdifMapProblem::kPropertyType},
        {{"3A08001E", "tele phone"}, LdifMapProblem::kAttributeName},
        {{"3A08001E", "1phone"}, LdifMapProblem::kAttributeName},
        {{"3A08001E", "mail;"}, LdifMapProblem::kAttributeName},
        {{"3A08001E", "1.02"}, LdifMapProblem::kAttributeName},
        {{"3A08001E", "dn"}, LdifMapProblem::kAttributeName},
        {{"3A08001E", "m\xC3\xA4il"}, LdifMapProblem::kAttributeName},
    };
    for (const auto& [line, expected] : refusals) {
        EXPECT_EQ(BuildLdifMap({line}, map, rejected, problem), MAPI_E_BAD_VALUE) << line.Text();
        EXPECT_EQ(problem, expected) << line.Text();
        EXPECT_EQ(rejected, line.Text());
    }
}

TEST(DefaultLdifMap, IsTheSmtpAddressAsMail)
{
    const LdifMap map = ex2qln::directory::DefaultLdifMap();
    EXPECT_EQ(map.commonNameTag, PR_MHS_COMMON_NAME_A);
    EXPECT_EQ(map.surnameTag, PR_SURNAME_A);
    ASSERT_EQ(map.attributes.size(), 1u);
    EXPECT_EQ(map.attributes[0].tag, 0x39FE001Eu);
    EXPECT_EQ(map.attributes[0].name, "mail");
}

} // namespace
