#include "builder/PeResources.h"

#include "builder/Archive.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_map>

namespace tarvo::packager {

namespace {

constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kCertificateDirectoryIndex = 4;
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kMaxResourceNodes = 100000;
constexpr int kMaxResourceDepth = 8;
// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ
constexpr uint32_t kPackageSectionCharacteristics = 0x40000040u;

// Optional header fields at the same place in PE32 and PE32+.
constexpr uint32_t kOptSizeOfInitializedData = 8;
constexpr uint32_t kOptSectionAlignment = 32;
constexpr uint32_t kOptFileAlignment = 36;
constexpr uint32_t kOptSizeOfImage = 56;
constexpr uint32_t kOptSizeOfHeaders = 60;
constexpr uint32_t kOptCheckSum = 64;

bool IsPowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

uint64_t SectionEnd(const PeSection& s) {
    return static_cast<uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.sizeOfRawData);
}

class TreeReader {
public:
    TreeReader(const ByteSource& file, const PeImage& image) : file_(file), image_(image) {}

    bool Read(ResourceNode* root, std::string* error) {
        root->isDirectory = true;
        if (!ReadDirectory(0, 0, root)) {
            if (error) *error = "the executable's resource tree is damaged (" + problem_ + ")";
            return false;
        }
        return true;
    }

private:
    bool ReadAt(uint32_t offsetInTree, void* data, uint32_t size) {
        uint64_t fileOffset = 0;
        if (static_cast<uint64_t>(image_.resourceRva) + offsetInTree > 0xFFFFFFFFu ||
            !image_.RvaToOffset(image_.resourceRva + offsetInTree, size, &fileOffset) ||
            !file_.ReadAt(fileOffset, data, size)) {
            problem_ = "a reference points outside the file";
            return false;
        }
        return true;
    }

    bool ReadName(uint32_t field, ResourceName* name) {
        if (!(field & kHighBit)) {
            name->isString = false;
            name->id = static_cast<uint16_t>(field);
            return true;
        }
        uint32_t at = field & ~kHighBit;
        uint8_t lengthBytes[2];
        if (!ReadAt(at, lengthBytes, 2)) return false;
        uint16_t length = LoadU16(lengthBytes);
        std::vector<uint8_t> raw(length * 2u);
        if (length && !ReadAt(at + 2, raw.data(), static_cast<uint32_t>(raw.size()))) return false;
        name->isString = true;
        name->text.resize(length);
        for (uint16_t i = 0; i < length; ++i) name->text[i] = static_cast<char16_t>(LoadU16(&raw[i * 2u]));
        return true;
    }

    bool ReadDirectory(uint32_t at, int depth, ResourceNode* node) {
        if (depth > kMaxResourceDepth) {
            problem_ = "it is nested too deeply";
            return false;
        }
        uint8_t head[16];
        if (!ReadAt(at, head, sizeof head)) return false;
        node->isDirectory = true;
        node->characteristics = LoadU32(head + 0);
        node->timeDateStamp = LoadU32(head + 4);
        node->majorVersion = LoadU16(head + 8);
        node->minorVersion = LoadU16(head + 10);
        const uint32_t count = static_cast<uint32_t>(LoadU16(head + 12)) + LoadU16(head + 14);
        nodes_ += count;
        if (nodes_ > kMaxResourceNodes) {
            problem_ = "it has too many entries";
            return false;
        }
        std::vector<uint8_t> entries(count * 8u);
        if (count && !ReadAt(at + 16, entries.data(), static_cast<uint32_t>(entries.size()))) return false;
        node->children.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            ResourceNode& child = node->children[i];
            const uint32_t nameField = LoadU32(&entries[i * 8u]);
            const uint32_t target = LoadU32(&entries[i * 8u + 4]);
            if (!ReadName(nameField, &child.name)) return false;
            if (target & kHighBit) {
                if (!ReadDirectory(target & ~kHighBit, depth + 1, &child)) return false;
            } else {
                uint8_t data[16];
                if (!ReadAt(target, data, sizeof data)) return false;
                child.isDirectory = false;
                child.dataRva = LoadU32(data + 0);
                child.dataSize = LoadU32(data + 4);
                child.codePage = LoadU32(data + 8);
                child.reserved = LoadU32(data + 12);
            }
        }
        return true;
    }

    const ByteSource& file_;
    const PeImage& image_;
    size_t nodes_ = 0;
    std::string problem_;
};

// Children in the order they are written: named ones first (the loader expects them there),
// then numbered ones, each group in its stored order.
std::vector<const ResourceNode*> WriteOrder(const ResourceNode& dir) {
    std::vector<const ResourceNode*> order;
    for (const ResourceNode& c : dir.children) if (c.name.isString) order.push_back(&c);
    for (const ResourceNode& c : dir.children) if (!c.name.isString) order.push_back(&c);
    return order;
}

// The numbered child `id`, inserted in ascending ID order (the loader searches numbered entries
// by bisection) when missing.
ResourceNode* FindOrAddIdChild(ResourceNode& dir, uint16_t id, bool directory) {
    auto it = dir.children.begin();
    for (; it != dir.children.end(); ++it) {
        if (it->name.isString) continue;
        if (it->name.id == id) {
            if (it->isDirectory == directory) return &*it;
            it = dir.children.erase(it);
            break;
        }
        if (it->name.id > id) break;
    }
    ResourceNode node;
    node.name.id = id;
    node.isDirectory = directory;
    return &*dir.children.insert(it, node);
}

bool AnyDataInRange(const ResourceNode& node, uint64_t begin, uint64_t end) {
    if (!node.isDirectory) return node.dataRva >= begin && node.dataRva < end;
    for (const ResourceNode& c : node.children) {
        if (AnyDataInRange(c, begin, end)) return true;
    }
    return false;
}

}  // namespace

bool PeImage::RvaToOffset(uint32_t rva, uint32_t size, uint64_t* offset) const {
    const uint64_t end = static_cast<uint64_t>(rva) + size;
    if (end <= sizeOfHeaders) {
        *offset = rva;
        return true;
    }
    for (const PeSection& s : sections) {
        if (rva >= s.virtualAddress && end <= static_cast<uint64_t>(s.virtualAddress) + s.sizeOfRawData) {
            *offset = static_cast<uint64_t>(s.pointerToRawData) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

bool ParsePeImage(const ByteSource& file, PeImage* image, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    *image = PeImage();
    uint8_t dos[64];
    if (!file.ReadAt(0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') {
        return fail("not a Windows executable (no MZ header)");
    }
    image->peOffset = LoadU32(dos + 0x3C);
    uint8_t coff[24];
    if (!file.ReadAt(image->peOffset, coff, sizeof coff) || std::memcmp(coff, "PE\0\0", 4) != 0) {
        return fail("not a PE executable (no PE signature)");
    }
    image->machine = LoadU16(coff + 4);
    const uint16_t sectionCount = LoadU16(coff + 6);
    image->sizeOfOptionalHeader = LoadU16(coff + 20);
    image->optionalHeaderOffset = image->peOffset + 24;
    std::vector<uint8_t> opt(image->sizeOfOptionalHeader);
    if (opt.size() < 2 || !file.ReadAt(image->optionalHeaderOffset, opt.data(), opt.size())) {
        return fail("the PE optional header is missing or cut short");
    }
    const uint16_t magic = LoadU16(opt.data());
    uint32_t rvaCountField = 0;
    if (magic == 0x10B) {
        rvaCountField = 92;
    } else if (magic == 0x20B) {
        image->pe32Plus = true;
        rvaCountField = 108;
    } else {
        return fail("unknown PE optional header kind");
    }
    if (opt.size() < rvaCountField + 4) return fail("the PE optional header is too short");
    image->sectionAlignment = LoadU32(&opt[kOptSectionAlignment]);
    image->fileAlignment = LoadU32(&opt[kOptFileAlignment]);
    image->sizeOfImage = LoadU32(&opt[kOptSizeOfImage]);
    image->sizeOfHeaders = LoadU32(&opt[kOptSizeOfHeaders]);
    image->checkSum = LoadU32(&opt[kOptCheckSum]);
    image->numberOfRvaAndSizes = LoadU32(&opt[rvaCountField]);
    image->dataDirectoryOffset = image->optionalHeaderOffset + rvaCountField + 4;
    const uint32_t directoriesInHeader = (image->sizeOfOptionalHeader - rvaCountField - 4) / 8;
    image->numberOfRvaAndSizes = std::min(image->numberOfRvaAndSizes, directoriesInHeader);
    if (image->numberOfRvaAndSizes > kResourceDirectoryIndex) {
        const size_t at = rvaCountField + 4 + kResourceDirectoryIndex * 8;
        image->resourceRva = LoadU32(&opt[at]);
        image->resourceSize = LoadU32(&opt[at + 4]);
    }
    image->sectionTableOffset = image->optionalHeaderOffset + image->sizeOfOptionalHeader;
    std::vector<uint8_t> table(static_cast<size_t>(sectionCount) * kSectionHeaderSize);
    if (!file.ReadAt(image->sectionTableOffset, table.data(), table.size())) {
        return fail("the PE section table is cut short");
    }
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint8_t* h = &table[i * kSectionHeaderSize];
        PeSection s;
        s.name.assign(reinterpret_cast<const char*>(h), strnlen(reinterpret_cast<const char*>(h), 8));
        s.virtualSize = LoadU32(h + 8);
        s.virtualAddress = LoadU32(h + 12);
        s.sizeOfRawData = LoadU32(h + 16);
        s.pointerToRawData = LoadU32(h + 20);
        s.characteristics = LoadU32(h + 36);
        image->sections.push_back(s);
    }
    return true;
}

bool ReadResourceTree(const ByteSource& file, const PeImage& image, ResourceNode* root, std::string* error) {
    *root = ResourceNode();
    if (image.resourceRva == 0 || image.resourceSize == 0) return true;
    return TreeReader(file, image).Read(root, error);
}

const ResourceNode* FindResourceData(const ResourceNode& root, uint16_t type, uint16_t id) {
    auto child = [](const ResourceNode& dir, uint16_t want) -> const ResourceNode* {
        for (const ResourceNode& c : dir.children) {
            if (!c.name.isString && c.name.id == want) return &c;
        }
        return nullptr;
    };
    const ResourceNode* t = child(root, type);
    if (!t || !t->isDirectory) return nullptr;
    const ResourceNode* n = child(*t, id);
    if (!n || !n->isDirectory || n->children.empty()) return nullptr;
    const ResourceNode* lang = &n->children.front();
    return lang->isDirectory ? nullptr : lang;
}

std::vector<uint8_t> SerializeResourceTree(const ResourceNode& root) {
    // Pass 1: offsets of directories, name strings and data entries.
    std::vector<const ResourceNode*> directories;
    std::unordered_map<const ResourceNode*, uint32_t> offsetOf;
    std::deque<const ResourceNode*> queue{&root};
    uint32_t size = 0;
    while (!queue.empty()) {
        const ResourceNode* dir = queue.front();
        queue.pop_front();
        directories.push_back(dir);
        offsetOf[dir] = size;
        size += 16 + 8 * static_cast<uint32_t>(dir->children.size());
        for (const ResourceNode* c : WriteOrder(*dir)) {
            if (c->isDirectory) queue.push_back(c);
        }
    }
    std::unordered_map<const ResourceNode*, uint32_t> nameOffsetOf;
    std::vector<const ResourceNode*> data;
    for (const ResourceNode* dir : directories) {
        for (const ResourceNode* c : WriteOrder(*dir)) {
            if (c->name.isString) {
                nameOffsetOf[c] = size;
                size += 2 + 2 * static_cast<uint32_t>(c->name.text.size());
            }
            if (!c->isDirectory) data.push_back(c);
        }
    }
    size = static_cast<uint32_t>(AlignUp(size, 4));
    for (const ResourceNode* d : data) {
        offsetOf[d] = size;
        size += 16;
    }

    // Pass 2: the bytes.
    std::vector<uint8_t> out(size, 0);
    for (const ResourceNode* dir : directories) {
        uint8_t* p = &out[offsetOf[dir]];
        uint16_t named = 0, numbered = 0;
        for (const ResourceNode& c : dir->children) (c.name.isString ? named : numbered)++;
        StoreU32(p + 0, dir->characteristics);
        StoreU32(p + 4, dir->timeDateStamp);
        StoreU16(p + 8, dir->majorVersion);
        StoreU16(p + 10, dir->minorVersion);
        StoreU16(p + 12, named);
        StoreU16(p + 14, numbered);
        p += 16;
        for (const ResourceNode* c : WriteOrder(*dir)) {
            StoreU32(p, c->name.isString ? (kHighBit | nameOffsetOf[c]) : c->name.id);
            StoreU32(p + 4, c->isDirectory ? (kHighBit | offsetOf[c]) : offsetOf[c]);
            p += 8;
            if (c->name.isString) {
                uint8_t* s = &out[nameOffsetOf[c]];
                StoreU16(s, static_cast<uint16_t>(c->name.text.size()));
                for (size_t i = 0; i < c->name.text.size(); ++i) StoreU16(s + 2 + 2 * i, c->name.text[i]);
            }
        }
    }
    for (const ResourceNode* d : data) {
        uint8_t* p = &out[offsetOf[d]];
        StoreU32(p + 0, d->dataRva);
        StoreU32(p + 4, d->dataSize);
        StoreU32(p + 8, d->codePage);
        StoreU32(p + 12, d->reserved);
    }
    return out;
}

void PeChecksumBuilder::Add(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i, ++length_) {
        const uint8_t b = (length_ >= field_ && length_ < field_ + 4) ? 0 : p[i];
        if (!odd_) {
            low_ = b;
            odd_ = true;
        } else {
            sum_ += static_cast<uint32_t>(low_) | (static_cast<uint32_t>(b) << 8);
            sum_ = (sum_ & 0xFFFF) + (sum_ >> 16);
            odd_ = false;
        }
    }
}

uint32_t PeChecksumBuilder::Result() const {
    uint32_t sum = sum_;
    if (odd_) sum += low_;
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = (sum & 0xFFFF) + (sum >> 16);
    return sum + static_cast<uint32_t>(length_);
}

uint32_t PeChecksum(const void* file, size_t size, uint64_t checksumFieldOffset) {
    PeChecksumBuilder builder(checksumFieldOffset);
    builder.Add(file, size);
    return builder.Result();
}

bool EmbedPackage(const std::vector<uint8_t>& stub, const ByteSource& package, File& out, std::string* error) {
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    MemorySource stubSource(stub);
    PeImage image;
    std::string why;
    if (!ParsePeImage(stubSource, &image, &why)) return fail(why);
    if (!IsPowerOfTwo(image.fileAlignment) || !IsPowerOfTwo(image.sectionAlignment) ||
        image.sectionAlignment < image.fileAlignment) {
        return fail("invalid section or file alignment");
    }
    if (image.numberOfRvaAndSizes <= kResourceDirectoryIndex) {
        return fail("the optional header has no resource directory entry");
    }
    for (const PeSection& s : image.sections) {
        if (static_cast<uint64_t>(s.pointerToRawData) + s.sizeOfRawData > stub.size()) {
            return fail("the file is cut short: section '" + s.name + "' lies past its end");
        }
    }

    ResourceNode tree;
    if (!ReadResourceTree(stubSource, image, &tree, &why)) return fail(why);

    // Any earlier package goes; the new one takes its place below.
    for (ResourceNode& type : tree.children) {
        if (type.name.isString || type.name.id != kPackageResourceType || !type.isDirectory) continue;
        auto& names = type.children;
        names.erase(std::remove_if(names.begin(), names.end(), [](const ResourceNode& n) {
            return !n.name.isString && n.name.id == kPackageResourceId;
        }), names.end());
    }

    std::vector<uint8_t> head(stub);
    uint64_t fileEnd = stub.size();
    const uint32_t opt = image.optionalHeaderOffset;
    auto directoryAt = [&](uint32_t index) { return image.dataDirectoryOffset + index * 8; };
    uint32_t initializedData = LoadU32(&head[opt + kOptSizeOfInitializedData]);

    // A signature cannot survive the change; the certificate table is dropped with it.
    if (image.numberOfRvaAndSizes > kCertificateDirectoryIndex) {
        const uint32_t at = directoryAt(kCertificateDirectoryIndex);
        const uint64_t certOffset = LoadU32(&head[at]);
        const uint64_t certSize = LoadU32(&head[at + 4]);
        if (certSize != 0) {
            if (certOffset + certSize + 8 >= fileEnd && certOffset <= fileEnd) fileEnd = certOffset;
            StoreU32(&head[at], 0);
            StoreU32(&head[at + 4], 0);
        }
    }

    // Our own section from an earlier run, when nothing but the old package lives in it.
    if (!image.sections.empty()) {
        const PeSection& last = image.sections.back();
        const uint64_t lastBegin = last.virtualAddress;
        const uint64_t lastEnd = SectionEnd(last);
        bool lastInFile = true;
        for (size_t i = 0; i + 1 < image.sections.size(); ++i) {
            const PeSection& s = image.sections[i];
            if (SectionEnd(s) > lastBegin || s.pointerToRawData + static_cast<uint64_t>(s.sizeOfRawData) > last.pointerToRawData) {
                lastInFile = false;
            }
        }
        if (last.name == kPackageSectionName && lastInFile && image.resourceRva >= lastBegin &&
            image.resourceRva < lastEnd && !AnyDataInRange(tree, lastBegin, lastEnd) &&
            static_cast<uint64_t>(last.pointerToRawData) + last.sizeOfRawData >= fileEnd) {
            fileEnd = std::min<uint64_t>(fileEnd, last.pointerToRawData);
            initializedData -= std::min(initializedData, last.sizeOfRawData);
            const size_t slot = image.sectionTableOffset + (image.sections.size() - 1) * kSectionHeaderSize;
            std::fill(head.begin() + slot, head.begin() + slot + kSectionHeaderSize, 0);
            image.sections.pop_back();
        }
    }

    // Room for one more section header.
    const uint64_t slot = image.sectionTableOffset + static_cast<uint64_t>(image.sections.size()) * kSectionHeaderSize;
    bool room = slot + kSectionHeaderSize <= image.sizeOfHeaders && slot + kSectionHeaderSize <= fileEnd;
    for (const PeSection& s : image.sections) {
        if (s.sizeOfRawData && s.pointerToRawData < slot + kSectionHeaderSize) room = false;
        if (s.virtualAddress < slot + kSectionHeaderSize) room = false;
    }
    if (room) {
        room = std::all_of(head.begin() + slot, head.begin() + slot + kSectionHeaderSize,
                           [](uint8_t b) { return b == 0; });
    }
    if (!room) {
        return fail("the headers have no room for one more section header (SizeOfHeaders " +
                    std::to_string(image.sizeOfHeaders) + ", " + std::to_string(image.sections.size()) +
                    " sections); link the stub with room to spare");
    }

    // Where the new section goes: after every section in memory and after everything in the file.
    uint64_t imageEnd = AlignUp(image.sizeOfHeaders, image.sectionAlignment);
    for (const PeSection& s : image.sections) {
        imageEnd = std::max(imageEnd, AlignUp(SectionEnd(s), image.sectionAlignment));
        fileEnd = std::max<uint64_t>(fileEnd, static_cast<uint64_t>(s.pointerToRawData) + s.sizeOfRawData);
    }
    uint64_t newRva = AlignUp(imageEnd, image.sectionAlignment);
    uint64_t rawStart = AlignUp(fileEnd, image.fileAlignment);
    if (image.sectionAlignment < 0x1000) {
        // Below page size the loader maps the file as it is: file offset and RVA must agree.
        newRva = rawStart = AlignUp(std::max(newRva, rawStart), image.sectionAlignment);
    }

    ResourceNode* type = FindOrAddIdChild(tree, kPackageResourceType, true);
    ResourceNode* name = FindOrAddIdChild(*type, kPackageResourceId, true);
    name->children.clear();
    ResourceNode language;
    language.isDirectory = false;
    language.name.id = 0;  // language neutral: found whatever the user's language
    language.dataSize = static_cast<uint32_t>(std::min<uint64_t>(package.Size(), 0xFFFFFFFFu));
    name->children.push_back(language);

    const uint64_t treeSize = SerializeResourceTree(tree).size();
    const uint64_t dataOffset = AlignUp(treeSize, 16);
    const uint64_t contentSize = dataOffset + package.Size();
    const uint64_t rawSize = AlignUp(contentSize, image.fileAlignment);
    if (package.Size() > 0xFFFFFFFFu || newRva + AlignUp(contentSize, image.sectionAlignment) > 0xFFFFFFFFu ||
        rawStart + rawSize > 0xFFFFFFFFu) {
        return fail("the package (" + std::to_string(package.Size()) +
                    " bytes) does not fit into a Windows executable (4 GiB at most)");
    }
    name->children.front().dataRva = static_cast<uint32_t>(newRva + dataOffset);
    const std::vector<uint8_t> treeBytes = SerializeResourceTree(tree);

    // Headers.
    uint8_t* h = &head[static_cast<size_t>(slot)];
    std::memcpy(h, kPackageSectionName, std::strlen(kPackageSectionName));
    StoreU32(h + 8, static_cast<uint32_t>(contentSize));
    StoreU32(h + 12, static_cast<uint32_t>(newRva));
    StoreU32(h + 16, static_cast<uint32_t>(rawSize));
    StoreU32(h + 20, static_cast<uint32_t>(rawStart));
    StoreU32(h + 36, kPackageSectionCharacteristics);
    StoreU16(&head[image.peOffset + 6], static_cast<uint16_t>(image.sections.size() + 1));
    StoreU32(&head[opt + kOptSizeOfImage],
             static_cast<uint32_t>(AlignUp(newRva + contentSize, image.sectionAlignment)));
    StoreU32(&head[opt + kOptSizeOfInitializedData], initializedData + static_cast<uint32_t>(rawSize));
    StoreU32(&head[opt + kOptCheckSum], 0);
    StoreU32(&head[directoryAt(kResourceDirectoryIndex)], static_cast<uint32_t>(newRva));
    StoreU32(&head[directoryAt(kResourceDirectoryIndex) + 4], static_cast<uint32_t>(contentSize));

    // Body: the stub, the tree, the package; the checksum follows the bytes as they go out.
    PeChecksumBuilder checksum(opt + kOptCheckSum);
    std::string writeError;
    auto put = [&](const void* data, size_t size) {
        if (!out.Write(data, size)) {
            writeError = "write error: " + LastErrorText();
            return false;
        }
        checksum.Add(data, size);
        return true;
    };
    const std::vector<uint8_t> zeros(1u << 16, 0);
    auto pad = [&](uint64_t count) {
        while (count) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(count, zeros.size()));
            if (!put(zeros.data(), n)) return false;
            count -= n;
        }
        return true;
    };
    const size_t keep = static_cast<size_t>(fileEnd);
    bool ok = put(head.data(), keep) && pad(rawStart - keep) && put(treeBytes.data(), treeBytes.size()) &&
              pad(dataOffset - treeBytes.size());
    std::vector<uint8_t> block(1u << 20);
    for (uint64_t pos = 0; ok && pos < package.Size();) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), package.Size() - pos));
        if (!package.ReadAt(pos, block.data(), n)) {
            writeError = "cannot read the package: " + LastErrorText();
            ok = false;
            break;
        }
        ok = put(block.data(), n);
        pos += n;
    }
    ok = ok && pad(rawSize - contentSize);
    if (ok) {
        uint8_t sum[4];
        StoreU32(sum, checksum.Result());
        ok = out.Seek(opt + kOptCheckSum) && out.Write(sum, sizeof sum) && out.SeekEnd();
        if (!ok) writeError = "write error: " + LastErrorText();
    }
    if (!ok) return fail(writeError);
    return true;
}

bool LocatePackage(const ByteSource& file, uint64_t* offset, uint32_t* size, std::string* error) {
    PeImage image;
    ResourceNode tree;
    if (!ParsePeImage(file, &image, error) || !ReadResourceTree(file, image, &tree, error)) return false;
    const ResourceNode* data = FindResourceData(tree, kPackageResourceType, kPackageResourceId);
    if (!data) {
        if (error) *error = "the executable carries no package (no resource RT_RCDATA 24356)";
        return false;
    }
    if (!image.RvaToOffset(data->dataRva, data->dataSize, offset)) {
        if (error) *error = "the package resource points outside the file";
        return false;
    }
    *size = data->dataSize;
    return true;
}

}  // namespace tarvo::packager
