#pragma once
// The install action runner: walks the setup script and carries out its actions in file order on
// a worker thread, publishing progress for the wizard; collects the optional shortcuts and
// programs that the finish page offers, and carries out the chosen ones afterwards.
#include "base/Sync.h"
#include "base/Text.h"

#include <cstdint>
#include <vector>

namespace tarvo {

struct OptionalShortcut {
    bool chosen = false;
    WString shortcutPath;  // as written in the script
    WString target;
    WString arguments;
    WString caption;
};

struct OptionalProgram {
    bool chosen = false;
    WString program;
    WString arguments;
    bool wait = false;  // "[RunAndWaitFile]"
    WString caption;
};

// Install outcome shared with the wizard. The lists are filled by the worker and read by the
// wizard only after the worker has ended.
extern bool InstallCancelled;
extern std::vector<OptionalShortcut> OptionalShortcuts;
extern std::vector<OptionalProgram> OptionalPrograms;
extern int32_t FinishStepsDone;

// Why the last InstallWorker run ended early; None after a complete run. Lets the caller tell a
// user's decision apart from a failure, which InstallCancelled alone does not.
enum class InstallStop : int32_t { None, Stopped, UserCancelled, Declined, Failed };
extern InstallStop InstallStopReason;

// Runs the installation. `owner` (the wizard window) owns every message box. Ends early when
// `stop` is set, on Cancel of the earlier-version question, on a fatal file placement failure,
// or on No to a "QuestionYesNo" message.
void InstallWorker(ManualEvent& stop, HWND owner);

// Carries out the chosen optional shortcuts and programs, then the restart when chosen.
void FinishActions(bool restartChosen, HWND owner);

// The version line of an installed product's record, or "[Unknown]".
WString ReadRecordedVersion(const WString& recordPath);

// Whether a "[CopyFile]" destination is the variant to install on this Windows; removes its
// "__TVI_WIN64" or "__TVI_UNICODE" marker in place.
bool ChooseVariant(WString& destination, const StringList& destinations);

// Start values for a new run in the same process (tests).
void ResetInstallOutcome();

}  // namespace tarvo
