#include "script/Record.h"

#include "base/Process.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarvo;

namespace {

std::wstring SystemFolder() {
    wchar_t buffer[MAX_PATH];
    ::GetSystemDirectoryW(buffer, MAX_PATH);
    return buffer;
}

}  // namespace

TEST(Record, NamesLieInTheSystemFolderAndFollowTheProjectName) {
    WString saved = ProjectName;
    ProjectName = L"Sample Notes";
    EXPECT_EQ(SystemFolder() + L"\\TarvoUninstall-Sample Notes.dat", RecordFilePath().c_str());
    // The name is made afresh on each call: a script's "[Project Name]" read later is seen.
    ProjectName = L"Other";
    EXPECT_EQ(SystemFolder() + L"\\TarvoUninstall-Other.dat", RecordFilePath().c_str());
    // Only the format's own "%s" is a conversion; the name is inserted as it is.
    ProjectName = L"100%s Sure";
    EXPECT_EQ(SystemFolder() + L"\\TarvoUninstall-100%s Sure.dat", RecordFilePath().c_str());
    ProjectName = saved;

    EXPECT_EQ(SystemFolder() + L"\\TarvoUninstall.exe", UninstallerPath().c_str());
}
