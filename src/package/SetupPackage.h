#pragma once
// The package opened for this run: its archive and the temporary install folder that holds
// "setup.dat", "setup.bmp" and "setup.lic" and whatever else the run extracts.
#include "package/Archive.h"

namespace tarvo {

class SetupPackage {
public:
    // Makes a fresh temporary install folder, opens the archive of `module` and extracts the fixed
    // files. `loadFailed` is set only when "setup.dat" could not be extracted.
    explicit SetupPackage(bool& loadFailed, HMODULE module = nullptr);
    // For archives that do not come from a resource.
    SetupPackage(bool& loadFailed, const void* bytes, size_t size);
    // Deletes the archive copy and the whole temporary install folder.
    ~SetupPackage();
    SetupPackage(const SetupPackage&) = delete;
    SetupPackage& operator=(const SetupPackage&) = delete;

    PackageArchive& Archive() { return *archive_; }
    bool HasTerms() const { return hasTerms_; }
    // The temporary install folder with a trailing backslash.
    WString TempInstallPath() const;

private:
    void ExtractFixedFiles(bool& loadFailed);

    WString folder_;
    PackageArchive* archive_ = nullptr;
    bool hasTerms_ = false;
};

// The process's package; null in uninstall mode and before start-up opens it.
extern SetupPackage* CurrentPackage;

// `CurrentPackage->TempInstallPath()`, or the empty text when no package is loaded.
WString TempInstallPath();

}  // namespace tarvo
