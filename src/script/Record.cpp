#include "script/Record.h"

#include "base/Process.h"
#include "script/Placeholders.h"

namespace tarvo {

WString RecordFilePath() {
    WString path = FormatText(L"<System>TarvoUninstall-%s.dat", ProjectName.c_str());
    ExpandPlaceholders(path);
    return path;
}

WString UninstallerPath() {
    WString path(L"<System>TarvoUninstall.exe");
    ExpandPlaceholders(path);
    return path;
}

}  // namespace tarvo
