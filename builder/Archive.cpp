#include "builder/Archive.h"

#include <algorithm>

namespace tarvo::packager {

namespace {

constexpr size_t kBlock = 1u << 16;

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

void ArchiveChecksumBuilder::Add(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size && pendingCount_) {
        pending_[pendingCount_++] = *p++;
        --size;
        if (pendingCount_ == 4) {
            sum_ += LoadU32(pending_);
            pendingCount_ = 0;
        }
    }
    for (; size >= 4; p += 4, size -= 4) sum_ += LoadU32(p);
    while (size--) pending_[pendingCount_++] = *p++;
}

uint32_t ArchiveChecksumBuilder::Result() const {
    uint32_t sum = sum_;
    for (size_t i = 0; i < pendingCount_; ++i) sum += pending_[i];
    return sum == 0 ? 1 : sum;
}

uint32_t ArchiveChecksum(const void* body, size_t size) {
    ArchiveChecksumBuilder builder;
    builder.Add(body, size);
    return builder.Result();
}

uint32_t ArchiveChecksum(const ByteSource& body) {
    ArchiveChecksumBuilder builder;
    std::vector<uint8_t> block(kBlock);
    for (uint64_t pos = 0; pos < body.Size();) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, body.Size() - pos));
        if (!body.ReadAt(pos, block.data(), n)) return 0;
        builder.Add(block.data(), n);
        pos += n;
    }
    return builder.Result();
}

uint32_t TrailerChecksum(const uint8_t* trailer) {
    uint32_t sum = 0;
    for (int i = 8; i < 24; ++i) sum += static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(trailer[i])));
    return sum;
}

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

std::string EntryNameProblem(const std::string& name) {
    if (name.empty()) return "an entry name must not be empty";
    if (name.find('\0') != std::string::npos) return "an entry name must not contain a zero byte";
    if (name.size() > kMaxEntryNameBytes) {
        return "the entry name '" + name + "' is " + std::to_string(name.size()) +
               " bytes long; entry names are limited to " + std::to_string(kMaxEntryNameBytes) + " bytes";
    }
    return std::string();
}

// --- writer ------------------------------------------------------------------------------

ArchiveWriter::ArchiveWriter(File& out, CompressionSettings settings) : out_(out), settings_(settings) {}

bool ArchiveWriter::Put(const void* data, size_t size, std::string* error) {
    if (size > limit_ || position_ > limit_ - size) {
        if (error) {
            *error = "the package would be larger than " + std::to_string(limit_) +
                     " bytes, the most an installer can carry";
        }
        return false;
    }
    if (!out_.Write(data, size)) {
        if (error) *error = "write error: " + LastErrorText();
        return false;
    }
    checksum_.Add(data, size);
    position_ += size;
    return true;
}

bool ArchiveWriter::Start(std::string* error) {
    if (started_) return true;
    started_ = true;
    const uint8_t zeros[kArchiveLeadSize] = {};
    return Put(zeros, sizeof zeros, error);
}

bool ArchiveWriter::AddEntry(const std::string& name, const ByteSource& content, std::string* error) {
    std::string problem = EntryNameProblem(name);
    if (!problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    if (finished_ || !Start(error)) return false;

    PackageEntry entry;
    entry.name = name;
    entry.offset = static_cast<uint32_t>(position_);
    if (content.Size() > kLzmaMaxUnpackedSize) {
        if (error) *error = "'" + name + "' is " + std::to_string(content.Size()) + " bytes; an entry holds at most 4 GiB - 2 bytes";
        return false;
    }
    entry.unpackedSize = static_cast<uint32_t>(content.Size());
    if (content.Size() > 0) {
        uint64_t start = position_;
        uint32_t sum = 0;
        std::string sinkError;
        bool ok = EncodeLzmaAlone(content, settings_, [&](const uint8_t* data, size_t size) {
            for (size_t i = 0; i < size; ++i) sum += data[i];
            return Put(data, size, &sinkError);
        }, error);
        if (!ok) {
            if (!sinkError.empty() && error) *error = sinkError;
            return false;
        }
        entry.packedSize = static_cast<uint32_t>(position_ - start);
        entry.checksum = sum;
    }
    entries_.push_back(entry);
    return true;
}

bool ArchiveWriter::AddStream(const std::string& name, uint32_t unpackedSize, const std::vector<uint8_t>& stream,
                              uint32_t checksum, std::string* error) {
    std::string problem = EntryNameProblem(name);
    if (!problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    if (finished_ || !Start(error)) return false;
    PackageEntry entry;
    entry.name = name;
    entry.offset = static_cast<uint32_t>(position_);
    entry.unpackedSize = unpackedSize;
    entry.packedSize = static_cast<uint32_t>(stream.size());
    entry.checksum = checksum;
    if (!Put(stream.data(), stream.size(), error)) return false;
    entries_.push_back(entry);
    return true;
}

bool ArchiveWriter::AddSharedEntry(const std::string& name, size_t index, std::string* error) {
    std::string problem = EntryNameProblem(name);
    if (!problem.empty()) {
        if (error) *error = problem;
        return false;
    }
    if (finished_ || index >= entries_.size()) {
        if (error) *error = "no entry to share a stream with";
        return false;
    }
    PackageEntry entry = entries_[index];
    entry.name = name;
    entries_.push_back(entry);
    return true;
}

bool ArchiveWriter::Finish(std::string* error) {
    if (finished_) return true;
    if (!Start(error)) return false;
    if (entries_.size() > 0xFFFFFFFFu) {
        if (error) *error = "too many entries";
        return false;
    }
    const uint32_t directoryOffset = static_cast<uint32_t>(position_);
    std::vector<uint8_t> directory;
    for (const PackageEntry& e : entries_) {
        AppendU32(directory, e.offset);
        AppendU32(directory, e.packedSize);
        AppendU32(directory, e.unpackedSize);
        AppendU32(directory, e.checksum);
        directory.push_back(static_cast<uint8_t>(e.name.size() + 1));
        directory.insert(directory.end(), e.name.begin(), e.name.end());
        directory.push_back(0);
    }
    // The trailer must fit too: check before the directory goes out so the limit message is
    // the same whichever part crosses it.
    if (directory.size() + kArchiveTrailerSize > limit_ ||
        position_ > limit_ - directory.size() - kArchiveTrailerSize) {
        if (error) {
            *error = "the package would be larger than " + std::to_string(limit_) +
                     " bytes, the most an installer can carry";
        }
        return false;
    }
    if (!Put(directory.data(), directory.size(), error)) return false;

    uint8_t trailer[kArchiveTrailerSize];
    StoreU32(trailer + 0, checksum_.Result());
    StoreU32(trailer + 8, directoryOffset);
    StoreU32(trailer + 12, static_cast<uint32_t>(entries_.size()));
    StoreU32(trailer + 16, kTrailerMagic1);
    StoreU32(trailer + 20, kTrailerMagic2);
    StoreU32(trailer + 4, TrailerChecksum(trailer));
    if (!out_.Write(trailer, sizeof trailer)) {
        if (error) *error = "write error: " + LastErrorText();
        return false;
    }
    position_ += sizeof trailer;
    finished_ = true;
    return true;
}

// --- reader ------------------------------------------------------------------------------

bool ArchiveReader::Open(const ByteSource& archive, std::string* error) {
    archive_ = nullptr;
    entries_.clear();
    const uint64_t size = archive.Size();
    if (size < kArchiveTrailerSize) {
        if (error) *error = "the package is too short to hold a trailer";
        return false;
    }
    if (size > kMaxArchiveSize) {
        if (error) *error = "the package is larger than 4 GiB";
        return false;
    }
    uint8_t trailer[kArchiveTrailerSize];
    if (!archive.ReadAt(size - kArchiveTrailerSize, trailer, sizeof trailer)) {
        if (error) *error = "cannot read the package trailer";
        return false;
    }
    if (LoadU32(trailer + 16) != kTrailerMagic1 || LoadU32(trailer + 20) != kTrailerMagic2) {
        if (error) *error = "the package trailer has wrong magic values";
        return false;
    }
    if (TrailerChecksum(trailer) != LoadU32(trailer + 4)) {
        if (error) *error = "the package trailer checksum is wrong";
        return false;
    }
    const uint64_t bodySize = size - kArchiveTrailerSize;
    SliceSource body(archive, 0, bodySize);
    const uint32_t bodySum = ArchiveChecksum(body);
    if (bodySum == 0) {
        if (error) *error = "cannot read the package body";
        return false;
    }
    if (bodySum != LoadU32(trailer + 0)) {
        if (error) *error = "the package body checksum is wrong: the package is corrupted";
        return false;
    }

    uint64_t pos = LoadU32(trailer + 8);
    const uint32_t count = LoadU32(trailer + 12);
    if (pos > bodySize) {
        if (error) *error = "the package directory lies outside the package";
        return false;
    }
    std::vector<PackageEntry> entries;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t head[kDirectoryEntryHeaderSize];
        if (pos + sizeof head > bodySize || !body.ReadAt(pos, head, sizeof head)) {
            if (error) *error = "the package directory is cut short at entry " + std::to_string(i);
            return false;
        }
        pos += sizeof head;
        const size_t nameLength = head[16];
        char name[256];
        if (nameLength == 0 || pos + nameLength > bodySize || !body.ReadAt(pos, name, nameLength) ||
            name[nameLength - 1] != '\0') {
            if (error) *error = "the package directory has a bad name at entry " + std::to_string(i);
            return false;
        }
        pos += nameLength;
        PackageEntry e;
        e.name.assign(name);  // up to the first zero, as the installer sees it
        e.offset = LoadU32(head + 0);
        e.packedSize = LoadU32(head + 4);
        e.unpackedSize = LoadU32(head + 8);
        e.checksum = LoadU32(head + 12);
        if (static_cast<uint64_t>(e.offset) + e.packedSize > bodySize) {
            if (error) *error = "entry '" + e.name + "' lies outside the package";
            return false;
        }
        entries.push_back(std::move(e));
    }
    entries_ = std::move(entries);
    archive_ = &archive;
    return true;
}

int ArchiveReader::FindEntry(const std::string& name) const {
    for (size_t i = 0; i < entries_.size(); ++i) {
        if (EqualIgnoringAsciiCase(entries_[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

bool ArchiveReader::CheckEntry(size_t index, std::string* error) const {
    if (!archive_) {
        if (error) *error = "no such entry";
        return false;
    }
    return CheckEntryIn(*archive_, index, error);
}

bool ArchiveReader::VerifyEntry(size_t index, std::string* error, const ByteSource* from) const {
    if (!from) from = archive_;
    if (!from || !CheckEntryIn(*from, index, error)) return false;
    const PackageEntry& e = entries_[index];
    if (e.packedSize == 0) return true;
    SliceSource packed(*from, e.offset, e.packedSize);
    std::string why;
    if (!DecodeLzmaAlone(packed, [](const uint8_t*, size_t) { return true; }, &why)) {
        if (error) *error = "entry '" + e.name + "' does not decode: " + why;
        return false;
    }
    return true;
}

bool ArchiveReader::CheckEntryIn(const ByteSource& archive, size_t index, std::string* error) const {
    if (index >= entries_.size()) {
        if (error) *error = "no such entry";
        return false;
    }
    const PackageEntry& e = entries_[index];
    SliceSource packed(archive, e.offset, e.packedSize);
    uint32_t sum = 0;
    std::vector<uint8_t> block(kBlock);
    for (uint64_t pos = 0; pos < e.packedSize;) {
        size_t n = static_cast<size_t>(std::min<uint64_t>(kBlock, e.packedSize - pos));
        if (!packed.ReadAt(pos, block.data(), n)) {
            if (error) *error = "cannot read entry '" + e.name + "'";
            return false;
        }
        for (size_t i = 0; i < n; ++i) sum += block[i];
        pos += n;
    }
    if (sum != e.checksum) {
        if (error) *error = "entry '" + e.name + "' is corrupted (checksum mismatch)";
        return false;
    }
    if (e.packedSize == 0) {
        if (e.unpackedSize != 0) {
            if (error) *error = "entry '" + e.name + "' has no data but a size of " + std::to_string(e.unpackedSize);
            return false;
        }
        return true;
    }
    uint8_t header[kLzmaHeaderSize];
    if (e.packedSize < kLzmaHeaderSize || !packed.ReadAt(0, header, sizeof header)) {
        if (error) *error = "entry '" + e.name + "' is shorter than its stream header";
        return false;
    }
    if (LoadU64(header + 5) != e.unpackedSize) {
        if (error) {
            *error = "entry '" + e.name + "': the stream header gives " + std::to_string(LoadU64(header + 5)) +
                     " bytes but the directory " + std::to_string(e.unpackedSize);
        }
        return false;
    }
    return true;
}

bool ArchiveReader::Extract(size_t index, const ByteSink& sink, std::string* error) const {
    // The checksum comes first so that a damaged entry produces no output at all.
    if (!CheckEntry(index, error)) return false;
    const PackageEntry& e = entries_[index];
    if (e.packedSize == 0) return true;
    SliceSource packed(*archive_, e.offset, e.packedSize);
    std::string why;
    if (!DecodeLzmaAlone(packed, sink, &why)) {
        if (error) *error = "entry '" + e.name + "': " + (why.empty() ? std::string("cannot be written") : why);
        return false;
    }
    return true;
}

bool ArchiveReader::ExtractToMemory(size_t index, std::vector<uint8_t>* bytes, std::string* error) const {
    bytes->clear();
    if (index < entries_.size()) bytes->reserve(entries_[index].unpackedSize);
    return Extract(index, [bytes](const uint8_t* data, size_t size) {
        bytes->insert(bytes->end(), data, data + size);
        return true;
    }, error);
}

bool ArchiveReader::ExtractToFile(size_t index, const std::string& path, std::string* error) const {
    File file;
    if (!file.Open(path, "wb", error)) return false;
    std::string writeError;
    bool ok = Extract(index, [&](const uint8_t* data, size_t size) {
        if (file.Write(data, size)) return true;
        writeError = "cannot write '" + path + "': " + LastErrorText();
        return false;
    }, error);
    if (ok && !file.Close()) {
        writeError = "cannot write '" + path + "': " + LastErrorText();
        ok = false;
    }
    if (!ok) {
        if (!writeError.empty() && error) *error = writeError;
        file.Close();
        RemoveFile(path);
    }
    return ok;
}

}  // namespace tarvo::packager
