// With nothing registered, the binding takes the installation's own ../lib/libqlnmapi.so.
#include <gtest/gtest.h>

#include <unistd.h>

#include <mapiutil.h>

#include <cstdlib>
#include <string>

#include "ex2qln/mapi/MapiBinding.h"

namespace {

TEST(MapiBindingDefault, TheInstalledLibraryBesideTheProgramIsLoaded)
{
    char name[] = "/tmp/mapi-default-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    std::string registry = std::string(name) + "/machine.ini";
    ASSERT_EQ(setenv("EX2QLN_MACHINE_REGISTRY", registry.c_str(), 1), 0);

    EXPECT_EQ(MAPIInitialize(nullptr), S_OK);
    EXPECT_NE(ex2qln::mapi::MapiModule(), nullptr);
    LPVOID buffer = nullptr;
    ASSERT_EQ(MAPIAllocateBuffer(32, &buffer), S_OK);
    EXPECT_EQ(MAPIFreeBuffer(buffer), 0u);
    MAPIUninitialize();

    unsetenv("EX2QLN_MACHINE_REGISTRY");
    ASSERT_EQ(rmdir(name), 0);
}

} // namespace
