#include "builder/ByteIo.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <direct.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace tarvo::packager {

namespace {

int SeekTo(std::FILE* fp, uint64_t offset, int whence) {
#ifdef _WIN32
    return _fseeki64(fp, static_cast<long long>(offset), whence);
#else
    return fseeko(fp, static_cast<off_t>(offset), whence);
#endif
}

int64_t TellOf(std::FILE* fp) {
#ifdef _WIN32
    return _ftelli64(fp);
#else
    return static_cast<int64_t>(ftello(fp));
#endif
}

bool IsSeparator(char c) {
#ifdef _WIN32
    return c == '/' || c == '\\';
#else
    return c == '/';
#endif
}

int MakeOneFolder(const std::string& path) {
#ifdef _WIN32
    return _mkdir(path.c_str());
#else
    return mkdir(path.c_str(), 0777);
#endif
}

}  // namespace

bool MemorySource::ReadAt(uint64_t offset, void* data, size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    if (size) std::memcpy(data, data_ + offset, size);
    return true;
}

bool SliceSource::ReadAt(uint64_t offset, void* data, size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    return base_.ReadAt(offset_ + offset, data, size);
}

File::~File() {
    if (fp_) std::fclose(fp_);
}

bool File::Open(const std::string& path, const char* mode, std::string* error) {
    if (fp_) {
        std::fclose(fp_);
        fp_ = nullptr;
    }
    errno = 0;
    fp_ = std::fopen(path.c_str(), mode);
    if (!fp_) {
        if (error) *error = "cannot open '" + path + "': " + LastErrorText();
        return false;
    }
    return true;
}

bool File::Close() {
    if (!fp_) return true;
    bool ok = std::fclose(fp_) == 0;
    fp_ = nullptr;
    return ok;
}

bool File::Read(void* data, size_t size) {
    return fp_ && (size == 0 || std::fread(data, 1, size, fp_) == size);
}

bool File::Write(const void* data, size_t size) {
    return fp_ && (size == 0 || std::fwrite(data, 1, size, fp_) == size);
}

bool File::Seek(uint64_t offset) { return fp_ && SeekTo(fp_, offset, SEEK_SET) == 0; }

bool File::SeekEnd() { return fp_ && SeekTo(fp_, 0, SEEK_END) == 0; }

bool File::Tell(uint64_t* position) {
    if (!fp_) return false;
    int64_t p = TellOf(fp_);
    if (p < 0) return false;
    *position = static_cast<uint64_t>(p);
    return true;
}

bool File::Size(uint64_t* size) {
    return SeekEnd() && Tell(size) && Seek(0);
}

bool FileSource::Open(const std::string& path, std::string* error) {
    if (PathIsFolder(path)) {
        if (error) *error = "'" + path + "' is a folder, not a file";
        return false;
    }
    if (!file_.Open(path, "rb", error)) return false;
    if (!file_.Size(&size_)) {
        if (error) *error = "cannot read '" + path + "': " + LastErrorText();
        return false;
    }
    return true;
}

bool FileSource::ReadAt(uint64_t offset, void* data, size_t size) const {
    if (offset > size_ || size > size_ - offset) return false;
    return file_.Seek(offset) && file_.Read(data, size);
}

std::string LastErrorText() {
    int e = errno;
    if (e == 0) return "unknown error";
    return std::strerror(e);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    FileSource source;
    if (!source.Open(path, error)) return false;
    if (source.Size() > SIZE_MAX) {
        if (error) *error = "'" + path + "' is too large to read into memory";
        return false;
    }
    bytes->resize(static_cast<size_t>(source.Size()));
    if (!source.ReadAt(0, bytes->data(), bytes->size())) {
        if (error) *error = "cannot read '" + path + "': " + LastErrorText();
        return false;
    }
    return true;
}

bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string* error) {
    File file;
    if (!file.Open(path, "wb", error)) return false;
    if (!file.Write(data, size) || !file.Close()) {
        if (error) *error = "cannot write '" + path + "': " + LastErrorText();
        file.Close();
        RemoveFile(path);
        return false;
    }
    return true;
}

bool PathIsFolder(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PathExists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

bool MakeFolders(const std::string& path, std::string* error) {
    if (path.empty() || PathIsFolder(path)) return true;
#ifdef _WIN32
    if (path.size() == 2 && path[1] == ':') return true;  // a drive
#endif
    std::string parent = FolderOf(path);
    if (!parent.empty() && parent != path && !MakeFolders(parent, error)) return false;
    errno = 0;
    if (MakeOneFolder(path) != 0 && !PathIsFolder(path)) {
        if (error) *error = "cannot create the folder '" + path + "': " + LastErrorText();
        return false;
    }
    return true;
}

void RemoveFile(const std::string& path) {
    if (!path.empty()) std::remove(path.c_str());
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    if (IsSeparator(folder.back())) return folder + name;
#ifdef _WIN32
    // Keep to the folder's own style: "C:\Setup" + "x" is "C:\Setup\x".
    if (folder.find('/') == std::string::npos) return folder + "\\" + name;
#endif
    return folder + "/" + name;
}

std::string FolderOf(const std::string& path) {
    size_t end = path.size();
    while (end > 1 && IsSeparator(path[end - 1])) --end;  // "a/b/" names the folder b
    size_t nameStart = end;
    while (nameStart > 0 && !IsSeparator(path[nameStart - 1])) --nameStart;
    if (nameStart == 0) return std::string();
    size_t folderEnd = nameStart - 1;
    while (folderEnd > 0 && IsSeparator(path[folderEnd - 1])) --folderEnd;
    if (folderEnd == 0) return path.substr(0, 1);  // the root
    return path.substr(0, folderEnd);
}

AtomicOutput::~AtomicOutput() {
    if (!committed_ && !tempPath_.empty()) {
        file_.Close();
        RemoveFile(tempPath_);
    }
}

bool AtomicOutput::Open(const std::string& destination, std::string* error) {
    destination_ = destination;
    if (PathIsFolder(destination)) {
        if (error) *error = "'" + destination + "' is a folder";
        return false;
    }
#ifdef _WIN32
    unsigned long pid = static_cast<unsigned long>(_getpid());
#else
    unsigned long pid = static_cast<unsigned long>(getpid());
#endif
    std::mt19937 random(static_cast<uint32_t>(
        std::chrono::steady_clock::now().time_since_epoch().count() ^ pid));
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = destination + ".tmp-" + std::to_string(pid) + "-" +
                                std::to_string(random() % 1000000u);
        if (PathExists(candidate)) continue;
        if (!file_.Open(candidate, "w+b", error)) return false;
        tempPath_ = candidate;
        return true;
    }
    if (error) *error = "cannot make a temporary file beside '" + destination + "'";
    return false;
}

bool AtomicOutput::Commit(std::string* error) {
    if (!file_.Close()) {
        if (error) *error = "cannot write '" + tempPath_ + "': " + LastErrorText();
        return false;
    }
#ifdef _WIN32
    // The C library's rename does not replace an existing file on Windows.
    if (PathExists(destination_) && std::remove(destination_.c_str()) != 0) {
        if (error) *error = "cannot replace '" + destination_ + "': " + LastErrorText();
        return false;
    }
#endif
    if (std::rename(tempPath_.c_str(), destination_.c_str()) != 0) {
        if (error) *error = "cannot rename '" + tempPath_ + "' to '" + destination_ + "': " + LastErrorText();
        return false;
    }
    committed_ = true;
    return true;
}

}  // namespace tarvo::packager
