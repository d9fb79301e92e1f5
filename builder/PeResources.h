#pragma once
// Resources of a PE32 or PE32+ executable, read and extended without any Windows API.
//
// Adding the package: the stub's resource tree is copied into a new section appended at the end
// of the image, with the package resource (RT_RCDATA 24356, language neutral) added or replaced;
// the copied data entries keep pointing at the stub's resource data, which stays mapped where it
// was. Data directory 2 then points at the new tree, and NumberOfSections, SizeOfImage,
// SizeOfInitializedData and the header checksum are brought up to date. A section of ours left
// by an earlier run (the stub is itself a finished installer) is dropped first, so packing again
// does not grow the file; an Authenticode certificate is dropped because the change breaks it.
#include "builder/ByteIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::packager {

// The section that carries the rebuilt resource tree and the package.
constexpr char kPackageSectionName[] = ".tvrsrc";

struct PeSection {
    std::string name;
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t sizeOfRawData = 0;
    uint32_t pointerToRawData = 0;
    uint32_t characteristics = 0;
};

struct PeImage {
    bool pe32Plus = false;
    uint16_t machine = 0;
    uint32_t peOffset = 0;            // of the "PE\0\0" signature
    uint32_t optionalHeaderOffset = 0;
    uint16_t sizeOfOptionalHeader = 0;
    uint32_t sectionTableOffset = 0;
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    uint32_t sizeOfImage = 0;
    uint32_t sizeOfHeaders = 0;
    uint32_t checkSum = 0;
    uint32_t numberOfRvaAndSizes = 0;
    uint32_t dataDirectoryOffset = 0;
    uint32_t resourceRva = 0;
    uint32_t resourceSize = 0;
    std::vector<PeSection> sections;

    // File offset of `size` bytes at `rva`; false unless all of them lie in one section's raw data.
    bool RvaToOffset(uint32_t rva, uint32_t size, uint64_t* offset) const;
};

bool ParsePeImage(const ByteSource& file, PeImage* image, std::string* error);

// A resource name or ID at one level of the tree.
struct ResourceName {
    bool isString = false;
    uint16_t id = 0;
    std::u16string text;
};

struct ResourceNode {
    ResourceName name;  // unused at the root
    bool isDirectory = true;
    // directory
    uint32_t characteristics = 0;
    uint32_t timeDateStamp = 0;
    uint16_t majorVersion = 0;
    uint16_t minorVersion = 0;
    std::vector<ResourceNode> children;  // named children first, then ID children
    // data
    uint32_t dataRva = 0;
    uint32_t dataSize = 0;
    uint32_t codePage = 0;
    uint32_t reserved = 0;
};

// The whole tree; an image without resources gives an empty root directory.
bool ReadResourceTree(const ByteSource& file, const PeImage& image, ResourceNode* root, std::string* error);

// The first language entry of resource type/id (numeric IDs); null when absent.
const ResourceNode* FindResourceData(const ResourceNode& root, uint16_t type, uint16_t id);

// The tree in the layout the loader expects: all directories (breadth first), then the name
// strings, then the data entries. Data entries keep their RVAs. The result only depends on the
// tree's shape, so its size can be known before the data RVAs are settled.
std::vector<uint8_t> SerializeResourceTree(const ResourceNode& root);

// The checksum of the optional header, over the whole file with the checksum field taken as zero.
class PeChecksumBuilder {
public:
    explicit PeChecksumBuilder(uint64_t checksumFieldOffset) : field_(checksumFieldOffset) {}
    void Add(const void* data, size_t size);
    uint32_t Result() const;

private:
    uint64_t field_;
    uint64_t length_ = 0;
    uint32_t sum_ = 0;
    bool odd_ = false;
    uint8_t low_ = 0;
};
uint32_t PeChecksum(const void* file, size_t size, uint64_t checksumFieldOffset);

// Writes `stub` with `package` as resource RT_RCDATA 24356 to `out` (open, empty).
bool EmbedPackage(const std::vector<uint8_t>& stub, const ByteSource& package, File& out, std::string* error);

// Where the package resource lies in an executable.
bool LocatePackage(const ByteSource& file, uint64_t* offset, uint32_t* size, std::string* error);

}  // namespace tarvo::packager
