// setup.exe: the installer, uninstaller and container runner in one executable.
#include "startup/Startup.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    tarvo::HardenDllSearch();
    return int(tarvo::RunSetup(instance));
}
