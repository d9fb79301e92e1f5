#pragma once
// Writing a whole package: identical contents stored once, streams packed on parallel threads.
#include "builder/Archive.h"
#include "builder/ByteIo.h"
#include "builder/LzmaCodec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::packager {

// One entry to pack: a file, opened when its turn comes, or bytes held in memory.
struct EntrySource {
    std::string name;
    std::string path;   // empty: `bytes`
    std::string bytes;
};

struct PackingOptions {
    CompressionSettings compression;
    unsigned threads = 0;  // 0: DefaultThreadCount()
    uint64_t sizeLimit = kMaxArchiveSize;
};

struct PackingReport {
    std::vector<PackageEntry> entries;
    uint64_t unpackedTotal = 0;
    uint64_t archiveSize = 0;
    size_t sharedEntries = 0;  // entries that point at an earlier entry's stream
    unsigned threads = 0;      // threads that packed
};

// Writes the archive of `sources`, in their order, to `out`. An entry whose content equals an
// earlier one's (byte for byte) shares that entry's stream. The distinct streams are packed on
// `options.threads` threads and written in entry order, so the bytes depend only on the sources
// and the compression settings, never on the number of threads.
bool WritePackage(const std::vector<EntrySource>& sources, const PackingOptions& options, File& out,
                  PackingReport* report, std::string* error);

}  // namespace tarvo::packager
