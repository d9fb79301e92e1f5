#pragma once
// Removing an installed product from its uninstall record: the uninstall programs, the registry
// values, the files and shortcuts (keeping files another installed product also installs), the
// App Paths keys, emptied folders, and finally the record itself.
#include "base/Sync.h"
#include "base/Text.h"

namespace tarvo {

// Set when a file had to be left for deletion at the next restart.
extern bool UninstallNeedsRestart;

// The product name a record path carries: "TarvoUninstall-Foo-Bar.dat" gives "Foo-Bar".
WString RecordProductName(const WString& recordPath);

// The folder recorded for a product ("InstallTo" of its Uninstall key), ending in "\"; a lone
// "\" when nothing is recorded.
WString ReadInstallFolder(const WString& productName);

// True when `folder` is what ReadInstallFolder gives for a product whose folder is unknown.
bool IsUnknownInstallFolder(const WString& folder);

// Removes the product named by `UninstallRecordPath`, `ProjectName` and `DestinationFolder`.
// `owner` (the wizard window) owns the error boxes. Paths built on "<Destination>" are left
// alone when the folder is unknown: they would name files this product never installed.
void UninstallWorker(HWND owner);

void UnregisterComponent(const WString& path);
void RemoveAppPath(const WString& path);
// Removes `folder` and then each parent while it is empty, stopping at the system, program and
// shell folders and at a drive root.
void RemoveEmptyFolders(const WString& folder);

}  // namespace tarvo
