#include "base/WindowsVersion.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(WindowsVersion, IsXpOrLater) {
    struct Case {
        DWORD major, minor;
        bool expected;
    } cases[] = {{4, 0, false}, {4, 90, false}, {5, 0, false}, {5, 1, true},
                 {5, 2, true},  {6, 0, true},   {10, 0, true}};
    for (const auto& c : cases) {
        OSVERSIONINFOW v = {};
        v.dwMajorVersion = c.major;
        v.dwMinorVersion = c.minor;
        EXPECT_EQ(c.expected, IsXpOrLater(v)) << c.major << "." << c.minor;
    }
}

TEST(WindowsVersion, IsTheUncappedVersionAskedOnce) {
    const OSVERSIONINFOW& version = WindowsVersion();
    EXPECT_EQ(&version, &WindowsVersion());
    EXPECT_EQ(DWORD(VER_PLATFORM_WIN32_NT), version.dwPlatformId);
    EXPECT_GE(version.dwMajorVersion, 5u);
    EXPECT_TRUE(IsXpOrLater());
    // This test has no compatibility manifest, so GetVersionExW may report less than the truth,
    // never more.
    OSVERSIONINFOW shimmed = {};
    shimmed.dwOSVersionInfoSize = sizeof(shimmed);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ASSERT_TRUE(::GetVersionExW(&shimmed));
#pragma GCC diagnostic pop
    EXPECT_GE(version.dwMajorVersion * 1000 + version.dwMinorVersion,
              shimmed.dwMajorVersion * 1000 + shimmed.dwMinorVersion);
    EXPECT_GT(version.dwBuildNumber, 0u);
}
