// tarvo-build: packs a publisher's project folder into an installer executable.
#include "builder/Commands.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <cstdlib>
#else
#include <climits>
#include <unistd.h>
#endif

namespace {

// The running executable, to find the default stub beside it. argv[0] is a bare name when the
// program was found through PATH, so ask the system where it can say.
std::string SelfPath(const char* argv0) {
#ifdef _WIN32
    if (_pgmptr && *_pgmptr) return _pgmptr;
#else
    char buffer[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n > 0) return std::string(buffer, static_cast<size_t>(n));
#endif
    return argv0 ? argv0 : "";
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return tarvo::packager::RunBuilderCommand(args, SelfPath(argc > 0 ? argv[0] : nullptr), std::cout, std::cerr);
}
