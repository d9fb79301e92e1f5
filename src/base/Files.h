#pragma once
// Files and folders: DiskFile (with optional Retry/Cancel questions), line reading, path texts,
// folder trees, deletion that copes with read-only files, folder enumeration and temporary names.
//
// Every path is a WString in the form the caller knows; the "\\?\" long-path prefix is added here,
// just before the system call, so that callers never see it.
#include "base/Handle.h"
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

// --- path texts (no disk access) ---------------------------------------------------------------

// Paths of this many characters or more get the "\\?\" prefix when files are opened...
constexpr int kOpenPathLimit = 260;
// ...and when folders are created, removed or searched, or attributes are changed (the system's
// folder limit leaves room for an 8.3 name below the folder).
constexpr int kFolderPathLimit = 248;

// The path with "\\?\" in front when it has at least `limit` characters and does not begin with
// "\\" (a UNC path or one that already carries the prefix); otherwise unchanged.
WString LongPathForm(const WString& path, int limit);

// From the last "." to the end when that "." lies after the last "\"; otherwise ".".
WString PathExtension(const WString& path);
// The text after the last "\" (the whole text when there is none).
WString PathFileName(const WString& path);
// The text less everything from its last "." on, wherever that "." lies.
WString PathWithoutExtension(const WString& path);
// The file name less everything from its last "." on.
WString PathFileTitle(const WString& path);
// The text up to and including the last "\" (unchanged when there is none).
WString PathFolder(const WString& path);
WString AddTrailingBackslash(const WString& path);
WString RemoveTrailingBackslashes(const WString& path);
// The length (terminator included, like WString::Length) of the root "C:\" or "\\?\C:\": the
// position of the first "\" at or after position 3 (7 in the "\\?\" form), plus one.
int PathRootLength(const WString& path);

// --- DiskFile ----------------------------------------------------------------------------------

// A file handle with its path. With show-errors set, a failed open, read or write asks the user
// Retry or Cancel (no owner window, information icon) instead of failing quietly.
class DiskFile {
public:
    enum SeekOrigin { FromStart, FromCurrent };

    DiskFile() = default;
    explicit DiskFile(const WString& path) : path_(path) {}
    // Wraps a handle opened elsewhere: this object never closes it.
    DiskFile(HANDLE handle, const WString& path, bool showErrors = false);
    DiskFile(DiskFile&& other) noexcept;
    DiskFile& operator=(DiskFile&& other) noexcept;
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;
    ~DiskFile() { Close(); }

    // Opens `path` (any handle held before is closed first) with the given access (GENERIC_READ,
    // GENERIC_WRITE...) and creation disposition (OPEN_EXISTING, CREATE_ALWAYS...), sharing
    // reading and writing. With `showErrors` a failure asks Retry or Cancel.
    bool Open(const WString& path, DWORD access, DWORD disposition, bool showErrors);
    // Reading with questions: open-always, so a missing file is created empty.
    bool OpenForReading(const WString& path) { return Open(path, GENERIC_READ, OPEN_ALWAYS, true); }

    // Returns the number of bytes read. Fewer than `count` means the end of the file was reached,
    // or a failure that the user cancelled (or that was not asked about without show-errors).
    DWORD Read(DWORD count, void* buffer);
    // True when all `count` bytes were written. A null buffer with count 0 succeeds.
    bool Write(DWORD count, const void* buffer);
    // Writes an 8-bit text (null counts as empty), followed by CR LF when `lineEnd` is set.
    bool WriteText(const char* text, bool lineEnd);
    // The same for a text converted to the ANSI code page.
    bool WriteText(const WString& text, bool lineEnd) { return WriteText(text.Narrow(), lineEnd); }
    bool Seek(int64_t distance, SeekOrigin origin = FromStart);
    // 0 without a handle.
    uint64_t Size() const;
    // Closes the handle if this object opened it; forgets it either way.
    void Close();

    bool IsOpen() const { return handle_.Valid(); }
    HANDLE Handle() const { return handle_.Get(); }
    const WString& Path() const { return path_; }
    bool OwnsHandle() const { return ownsHandle_; }
    bool ShowErrors() const { return showErrors_; }
    void SetShowErrors(bool showErrors) { showErrors_ = showErrors; }

private:
    WString path_;
    FileHandle handle_;
    bool showErrors_ = false;
    bool ownsHandle_ = false;
};

// Reads the next line into `line` (emptied first). A line ends at CR, CR LF or a lone LF. In
// 8-bit mode each byte is converted on its own from the ANSI code page; in wide mode the file is
// UTF-16 little-endian and a U+FEFF at the start of a line is dropped. Returns true when a line
// end was read, or at the end of the file when the line is not empty: loop until false.
bool ReadLine(DiskFile& file, WString& line, bool wide);

// --- files and folders -------------------------------------------------------------------------

// The size that a directory search reports for the path; 0 when nothing is found.
uint64_t FileSize(const WString& path);
// A directory search finds the path, or the path names an existing drive root ("C:", "C:\").
bool PathExists(const WString& path);
// Removes the read-only attribute, keeping the others.
bool ClearReadOnly(const WString& path);
// Deletes a file. When the first attempt is denied access, the read-only attribute is cleared and
// the deletion is tried exactly once more (`secondAttempt` marks that try).
bool DeleteFile(const WString& path, bool secondAttempt = false);
// Deletes the entries of `folder` that match `pattern`, descending into matching subfolders when
// `recurse` is set, and then the folder itself when every deletion succeeded. A folder text of
// fewer than 3 characters once trailing "\" are removed ("", "C:", "C:\") is refused with
// false. Linked folders (junctions, symbolic links) are removed as links, never entered. Returns
// whether every entry was deleted; the removal of the folder itself does not count.
bool DeleteTree(const WString& folder, const WString& pattern = L"*.*", bool recurse = true);
// Creates the folder and every missing folder above it. True when every level exists as a folder.
bool CreateFolderTree(const WString& path);

// Walks the entries that match a pattern path such as "C:\dir\*.*", passing over "." and "..".
class FileFinder {
public:
    explicit FileFinder(const WString& patternPath, bool foldersOnly = false);

    // Moves to the next entry; false when there is none.
    bool Next();

    // The folder part of the pattern followed by the entry's name.
    const WString& Path() const { return path_; }
    const wchar_t* Name() const { return data_.cFileName; }
    const WIN32_FIND_DATAW& Data() const { return data_; }
    DWORD Attributes() const { return data_.dwFileAttributes; }
    bool IsFolder() const { return (data_.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    uint64_t Size() const { return (uint64_t(data_.nFileSizeHigh) << 32) | data_.nFileSizeLow; }

private:
    WString pattern_;
    WString folder_;
    WString path_;
    FindHandle handle_;
    bool started_ = false;
    bool foldersOnly_;
    WIN32_FIND_DATAW data_{};
};

// --- temporary names ---------------------------------------------------------------------------

// The system temporary folder, or "C:\Temp" when the system names none; always ending in "\".
WString TempFolder();

// The name of an empty file that this object created in the temporary folder; making a new name
// or destroying the object deletes the file.
class TempFileName {
public:
    TempFileName() = default;
    ~TempFileName() { Free(); }
    TempFileName(const TempFileName&) = delete;
    TempFileName& operator=(const TempFileName&) = delete;

    // `prefix` null means "TMP" (the system uses its first three characters); "" is no prefix.
    // `suffix`, when given, is appended to the system's name (the file without it is removed).
    // Never fails to give a name: when the system cannot, one is made from a random number.
    const WString& Make(const char* prefix = nullptr, const char* suffix = nullptr);
    // Deletes the file and forgets the name.
    void Free();

    const WString& Path() const { return path_; }
    operator const WString&() const { return path_; }

private:
    WString path_;
};

// Deletes the tree named by `folder` (when not empty), then makes a new empty folder named like
// a temporary file with the prefix "TVI" and puts its path, ending in "\", into `folder`.
// Returns whether the folder was created; it is always a folder that did not exist before, also
// when other processes make theirs at the same moment.
bool CreateTempInstallFolder(WString& folder);

}  // namespace tarvo
