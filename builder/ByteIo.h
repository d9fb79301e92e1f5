#pragma once
// Little-endian fields, random-access byte sources and plain C-library file access for the
// package builder. Portable C++17: the same code runs on Linux and in both Windows builds.
//
// Paths are narrow strings handed to the C library unchanged. On Windows the C library reads
// them in the ANSI code page, which is also the code page of the setup script and of package
// entry names, so a name taken from the script opens the file it names.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace tarvo::packager {

inline uint16_t LoadU16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t LoadU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadU64(const uint8_t* p) {
    return static_cast<uint64_t>(LoadU32(p)) | (static_cast<uint64_t>(LoadU32(p + 4)) << 32);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void AppendU16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void AppendU32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline uint64_t AlignUp(uint64_t value, uint64_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}

// Random-access read-only bytes: a buffer, a file, or a window on either.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual uint64_t Size() const = 0;
    // Reads exactly `size` bytes at `offset`; false when any of them is missing or unreadable.
    virtual bool ReadAt(uint64_t offset, void* data, size_t size) const = 0;
};

class MemorySource : public ByteSource {
public:
    MemorySource(const void* data, size_t size)
        : data_(static_cast<const uint8_t*>(data)), size_(size) {}
    explicit MemorySource(const std::vector<uint8_t>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* data, size_t size) const override;

private:
    const uint8_t* data_;
    size_t size_;
};

// Bytes [offset, offset + size) of another source.
class SliceSource : public ByteSource {
public:
    SliceSource(const ByteSource& base, uint64_t offset, uint64_t size)
        : base_(base), offset_(offset), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* data, size_t size) const override;

private:
    const ByteSource& base_;
    uint64_t offset_;
    uint64_t size_;
};

// A FILE* owned by this object, with 64-bit positions on every platform.
class File {
public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept : fp_(other.fp_) { other.fp_ = nullptr; }
    ~File();

    // mode as for fopen ("rb", "wb", "r+b"); on failure `error` says why, naming the path.
    bool Open(const std::string& path, const char* mode, std::string* error);
    bool IsOpen() const { return fp_ != nullptr; }
    bool Close();  // false when buffered data could not be written
    bool Read(void* data, size_t size);
    bool Write(const void* data, size_t size);
    bool Seek(uint64_t offset);
    bool SeekEnd();
    bool Tell(uint64_t* position);
    bool Size(uint64_t* size);  // leaves the position at the start

private:
    std::FILE* fp_ = nullptr;
};

// A whole file opened for reading, usable as a ByteSource.
class FileSource : public ByteSource {
public:
    bool Open(const std::string& path, std::string* error);
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* data, size_t size) const override;

private:
    mutable File file_;
    uint64_t size_ = 0;
};

// The last C-library error as text ("No such file or directory").
std::string LastErrorText();

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);
bool WriteWholeFile(const std::string& path, const void* data, size_t size, std::string* error);
bool PathIsFolder(const std::string& path);
bool PathExists(const std::string& path);
// Creates the folder and its missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& path, std::string* error);
void RemoveFile(const std::string& path);

// `folder` + separator + `name`; an empty folder gives `name`.
std::string JoinPath(const std::string& folder, const std::string& name);
// The folder part of a path, without the trailing separator ("" when there is none).
std::string FolderOf(const std::string& path);

// An output file that appears under its final name only when Commit succeeds: the bytes go to a
// temporary file beside the destination, which is renamed over it at the end and deleted when
// anything fails, so a failed run never leaves a half-written destination behind.
class AtomicOutput {
public:
    AtomicOutput() = default;
    AtomicOutput(const AtomicOutput&) = delete;
    AtomicOutput& operator=(const AtomicOutput&) = delete;
    ~AtomicOutput();

    bool Open(const std::string& destination, std::string* error);
    File& file() { return file_; }
    const std::string& TempPath() const { return tempPath_; }
    bool Commit(std::string* error);

private:
    std::string destination_;
    std::string tempPath_;
    File file_;
    bool committed_ = false;
};

}  // namespace tarvo::packager
