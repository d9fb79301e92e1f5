#pragma once
// Names of the uninstall record: the uninstaller copy shared by every product installed with this
// program, and each product's data file beside it in the system folder.
#include "base/Text.h"

namespace tarvo {

// "<System>TarvoUninstall-<ProjectName>.dat", expanded; depends on the current ProjectName.
WString RecordFilePath();
// "<System>TarvoUninstall.exe", expanded.
WString UninstallerPath();

}  // namespace tarvo
