#include "container/Container.h"

#include "base/CommandLine.h"
#include "base/Files.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Sync.h"
#include "base/WorkerThread.h"
#include "install/Programs.h"
#include "package/SetupPackage.h"
#include "script/SetupScript.h"

namespace tarvo {

int32_t ContainerInstallerCount = 0;
int32_t ContainerRunningIndex = 0;

namespace {

constexpr DWORD kUserCancelled = 1602;

bool Is(const WString& line, const wchar_t* text) { return Compare(line, text, false) == 0; }

// Shows the container's messages; false when a "QuestionYesNo" was answered No.
bool ShowMessages() {
    DiskFile script;
    if (!script.Open(TempInstallPath() + L"setup.dat", GENERIC_READ, OPEN_EXISTING, false)) return true;
    WString line;
    while (ReadLine(script, line, false)) {
        if (!Is(line, L"[Message]") || SilentMode) continue;
        WString text, kind;
        if (!ReadLine(script, text, false)) text.Clear();
        if (!ReadLine(script, kind, false)) kind.Clear();
        int answer = ShowMessageBox(nullptr, MessageText(text), InstallerCaption, MessageBoxType(kind));
        if (Is(kind, L"QuestionYesNo") && answer == IDNO) return false;
    }
    return true;
}

void ContainerWorker(const ContainerWindowHooks& window, ContainerResult& result) {
    ContainerPlan plan = PlanContainer(WString(::GetCommandLineW()), (::GetAsyncKeyState(VK_RSHIFT) & 0x8000) != 0);
    ContainerInstallerCount = plan.entries.Count();
    ContainerRunningIndex = 0;
    HWND owner = nullptr;
    bool windowMade = false;
    if (ContainerInstallerCount > 1 && window.create) {
        owner = window.create();
        windowMade = true;
    }
    if (!ShowMessages()) {
        result.exitCode = kUserCancelled;
    } else {
        for (int i = 0; i < plan.entries.Count(); ++i) {
            ++ContainerRunningIndex;
            DWORD code = 0;
            RunProgram(FormatText(L"<TempInstall>\\%s", plan.entries.At(i).c_str()), plan.arguments, true, false, owner,
                       &code);
            if (code != 0 && result.exitCode == 0) result.exitCode = code;
        }
    }
    if (windowMade && window.destroy) window.destroy();
}

}  // namespace

ContainerPlan PlanContainer(const WString& commandLine, bool rightShiftDown) {
    ContainerPlan plan;
    PackageArchive* archive = CurrentPackage ? &CurrentPackage->Archive() : nullptr;
    if (!archive) return plan;
    for (int i = 0; i < archive->EntryCount() && !plan.hasVariants; ++i) {
        plan.hasVariants = archive->EntryName(i).Contains(L"__TVI_WIN64");
    }
    bool runMarked = false, runUnmarked = true;
    if (plan.hasVariants) {
        plan.force32 = HasText(commandLine, L"--force32bit") || rightShiftDown;
        if (plan.force32) {
            plan.arguments = L" --force32bit";
        } else if (RunningUnderWow64) {
            runMarked = true;
            runUnmarked = false;
        }
    } else {
        runMarked = true;
    }
    for (int i = 0; i < archive->EntryCount(); ++i) {
        WString name = archive->EntryName(i);
        if (EqualsIgnoreCase(PathWithoutExtension(name), L"setup")) continue;
        bool marked = name.Contains(L"__TVI_WIN64");
        if (marked ? runMarked : runUnmarked) plan.entries.Add(name);
    }
    return plan;
}

bool IsContainerScript() {
    DiskFile script;
    if (!script.Open(TempInstallPath() + L"setup.dat", GENERIC_READ, OPEN_EXISTING, false)) return false;
    WString line;
    while (ReadLine(script, line, false)) {
        if (Is(line, L"[InstallContainer]")) return true;
    }
    return false;
}

ContainerResult RunContainer(const ContainerWindowHooks& window) {
    ContainerResult result;
    if (!IsContainerScript()) return result;
    result.handled = true;
    WorkerThread worker;
    if (!worker.Start([&window, &result](ManualEvent&, int32_t) { ContainerWorker(window, result); }, 0,
                      kWorkerStopTimeoutMs)) {
        return result;
    }
    bool quit = false;
    while (worker.IsRunning()) {
        if (!quit) PumpMessages(quit);
        ::Sleep(50);
    }
    worker.Stop();
    return result;
}

}  // namespace tarvo
