#include "base/Library.h"

namespace tarvo {

ModuleHandle LoadComponentLibrary(const WString& path) {
    // The LOAD_LIBRARY_SEARCH_* flags need Windows 8 or Windows 7's 2011 loader update; without
    // them the call fails with ERROR_INVALID_PARAMETER and the older altered search path serves.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr,
                                      LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!module && ::GetLastError() == ERROR_INVALID_PARAMETER) {
        module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    return ModuleHandle(module);
}

}  // namespace tarvo
