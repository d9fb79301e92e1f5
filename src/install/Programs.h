#pragma once
// Programs that the script runs ("[RunFile]", "[RunAndWaitFile]", finishing actions) and the
// process start shared by the engines.
#include "base/Text.h"

namespace tarvo {

// Creates a process from `commandLine` alone (no application name, no inherited handles, the
// caller's environment and current folder) and, with `wait`, waits for it to end. False when it
// cannot be created; GetLastError then tells why (ERROR_ELEVATION_REQUIRED for a program whose
// manifest asks for administrator rights).
bool StartCommandLine(const WString& commandLine, bool wait);
// The same, waiting, with the program's exit code.
bool RunCommandLine(const WString& commandLine, DWORD& exitCode);

// The exit code reported for a program that could not be extracted or started
// (ERROR_INSTALL_FAILURE, what deployment tools read as a failed installation).
constexpr DWORD kProgramNotRun = 1603;

// Runs the program (or opens the document) that a script line names, with `arguments`.
// - A line beginning "<TempInstall>\" names a package entry: it is extracted to a unique
//   temporary name ending in "-" and its own file name, run from there and, after a direct run,
//   deleted.
// - With `mayRunAsUser`, what does not need administrator rights is handed to the launcher
//   through the request channel, so that it runs as the user who started the installer: a
//   document without arguments, or a program whose manifest does not ask for
//   "requireAdministrator". Extracted programs, and arguments containing " -RUNELEVATED" (which
//   is removed), run here.
// - Run here, a document without arguments is opened through the shell; anything else is
//   started as a command line, and a program that needs elevation is started elevated.
// A program that cannot be run is reported as "Error whilst running '%s'" unless in silent mode.
// When `owner` belongs to the calling thread, that thread's messages are dispatched while it waits
// for the program, so that its window keeps painting.
// `exitCode`, when given, receives the exit code of a program run here and waited for (0 when it
// was not waited for or was handed to the launcher), or kProgramNotRun.
void RunProgram(const WString& programLine, const WString& arguments, bool wait, bool mayRunAsUser, HWND owner,
                DWORD* exitCode = nullptr);

// The launcher's handler of "[run]" requests: the program is run here, without owner window.
void RunRequestedProgram(const WString& program, const WString& arguments, bool wait);

// What a program file says about elevation in its embedded manifest.
enum class ManifestLevel {
    Unreadable,             // the file cannot be read to its end
    AsInvoker,              // no "level=requireAdministrator" (quoted or not, any ASCII case)
    RequireAdministrator,
};
ManifestLevel ReadManifestLevel(const WString& programPath);

}  // namespace tarvo
