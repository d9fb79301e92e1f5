#pragma once
// The tarvo-build command line:
//   tarvo-build build PROJECT -o SETUP.EXE [--stub win32|win64|PATH] [--raw] [--level 0-9]
//               [--extreme] [--threads N] [--codepage N]
//   tarvo-build embed STUB ARCHIVE -o SETUP.EXE
//   tarvo-build list SETUP.EXE
//   tarvo-build verify SETUP.EXE [--threads N]
//   tarvo-build extract SETUP.EXE -o DIR [--codepage N]
// "list", "verify" and "extract" also accept a bare package (as written by "build --raw").
#include <ostream>
#include <string>
#include <vector>

namespace tarvo::packager {

// The installer executable's file name, beside tarvo-build or in the build tree's dist folders.
constexpr char kDefaultStubName[] = "tarvo-setup.exe";

// The installer stub that `choice` names for a tarvo-build at `selfPath`:
//   "win32" or "win64": tarvo-setup.exe beside tarvo-build when it is the installer of that kind
//                       (PE32 or PE32+), else <parent>/win32|win64/tarvo-setup.exe, the sibling
//                       folder in the build tree's layout build/dist/<configuration>/;
//   "":                 as "win32", the default;
//   anything else:      a path, used as it is.
// False when no candidate is there; `error` then names every place looked at.
bool FindInstallerStub(const std::string& choice, const std::string& selfPath, std::string* path, std::string* error);

// Runs one command; `args` excludes the program name, `selfPath` is the running executable
// (used to find the installer stubs). Returns the process exit code: 0 success, 1 failure,
// 2 usage.
int RunBuilderCommand(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out,
                      std::ostream& err);

}  // namespace tarvo::packager
