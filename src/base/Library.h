#pragma once
// Loading a product's self-registering library by its full path.
#include "base/Handle.h"
#include "base/Text.h"

namespace tarvo {

// Loads the library at `path`, finding the libraries it depends on in its own folder and the
// system folder. The installer restricts the default search to the system folder at start-up,
// which a product library whose dependencies sit beside it would otherwise fail under.
ModuleHandle LoadComponentLibrary(const WString& path);

}  // namespace tarvo
