#include "package/Archive.h"

#include "base/MessageBox.h"
#include "base/Process.h"

#include <lzma.h>

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

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

// Decoded bytes waiting to be written out at most. An entry larger than this is never decoded
// ahead: a 32-bit process could not hold several of them at once.
constexpr size_t kLookaheadBudget = 64u << 20;

// Decodes one packed entry (an LZMA-alone stream) held in memory. False for anything the file
// route would not decode cleanly, which then runs and reports it, and for anything larger than
// the look-ahead may hold (whatever the directory claimed).
bool DecodeInMemory(const std::vector<uint8_t>& packed, std::vector<uint8_t>& out) {
    out.clear();
    if (packed.empty()) return true;
    if (packed.size() < 13) return false;
    uint32_t unpacked = LittleEndian32(packed.data() + 5);
    if (unpacked == 0xFFFFFFFFu || LittleEndian32(packed.data() + 9) != 0 || packed[0] > 224) return false;
    if (unpacked > kLookaheadBudget) return false;
    out.resize(unpacked);
    size_t produced = 0;
    return DecodeLzma1(packed[0], packed.data() + 13, packed.size() - 13, out.data(), unpacked, produced);
}

}  // namespace

// The entries announced by Prefetch, in extraction order, and the threads decoding them. Each
// thread reads the archive copy through its own handle (no shared file position, no questions
// from a background thread). The extracting thread takes a job as soon as it needs it: decoded,
// it only writes it out; still pending, it decodes it itself.
struct PackageArchive::Lookahead {
    enum State { Pending, Decoding, Decoded, Failed, Taken };
    struct Job {
        int index = -1;  // the entry
        State state = Pending;
        std::vector<uint8_t> bytes;
    };

    std::mutex lock;
    std::condition_variable changed;
    std::vector<Job> jobs;
    size_t held = 0;  // bytes of decoded jobs not yet taken
    bool stopping = false;
    std::vector<std::thread> threads;

    ~Lookahead() {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& t : threads) t.join();
    }

    // A decoding thread: claims the first pending job while the budget allows.
    void Run(const WString& copyPath, const PackageArchive& archive) {
        DiskFile file;
        if (!file.Open(copyPath, GENERIC_READ, OPEN_EXISTING, false)) return;
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            size_t next = 0;
            while (next < jobs.size() && jobs[next].state != Pending) ++next;
            if (stopping || next == jobs.size()) return;
            if (held > kLookaheadBudget) {
                changed.wait(guard);
                continue;
            }
            Job& job = jobs[next];
            job.state = Decoding;
            const PackageEntry& entry = *archive.Entry(job.index);
            guard.unlock();
            std::vector<uint8_t> decoded;
            bool ok = false;
            try {
                std::vector<uint8_t> packed(entry.packedSize);
                ok = file.Seek(entry.offset) &&
                     (packed.empty() || file.Read(DWORD(packed.size()), packed.data()) == packed.size()) &&
                     ByteSum(packed.data(), packed.size()) == entry.checksum && DecodeInMemory(packed, decoded);
            } catch (const std::bad_alloc&) {
                // Out of memory: the extracting thread decodes this one on the file route.
                std::vector<uint8_t>().swap(decoded);
            }
            guard.lock();
            if (job.state == Taken) {
                // Skipped while it was decoded: nobody will ask for it.
                changed.notify_all();
                continue;
            }
            job.state = ok ? Decoded : Failed;
            if (ok) {
                job.bytes.swap(decoded);
                held += job.bytes.size();
            }
            changed.notify_all();
        }
    }
};

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
    delete lookahead_;
    lookahead_ = nullptr;
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

void PackageArchive::Prefetch(const StringList& names) {
    unsigned cores = std::thread::hardware_concurrency();
    if (lookahead_ || cores < 2 || !copy_.IsOpen()) return;
    auto* lookahead = new Lookahead;
    for (int n = 0; n < names.Count(); ++n) {
        int found = -1;
        for (int i = 0; i < entries_.Count(); ++i) {
            if (!EqualsIgnoreCase(FromAnsi(Entry(i)->name), names.At(n))) continue;
            // An entry name that occurs twice is extracted twice over; that stays on the file route.
            found = found == -1 ? i : -2;
        }
        const PackageEntry* entry = found >= 0 ? Entry(found) : nullptr;
        if (entry && entry->unpackedSize <= kLookaheadBudget && entry->packedSize <= kLookaheadBudget) {
            Lookahead::Job job;
            job.index = found;
            lookahead->jobs.push_back(std::move(job));
        }
    }
    lookahead_ = lookahead;
    // One decoder per core: the extracting thread mostly waits for them, and its writing and
    // copying fills the gaps.
    unsigned helpers = cores < 4 ? cores : 4;
    const WString copyPath = copyName_.Path();
    try {
        for (unsigned t = 0; t < helpers; ++t) {
            lookahead_->threads.emplace_back([this, copyPath] { lookahead_->Run(copyPath, *this); });
        }
    } catch (...) {
        // No thread: ExtractEntry decodes every job itself.
    }
}

// The look-ahead route of ExtractEntry for entry `index`: true when the entry was decoded ahead
// (or here) and written to `destination`. False sends the caller down the file route.
bool PackageArchive::ExtractDecodedAhead(int index, const WString& destination) {
    if (!lookahead_) return false;
    Lookahead& ahead = *lookahead_;
    std::vector<uint8_t> bytes;
    {
        std::unique_lock<std::mutex> guard(ahead.lock);
        size_t at = 0;
        while (at < ahead.jobs.size() &&
               (ahead.jobs[at].index != index || ahead.jobs[at].state == Lookahead::Taken)) {
            ++at;
        }
        if (at == ahead.jobs.size()) return false;
        // Jobs before this one were skipped (a variant not chosen): their bytes are not needed.
        for (size_t before = 0; before < at; ++before) {
            Lookahead::Job& skipped = ahead.jobs[before];
            if (skipped.state != Lookahead::Taken) {
                ahead.held -= skipped.bytes.size();
                std::vector<uint8_t>().swap(skipped.bytes);
                skipped.state = Lookahead::Taken;
            }
        }
        Lookahead::Job& job = ahead.jobs[at];
        if (job.state == Lookahead::Pending) {
            job.state = Lookahead::Taken;
            guard.unlock();
            ahead.changed.notify_all();
            return false;  // not started yet: decoding it here is just as quick
        }
        ahead.changed.wait(guard, [&job] { return job.state != Lookahead::Decoding; });
        bool decoded = job.state == Lookahead::Decoded;
        ahead.held -= job.bytes.size();
        bytes.swap(job.bytes);
        job.state = Lookahead::Taken;
        ahead.changed.notify_all();
        if (!decoded) return false;
    }
    DiskFile out;
    return out.Open(destination, GENERIC_WRITE, CREATE_ALWAYS, false) &&
           (bytes.empty() || out.Write(DWORD(bytes.size()), bytes.data()));
}

bool PackageArchive::ExtractEntry(const WString& name, const WString& destination) {
    int matches = 0;
    int only = -1;
    for (int i = 0; i < entries_.Count(); ++i) {
        if (EqualsIgnoreCase(FromAnsi(Entry(i)->name), name)) {
            ++matches;
            only = i;
        }
    }
    if (matches == 1 && ExtractDecodedAhead(only, destination)) return true;
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
