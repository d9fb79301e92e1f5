// dialogs_uninstall_host NAME [restart] [DPI]
//
// Shows the uninstall wizard for a product NAME that has no record, so that "Uninstall" removes
// nothing of the machine's; "restart" makes the completed page offer the restart row. Prints the
// exit code. A tool for looking at the window, not a test.
#include "base/Process.h"
#include "dialogs/UninstallWizard.h"
#include "ui/Window.h"
#include "uninstall/UninstallWorker.h"

#include <cstdio>
#include <cstdlib>
#include <cwchar>

using namespace tarvo;

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: dialogs_uninstall_host NAME [restart] [DPI]\n");
        return 2;
    }
    int next = 2;
    if (argc > next && std::wcscmp(argv[next], L"restart") == 0) {
        UninstallNeedsRestart = true;
        ++next;
    }
    if (argc > next) SetScreenDpi(_wtoi(argv[next]));
    InstallerCaption = L"UnInstaller";
    ProjectName = argv[1];
    wchar_t temp[MAX_PATH] = {0};
    ::GetTempPathW(MAX_PATH, temp);
    UninstallRecordPath = WString(temp) + L"TarvoUninstall-no-such-record.dat";
    DestinationFolder = L"\\";
    DWORD code = RunUninstallWizard();
    std::printf("exit code %lu\n", static_cast<unsigned long>(code));
    return 0;
}
