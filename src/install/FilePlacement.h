#pragma once
// File placement ("[CopyFile]") and self-registration of the placed libraries.
//
// A package file is extracted once to a temporary file and copied over its destination, never
// over a newer version. A destination that another program holds open is replaced at the next
// restart instead. Every placed ".dll" and ".ocx" is queued, and RegisterComponents calls their
// registration entry points once all files are in place.
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

// The file version of a version resource: the fixed file information's most and least
// significant halves. (0, 0) means the file has none. Compared as the pair, high half first.
struct VersionPair {
    uint32_t high = 0;
    uint32_t low = 0;

    bool IsNone() const { return high == 0 && low == 0; }
    bool operator==(const VersionPair& other) const { return high == other.high && low == other.low; }
    bool operator!=(const VersionPair& other) const { return !(*this == other); }
    bool operator<(const VersionPair& other) const {
        return high != other.high ? high < other.high : low < other.low;
    }
};

// Destinations (expanded) to self-register, in the order they were placed. Touched only by the
// install worker; emptied by RegisterComponents.
extern StringList RegistrationQueue;
// Set when a file in use is to be replaced at the next restart; the install wizard offers the
// restart when it builds its finish page.
extern bool RestartNeeded;

// Places package entry `entryName` at `destination` (placeholders allowed in both; the variant
// marker already removed). Returns true when the installation must stop: the entry cannot be
// extracted (a damaged package), or the user cancelled the "disk may be full" question. Messages
// are owned by `owner` and shown in silent mode too.
bool PlaceFile(const WString& entryName, const WString& destination, HWND owner);

// The version of the file at `path`; (0, 0) when it has no version resource or cannot be read.
VersionPair FileVersion(const WString& path);

// Schedules `newFile` to replace `destination` at the next restart: a copy named destination +
// "-TVITMP" is made now, the destination deleted and the copy renamed at the restart. Sets
// RestartNeeded on success.
bool ReplaceAtRestart(const WString& newFile, const WString& destination);

// Queues `path` when its extension is ".dll" or ".ocx" (any ASCII case).
void QueueForRegistration(const WString& path);

// Calls "DllRegisterServer" of each queued library, in order. A library that this process cannot
// load (another processor's, for instance) is handed to the system's regsvr32 in silent mode.
// Failures are ignored. Empties the queue.
void RegisterComponents();

// How RegisterComponents starts its regsvr32 command lines: StartCommandLine unless a test has
// put another runner in place. Returns the runner that was installed before; null restores the
// default.
using CommandRunner = bool (*)(const WString& commandLine, bool wait);
CommandRunner SetRegistrationCommandRunner(CommandRunner runner);

}  // namespace tarvo
