#include "builder/Packing.h"

#include "builder/Parallel.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

namespace tarvo::packager {

namespace {

constexpr size_t kReadBlock = 1u << 20;
// Unpacked bytes that may be packed ahead of the writer. Streams wait in memory until their turn
// to be written, so this bounds the memory they hold; the entry the writer waits for always starts.
constexpr uint64_t kAheadBudget = sizeof(void*) < 8 ? (256ull << 20) : (1024ull << 20);

// An entry's content, opened for reading.
class Content {
public:
    bool Open(const EntrySource& source, std::string* error) {
        if (source.path.empty()) {
            memory_ = std::make_unique<MemorySource>(source.bytes.data(), source.bytes.size());
            bytes_ = memory_.get();
            return true;
        }
        if (!file_.Open(source.path, error)) return false;
        bytes_ = &file_;
        return true;
    }
    const ByteSource& Bytes() const { return *bytes_; }

private:
    FileSource file_;
    std::unique_ptr<MemorySource> memory_;
    const ByteSource* bytes_ = nullptr;
};

// FNV-1a over little-endian 64-bit words and then the last bytes: a fingerprint that finds the
// candidates for sharing; equal fingerprints are confirmed byte by byte.
bool Fingerprint(const ByteSource& bytes, uint64_t* result) {
    uint64_t hash = 0xCBF29CE484222325ull;
    std::vector<uint8_t> block(kReadBlock);
    for (uint64_t pos = 0; pos < bytes.Size();) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), bytes.Size() - pos));
        if (!bytes.ReadAt(pos, block.data(), n)) return false;
        size_t i = 0;
        for (; i + 8 <= n; i += 8) hash = (hash ^ LoadU64(block.data() + i)) * 0x100000001B3ull;
        for (; i < n; ++i) hash = (hash ^ block[i]) * 0x100000001B3ull;
        pos += n;
    }
    *result = hash;
    return true;
}

bool SameBytes(const ByteSource& a, const ByteSource& b, bool* same) {
    *same = false;
    if (a.Size() != b.Size()) return true;
    std::vector<uint8_t> blockA(kReadBlock), blockB(kReadBlock);
    for (uint64_t pos = 0; pos < a.Size();) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(kReadBlock, a.Size() - pos));
        if (!a.ReadAt(pos, blockA.data(), n) || !b.ReadAt(pos, blockB.data(), n)) return false;
        if (std::memcmp(blockA.data(), blockB.data(), n) != 0) return true;
        pos += n;
    }
    *same = true;
    return true;
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

// For every source, the first source with the same content (itself when there is none). Only
// sources of equal, non-zero size are read to decide.
bool FindSharedContent(const std::vector<EntrySource>& sources, const std::vector<uint64_t>& sizes,
                       std::vector<size_t>* owner, std::string* error) {
    owner->resize(sources.size());
    std::map<uint64_t, std::vector<size_t>> bySize;
    for (size_t i = 0; i < sources.size(); ++i) {
        (*owner)[i] = i;
        if (sizes[i] > 0) bySize[sizes[i]].push_back(i);
    }
    for (const auto& group : bySize) {
        const std::vector<size_t>& members = group.second;
        if (members.size() < 2) continue;
        std::vector<uint64_t> prints(members.size());
        for (size_t k = 0; k < members.size(); ++k) {
            Content content;
            std::string why;
            if (!content.Open(sources[members[k]], &why) || !Fingerprint(content.Bytes(), &prints[k])) {
                if (error) *error = Quoted(sources[members[k]].name) + ": " + (why.empty() ? "read error: " + LastErrorText() : why);
                return false;
            }
        }
        for (size_t k = 1; k < members.size(); ++k) {
            for (size_t e = 0; e < k; ++e) {
                if (prints[e] != prints[k] || (*owner)[members[e]] != members[e]) continue;
                Content a, b;
                std::string why;
                bool same = false;
                if (!a.Open(sources[members[e]], &why) || !b.Open(sources[members[k]], &why) ||
                    !SameBytes(a.Bytes(), b.Bytes(), &same)) {
                    if (error) *error = Quoted(sources[members[k]].name) + ": " + (why.empty() ? "read error: " + LastErrorText() : why);
                    return false;
                }
                if (same) {
                    (*owner)[members[k]] = members[e];
                    break;
                }
            }
        }
    }
    return true;
}

}  // namespace

bool WritePackage(const std::vector<EntrySource>& sources, const PackingOptions& options, File& out,
                  PackingReport* report, std::string* error) {
    *report = PackingReport();
    auto fail = [error](const std::string& why) {
        if (error) *error = why;
        return false;
    };

    std::vector<uint64_t> sizes(sources.size());
    for (size_t i = 0; i < sources.size(); ++i) {
        Content content;
        std::string why;
        if (!content.Open(sources[i], &why)) return fail(Quoted(sources[i].name) + ": " + why);
        sizes[i] = content.Bytes().Size();
        if (sizes[i] > kLzmaMaxUnpackedSize) {
            return fail(Quoted(sources[i].name) + ": a file of " + std::to_string(sizes[i]) +
                        " bytes is too large for a package entry");
        }
        report->unpackedTotal += sizes[i];
    }
    std::vector<size_t> owner;
    std::string why;
    if (!FindSharedContent(sources, sizes, &owner, &why)) return fail(why);

    // The distinct non-empty contents, in entry order, are the jobs.
    std::vector<size_t> jobEntry;
    std::vector<size_t> jobOf(sources.size(), 0);
    for (size_t i = 0; i < sources.size(); ++i) {
        if (sizes[i] > 0 && owner[i] == i) {
            jobOf[i] = jobEntry.size();
            jobEntry.push_back(i);
        }
    }

    struct Job {
        std::vector<uint8_t> stream;
        uint32_t checksum = 0;
        bool done = false;
        std::string error;  // non-empty: failed
    };
    std::vector<Job> jobs(jobEntry.size());
    std::mutex mutex;
    std::condition_variable changed;
    size_t written = 0;   // jobs written, in order
    uint64_t ahead = 0;   // unpacked bytes of jobs started and not yet written
    bool abort = false;

    auto work = [&](size_t j) {
        const size_t entry = jobEntry[j];
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return abort || j == written || ahead + sizes[entry] <= kAheadBudget; });
            if (abort) return;
            ahead += sizes[entry];
        }
        Job result;
        Content content;
        std::string problem;
        uint32_t sum = 0;
        if (!content.Open(sources[entry], &problem)) {
            result.error = problem;
        } else if (content.Bytes().Size() != sizes[entry]) {
            result.error = "the file changed while the package was being built";
        } else {
            // An exception must not leave a worker thread: it would end the process.
            try {
                result.stream.reserve(static_cast<size_t>(sizes[entry] / 2 + 64));
                const bool ok = EncodeLzmaAlone(content.Bytes(), options.compression, [&](const uint8_t* data, size_t size) {
                    for (size_t i = 0; i < size; ++i) sum += data[i];
                    result.stream.insert(result.stream.end(), data, data + size);
                    return true;
                }, &problem);
                if (!ok) result.error = problem.empty() ? std::string("compression failed") : problem;
            } catch (const std::bad_alloc&) {
                result.error = "out of memory";
            }
        }
        result.checksum = sum;
        result.done = true;
        if (!result.error.empty()) result.stream.clear();
        std::lock_guard<std::mutex> lock(mutex);
        jobs[j] = std::move(result);
        changed.notify_all();
    };

    ArchiveWriter writer(out, options.compression);
    writer.SetSizeLimit(options.sizeLimit);
    const unsigned threads = options.threads ? options.threads : DefaultThreadCount();
    JobRunner runner(jobEntry.size(), threads, work);
    report->threads = std::max(1u, runner.Threads());
    // Whatever way this function ends, the threads must not wait for a writer that is gone.
    struct Release {
        std::mutex& mutex;
        std::condition_variable& changed;
        bool& abort;
        JobRunner& runner;
        ~Release() {
            runner.Stop();
            std::lock_guard<std::mutex> lock(mutex);
            abort = true;
            changed.notify_all();
        }
    } release{mutex, changed, abort, runner};

    const std::vector<uint8_t> nothing;
    for (size_t i = 0; i < sources.size(); ++i) {
        const EntrySource& source = sources[i];
        bool ok;
        if (sizes[i] == 0) {
            ok = writer.AddEntry(source.name, MemorySource(nothing), &why);
        } else if (owner[i] != i) {
            ok = writer.AddSharedEntry(source.name, owner[i], &why);
            ++report->sharedEntries;
        } else {
            const size_t j = jobOf[i];
            if (runner.Threads() == 0) {
                while (!jobs[j].done && runner.RunNext()) {
                }
            }
            Job job;
            {
                std::unique_lock<std::mutex> lock(mutex);
                changed.wait(lock, [&] { return jobs[j].done; });
                job = std::move(jobs[j]);
            }
            if (!job.error.empty()) return fail(Quoted(source.name) + ": " + job.error);
            ok = writer.AddStream(source.name, static_cast<uint32_t>(sizes[i]), job.stream, job.checksum, &why);
            job.stream = std::vector<uint8_t>();
            std::lock_guard<std::mutex> lock(mutex);
            ++written;
            ahead -= sizes[i];
            changed.notify_all();
        }
        if (!ok) return fail(Quoted(source.name) + ": " + why);
    }
    if (!writer.Finish(&why)) return fail(why);
    report->entries = writer.Entries();
    report->archiveSize = writer.Size();
    return true;
}

}  // namespace tarvo::packager
