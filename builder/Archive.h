#pragma once
// The package archive that the installer carries as resource RT_RCDATA 24356.
//
// Layout (integers little-endian, offsets from the archive's first byte):
//   0          128 zero bytes
//   128        the entries' packed streams, back to back (see LzmaCodec.h)
//   directory  per entry: u32 offset, u32 packed size, u32 unpacked size, u32 checksum (sum of
//              the packed bytes), u8 name length with the terminating zero, the name
//   size - 24  trailer: u32 body checksum (ArchiveChecksum of everything before the trailer),
//              u32 trailer checksum (signed-byte sum of trailer bytes 8..23), u32 directory
//              offset, u32 entry count, u32 0x03345283, u32 0x0EFFF343
// An empty file is stored with no stream at all (packed size 0, checksum 0): the installer
// turns such an entry into an empty file without running the decoder.
#include "builder/ByteIo.h"
#include "builder/LzmaCodec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::packager {

constexpr uint16_t kPackageResourceType = 10;  // RT_RCDATA
constexpr uint16_t kPackageResourceId = 24356;
constexpr size_t kArchiveLeadSize = 128;
constexpr size_t kArchiveTrailerSize = 24;
constexpr size_t kDirectoryEntryHeaderSize = 17;
constexpr uint32_t kTrailerMagic1 = 0x03345283;
constexpr uint32_t kTrailerMagic2 = 0x0EFFF343;
// The name length byte counts the terminating zero, so a name has at most 254 bytes.
constexpr size_t kMaxEntryNameBytes = 254;
constexpr uint64_t kMaxArchiveSize = 0xFFFFFFFFu;  // offsets and the resource size are u32
// The largest entry a 32-bit installer can be relied on to decode. It decodes an entry in one
// piece: the packed bytes twice (its read buffer lives on while the decoder's copy is loaded),
// the whole output, and a decoder window as large as the output, all at once, beside the mapped
// executable that carries the package, in 2 GiB of address space. For data that does not compress
// that is four blocks of the entry's size: 4 x 256 MiB = 1 GiB still finds room, 4 x 512 MiB
// does not.
constexpr uint64_t kMaxEntrySize = 256u << 20;

// One directory record.
struct PackageEntry {
    std::string name;  // 8-bit text, ANSI code page
    uint32_t offset = 0;
    uint32_t packedSize = 0;
    uint32_t unpackedSize = 0;
    uint32_t checksum = 0;
};

// The body checksum, fed in pieces of any size: the wrapping sum of the body's complete
// little-endian 32-bit words plus its last 0 to 3 bytes, each unsigned; a sum of 0 reads as 1.
class ArchiveChecksumBuilder {
public:
    void Add(const void* data, size_t size);
    uint32_t Result() const;

private:
    uint32_t sum_ = 0;
    uint8_t pending_[4] = {};
    size_t pendingCount_ = 0;
};

uint32_t ArchiveChecksum(const void* body, size_t size);
// 0 when the source cannot be read.
uint32_t ArchiveChecksum(const ByteSource& body);
// Sum of trailer bytes 8..23 taken as signed 8-bit values.
uint32_t TrailerChecksum(const uint8_t* trailer);

// Why `name` cannot name an entry, or the empty text when it can.
std::string EntryNameProblem(const std::string& name);

// Writes an archive to an open file, entry by entry, streaming: no file is held in memory.
class ArchiveWriter {
public:
    explicit ArchiveWriter(File& out, CompressionSettings settings = {});
    // The largest archive the writer may produce; kMaxArchiveSize unless lowered.
    void SetSizeLimit(uint64_t limit) { limit_ = limit; }

    // Packs `content` as the next stream.
    bool AddEntry(const std::string& name, const ByteSource& content, std::string* error);
    // Adds a stream packed elsewhere (EncodeLzmaAlone): header and data, `checksum` its byte sum.
    bool AddStream(const std::string& name, uint32_t unpackedSize, const std::vector<uint8_t>& stream,
                   uint32_t checksum, std::string* error);
    // Adds an entry that shares the stream of the earlier entry `index`: the same content under
    // another name costs a directory record only.
    bool AddSharedEntry(const std::string& name, size_t index, std::string* error);
    // Writes the directory and the trailer.
    bool Finish(std::string* error);

    const std::vector<PackageEntry>& Entries() const { return entries_; }
    uint64_t Size() const { return position_; }

private:
    bool Start(std::string* error);
    bool Put(const void* data, size_t size, std::string* error);

    File& out_;
    CompressionSettings settings_;
    uint64_t limit_ = kMaxArchiveSize;
    uint64_t position_ = 0;
    bool started_ = false;
    bool finished_ = false;
    ArchiveChecksumBuilder checksum_;
    std::vector<PackageEntry> entries_;
};

// Reads and verifies an archive. Open checks the trailer magic values, the trailer checksum, the
// body checksum and that every directory record and packed stream lies inside the body;
// extraction checks each entry's checksum and the stream header.
class ArchiveReader {
public:
    bool Open(const ByteSource& archive, std::string* error);

    const std::vector<PackageEntry>& Entries() const { return entries_; }
    // Index of the first entry whose name equals `name` ignoring ASCII case; -1 when none does.
    int FindEntry(const std::string& name) const;

    // Checks the entry's byte sum and its stream header against the directory, without decoding.
    bool CheckEntry(size_t index, std::string* error) const;
    // CheckEntry, then decodes the entry (discarding the output) and checks that it gives its
    // declared size. `from` reads the same archive bytes through another handle, so that
    // entries can be verified on several threads; null: the source given to Open.
    bool VerifyEntry(size_t index, std::string* error, const ByteSource* from = nullptr) const;
    bool Extract(size_t index, const ByteSink& sink, std::string* error) const;
    bool ExtractToMemory(size_t index, std::vector<uint8_t>* bytes, std::string* error) const;
    // A failed extraction leaves no file behind.
    bool ExtractToFile(size_t index, const std::string& path, std::string* error) const;

private:
    bool CheckEntryIn(const ByteSource& archive, size_t index, std::string* error) const;

    const ByteSource* archive_ = nullptr;
    std::vector<PackageEntry> entries_;
};

// ASCII-only case folding, as the installer compares entry names.
bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b);

}  // namespace tarvo::packager
