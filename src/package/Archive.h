#pragma once
// The installation package: an archive of LZMA-alone streams carried as resource RT_RCDATA 24356.
// PackageArchive copies the resource to a temporary file, validates it and extracts entries by
// name. It is the only reader of the format; everything else goes through FindEntry,
// ExtractEntry and EntryName.
#include "base/Files.h"
#include "base/Text.h"

#include <cstdint>

namespace tarvo {

constexpr int kPackageResourceId = 24356;
constexpr uint32_t kTrailerMark = 0x03345283;
constexpr uint32_t kTrailerMagic = 0x0EFFF343;
constexpr int kTrailerSize = 24;

// A directory entry as held in memory: the 17 header bytes and a zero-filled 260-byte name field.
#pragma pack(push, 1)
struct PackageEntry {
    uint32_t offset;
    uint32_t packedSize;    // the stream's 13-byte header included
    uint32_t unpackedSize;
    uint32_t checksum;      // byte sum of the packed stream
    uint8_t nameLength;     // terminating zero included
    char name[260];
};
#pragma pack(pop)
static_assert(sizeof(PackageEntry) == 277, "entry records are 277 bytes");

class PackageArchive {
public:
    // Copies the package resource of `module` (the running executable when null) and reads its
    // directory. Never fails outright: a missing or damaged package gives an empty directory.
    explicit PackageArchive(HMODULE module = nullptr);
    // The same for archive bytes that do not come from a resource.
    PackageArchive(const void* bytes, size_t size);
    ~PackageArchive();
    PackageArchive(const PackageArchive&) = delete;
    PackageArchive& operator=(const PackageArchive&) = delete;

    int EntryCount() const { return entries_.Count(); }
    // The first entry whose name equals `name` ignoring ASCII case; copied into `record` when
    // given.
    bool FindEntry(const WString& name, PackageEntry* record = nullptr) const;
    // Decodes every entry named `name`, in directory order, into `destination`; true when at
    // least one was decoded. Not safe for concurrent calls: the copy's position is shared.
    bool ExtractEntry(const WString& name, const WString& destination);
    // Name of the entry at `index`; the empty text past the end.
    WString EntryName(int index) const;

    // Announces the entries that are about to be extracted, in the order of extraction: other
    // cores decode them ahead into memory (a bounded amount), and ExtractEntry then only writes
    // them out. Whatever cannot be decoded ahead is decoded by ExtractEntry as before, with the
    // same results and messages. A second call, or one on a single-core machine, does nothing.
    void Prefetch(const StringList& names);

private:
    struct Lookahead;
    void Load(const void* bytes, size_t size);
    const PackageEntry* Entry(int index) const { return static_cast<const PackageEntry*>(entries_.At(index)); }
    bool ExtractDecodedAhead(int index, const WString& destination);

    PointerArray entries_;
    TempFileName copyName_;
    DiskFile copy_;
    Lookahead* lookahead_ = nullptr;
};

// The body checksum of an open archive copy: the wrapping sum of the complete little-endian 32-bit
// words of everything before the trailer plus its last 0-3 bytes. 0 on a read failure; a sum of 0
// is returned as 1.
uint32_t ArchiveChecksum(DiskFile& file);

// Decodes a file holding one LZMA-alone stream into `destination`. Shows the "Error whilst
// uncompressing" message on failure.
bool DecompressFile(const WString& source, const WString& destination);

}  // namespace tarvo
