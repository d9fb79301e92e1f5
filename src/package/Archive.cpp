#include "package/Archive.h"

#include "base/MessageBox.h"
#include "base/Process.h"

#include <lzma.h>

#include <cstring>

namespace tarvo {

namespace {

uint32_t LittleEndian32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint32_t ByteSum(const uint8_t* bytes, size_t count) {
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return sum;
}

void ShowCorrupted() {
    ShowMessageBox(nullptr, L"This installation is corrupted, please obtain a new copy.", InstallerCaption,
                   MB_OK | MB_ICONERROR);
}

// Raw LZMA1 decoding into a buffer of exactly the declared size. No end marker is needed: the
// decoder runs until the output is full.
bool DecodeLzma1(uint8_t properties, const uint8_t* packed, size_t packedSize, uint8_t* out, size_t outSize,
                 size_t& produced) {
    produced = 0;
    if (outSize == 0) return true;
    lzma_options_lzma options{};
    options.lc = properties % 9;
    options.lp = (properties / 9) % 5;
    options.pb = properties / 45;
    // The whole output is one buffer, so a dictionary of its size always suffices.
    options.dict_size = outSize < LZMA_DICT_SIZE_MIN ? LZMA_DICT_SIZE_MIN : uint32_t(outSize);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK) return false;
    stream.next_in = packed;
    stream.avail_in = packedSize;
    stream.next_out = out;
    stream.avail_out = outSize;
    lzma_ret ret = LZMA_OK;
    while (stream.avail_out != 0 && ret == LZMA_OK) ret = lzma_code(&stream, LZMA_FINISH);
    produced = outSize - stream.avail_out;
    lzma_end(&stream);
    return stream.avail_out == 0 && (ret == LZMA_OK || ret == LZMA_STREAM_END);
}

}  // namespace

PackageArchive::PackageArchive(HMODULE module) {
    HMODULE source = module ? module : ::GetModuleHandleW(nullptr);
    const void* bytes = nullptr;
    DWORD size = 0;
    if (HRSRC resource = ::FindResourceW(source, MAKEINTRESOURCEW(kPackageResourceId), MAKEINTRESOURCEW(10))) {
        if (HGLOBAL loaded = ::LoadResource(source, resource)) {
            bytes = ::LockResource(loaded);
            size = bytes ? ::SizeofResource(source, resource) : 0;
        }
    }
    Load(bytes, size);
}

PackageArchive::PackageArchive(const void* bytes, size_t size) { Load(bytes, size); }

PackageArchive::~PackageArchive() {
    for (int i = 0; i < entries_.Count(); ++i) delete static_cast<PackageEntry*>(entries_.At(i));
    entries_.Clear();
    copy_.Close();
    copyName_.Free();
}

void PackageArchive::Load(const void* bytes, size_t size) {
    // The package is read from a temporary copy, never from the mapped executable: extraction
    // seeks and reads it like any file.
    const WString& copyPath = copyName_.Make("tvi");
    {
        DiskFile writer;
        if (writer.Open(copyPath, GENERIC_WRITE, CREATE_ALWAYS, false) && bytes && size) {
            writer.Write(DWORD(size), bytes);
        }
    }
    if (!copy_.OpenForReading(copyPath)) return;

    uint64_t total = copy_.Size();
    uint8_t trailer[kTrailerSize];
    if (total < kTrailerSize || !copy_.Seek(int64_t(total - kTrailerSize)) ||
        copy_.Read(kTrailerSize, trailer) != kTrailerSize) {
        return;
    }
    uint32_t trailerSum = 0;
    for (int i = 8; i < kTrailerSize; ++i) trailerSum += uint32_t(int32_t(int8_t(trailer[i])));
    if (LittleEndian32(trailer + 16) != kTrailerMark || LittleEndian32(trailer + 20) != kTrailerMagic ||
        trailerSum != LittleEndian32(trailer + 4)) {
        return;  // not a package at all: no message
    }
    uint32_t directoryOffset = LittleEndian32(trailer + 8);
    uint32_t count = LittleEndian32(trailer + 12);
    if (ArchiveChecksum(copy_) != LittleEndian32(trailer) || !copy_.Seek(directoryOffset)) {
        ShowCorrupted();
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto* entry = new PackageEntry;
        std::memset(entry, 0, sizeof(*entry));
        bool complete = copy_.Read(17, entry) == 17;
        // The name field holds 260 bytes; a length byte can claim at most 255 of them.
        complete = complete && copy_.Read(entry->nameLength, entry->name) == entry->nameLength;
        entry->name[sizeof(entry->name) - 1] = 0;
        if (!complete || !entries_.Add(entry)) delete entry;
    }
}

bool PackageArchive::FindEntry(const WString& name, PackageEntry* record) const {
    if (record) std::memset(record, 0, sizeof(*record));
    for (int i = 0; i < entries_.Count(); ++i) {
        if (EqualsIgnoreCase(FromAnsi(Entry(i)->name), name)) {
            if (record) *record = *Entry(i);
            return true;
        }
    }
    return false;
}

bool PackageArchive::ExtractEntry(const WString& name, const WString& destination) {
    bool extracted = false;
    for (int i = 0; i < entries_.Count(); ++i) {
        const PackageEntry& entry = *Entry(i);
        if (!EqualsIgnoreCase(FromAnsi(entry.name), name)) continue;
        copy_.Seek(entry.offset);
        TempFileName packedName;
        packedName.Make("Ext");
        DiskFile packed;
        if (!packed.Open(packedName, GENERIC_WRITE, CREATE_ALWAYS, false)) continue;
        ByteBuffer buffer;
        if (!buffer.Resize(entry.packedSize) || copy_.Read(entry.packedSize, buffer.Data()) != entry.packedSize) {
            continue;
        }
        uint32_t sum = ByteSum(buffer.Data(), entry.packedSize);
        bool written = packed.Write(entry.packedSize, buffer.Data());
        packed.Close();
        if (written && sum == entry.checksum && DecompressFile(packedName, destination)) extracted = true;
    }
    return extracted;
}

WString PackageArchive::EntryName(int index) const {
    const PackageEntry* entry = Entry(index);
    return entry ? FromAnsi(entry->name) : WString();
}

uint32_t ArchiveChecksum(DiskFile& file) {
    uint64_t size = file.Size();
    uint64_t body = size >= kTrailerSize ? size - kTrailerSize : 0;
    if (!file.Seek(0)) return 0;
    constexpr DWORD kBlock = 65536;
    ByteBuffer buffer;
    if (!buffer.Resize(kBlock)) return 0;
    uint32_t sum = 0;
    for (uint64_t done = 0; done < body;) {
        DWORD n = DWORD(body - done < kBlock ? body - done : kBlock);
        if (file.Read(n, buffer.Data()) != n) return 0;
        DWORD words = n / 4;
        for (DWORD w = 0; w < words; ++w) sum += LittleEndian32(buffer.Data() + 4 * w);
        for (DWORD b = words * 4; b < n; ++b) sum += buffer.Data()[b];
        done += n;
    }
    return sum == 0 ? 1 : sum;
}

bool DecompressFile(const WString& source, const WString& destination) {
    enum Failure { None, ReadFailure, WriteFailure };
    Failure failure = None;
    auto fail = [&failure](Failure kind) {
        if (kind == WriteFailure || failure == None) failure = kind;
    };

    uint64_t sourceSize = FileSize(source);
    if (sourceSize == 0) {
        DiskFile empty;
        return empty.Open(destination, GENERIC_WRITE, CREATE_ALWAYS, false);
    }

    DiskFile in;
    uint8_t header[13];
    uint32_t unpacked = 0;
    ByteBuffer packed, output;
    size_t produced = 0;
    if (!in.Open(source, GENERIC_READ, OPEN_EXISTING, false) || in.Read(13, header) != 13) {
        fail(ReadFailure);
    } else {
        unpacked = LittleEndian32(header + 5);
        if (unpacked == 0xFFFFFFFFu || LittleEndian32(header + 9) != 0) {
            fail(ReadFailure);  // unknown size, or a size no single buffer of ours can hold
        } else if (sourceSize > 0xFFFFFFFFu || !packed.Resize(size_t(sourceSize - 13))) {
            fail(WriteFailure);
        } else if (in.Read(DWORD(packed.Size()), packed.Data()) != packed.Size()) {
            fail(ReadFailure);
        } else if (header[0] > 224) {
            fail(ReadFailure);
        } else if (!output.Resize(unpacked)) {
            fail(WriteFailure);
        } else if (!DecodeLzma1(header[0], packed.Data(), packed.Size(), output.Data(), unpacked, produced)) {
            fail(ReadFailure);
        }
    }
    in.Close();
    if (failure == None) {
        DiskFile out;
        if (!out.Open(destination, GENERIC_WRITE, CREATE_ALWAYS, false) || !out.Write(DWORD(produced), output.Data())) {
            fail(WriteFailure);
        }
    }
    if (failure == None) return true;
    WString text = failure == WriteFailure
                       ? FormatText(L"Error whilst uncompressing '%s', unable to write '%s'", destination.c_str(),
                                    destination.c_str())
                       : FormatText(L"Error whilst uncompressing '%s', unable to read '%s'", destination.c_str(),
                                    source.c_str());
    ShowMessageBox(nullptr, text, InstallerCaption, MB_OK | MB_ICONERROR | MB_TOPMOST);
    return false;
}

}  // namespace tarvo
