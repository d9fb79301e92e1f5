#pragma once
// The request channel between the elevated instance and the launcher that started it. Whatever
// must happen as the user who started the installer (values under HKEY_CURRENT_USER, programs
// run as that user) the elevated instance writes into one file and waits; the launcher carries
// the request out and deletes the file. The file's existence is the whole handshake: no file, no
// request pending.
//
// File format: UTF-16 little-endian without a byte-order mark, every line ended by CR LF. Each
// request is a header line and exactly three value lines:
//   "[run]"                program path, arguments, "1" to wait for it to end or "0"
//   "[setreg_hkcu_dword]"  value name, key path under HKEY_CURRENT_USER, decimal number
//   "[setreg_hkcu_string]" value name, key path under HKEY_CURRENT_USER, text
// The reader compares headers exactly and passes over any other line one by one; it also drops a
// U+FEFF at the start of a line and accepts lines ended by LF alone or by the end of the file.
#include "base/Text.h"

#include <functional>

namespace tarvo {

extern const wchar_t kRunRequest[];           // "[run]"
extern const wchar_t kSetDwordRequest[];      // "[setreg_hkcu_dword]"
extern const wchar_t kSetStringRequest[];     // "[setreg_hkcu_string]"

// Carries out a "[run]" request in the launcher: program path, arguments, wait for the program
// to end. The launcher's start-up passes the install engine's program runner (told not to use
// the channel, with no owner window); the channel itself does not know how programs are run.
using RunRequestHandler = std::function<void(const WString& program, const WString& arguments, bool wait)>;

// Launcher side. When the file exists: after a 500 ms pause that lets a writer finish, carries out
// every request in the file in file order, then deletes the file (up to 10 attempts) whether or
// not it could be read:
// the deletion tells the writer that its request is done. Registry writes create missing keys;
// their failures, like those of programs, are not reported back. A null `run` ignores "[run]".
void ServeRequests(const WString& channelPath, const RunRequestHandler& run);

// Elevated side. Takes note of the launcher: the process that started this one. Called by
// start-up, while the launcher is certainly still running; PostRequest calls it too. False when
// the launcher cannot be watched (no parent known, or no right to wait on it): requests then wait
// for the launcher without a limit.
bool WatchLauncher();

// Elevated side. Writes one request (header and its three value lines) to
// `ElevationChannelPath`, replacing any file of that name, and waits until the launcher has
// deleted it. True when the request was carried out. False when it was dropped: the file could
// not be written within 50 attempts, or the launcher has ended without serving it (the file is
// then removed, and every later request is dropped at once).
bool PostRequest(const StringList& lines);

}  // namespace tarvo
