// Tests of the name tables: published tag names with their string forms, types, property sets,
// named properties, and that FORMAT.md lists exactly the names the reader knows.
#include "platform/orgsource/PropertyNames.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>

namespace {

using namespace platform::orgsource;

TEST(PropertyNamesTest, TagNamesWithStringSuffixes)
{
    struct Case {
        const char* name;
        std::optional<std::uint32_t> tag;
    };
    const std::vector<Case> cases = {
        {"PR_SUBJECT", 0x0037001F},
        {"PR_SUBJECT_W", 0x0037001F},
        {"PR_SUBJECT_A", 0x0037001E},
        {"PR_DISPLAY_NAME_A", 0x3001001E},
        {"PR_EMS_AB_HOME_MDB_A", 0x8006001E},
        {"PR_CHILDRENS_NAMES_A", 0x3A58101E},
        {"PR_MESSAGE_FLAGS", 0x0E070003},
        {"PR_ENTRYID", 0x0FFF0102},
        {"PR_ENTRYID_A", std::nullopt},
        {"PR_MESSAGE_FLAGS_W", std::nullopt},
        {"PR_SUBJECT_X", std::nullopt},
        {"pr_subject", std::nullopt},
        {"PR_", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(TagFromName(c.name), c.tag) << c.name;
    }
}

TEST(PropertyNamesTest, TablesAreSortedAndWithoutDuplicates)
{
    auto names = KnownTagNames();
    for (std::size_t i = 1; i < names.size(); ++i) {
        EXPECT_LT(names[i - 1].name, names[i].name);
    }
    std::set<std::string_view> named;
    for (const auto& entry : KnownNamedProperties()) {
        EXPECT_TRUE(named.insert(entry.name).second) << entry.name;
        EXPECT_TRUE(PropertySetFromName(entry.set).has_value()) << entry.name;
    }
}

TEST(PropertyNamesTest, TypesAndSets)
{
    EXPECT_EQ(TypeFromName("PT_LONG"), 0x0003);
    EXPECT_EQ(TypeFromName("PT_I4"), 0x0003);
    EXPECT_EQ(TypeFromName("PT_MV_UNICODE"), 0x101F);
    EXPECT_EQ(TypeFromName("0x0102"), 0x0102);
    EXPECT_EQ(TypeFromName("0x102"), std::nullopt);
    EXPECT_EQ(TypeFromName("PT_WHATEVER"), std::nullopt);
    EXPECT_EQ(TypeName(0x0040), "PT_SYSTIME");
    EXPECT_EQ(TypeName(0x00FB), "0x00FB");
    auto meeting = PropertySetFromName("PSETID_Meeting");
    ASSERT_TRUE(meeting.has_value());
    EXPECT_EQ(PropertySetFromName("{6ED8DA90-450B-101B-98DA-00AA003F1305}"), meeting);
    EXPECT_EQ(PropertySetFromName("6ED8DA90-450B-101B-98DA-00AA003F1305"), std::nullopt);
    auto start = NamedPropertyFromName("PidLidAppointmentStartWhole");
    ASSERT_TRUE(start.has_value());
    EXPECT_EQ(start->set, "PSETID_Appointment");
    EXPECT_EQ(start->lid, 0x820Du);
    EXPECT_EQ(start->type, 0x0040);
}

// Every row "| `PR_NAME` | `0x...` |" of the table in FORMAT.md against the reader's table.
TEST(PropertyNamesTest, FormatDocumentListsTheKnownNames)
{
    std::ifstream file(std::filesystem::path(EX2QLN_SOURCE_DIR) / "platform" / "orgsource" / "FORMAT.md");
    ASSERT_TRUE(file) << "FORMAT.md is missing";
    std::map<std::string, std::uint32_t> documented;
    std::map<std::string, std::string> documentedNamed;
    const std::regex tagRow(R"(^\| `(PR_[A-Z0-9_]+)` \| `0x([0-9A-F]{8})` \|)");
    const std::regex namedRow(R"(^\| `(PidLid[A-Za-z0-9]+)` \| `(PS[A-Za-z_]+)` \| `0x([0-9A-F]{4})` \| `(PT_[A-Z_0-9]+)` \|)");
    for (std::string line; std::getline(file, line);) {
        std::smatch match;
        if (std::regex_search(line, match, tagRow)) {
            documented[match[1]] = static_cast<std::uint32_t>(std::stoul(match[2], nullptr, 16));
        } else if (std::regex_search(line, match, namedRow)) {
            documentedNamed[match[1]] = std::string(match[2]) + ":" + std::string(match[3]) + ":" + std::string(match[4]);
        }
    }
    std::map<std::string, std::uint32_t> known;
    for (const auto& entry : KnownTagNames()) {
        known[std::string(entry.name)] = entry.tag;
    }
    EXPECT_EQ(documented, known);
    std::map<std::string, std::string> knownNamed;
    for (const auto& entry : KnownNamedProperties()) {
        char lid[8];
        std::snprintf(lid, sizeof lid, "%04X", entry.lid);
        knownNamed[std::string(entry.name)] = std::string(entry.set) + ":" + lid + ":" + TypeName(entry.type);
    }
    EXPECT_EQ(documentedNamed, knownNamed);
}

} // namespace
