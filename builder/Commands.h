#pragma once
// The tarvo-build command line:
//   tarvo-build build PROJECT -o SETUP.EXE [--stub PATH] [--raw] [--level 0-9] [--extreme]
//   tarvo-build list SETUP.EXE
//   tarvo-build extract SETUP.EXE -o DIR
// "list" and "extract" also accept a bare package (as written by "build --raw").
#include <ostream>
#include <string>
#include <vector>

namespace tarvo::packager {

// The installer stub used when --stub is not given: beside the tarvo-build executable.
constexpr char kDefaultStubName[] = "tarvo-setup.exe";

// Runs one command; `args` excludes the program name, `selfPath` is the running executable
// (used to find the default stub). Returns the process exit code: 0 success, 1 failure, 2 usage.
int RunBuilderCommand(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out,
                      std::ostream& err);

}  // namespace tarvo::packager
