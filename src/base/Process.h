#pragma once
// Process-wide values that several layers read. Start-up sets the mode flags; the settings pass
// sets the product's values; the uninstall start-up sets the record's. They are plain values:
// each is written by one thread before the workers that read it start.
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

extern HINSTANCE ModuleInstance;     // the running executable
extern bool SilentMode;              // "<Silent>" or "--silent" on the command line
// True when Windows is 64-bit as far as the choice of 64-bit settings, placeholders and
// installer variants goes. A 32-bit build answers with IsWow64Process; the x86_64 build runs on
// 64-bit Windows without WOW64 and answers yes.
extern BOOL RunningUnderWow64;
// True when this process is a 32-bit one whose system folder is redirected to "syswow64"; always
// false in the x86_64 build.
extern BOOL RedirectedSystemFolder;
extern WString InstallerCaption;     // caption of the program's message boxes
extern WString ProjectName;
extern WString ElevationChannelPath; // request file, elevated instance only
extern WString DestinationFolder;    // what "<Destination>" names
extern WString UninstallRecordPath;  // uninstall mode: the data file being removed
extern WString ProgramVersion;
extern int64_t InstallSizeKB;
extern bool Use64BitProgramFiles;

// Sets RunningUnderWow64 and RedirectedSystemFolder for this build on this Windows.
void DetectWow64();

}  // namespace tarvo
