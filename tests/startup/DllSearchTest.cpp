// Start-up restricts the DLL search before anything else runs: a DLL that someone left beside
// setup.exe (a Downloads folder) must not be loaded in place of a system one. Process-wide state,
// so this test has its own executable.
#include "base/Win.h"
#include "common/TestProcess.h"
#include "startup/Startup.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using tarvo::testing::BesideTest;

TEST(HardenDllSearch, ADllBesideTheProgramIsNoLongerFoundByName) {
    const std::wstring planted = BesideTest(L"tarvo-planted.dll");
    ASSERT_TRUE(::CopyFileW(BesideTest(L"..\\fixtures\\engine\\ver2000.dll").c_str(), planted.c_str(), FALSE));

    // The program's own folder comes first in the default search.
    HMODULE before = ::LoadLibraryW(L"tarvo-planted.dll");
    ASSERT_NE(before, nullptr);
    ::FreeLibrary(before);
    ASSERT_EQ(::GetModuleHandleW(L"tarvo-planted.dll"), nullptr);

    tarvo::HardenDllSearch();

    EXPECT_EQ(::LoadLibraryW(L"tarvo-planted.dll"), nullptr);
    // What the installer still loads: system DLLs by name, a product's DLL by its full path (the
    // self-registration).
    HMODULE system = ::LoadLibraryW(L"version.dll");
    EXPECT_NE(system, nullptr);
    HMODULE byPath = ::LoadLibraryW(planted.c_str());
    EXPECT_NE(byPath, nullptr);
    if (system) ::FreeLibrary(system);
    if (byPath) ::FreeLibrary(byPath);
    ::DeleteFileW(planted.c_str());
}

}  // namespace
