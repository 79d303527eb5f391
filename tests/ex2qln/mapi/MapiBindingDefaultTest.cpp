// With nothing registered, the binding takes the installation's own runtime (../lib/<multiarch>/ex2qln/).
#include <gtest/gtest.h>


#include <mapiutil.h>

#include <filesystem>
#include <string>

#include "ex2qln/mapi/MapiBinding.h"
#include "tests/support/ScopedEnvironment.h"
#include "tests/support/TemporaryDirectory.h"

namespace {

TEST(MapiBindingDefault, TheInstalledLibraryBesideTheProgramIsLoaded)
{
    const testsupport::TemporaryDirectory directory;
    const testsupport::ScopedEnvironment registry("EX2QLN_MACHINE_REGISTRY", directory.File("machine.ini"));

    EXPECT_EQ(MAPIInitialize(nullptr), S_OK);
    EXPECT_NE(ex2qln::mapi::MapiModule(), nullptr);
    LPVOID buffer = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(32, &buffer), S_OK);
    EXPECT_EQ(MAPIFreeBuffer(buffer), 0u);
    MAPIUninitialize();
    // Finding the library wrote nothing to the registry.
    EXPECT_TRUE(std::filesystem::is_empty(directory.Path()));
}

} // namespace
