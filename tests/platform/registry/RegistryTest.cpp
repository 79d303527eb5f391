// The registry substitute: values of every kind, names without case, the file format, damaged
// files, atomic writes, concurrent writers and the classes root.
#include "platform/registry/Registry.h"
#include "platform/registry/RegistryStore.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

using testsupport::ReadFile;
using testsupport::ScopedEnvironment;
using testsupport::TemporaryDirectory;
using namespace std::string_literals;

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_FALSE(directory_.Path().empty()); }

    std::string UserFile() const { return directory_.File("user/registry.ini"); }
    std::string MachineFile() const { return directory_.File("machine.ini"); }

    TemporaryDirectory directory_;
    ScopedEnvironment user_ {"EX2QLN_USER_REGISTRY", directory_.File("user/registry.ini")};
    ScopedEnvironment machine_ {"EX2QLN_MACHINE_REGISTRY", directory_.File("machine.ini")};
    ScopedEnvironment mimeTypes_ {"EX2QLN_MIME_TYPES", directory_.Write("mime.types",
                                      "# comment pdf\napplication/pdf\t\tpdf\ntext/plain txt text conf\n")};
};

TEST_F(RegistryTest, ValuesOfEveryKindSurviveTheFile)
{
    struct Case {
        std::string name;
        RegistryValue value;
    };
    const std::vector<Case> cases = {
        {"", {RegistryValueType::String, "Microsoft Outlook", 0}},
        {"DLLPath", {RegistryValueType::String, "/usr/lib/x86_64-linux-gnu/libmapi.so", 0}},
        {"DLLPathEx", {RegistryValueType::ExpandString, "%HOME%/lib/mapi.so", 0}},
        {"Logging", {RegistryValueType::Dword, {}, 0x21}},
        {"Largest", {RegistryValueType::Dword, {}, 0xFFFFFFFFu}},
        {"Zero", {RegistryValueType::Dword, {}, 0}},
        {"Empty", {RegistryValueType::String, "", 0}},
        {"Quotes \"and\" \\backslashes\\", {RegistryValueType::String, "say \"hi\" \\ there", 0}},
        {"Lines", {RegistryValueType::String, "one\r\ntwo\tthree\x01\x7F", 0}},
        {"Latin", {RegistryValueType::String, "Gr\xC3\xBC\xC3\x9F" "e \xE9", 0}},
        {"@", {RegistryValueType::String, "a value named at", 0}},
        {"Bytes", {RegistryValueType::Binary, std::string("\x00\xA1\xFF\n", 4), 0}},
        {"NoBytes", {RegistryValueType::Binary, "", 0}},
    };
    RegistryKey key = RegistryKey::Create(RegistryRoot::LocalMachine, "Software\\Clients\\Mail");
    for (const Case& c : cases)
        ASSERT_TRUE(key.WriteValue(c.name, c.value)) << c.name;

    std::optional<RegistryKey> reopened = RegistryKey::Open(RegistryRoot::LocalMachine, "Software\\Clients\\Mail");
    ASSERT_TRUE(reopened);
    for (const Case& c : cases) {
        std::optional<RegistryValue> read = reopened->ReadValue(c.name);
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(*read, c.value) << c.name;
    }
    std::vector<std::string> names;
    for (const Case& c : cases)
        names.push_back(c.name);
    EXPECT_EQ(reopened->ValueNames(), names);
}

TEST_F(RegistryTest, TypedReadsRefuseOtherKinds)
{
    RegistryKey key = RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Test");
    ASSERT_TRUE(key.WriteString("Text", "17"));
    ASSERT_TRUE(key.WriteExpandString("Expand", "%HOME%"));
    ASSERT_TRUE(key.WriteDword("Number", 17));
    EXPECT_EQ(key.ReadString("Text"), "17");
    EXPECT_FALSE(key.ReadString("Expand"));
    EXPECT_FALSE(key.ReadString("Number"));
    EXPECT_EQ(key.ReadDword("Number"), 17u);
    EXPECT_FALSE(key.ReadDword("Text"));
    EXPECT_FALSE(key.ReadValue("Missing"));
}

TEST_F(RegistryTest, NamesCompareWithoutCaseAndKeepTheirSpelling)
{
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Microsoft\\Office").WriteDword("A", 1));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "SOFTWARE\\microsoft\\Windows NT").WriteString("Path", "x"));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "software\\MICROSOFT\\exchange").WriteString("", "y"));

    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, "sOfTwArE\\MiCrOsOfT\\WINDOWS nt");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadString("PATH"), "x");
    ASSERT_TRUE(key->WriteString("pAtH", "replaced"));
    EXPECT_EQ(key->ReadString("Path"), "replaced");
    EXPECT_EQ(key->ValueNames(), std::vector<std::string>({"Path"}));

    std::optional<RegistryKey> parent = RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Microsoft");
    ASSERT_TRUE(parent);
    EXPECT_EQ(parent->SubkeyNames(), std::vector<std::string>({"exchange", "Office", "Windows NT"}));
    std::optional<RegistryKey> root = RegistryKey::Open(RegistryRoot::CurrentUser, "");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->SubkeyNames(), std::vector<std::string>({"Software"}));
}

TEST_F(RegistryTest, PathsIgnoreEmptyNamesAndRefuseControlCharacters)
{
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "\\Software\\\\Clients\\").WriteDword("N", 5));
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Clients");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ReadDword("N"), 5u);

    for (std::string_view bad : {std::string_view("Software\nInjected"), std::string_view("Soft\0ware", 9),
                                 std::string_view("Software\\\x1B")}) {
        EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, bad));
        EXPECT_FALSE(RegistryKey::Create(RegistryRoot::CurrentUser, bad).WriteString("x", "y"));
    }
    std::optional<RegistryStore> store = RegistryStore::Parse(ReadFile(UserFile()));
    ASSERT_TRUE(store);
    EXPECT_EQ(store->SubkeyNames(""), std::vector<std::string>({"Software"}));
}

TEST_F(RegistryTest, AbsentKeysAndKeysCreatedWithoutValues)
{
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Nothing"));
    RegistryKey created = RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Nothing");
    EXPECT_FALSE(created.ReadValue(""));
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Nothing"));
    EXPECT_FALSE(std::filesystem::exists(UserFile()));
}

TEST_F(RegistryTest, ReadsTheDocumentedFormat)
{
    directory_.Write("machine.ini",
                     "; comment\r\n"
                     "\r\n"
                     "[Software\\Clients\\Mail]\r\n"
                     "@=\"Microsoft Outlook\"\r\n"
                     "[Software\\Clients\\Mail\\Microsoft Outlook]\n"
                     "  \"DLLPath\" = \"/usr/lib/libmapi.so\"  \n"
                     "\"DLLPathEx\"=expand:\"%HOME%/lib/libmapi.so\"\n"
                     "\"Logging\"=dword:21\n"
                     "\"EntryId\"=hex:00,A1,ff\n"
                     "\"Escapes\"=\"a\\\\b\\\"c\\n\\x41\"\n");
    std::optional<RegistryKey> mail = RegistryKey::Open(RegistryRoot::LocalMachine, "Software\\Clients\\Mail");
    ASSERT_TRUE(mail);
    EXPECT_EQ(mail->ReadString(""), "Microsoft Outlook");
    EXPECT_EQ(mail->SubkeyNames(), std::vector<std::string>({"Microsoft Outlook"}));
    std::optional<RegistryKey> outlook = RegistryKey::Open(RegistryRoot::LocalMachine, "SOFTWARE\\Clients\\Mail\\Microsoft Outlook");
    ASSERT_TRUE(outlook);
    EXPECT_EQ(outlook->ReadString("DLLPath"), "/usr/lib/libmapi.so");
    EXPECT_EQ(outlook->ReadValue("DLLPathEx"), (RegistryValue {RegistryValueType::ExpandString, "%HOME%/lib/libmapi.so", 0}));
    EXPECT_EQ(outlook->ReadDword("Logging"), 0x21u);
    EXPECT_EQ(outlook->ReadValue("EntryId"), (RegistryValue {RegistryValueType::Binary, std::string("\x00\xA1\xFF", 3), 0}));
    EXPECT_EQ(outlook->ReadString("Escapes"), "a\\b\"c\nA");
}

TEST_F(RegistryTest, DamagedFilesReadAsEmptyAndAreNeverOverwritten)
{
    const std::vector<std::string> damaged = {
        "\"Orphan\"=\"a value before any key\"\n",
        "[Key\n",
        "[Key]\nName=\"unquoted name\"\n",
        "[Key]\n\"Open\"=\"no closing quote\n",
        "[Key]\n\"Bad\"=\"unknown escape \\q\"\n",
        "[Key]\n\"Short\"=\"\\x4\"\n",
        "[Key]\n\"Big\"=dword:123456789\n",
        "[Key]\n\"Hex\"=dword:12g4\n",
        "[Key]\n\"Empty\"=dword:\n",
        "[Key]\n\"Odd\"=hex:1,2\n",
        "[Key]\n\"Trailing\"=hex:01,\n",
        "[Key]\n\"Kind\"=qword:01\n",
        "[Key]\n\"After\"=\"x\" junk\n",
        "[Key]\n\"NoEquals\" \"x\"\n",
        "[Key]\n\"Nul\"=\"a\0b\"\n[Ctl\x01]\n"s,
    };
    for (const std::string& text : damaged) {
        directory_.Write("machine.ini", text + "[Software\\Good]\n\"Value\"=dword:1\n");
        EXPECT_FALSE(RegistryKey::Open(RegistryRoot::LocalMachine, "Software\\Good")) << text;
        std::optional<RegistryKey> root = RegistryKey::Open(RegistryRoot::LocalMachine, "");
        ASSERT_TRUE(root);
        EXPECT_TRUE(root->SubkeyNames().empty()) << text;
        EXPECT_FALSE(RegistryKey::Create(RegistryRoot::LocalMachine, "Software\\Good").WriteDword("Value", 2)) << text;
        EXPECT_EQ(ReadFile(MachineFile()), text + "[Software\\Good]\n\"Value\"=dword:1\n");
    }
}

TEST_F(RegistryTest, WritesReplaceTheFileWholeAndKeepItPrivate)
{
    RegistryKey key = RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Test");
    for (std::uint32_t i = 0; i < 20; ++i)
        ASSERT_TRUE(key.WriteDword("Counter" + std::to_string(i % 3), i));
    EXPECT_EQ(key.ReadDword("Counter1"), 19u);

    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(directory_.File("user")))
        files.push_back(entry.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>({"registry.ini"}));
    struct stat info {};
    ASSERT_EQ(stat(UserFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    EXPECT_TRUE(RegistryStore::Parse(ReadFile(UserFile())));
}

TEST_F(RegistryTest, ConcurrentWritersKeepEachOthersValues)
{
    constexpr int kWriters = 4;
    constexpr int kValuesEach = 8;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            RegistryKey key = RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Shared");
            bool ok = true;
            for (int i = 0; i < kValuesEach; ++i)
                ok = key.WriteDword("W" + std::to_string(writer) + "_" + std::to_string(i), static_cast<std::uint32_t>(i)) && ok;
            _exit(ok ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Shared");
    ASSERT_TRUE(key);
    EXPECT_EQ(key->ValueNames().size(), static_cast<std::size_t>(kWriters * kValuesEach));
}

TEST_F(RegistryTest, RootsKeepToTheirFiles)
{
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Where").WriteString("", "user"));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::LocalMachine, "Software\\Where").WriteString("", "machine"));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::ClassesRoot, "Outlook.Application\\CurVer").WriteString("", "Outlook.Application.16"));

    EXPECT_EQ(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Where")->ReadString(""), "user");
    EXPECT_EQ(RegistryKey::Open(RegistryRoot::LocalMachine, "Software\\Where")->ReadString(""), "machine");
    std::optional<RegistryKey> classes = RegistryKey::Open(RegistryRoot::LocalMachine, "Software\\Classes\\Outlook.Application\\CurVer");
    ASSERT_TRUE(classes);
    EXPECT_EQ(classes->ReadString(""), "Outlook.Application.16");
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Classes"));
}

TEST_F(RegistryTest, ExtensionKeysAnswerTheirContentType)
{
    struct Case {
        std::string extension;
        std::optional<std::string> contentType;
    };
    const std::vector<Case> cases = {
        {".pdf", "application/pdf"}, {".PDF", "application/pdf"}, {".conf", "text/plain"},
        {".comment", std::nullopt},  {".unknown", std::nullopt},   {".", std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<RegistryKey> key = RegistryKey::Open(RegistryRoot::ClassesRoot, c.extension);
        EXPECT_EQ(key.has_value(), c.contentType.has_value()) << c.extension;
        if (key) {
            EXPECT_EQ(key->ReadString("Content Type"), c.contentType) << c.extension;
        }
    }
    // A stored value wins over the list, and other value names are not invented.
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::ClassesRoot, ".pdf").WriteString("Content Type", "application/x-pdf"));
    std::optional<RegistryKey> pdf = RegistryKey::Open(RegistryRoot::ClassesRoot, ".pdf");
    ASSERT_TRUE(pdf);
    EXPECT_EQ(pdf->ReadString("content type"), "application/x-pdf");
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::ClassesRoot, ".txt")->ReadString("PerceivedType"));
}

TEST_F(RegistryTest, DeletingValuesAndKeys)
{
    RegistryKey profiles = RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Profiles");
    ASSERT_TRUE(profiles.WriteString("DefaultProfile", "Main"));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Profiles\\Main\\Section").WriteDword("A", 1));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\Profiles\\Other").WriteDword("B", 2));
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::CurrentUser, "Software\\ProfilesBackup").WriteDword("C", 3));

    ASSERT_TRUE(profiles.DeleteValue("defaultprofile"));
    EXPECT_FALSE(profiles.ReadValue("DefaultProfile"));
    EXPECT_TRUE(profiles.DeleteValue("NeverThere"));

    ASSERT_TRUE(RegistryKey::DeleteKey(RegistryRoot::CurrentUser, "software\\profiles\\MAIN"));
    EXPECT_FALSE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Profiles\\Main\\Section"));
    EXPECT_EQ(profiles.SubkeyNames(), std::vector<std::string>({"Other"}));
    EXPECT_TRUE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\ProfilesBackup"));
    EXPECT_FALSE(RegistryKey::DeleteKey(RegistryRoot::CurrentUser, ""));
    EXPECT_TRUE(RegistryKey::Open(RegistryRoot::CurrentUser, "Software\\Profiles\\Other"));
}

TEST_F(RegistryTest, SerialisedStoresParseBackUnchanged)
{
    RegistryStore store;
    RegistryStore::SetValue(store.CreateKey("A\\B ]\\C"), "", {RegistryValueType::String, "[x]\n;y", 0});
    RegistryStore::SetValue(store.CreateKey("A"), "v", {RegistryValueType::Binary, std::string("\0\1", 2), 0});
    RegistryStore::SetValue(store.CreateKey(""), "at root", {RegistryValueType::Dword, {}, 7});
    store.CreateKey("Empty");
    std::optional<RegistryStore> parsed = RegistryStore::Parse(store.Serialise());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, store);
    EXPECT_EQ(parsed->SubkeyNames("a\\b ]"), std::vector<std::string>({"C"}));
}

TEST(RegistryFilePathTest, DefaultsFollowTheConfigurationDirectories)
{
    ScopedEnvironment user("EX2QLN_USER_REGISTRY", std::nullopt);
    ScopedEnvironment machine("EX2QLN_MACHINE_REGISTRY", std::nullopt);
    ScopedEnvironment config("XDG_CONFIG_HOME", "/xdg/config");
    EXPECT_EQ(RegistryFilePath(RegistryRoot::CurrentUser), "/xdg/config/ex2qln/registry.ini");
    EXPECT_EQ(RegistryFilePath(RegistryRoot::LocalMachine), "/etc/ex2qln/registry.ini");
    EXPECT_EQ(RegistryFilePath(RegistryRoot::ClassesRoot), "/etc/ex2qln/registry.ini");
    ScopedEnvironment noConfig("XDG_CONFIG_HOME", std::nullopt);
    ScopedEnvironment home("HOME", "/home/someone");
    EXPECT_EQ(RegistryFilePath(RegistryRoot::CurrentUser), "/home/someone/.config/ex2qln/registry.ini");
}

TEST(ExpandEnvironmentStringsTest, ReplacesSetVariablesOnly)
{
    ScopedEnvironment set("EX2QLN_TEST_DIR", "/opt/x");
    ScopedEnvironment unset("EX2QLN_TEST_UNSET", std::nullopt);
    struct Case {
        std::string_view input;
        std::string_view expected;
    };
    const std::vector<Case> cases = {
        {"%EX2QLN_TEST_DIR%/lib", "/opt/x/lib"},
        {"a%EX2QLN_TEST_DIR%b%EX2QLN_TEST_DIR%", "a/opt/xb/opt/x"},
        {"%EX2QLN_TEST_UNSET%/lib", "%EX2QLN_TEST_UNSET%/lib"},
        {"100% sure %EX2QLN_TEST_DIR%", "100% sure /opt/x"},
        {"%%EX2QLN_TEST_DIR%", "%/opt/x"},
        {"trailing %", "trailing %"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandEnvironmentStrings(c.input), c.expected) << c.input;
}

} // namespace
} // namespace platform
