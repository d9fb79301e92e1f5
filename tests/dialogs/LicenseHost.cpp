// dialogs_license_host FILE [DPI]
//
// Shows the licence window over a package whose "setup.lic" holds the bytes of FILE, with the
// caption "Tarvo licence", optionally choosing the pictures and fonts of another DPI (96, 120,
// 144). Exits with the window's end code. A tool for looking at the window, not a test.
#include "base/Process.h"
#include "dialogs/License.h"
#include "package/PackageFixture.h"
#include "package/SetupPackage.h"
#include "ui/Window.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

using namespace tarvo;
using namespace tarvo::testing;

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        std::printf("usage: dialogs_license_host FILE [DPI]\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::printf("cannot read the terms file\n");
        return 2;
    }
    std::string terms((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (argc >= 3) SetScreenDpi(_wtoi(argv[2]));
    Bytes archive = Archive({Entry("setup.dat", "[Setup]\r\n"), Entry("setup.lic", terms)});
    bool failed = false;
    SetupPackage package(failed, archive.data(), archive.size());
    CurrentPackage = &package;
    InstallerCaption = L"Tarvo licence";
    INT_PTR code = ShowLicenseWindow(nullptr);
    std::printf("end code %d\n", int(code));
    CurrentPackage = nullptr;
    return int(code);
}
