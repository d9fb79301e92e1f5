#include "base/Files.h"

#include "base/MessageBox.h"
#include "base/Random.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace tarvo {

namespace {

const wchar_t kReadErrorCaption[] = L"File Read Error";
const wchar_t kWriteErrorCaption[] = L"File Write Error";

// Asks Retry or Cancel about a file. A box that cannot be shown at all (no desktop to show it
// on: MessageBoxW returns 0) counts as Cancel, so that an unattended run cannot loop forever.
bool AskRetry(const WString& text, const wchar_t* caption) {
    return ShowMessageBox(nullptr, text, caption, MB_RETRYCANCEL | MB_ICONINFORMATION) == IDRETRY;
}

WString Quoted(const wchar_t* lead, const WString& path) {
    WString text(lead);
    text += path;
    text += L"'";
    return text;
}

bool IsFolder(const WString& longPath) {
    DWORD attributes = ::GetFileAttributesW(longPath.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A junction or a symbolic link to a folder: removing it must not reach into its target.
bool IsLinkedFolder(const WIN32_FIND_DATAW& data) {
    return (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
           IsReparseTagNameSurrogate(data.dwReserved0);
}

}  // namespace

// --- path texts ----------------------------------------------------------------------------------

WString LongPathForm(const WString& path, int limit) {
    if (path.Count() < limit || (path.At(1) == L'\\' && path.At(2) == L'\\')) return path;
    WString prefixed(L"\\\\?\\");
    prefixed += path;
    return prefixed;
}

WString PathExtension(const WString& path) {
    int dot = path.FindLast(L'.');
    if (dot > path.FindLast(L'\\')) return path.From(dot);
    return WString(L".");
}

WString PathFileName(const WString& path) { return path.From(path.FindLast(L'\\') + 1); }

WString PathWithoutExtension(const WString& path) {
    int dot = path.FindLast(L'.');
    return dot ? path.Left(dot - 1) : path;
}

WString PathFileTitle(const WString& path) { return PathWithoutExtension(PathFileName(path)); }

WString PathFolder(const WString& path) {
    int slash = path.FindLast(L'\\');
    return slash ? path.Left(slash) : path;
}

WString AddTrailingBackslash(const WString& path) {
    WString result(path);
    if (result.At(kLastPosition) != L'\\') result += L'\\';
    return result;
}

WString RemoveTrailingBackslashes(const WString& path) {
    WString result(path);
    while (result.At(kLastPosition) == L'\\') result.RemoveLast(1);
    return result;
}

int PathRootLength(const WString& path) {
    bool prefixed = path.Left(4) == WString(L"\\\\?\\");
    return path.Find(L'\\', prefixed ? 7 : 3) + 1;
}

// --- DiskFile ------------------------------------------------------------------------------------

DiskFile::DiskFile(HANDLE handle, const WString& path, bool showErrors)
    : path_(path), handle_(handle), showErrors_(showErrors), ownsHandle_(false) {}

DiskFile::DiskFile(DiskFile&& other) noexcept
    : path_(std::move(other.path_)),
      handle_(std::move(other.handle_)),
      showErrors_(other.showErrors_),
      ownsHandle_(other.ownsHandle_) {
    other.ownsHandle_ = false;
}

DiskFile& DiskFile::operator=(DiskFile&& other) noexcept {
    if (this != &other) {
        Close();
        path_ = std::move(other.path_);
        handle_ = std::move(other.handle_);
        showErrors_ = other.showErrors_;
        ownsHandle_ = other.ownsHandle_;
        other.ownsHandle_ = false;
    }
    return *this;
}

void DiskFile::Close() {
    if (ownsHandle_) {
        handle_.Reset();
    } else {
        handle_.Release();
    }
    ownsHandle_ = false;
}

bool DiskFile::Open(const WString& path, DWORD access, DWORD disposition, bool showErrors) {
    Close();
    path_ = path;
    showErrors_ = showErrors;
    const bool writing = (access & (GENERIC_WRITE | GENERIC_ALL | FILE_WRITE_DATA | FILE_APPEND_DATA)) != 0;
    for (;;) {
        if (!path_.Empty()) {
            WString systemPath = LongPathForm(path_, kOpenPathLimit);
            handle_.Reset(::CreateFileW(systemPath.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                        disposition, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (handle_) {
                ownsHandle_ = true;
                return true;
            }
        }
        if (!showErrors_) return false;
        if (!AskRetry(Quoted(L"Unable to open '", path_), writing ? kWriteErrorCaption : kReadErrorCaption)) {
            return false;
        }
    }
}

DWORD DiskFile::Read(DWORD count, void* buffer) {
    if (count == 0 || !buffer) return 0;
    DWORD delivered = 0;
    for (;;) {
        if (handle_) {
            DWORD got = 0;
            BOOL ok = ::ReadFile(handle_.Get(), static_cast<uint8_t*>(buffer) + delivered, count - delivered, &got,
                                 nullptr);
            delivered += got;
            // Success with fewer bytes than asked is the end of the file.
            if (ok || ::GetLastError() == ERROR_HANDLE_EOF) return delivered;
        }
        // Retry continues after the bytes already delivered, at the file's current position.
        if (!showErrors_ || !AskRetry(Quoted(L"Unable to read from '", path_), kReadErrorCaption)) return delivered;
    }
}

bool DiskFile::Write(DWORD count, const void* buffer) {
    if (!buffer) {
        if (count == 0) return true;
        if (showErrors_) {
            ShowMessageBox(nullptr, L"Error writing a NULL buffer to file", kWriteErrorCaption, MB_OK | MB_ICONINFORMATION);
        }
        return false;
    }
    DWORD written = 0;
    for (;;) {
        if (handle_) {
            DWORD put = 0;
            BOOL ok = ::WriteFile(handle_.Get(), static_cast<const uint8_t*>(buffer) + written, count - written, &put,
                                  nullptr);
            written += put;
            if (ok && written == count) return true;
            // A partial write that reports success goes on with the rest at once.
            if (ok && put != 0) continue;
        }
        // Retry writes only what has not been written yet: the file position has moved past the
        // part that was, and writing it again would duplicate it.
        if (!showErrors_ || !AskRetry(Quoted(L"Unable to write to '", path_), kWriteErrorCaption)) return false;
    }
}

bool DiskFile::WriteText(const char* text, bool lineEnd) {
    std::string bytes(text ? text : "");
    if (lineEnd) bytes += "\r\n";
    return Write(DWORD(bytes.size()), bytes.data());
}

bool DiskFile::Seek(int64_t distance, SeekOrigin origin) {
    if (!handle_) return false;
    LARGE_INTEGER move;
    move.QuadPart = distance;
    return ::SetFilePointerEx(handle_.Get(), move, nullptr, origin == FromCurrent ? FILE_CURRENT : FILE_BEGIN) != 0;
}

uint64_t DiskFile::Size() const {
    LARGE_INTEGER size;
    if (!handle_ || !::GetFileSizeEx(handle_.Get(), &size)) return 0;
    return uint64_t(size.QuadPart);
}

// --- ReadLine ------------------------------------------------------------------------------------

bool ReadLine(DiskFile& file, WString& line, bool wide) {
    line.Clear();
    const DWORD unit = wide ? 2 : 1;
    auto next = [&](wchar_t& ch) -> bool {
        uint8_t bytes[2] = {0, 0};
        if (file.Read(unit, bytes) != unit) return false;
        ch = wide ? wchar_t(bytes[0] | (bytes[1] << 8)) : wchar_t(bytes[0]);
        return true;
    };
    for (;;) {
        wchar_t ch;
        if (!next(ch)) return !line.Empty();
        if (ch == L'\r') {
            // CR LF is one line end; anything else after the CR belongs to the next line. When
            // nothing follows, the line ends as at the end of the file.
            wchar_t after;
            if (!next(after)) return !line.Empty();
            if (after != L'\n') file.Seek(-int64_t(unit), DiskFile::FromCurrent);
            return true;
        }
        if (ch == L'\n') return true;
        if (wide) {
            if (ch == 0xFEFF && line.Empty()) continue;  // byte-order mark
            line += ch;
        } else if (ch < 0x80) {
            line += ch;  // every ANSI code page is ASCII below 0x80
        } else {
            char byte = char(ch);
            line += FromAnsi(&byte, 1);
        }
    }
}

// --- files and folders ---------------------------------------------------------------------------

uint64_t FileSize(const WString& path) {
    WIN32_FIND_DATAW data;
    FindHandle found(::FindFirstFileW(LongPathForm(path, kFolderPathLimit).c_str(), &data));
    if (!found) return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool PathExists(const WString& path) {
    // GetDriveTypeW("\") names the current drive: the empty text must not count as a drive root.
    if (path.Empty()) return false;
    WIN32_FIND_DATAW data;
    FindHandle found(::FindFirstFileW(LongPathForm(path, kFolderPathLimit).c_str(), &data));
    if (found) return true;
    return ::GetDriveTypeW(AddTrailingBackslash(path).c_str()) != DRIVE_NO_ROOT_DIR;
}

bool ClearReadOnly(const WString& path) {
    WString systemPath = LongPathForm(path, kFolderPathLimit);
    DWORD attributes = ::GetFileAttributesW(systemPath.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    attributes &= ~DWORD(FILE_ATTRIBUTE_READONLY);
    // Zero would tell the system to leave the attributes unchanged.
    if (attributes == 0) attributes = FILE_ATTRIBUTE_NORMAL;
    return ::SetFileAttributesW(systemPath.c_str(), attributes) != 0;
}

bool DeleteFile(const WString& path, bool secondAttempt) {
    if (::DeleteFileW(LongPathForm(path, kFolderPathLimit).c_str())) return true;
    if (secondAttempt || ::GetLastError() != ERROR_ACCESS_DENIED) return false;
    ClearReadOnly(path);
    return DeleteFile(path, true);
}

bool DeleteTree(const WString& folder, const WString& pattern, bool recurse) {
    // A drive ("C:") or a root ("C:\") is never emptied.
    WString base = RemoveTrailingBackslashes(folder);
    if (base.Count() < 3) return false;
    const WString& match = pattern.Empty() ? WString(L"*.*") : pattern;
    bool allDeleted = true;
    FileFinder finder(base + L"\\" + match);
    while (finder.Next()) {
        if (!finder.IsFolder()) {
            if (!DeleteFile(finder.Path())) allDeleted = false;
        } else if (!recurse) {
            continue;
        } else if (IsLinkedFolder(finder.Data())) {
            if (!::RemoveDirectoryW(LongPathForm(finder.Path(), kFolderPathLimit).c_str())) allDeleted = false;
        } else if (!DeleteTree(finder.Path(), match, true)) {
            allDeleted = false;
        }
    }
    if (allDeleted) ::RemoveDirectoryW(LongPathForm(base, kFolderPathLimit).c_str());
    return allDeleted;
}

bool CreateFolderTree(const WString& path) {
    WString full = LongPathForm(path, kFolderPathLimit);
    if (full.Empty()) return false;
    const int root = PathRootLength(full);
    StringList levels;
    WString rest = full;
    for (;;) {
        rest = RemoveTrailingBackslashes(rest);
        if (rest.Length() <= root) break;
        int slash = rest.FindLast(L'\\');
        levels.Insert(0, rest.From(slash + 1));
        rest = rest.Left(slash);
    }
    WString current = full.Left(root - 1);
    for (int i = 0; i < levels.Count(); ++i) {
        current += levels.At(i);
        // A folder that exists counts as created (the system may report it as "already exists"
        // or, for folders the user may not write to, as "access denied"); a file of that name
        // does not.
        if (!::CreateDirectoryW(current.c_str(), nullptr) && !IsFolder(current)) return false;
        current += L'\\';
    }
    return true;
}

FileFinder::FileFinder(const WString& patternPath, bool foldersOnly)
    : pattern_(patternPath), folder_(patternPath.Left(patternPath.FindLast(L'\\'))), foldersOnly_(foldersOnly) {}

bool FileFinder::Next() {
    for (;;) {
        if (!started_) {
            started_ = true;
            handle_.Reset(::FindFirstFileW(LongPathForm(pattern_, kFolderPathLimit).c_str(), &data_));
            if (!handle_) return false;
        } else if (!handle_ || !::FindNextFileW(handle_.Get(), &data_)) {
            return false;
        }
        if (foldersOnly_ && !IsFolder()) continue;
        if (std::wcscmp(data_.cFileName, L".") == 0 || std::wcscmp(data_.cFileName, L"..") == 0) continue;
        path_ = folder_ + data_.cFileName;
        return true;
    }
}

// --- temporary names -----------------------------------------------------------------------------

WString TempFolder() {
    wchar_t buffer[260];
    DWORD count = ::GetTempPathW(260, buffer);
    WString folder = (count == 0 || count >= 260) ? WString(L"C:\\Temp") : WString(buffer, int(count));
    return AddTrailingBackslash(folder);
}

void TempFileName::Free() {
    if (path_.Empty()) return;
    DeleteFile(path_);
    path_.Clear();
}

const WString& TempFileName::Make(const char* prefix, const char* suffix) {
    Free();
    WString lead = prefix ? FromAnsi(prefix) : WString(L"TMP");
    WString folder = TempFolder();
    wchar_t buffer[MAX_PATH] = {};
    if (::GetTempFileNameW(folder.c_str(), lead.c_str(), 0, buffer) != 0 && buffer[0] != 0) {
        path_ = buffer;
    } else {
        path_ = FormatText(L"%s%s%d.tmp", folder.c_str(), lead.c_str(), int(ProcessRandom().Next(9999)));
    }
    if (suffix) {
        DeleteFile(path_);
        path_ += FromAnsi(suffix);
    }
    DiskFile file;
    if (!file.Open(path_, GENERIC_WRITE, CREATE_ALWAYS, false)) {
        CreateFolderTree(folder);
        file.Open(path_, GENERIC_WRITE, CREATE_ALWAYS, false);
    }
    return path_;
}

bool CreateTempInstallFolder(WString& folder) {
    if (!folder.Empty()) DeleteTree(folder, L"*.*", true);
    // The folder takes the name of a fresh temporary file. Once that file is gone, another process
    // (names come from the clock) may take the name for a file or a folder of its own: the folder
    // must be created new here, and an existing one is never used, since its owner deletes it.
    constexpr int kAttempts = 100;
    WString name;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        {
            TempFileName file;
            name = file.Make("TVI");
        }
        if (::CreateDirectoryW(LongPathForm(name, kFolderPathLimit).c_str(), nullptr)) {
            folder = AddTrailingBackslash(name);
            return true;
        }
        DWORD error = ::GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS && error != ERROR_ACCESS_DENIED) break;
    }
    // The temporary folder itself missing, or no name free: make the parents, then this folder,
    // still only as a new one.
    folder = AddTrailingBackslash(name);
    CreateFolderTree(PathFolder(name));
    return ::CreateDirectoryW(LongPathForm(name, kFolderPathLimit).c_str(), nullptr) != FALSE;
}

}  // namespace tarvo
