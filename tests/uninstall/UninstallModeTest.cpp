#include "uninstall/UninstallMode.h"

#include "base/Process.h"
#include "base/Registry.h"

#include <gtest/gtest.h>

using namespace tarvo;

TEST(UninstallRecordArgument, Table) {
    struct Case {
        const wchar_t* commandLine;
        const wchar_t* path;
    } cases[] = {
        {L"\"C:\\W\\TarvoUninstall.exe\" <uninstall>C:\\Windows\\system32\\TarvoUninstall-My App.dat",
         L"C:\\Windows\\system32\\TarvoUninstall-My App.dat"},
        {L"u.exe <uninstall>\"C:\\a b\\TarvoUninstall-X.dat\"", L"C:\\a b\\TarvoUninstall-X.dat"},
        {L"u.exe <uninstall>C:\\x.dat\"", L"C:\\x.dat"},
        {L"u.exe <Silent> <uninstall>C:\\x.dat", L"C:\\x.dat"},
        {L"u.exe --uninstall=C:\\y.dat", L"C:\\y.dat"},
        {L"u.exe --uninstall=C:\\y.dat <uninstall>C:\\x.dat --later", L"C:\\x.dat --later"},
        {L"u.exe --uninstall=C:\\y.dat <uninstall>", L"C:\\y.dat <uninstall>"},
        {L"u.exe <uninstall>", L""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.path, std::wstring(UninstallRecordArgument(c.commandLine).c_str())) << c.commandLine;
    }
}

TEST(RunUninstallMode, AnAdministratorRunsTheWizardWithTheRecordsProduct) {
    // Wine gives every process administrator rights, so this is the branch that runs here.
    const wchar_t* key = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tarvo Mode Test";
    WriteString(HKEY_LOCAL_MACHINE, key, L"InstallTo", L"C:\\Apps\\Mode");
    WString seenProduct, seenFolder, seenRecord, seenCaption;
    DWORD code = RunUninstallMode(
        {[&] {
             seenProduct = ProjectName;
             seenFolder = DestinationFolder;
             seenRecord = UninstallRecordPath;
             seenCaption = InstallerCaption;
             return DWORD(3010);
         },
         nullptr},
        L"\"C:\\windows\\system32\\TarvoUninstall.exe\" <uninstall>C:\\windows\\system32\\TarvoUninstall-Tarvo Mode Test.dat");
    DeleteKeyTree(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", L"Tarvo Mode Test");
    EXPECT_EQ(3010u, code);  // the wizard's code is the process's
    EXPECT_EQ(L"Tarvo Mode Test", std::wstring(seenProduct.c_str()));
    EXPECT_EQ(L"C:\\Apps\\Mode\\", std::wstring(seenFolder.c_str()));
    EXPECT_EQ(L"C:\\windows\\system32\\TarvoUninstall-Tarvo Mode Test.dat", std::wstring(seenRecord.c_str()));
    EXPECT_EQ(L"UnInstaller", std::wstring(seenCaption.c_str()));

    bool ran = false;
    EXPECT_EQ(0u, RunUninstallMode({[&] { ran = true; return DWORD(0); }, nullptr}, L"u.exe <uninstall>"));
    EXPECT_FALSE(ran);  // no record path: nothing at all
    InstallerCaption = L"Setup";
    ProjectName = L"Setup";
    DestinationFolder.Clear();
    UninstallRecordPath.Clear();
}
