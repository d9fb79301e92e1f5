#pragma once
// Starting a second copy of the installer (or any program) through the shell, elevated when
// needed, and the launcher's loop that serves the copy's requests until it ends.
#include "base/Text.h"
#include "elevation/RequestChannel.h"

namespace tarvo {

// Asks the shell to start `file` with `parameters` (none when empty) and `verb` (null: the
// default verb, which opens a document with its associated program). No owner window, no
// working folder, a normal window. The shell shows no error box of its own: callers report
// failures in their own words, or not at all in silent mode. On success the new process may
// bring its windows to the foreground, and with `wait` the call returns when it has ended (a
// document opened by a program that is already running has no process to wait for).
// `exitCode`, when given, receives the process's exit code after a wait (0 otherwise).
bool StartWithShell(const WString& file, const WString& parameters, const wchar_t* verb, bool wait,
                    DWORD* exitCode = nullptr);

// Starts `program` with the "runas" verb, which elevates it. False, without a message, when the
// user refused elevation or the program could not be started.
bool LaunchElevated(const WString& program, const WString& arguments, bool wait, DWORD* exitCode = nullptr);

// The launcher's whole job: starts `program` (elevated unless this process already has
// administrator rights, in which case no elevation prompt is shown) and, until it ends, serves
// the request file at `channelPath` whenever it is not empty, checking once a second. `run`
// carries out "[run]" requests. False when the program could not be started.
// `exitCode` receives the copy's exit code.
bool LaunchAndServe(const WString& program, const WString& arguments, const WString& channelPath,
                    const RunRequestHandler& run, DWORD* exitCode = nullptr);

}  // namespace tarvo
