#include "builder/Archive.h"
#include "builder/Packing.h"

#include "BuilderTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tarvo::packager;
using namespace tarvo::packager::test;

namespace {

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Files on disk and bytes in memory, with repeated contents, empty entries and equal sizes of
// different contents.
std::vector<EntrySource> MixedSources(const TempFolder& dir) {
    const std::string big = Text(ProgramLikeBytes(300000, 1));
    const std::string other = Text(ProgramLikeBytes(300000, 2));  // same size, other content
    return {
        {"setup.dat", "", "[Project Name]\r\nX\r\n"},
        {"1001 - a.dll", dir.Write("a.dll", big), ""},
        {"1002 - empty.txt", dir.Write("empty.txt", ""), ""},
        {"1003 - b.dll", dir.Write("b.dll", other), ""},
        {"1004 - copy-of-a.dll", dir.Write("sub/a.dll", big), ""},
        {"1005 - small.txt", dir.Write("small.txt", "small"), ""},
        {"1006 - empty2.txt", dir.Write("empty2.txt", ""), ""},
        {"in-memory-a.dll", "", big},
        {"1007 - small-again.txt", dir.Write("small2.txt", "small"), ""},
    };
}

std::vector<uint8_t> Pack(const TempFolder& dir, const std::vector<EntrySource>& sources, unsigned threads,
                          PackingReport* report = nullptr) {
    const std::string path = dir / ("package-" + std::to_string(threads) + ".bin");
    File out;
    EXPECT_TRUE(out.Open(path, "wb", nullptr));
    PackingOptions options;
    options.threads = threads;
    PackingReport local;
    std::string error;
    EXPECT_TRUE(WritePackage(sources, options, out, report ? report : &local, &error)) << error;
    EXPECT_TRUE(out.Close());
    return ReadBytes(path);
}

}  // namespace

// The thread count decides how fast, never what: every count writes the same bytes.
TEST(Packing, BytesDoNotDependOnTheNumberOfThreads) {
    TempFolder dir;
    const std::vector<EntrySource> sources = MixedSources(dir);
    PackingReport report;
    const std::vector<uint8_t> one = Pack(dir, sources, 1, &report);
    EXPECT_EQ(1u, report.threads);
    for (unsigned threads : {2u, 3u, 8u}) {
        const std::vector<uint8_t> many = Pack(dir, sources, threads, &report);
        EXPECT_EQ(std::min<unsigned>(threads, 4), report.threads) << "at most one thread per distinct stream";
        EXPECT_TRUE(one == many) << threads << " threads";
    }
}

TEST(Packing, IdenticalContentsShareOneStream) {
    TempFolder dir;
    const std::vector<EntrySource> sources = MixedSources(dir);
    PackingReport report;
    const std::vector<uint8_t> bytes = Pack(dir, sources, 2, &report);
    MemorySource source(bytes);
    ArchiveReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(source, &error)) << error;
    const auto& e = reader.Entries();
    ASSERT_EQ(sources.size(), e.size());

    auto sameStream = [&](size_t a, size_t b) {
        return e[a].offset == e[b].offset && e[a].packedSize == e[b].packedSize && e[a].checksum == e[b].checksum &&
               e[a].unpackedSize == e[b].unpackedSize;
    };
    EXPECT_TRUE(sameStream(1, 4)) << "a file and its copy elsewhere";
    EXPECT_TRUE(sameStream(1, 7)) << "a file and the same bytes in memory";
    EXPECT_TRUE(sameStream(5, 8));
    EXPECT_FALSE(sameStream(1, 3)) << "equal sizes, other content";
    EXPECT_EQ(0u, e[2].packedSize);
    EXPECT_EQ(0u, e[6].packedSize);
    EXPECT_EQ(3u, report.sharedEntries);
    EXPECT_EQ(bytes.size(), report.archiveSize);

    // The streams follow each other without gaps, each written once.
    uint64_t end = kArchiveLeadSize;
    for (size_t i = 0; i < e.size(); ++i) {
        if (e[i].packedSize == 0 || e[i].offset < end) continue;
        EXPECT_EQ(end, e[i].offset) << e[i].name;
        end = e[i].offset + e[i].packedSize;
    }
    EXPECT_EQ(LoadU32(&bytes[bytes.size() - 16]), end) << "the directory follows the last stream";

    for (size_t i = 0; i < e.size(); ++i) {
        std::vector<uint8_t> content;
        ASSERT_TRUE(reader.ExtractToMemory(i, &content, &error)) << error;
        const std::string expected = sources[i].path.empty() ? sources[i].bytes : ReadText(sources[i].path);
        EXPECT_EQ(expected, Text(content)) << e[i].name;
    }
}

TEST(Packing, AnUnreadableSourceIsNamedAndStopsThePackage) {
    TempFolder dir;
    std::vector<EntrySource> sources = MixedSources(dir);
    sources.push_back({"1010 - gone.dll", dir / "gone.dll", ""});
    File out;
    ASSERT_TRUE(out.Open(dir / "p.bin", "wb", nullptr));
    PackingOptions options;
    options.threads = 2;
    PackingReport report;
    std::string error;
    EXPECT_FALSE(WritePackage(sources, options, out, &report, &error));
    EXPECT_NE(std::string::npos, error.find("'1010 - gone.dll'")) << error;
    EXPECT_NE(std::string::npos, error.find("gone.dll")) << error;
}

// The limit is checked as streams arrive; the threads still packing are released.
TEST(Packing, SizeLimitStopsWhileThreadsAreBusy) {
    TempFolder dir;
    std::vector<EntrySource> sources;
    for (int i = 0; i < 12; ++i) {
        sources.push_back({"f" + std::to_string(i), "", Text(ProgramLikeBytes(100000, 100 + i))});
    }
    File out;
    ASSERT_TRUE(out.Open(dir / "p.bin", "wb", nullptr));
    PackingOptions options;
    options.threads = 3;
    options.sizeLimit = 60000;
    PackingReport report;
    std::string error;
    EXPECT_FALSE(WritePackage(sources, options, out, &report, &error));
    EXPECT_NE(std::string::npos, error.find("larger than 60000 bytes")) << error;
}
