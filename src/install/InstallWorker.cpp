#include "install/InstallWorker.h"

#include "base/Com.h"
#include "base/Files.h"
#include "base/MessageBox.h"
#include "base/Process.h"
#include "base/Progress.h"
#include "install/FilePlacement.h"
#include "install/Programs.h"
#include "install/RegistryEntry.h"
#include "install/Restart.h"
#include "install/UninstallRecord.h"
#include "package/SetupPackage.h"
#include "script/Placeholders.h"
#include "script/Record.h"
#include "script/Settings.h"
#include "script/SetupScript.h"
#include "script/ShellLink.h"

namespace tarvo {

bool InstallCancelled = false;
InstallStop InstallStopReason = InstallStop::None;
std::vector<OptionalShortcut> OptionalShortcuts;
std::vector<OptionalProgram> OptionalPrograms;
int32_t FinishStepsDone = 0;

namespace {

bool Is(const WString& line, const wchar_t* header) { return Compare(line, header, false) == 0; }

void MakeShortcut(const WString& shortcutPath, const WString& target, const WString& arguments) {
    ShortcutOptions options;
    options.target = target;
    options.arguments = arguments;
    options.workingFolder = PathFolder(target);  // taken before the placeholders are expanded
    options.options = kShortcutArguments | kShortcutWorkingFolder;
    CreateShortcut(shortcutPath, options);
}

// Offers to remove an earlier installation of the product. False when the install must end.
bool HandleEarlierVersion(HWND owner) {
    if (!OfferUninstallOld || SilentMode || !PathExists(RecordFilePath())) return true;
    WString question = FormatText(L"Setup has detected an existing version of %s.\r\n\r\n", ProjectName.c_str());
    if (!ProgramVersion.Empty()) {
        question += L"  Installing Version: ";
        question += ProgramVersion;
        question += L"\r\n  Existing Version: ";
        question += ReadRecordedVersion(RecordFilePath());
        question += L"\r\n\r\n";
    }
    question += L"Uninstall existing before installing new? (Cancel to exit, leaving existing version).";
    int answer = ShowMessageBox(owner, question, InstallerCaption, MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDCANCEL) {
        InstallCancelled = true;
        InstallStopReason = InstallStop::UserCancelled;
        return false;
    }
    if (answer == IDYES) {
        StartCommandLine(FormatText(L"\"%s\" <Silent> <uninstall>%s", UninstallerPath().c_str(), RecordFilePath().c_str()),
                         true);
        ::Sleep(4000);
        if (InstallCancelled) return false;
    }
    return true;
}

}  // namespace

void ResetInstallOutcome() {
    InstallCancelled = false;
    InstallStopReason = InstallStop::None;
    OptionalShortcuts.clear();
    OptionalPrograms.clear();
    FinishStepsDone = 0;
}

WString ReadRecordedVersion(const WString& recordPath) {
    DiskFile file;
    if (file.Open(recordPath, GENERIC_READ, OPEN_EXISTING, false)) {
        WString line;
        while (ReadLine(file, line, false)) {
            if (Is(line, L"[ProgramVersion]")) {
                ReadLine(file, line, false);
                return line;
            }
        }
    }
    return WString(L"[Unknown]");
}

bool ChooseVariant(WString& destination, const StringList& destinations) {
    bool win64 = false, unicode = false;
    if (destination.Contains(L"__TVI_WIN64")) {
        ReplaceAll(destination, L"__TVI_WIN64", L"", false);
        win64 = true;
    } else if (destination.Contains(L"__TVI_UNICODE")) {
        ReplaceAll(destination, L"__TVI_UNICODE", L"", false);
        unicode = true;
    }
    if (win64) return RunningUnderWow64 != FALSE;
    WString extension = PathExtension(destination);
    WString base = PathWithoutExtension(destination);
    StringList competitors;
    if (RunningUnderWow64) competitors.Add(base + L"__TVI_WIN64" + extension);
    if (!unicode) competitors.Add(base + L"__TVI_UNICODE" + extension);
    for (int i = 0; i < competitors.Count(); ++i) {
        if (destinations.Contains(competitors.At(i), true)) return false;
    }
    return true;
}

void InstallWorker(ManualEvent& stop, HWND owner) {
    ComApartment com;
    InstallStopReason = InstallStop::None;
    if (!HandleEarlierVersion(owner)) return;

    static const ScriptSection kCopyFile[] = {{L"[CopyFile]", 2}};
    SetupScript script(kCopyFile, 1);
    bool success = true;
    if (script.Open(TempInstallPath() + L"setup.dat")) {
        StringList destinations;
        StringList entries;
        int32_t total = 0;
        StringList values;
        while (script.NextSection()) {
            script.ReadValues(2, values);
            entries.Add(values.At(0));
            destinations.Add(values.At(1));
            ++total;
        }
        script.Rewind();
        if (CurrentPackage) CurrentPackage->Archive().Prefetch(entries);

        int32_t done = 0;
        while (script.NextLine()) {
            if (stop.IsSet()) InstallCancelled = true;
            if (InstallCancelled) {
                if (InstallStopReason == InstallStop::None) InstallStopReason = InstallStop::Stopped;
                success = false;
                break;
            }
            WString line = script.Line();
            if (Is(line, L"[Action]")) {
                PublishCaption(script.ReadValue());
            } else if (Is(line, L"[CopyFile]")) {
                WString entry = script.ReadValue();
                WString destination = script.ReadValue();
                PublishProgress(++done, total);
                if (ChooseVariant(destination, destinations)) {
                    if (PlaceFile(entry, destination, owner)) {
                        success = false;
                        InstallCancelled = true;
                        InstallStopReason = InstallStop::Failed;
                        break;
                    }
                    RegisterAppPath(destination);
                }
            } else if (Is(line, L"[CreateIcon]")) {
                script.ReadValues(4, values);
                const WString& option = values.At(3);
                if (!IsOptionLine(option)) {
                    MakeShortcut(values.At(1), values.At(0), values.At(2));
                } else if (!SilentMode) {
                    OptionalShortcuts.push_back({false, values.At(1), values.At(0), values.At(2), OptionCaption(option)});
                }
            } else if (Is(line, L"[RunAndWaitFile]") || Is(line, L"[RunFile]")) {
                bool wait = Is(line, L"[RunAndWaitFile]");
                if (done > 0) WriteUninstallRecord();
                script.ReadValues(3, values);
                const WString& option = values.At(2);
                if (!IsOptionLine(option)) {
                    RunProgram(values.At(0), values.At(1), wait, done > 0, owner);
                } else if (!SilentMode) {
                    OptionalPrograms.push_back({false, values.At(0), values.At(1), wait, OptionCaption(option)});
                }
            } else if (Is(line, L"[Message]")) {
                // In silent mode the two value lines are passed over as ordinary lines.
                if (SilentMode) continue;
                WString text = script.ReadValue();
                ExpandPlaceholders(text);
                text = MessageText(text);
                WString kind = script.ReadValue();
                int answer = ShowMessageBox(owner, text, InstallerCaption, MessageBoxType(kind));
                if (Is(kind, L"QuestionYesNo") && answer == IDNO) {
                    InstallStopReason = InstallStop::Declined;
                    success = false;
                    break;
                }
            } else if (Is(line, L"[Registry]")) {
                WriteRegistryEntry(script, owner);
            }
        }
    }
    if (success) {
        PublishCaption(L"Registering Dlls");
        RegisterComponents();
    }
    script.Close();
}

void FinishActions(bool restartChosen, HWND owner) {
    ComApartment com;
    for (const OptionalShortcut& shortcut : OptionalShortcuts) {
        if (shortcut.chosen) MakeShortcut(shortcut.shortcutPath, shortcut.target, shortcut.arguments);
        ++FinishStepsDone;
    }
    for (const OptionalProgram& program : OptionalPrograms) {
        if (program.chosen) RunProgram(program.program, program.arguments, program.wait, true, owner);
        ++FinishStepsDone;
    }
    if (restartChosen) {
        RestartSystem();
        ++FinishStepsDone;
    }
}

}  // namespace tarvo
