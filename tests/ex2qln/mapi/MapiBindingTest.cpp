// The run-time binding: the library search, the failure values without a library, re-binding
// when the module changes, and the per-stub cache.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <MapiPtr.h>
#include <mapitags.h>
#include <mapiutil.h>

#include <string>

#include "tests/ex2qln/mapi/FakeMapi.h"
#include "ex2qln/mapi/BoundFunction.h"
#include "ex2qln/mapi/MapiBinding.h"
#include "platform/registry/Registry.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

using namespace ex2qln::mapi;
using platform::RegistryKey;
using platform::RegistryRoot;

constexpr const char* kMailKey = "Software\\Clients\\Mail";

// Each test starts without a module and with an empty machine registry of its own.
class MapiBindingTest : public ::testing::Test {
protected:
    void SetUp() override { ClearMapiModule(); }
    void TearDown() override { ClearMapiModule(); }

    static void RegisterClient(const char* client, const char* valueName, const std::string& path, bool expand = false)
    {
        ASSERT_TRUE(RegistryKey::Create(RegistryRoot::LocalMachine, kMailKey).WriteString("", client));
        RegistryKey key = RegistryKey::Create(RegistryRoot::LocalMachine, std::string(kMailKey) + "\\" + client);
        ASSERT_TRUE(expand ? key.WriteExpandString(valueName, path) : key.WriteString(valueName, path));
    }

    testsupport::TemporaryDirectory directory_;
    testsupport::ScopedEnvironment registry_{"EX2QLN_MACHINE_REGISTRY", directory_.File("machine.ini")};
};

// First: nothing of the library may be loaded yet in this process.
TEST_F(MapiBindingTest, WithoutALibraryEveryStubGivesItsFailureValue)
{
    EXPECT_EQ(MAPIInitialize(nullptr), static_cast<HRESULT>(0x80004005u));
    LPPROPDATA props = nullptr;
    EXPECT_EQ(CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, &props),
              MAPI_E_CALL_FAILED);
    LPVOID buffer = nullptr;
    EXPECT_EQ(MAPIAllocateBuffer(16, &buffer), MAPI_E_CALL_FAILED);
    EXPECT_EQ(MAPIFreeBuffer(&buffer), 0u);
    EXPECT_FALSE(FPropExists(nullptr, PR_SUBJECT_A));
    SPropValue value{};
    value.ulPropTag = PR_SUBJECT_A;
    EXPECT_EQ(PpropFindProp(&value, 1, PR_SUBJECT_A), nullptr);
    EXPECT_EQ(UlPropSize(&value), 0u);
    MAPIUninitialize();
    FreeProws(nullptr);
    EXPECT_EQ(MapiModule(), nullptr);
}

TEST_F(MapiBindingTest, TheDefaultMailClientOfTheRegistryIsLoaded)
{
    RegisterClient("Quillon MAPI", "DllPath", QLNMAPI_PATH);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);

    // What the driver does through the binding: a property object for the server settings.
    MapiPtr<IPropData> settings;
    ASSERT_EQ(CreateIProp(&IID_IMAPIPropData, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr,
                          settings.put()),
              S_OK);
    SPropValue host{};
    host.ulPropTag = 0x6608001E;
    host.Value.lpszA = const_cast<char*>("mail.example.org");
    ASSERT_EQ(settings->SetProps(1, &host, nullptr), S_OK);
    MapiBuffer<SPropValue> read;
    ASSERT_EQ(HrGetOneProp(settings.get(), 0x6608001E, read.put()), S_OK);
    EXPECT_STREQ(read->Value.lpszA, "mail.example.org");
    MAPIUninitialize();
}

TEST_F(MapiBindingTest, AnExpandablePathExIsExpandedAndPreferred)
{
    const testsupport::ScopedEnvironment directory("QLN_TEST_MAPI_DIRECTORY", QLNMAPI_DIRECTORY);
    RegisterClient("Quillon MAPI", "DllPath", FAKE_MAPI_PATH);
    RegisterClient("Quillon MAPI", "DllPathEx", "%QLN_TEST_MAPI_DIRECTORY%/libqlnmapi.so", true);
    EXPECT_EQ(MAPIInitialize(nullptr), S_OK);
}

TEST_F(MapiBindingTest, AClientWithoutAPathOrAnUnloadablePathBindsNothing)
{
    RegisterClient("Quillon MAPI", "DllPath", directory_.File("missing.so"));
    EXPECT_EQ(MAPIInitialize(nullptr), MAPI_E_CALL_FAILED);
    ASSERT_TRUE(RegistryKey::Create(RegistryRoot::LocalMachine, kMailKey).WriteString("", "Not Installed"));
    EXPECT_EQ(MAPIInitialize(nullptr), MAPI_E_CALL_FAILED);
}

TEST_F(MapiBindingTest, AnAlreadyLoadedLibraryIsTaken)
{
    void* loaded = dlopen(QLNMAPI_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(MAPIInitialize(nullptr), S_OK);
    EXPECT_NE(MapiModule(), nullptr);
    ClearMapiModule();
    dlclose(loaded);
}

TEST_F(MapiBindingTest, StubsRebindWhenTheModuleChanges)
{
    RegisterClient("Quillon MAPI", "DllPath", QLNMAPI_PATH);
    ASSERT_EQ(MAPIInitialize(nullptr), S_OK);
    std::uint32_t before = MapiModuleGeneration();

    ClearMapiModule();
    ASSERT_TRUE(PreloadMapiLibrary(FAKE_MAPI_PATH));
    EXPECT_GT(MapiModuleGeneration(), before);
    EXPECT_EQ(MAPIInitialize(nullptr), kFakeInitializeStatus);
    EXPECT_TRUE(FPropExists(nullptr, PR_SUBJECT_A));
    // The stand-in has no CreateTable: the stub fails as without a library.
    LPTABLEDATA data = nullptr;
    EXPECT_EQ(CreateTable(nullptr, MAPIAllocateBuffer, MAPIAllocateMore, MAPIFreeBuffer, nullptr, 0, PR_ROWID,
                          nullptr, &data),
              MAPI_E_CALL_FAILED);

    // A module that is set stays: a later preload does not replace it.
    EXPECT_TRUE(PreloadMapiLibrary(QLNMAPI_PATH));
    EXPECT_EQ(MAPIInitialize(nullptr), kFakeInitializeStatus);
}

TEST_F(MapiBindingTest, TheStubCacheHoldsThePointerOfItsGeneration)
{
    ASSERT_TRUE(PreloadMapiLibrary(QLNMAPI_PATH));
    BoundFunction<decltype(&MAPIInitialize)> bound("MAPIInitialize");
    auto first = bound.Resolve();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(first), dlsym(MapiModule(), "MAPIInitialize"));
    EXPECT_EQ(bound.Resolve(), first);

    ClearMapiModule();
    ASSERT_TRUE(PreloadMapiLibrary(FAKE_MAPI_PATH));
    auto second = bound.Resolve();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(second), dlsym(MapiModule(), "MAPIInitialize"));
    EXPECT_EQ(second(nullptr), kFakeInitializeStatus);

    BoundFunction<decltype(&MAPIInitialize)> missing("NoSuchMapiFunction");
    EXPECT_EQ(missing.Resolve(), nullptr);
}

TEST_F(MapiBindingTest, OutlookMapiPathComesFromTheOutlookClientKey)
{
    EXPECT_EQ(OutlookMapiPath(), std::nullopt);
    RegistryKey outlook = RegistryKey::Create(RegistryRoot::LocalMachine, "SOFTWARE\\Clients\\Mail\\Microsoft Outlook");
    ASSERT_TRUE(outlook.WriteString("DLLPath", "/opt/outlook/libmapi.so"));
    EXPECT_EQ(OutlookMapiPath(), "/opt/outlook/libmapi.so");
    ASSERT_TRUE(outlook.WriteString("DLLPathEx", "/opt/outlook/libmapi-ex.so"));
    EXPECT_EQ(OutlookMapiPath(), "/opt/outlook/libmapi-ex.so");
    ASSERT_TRUE(outlook.WriteString("DLLPathEx", std::string(5000, 'x')));  // does not fit a path
    EXPECT_EQ(OutlookMapiPath(), "/opt/outlook/libmapi.so");
}

} // namespace
