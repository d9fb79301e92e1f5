#include "package/SetupPackage.h"

#include "base/MessageBox.h"
#include "base/Process.h"

namespace tarvo {

SetupPackage* CurrentPackage = nullptr;

SetupPackage::SetupPackage(bool& loadFailed, HMODULE module) {
    loadFailed = false;
    CreateTempInstallFolder(folder_);
    archive_ = new PackageArchive(module);
    ExtractFixedFiles(loadFailed);
}

SetupPackage::SetupPackage(bool& loadFailed, const void* bytes, size_t size) {
    loadFailed = false;
    CreateTempInstallFolder(folder_);
    archive_ = new PackageArchive(bytes, size);
    ExtractFixedFiles(loadFailed);
}

void SetupPackage::ExtractFixedFiles(bool& loadFailed) {
    WString folder = TempInstallPath();
    if (!archive_->ExtractEntry(L"setup.dat", folder + L"setup.dat")) loadFailed = true;
    if (archive_->FindEntry(L"setup.bmp")) archive_->ExtractEntry(L"setup.bmp", folder + L"setup.bmp");
    hasTerms_ = false;
    if (archive_->FindEntry(L"setup.lic")) {
        archive_->ExtractEntry(L"setup.lic", folder + L"setup.lic");
        hasTerms_ = true;
    }
    if (loadFailed) {
        ShowMessageBox(nullptr, L"This installation is corrupted, please obtain a new copy.", InstallerCaption,
                       MB_OK | MB_ICONERROR);
    }
}

SetupPackage::~SetupPackage() {
    delete archive_;
    archive_ = nullptr;
    if (!folder_.Empty()) DeleteTree(folder_, L"*.*", true);
    if (CurrentPackage == this) CurrentPackage = nullptr;
}

WString SetupPackage::TempInstallPath() const { return AddTrailingBackslash(folder_); }

WString TempInstallPath() { return CurrentPackage ? CurrentPackage->TempInstallPath() : WString(); }

}  // namespace tarvo
