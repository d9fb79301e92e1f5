#include "builder/Archive.h"

#include "BuilderTestSupport.h"

#include <gtest/gtest.h>
#include <lzma.h>

#include <string>
#include <utility>
#include <vector>

using namespace tarvo::packager;
using namespace tarvo::packager::test;

namespace {

using Entries = std::vector<std::pair<std::string, std::vector<uint8_t>>>;

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

// Writes an archive of `entries` to a file and returns its bytes.
std::vector<uint8_t> WriteArchive(const TempFolder& dir, const Entries& entries) {
    const std::string path = dir / "package.bin";
    {
        File out;
        std::string error;
        EXPECT_TRUE(out.Open(path, "wb", &error)) << error;
        ArchiveWriter writer(out);
        for (const auto& e : entries) {
            EXPECT_TRUE(writer.AddEntry(e.first, MemorySource(e.second), &error)) << error;
        }
        EXPECT_TRUE(writer.Finish(&error)) << error;
        EXPECT_TRUE(out.Close());
    }
    return ReadBytes(path);
}

void RecomputeBodyChecksum(std::vector<uint8_t>& archive) {
    const size_t body = archive.size() - kArchiveTrailerSize;
    StoreU32(&archive[body], ArchiveChecksum(archive.data(), body));
}

}  // namespace

TEST(ArchiveChecksum, TrailerChecksumSumsSignedBytes) {
    // Directory at 0x2E9E2E, 27 entries: signed bytes sum to 100, unsigned ones would give 1124.
    uint8_t trailer[24] = {0, 0, 0, 0, 0, 0, 0, 0,
                           0x2E, 0x9E, 0x2E, 0x00, 0x1B, 0x00, 0x00, 0x00,
                           0x83, 0x52, 0x34, 0x03, 0x43, 0xF3, 0xFF, 0x0E};
    EXPECT_EQ(100u, TrailerChecksum(trailer));
    uint32_t unsignedSum = 0;
    for (int i = 8; i < 24; ++i) unsignedSum += trailer[i];
    EXPECT_EQ(1124u, unsignedSum);
    trailer[0] = trailer[4] = 0x7F;  // bytes 0..7 are not part of it
    EXPECT_EQ(100u, TrailerChecksum(trailer));
}

TEST(ArchiveChecksum, SumsWordsThenTheLastBytesAndNeverGivesZero) {
    struct Case {
        const char* label;
        std::vector<uint8_t> body;
        uint32_t expected;
    };
    const Case cases[] = {
        {"empty body", {}, 1},
        {"zero word", {0, 0, 0, 0}, 1},
        {"one word", {0x01, 0x02, 0x03, 0x04}, 0x04030201},
        {"word and one byte", {0x01, 0x02, 0x03, 0x04, 0xFF}, 0x04030201 + 0xFF},
        {"tail bytes are unsigned, not a word", {0x01, 0x02, 0x03, 0x04, 0x80, 0x80, 0x80}, 0x04030201 + 0x180},
        {"sum wraps", {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}, 1},
        {"wrapped to zero reads as one", {0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0, 0, 0}, 1},
        {"three tail bytes only", {0x10, 0x20, 0x30}, 0x60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.expected, ArchiveChecksum(c.body.data(), c.body.size()));
        // Fed in two pieces split anywhere, the sum is the same.
        for (size_t split = 0; split <= c.body.size(); ++split) {
            ArchiveChecksumBuilder builder;
            builder.Add(c.body.data(), split);
            builder.Add(c.body.data() + split, c.body.size() - split);
            EXPECT_EQ(c.expected, builder.Result()) << "split at " << split;
        }
    }
}

TEST(ArchiveChecksum, FileSumReadsInBlocksAndMatchesTheMemorySum) {
    std::vector<uint8_t> body = ProgramLikeBytes(3 * 65536 + 7, 11);  // several blocks and a tail
    EXPECT_EQ(ArchiveChecksum(body.data(), body.size()), ArchiveChecksum(MemorySource(body)));
}

TEST(Archive, RoundTripsEntries) {
    struct Case {
        const char* label;
        Entries entries;
    };
    const Case cases[] = {
        {"empty file", {{"setup.dat", {}}}},
        {"small text", {{"setup.dat", Bytes("[Project Name]\r\nSample Notes\r\n")}}},
        {"1 MiB of program-like data", {{"1001 - notes.exe", ProgramLikeBytes(1u << 20, 5)}}},
        {"two entries with the same name",
         {{"1001 - a.dll", Bytes("first")}, {"1001 - A.DLL", Bytes("second, longer")}}},
        {"several kinds", {{"setup.dat", Bytes("x")}, {"setup.bmp", {}}, {"data\\blob.bin", ProgramLikeBytes(5000, 9)}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder dir;
        const std::vector<uint8_t> archive = WriteArchive(dir, c.entries);

        // The fixed layout: 128 zero bytes, streams, directory, trailer.
        ASSERT_GE(archive.size(), kArchiveLeadSize + kArchiveTrailerSize);
        EXPECT_EQ(std::vector<uint8_t>(kArchiveLeadSize, 0), std::vector<uint8_t>(archive.begin(), archive.begin() + 128));
        const uint8_t* trailer = &archive[archive.size() - 24];
        EXPECT_EQ(kTrailerMagic1, LoadU32(trailer + 16));
        EXPECT_EQ(kTrailerMagic2, LoadU32(trailer + 20));
        EXPECT_EQ(c.entries.size(), LoadU32(trailer + 12));

        MemorySource source(archive);
        ArchiveReader reader;
        std::string error;
        ASSERT_TRUE(reader.Open(source, &error)) << error;
        ASSERT_EQ(c.entries.size(), reader.Entries().size());
        uint32_t expectedOffset = kArchiveLeadSize;
        for (size_t i = 0; i < c.entries.size(); ++i) {
            const PackageEntry& e = reader.Entries()[i];
            EXPECT_EQ(c.entries[i].first, e.name);
            EXPECT_EQ(expectedOffset, e.offset) << "streams lie back to back";
            expectedOffset += e.packedSize;
            EXPECT_EQ(c.entries[i].second.size(), e.unpackedSize);
            uint32_t sum = 0;
            for (uint32_t k = 0; k < e.packedSize; ++k) sum += archive[e.offset + k];
            EXPECT_EQ(sum, e.checksum);
            if (e.unpackedSize == 0) {
                EXPECT_EQ(0u, e.packedSize) << "an empty file has no stream";
            } else {
                const uint8_t* header = &archive[e.offset];
                EXPECT_EQ(0x5D, header[0]);
                EXPECT_EQ(8u << 20, LoadU32(header + 1));
                EXPECT_EQ(e.unpackedSize, LoadU64(header + 5)) << "the real size, never 'unknown'";
            }
            std::vector<uint8_t> content;
            ASSERT_TRUE(reader.ExtractToMemory(i, &content, &error)) << error;
            EXPECT_EQ(c.entries[i].second, content);
        }
        EXPECT_EQ(expectedOffset, LoadU32(trailer + 8)) << "the directory follows the last stream";
    }
}

TEST(Archive, FindEntryIgnoresAsciiCaseAndTakesTheFirstMatch) {
    TempFolder dir;
    const std::vector<uint8_t> archive =
        WriteArchive(dir, {{"Setup.bmp", Bytes("b")}, {"tool.exe", Bytes("1")}, {"TOOL.EXE", Bytes("2")}});
    MemorySource source(archive);
    ArchiveReader reader;
    ASSERT_TRUE(reader.Open(source, nullptr));
    EXPECT_EQ(0, reader.FindEntry("setup.bmp"));
    EXPECT_EQ(1, reader.FindEntry("Tool.Exe"));
    EXPECT_EQ(-1, reader.FindEntry("setup.lic"));
}

// The streams must decode with what the installer and common tools use: the raw LZMA1 decoder
// filling an output buffer of exactly the declared size, the .lzma ("alone") decoder, and a
// decoder that knows the size and rejects an end marker.
TEST(Archive, StreamsDecodeWithTheInstallersDecoderAndStandardReaders) {
    TempFolder dir;
    const std::vector<uint8_t> original = ProgramLikeBytes(300000, 3);
    const std::vector<uint8_t> archive = WriteArchive(dir, {{"1001 - notes.exe", original}});
    MemorySource source(archive);
    ArchiveReader reader;
    ASSERT_TRUE(reader.Open(source, nullptr));
    const PackageEntry& e = reader.Entries()[0];
    const uint8_t* stream = &archive[e.offset];

    {   // one call, all input, output of exactly the unpacked size
        lzma_options_lzma options{};
        options.dict_size = LoadU32(stream + 1);
        options.lc = stream[0] % 9;
        options.lp = (stream[0] / 9) % 5;
        options.pb = stream[0] / 45;
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        lzma_stream strm = LZMA_STREAM_INIT;
        ASSERT_EQ(LZMA_OK, lzma_raw_decoder(&strm, filters));
        std::vector<uint8_t> out(e.unpackedSize);
        strm.next_in = stream + 13;
        strm.avail_in = e.packedSize - 13;
        strm.next_out = out.data();
        strm.avail_out = out.size();
        lzma_ret ret = lzma_code(&strm, LZMA_RUN);
        EXPECT_TRUE(ret == LZMA_OK || ret == LZMA_STREAM_END) << ret;
        EXPECT_EQ(0u, strm.avail_out);
        lzma_end(&strm);
        EXPECT_EQ(original, out);
    }
    {   // the .lzma reader
        lzma_stream strm = LZMA_STREAM_INIT;
        ASSERT_EQ(LZMA_OK, lzma_alone_decoder(&strm, UINT64_MAX));
        std::vector<uint8_t> out(e.unpackedSize + 16);
        strm.next_in = stream;
        strm.avail_in = e.packedSize;
        strm.next_out = out.data();
        strm.avail_out = out.size();
        EXPECT_EQ(LZMA_STREAM_END, lzma_code(&strm, LZMA_FINISH));
        out.resize(strm.total_out);
        lzma_end(&strm);
        EXPECT_EQ(original, out);
    }
    {   // size known, end marker not allowed
        lzma_options_lzma options{};
        options.dict_size = LoadU32(stream + 1);
        options.lc = 3;
        options.pb = 2;
        options.ext_flags = 0;
        lzma_set_ext_size(options, e.unpackedSize);
        lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
        std::vector<uint8_t> out(e.unpackedSize);
        size_t inPos = 0, outPos = 0;
        EXPECT_EQ(LZMA_OK, lzma_raw_buffer_decode(filters, nullptr, stream + 13, &inPos, e.packedSize - 13,
                                                  out.data(), &outPos, out.size()));
        EXPECT_EQ(e.packedSize - 13u, inPos) << "no bytes after the data";
        EXPECT_EQ(original, out);
    }
}

TEST(Archive, ReaderRejectsDamage) {
    TempFolder dir;
    const std::vector<uint8_t> good = WriteArchive(dir, {{"setup.dat", Bytes("[Project Name]\r\nX\r\n")}});
    const size_t trailer = good.size() - 24;
    struct Case {
        const char* label;
        size_t offset;
        uint8_t xorWith;
        const char* message;
    };
    const Case cases[] = {
        {"a byte of the leading zeros", 5, 0x01, "body checksum"},
        {"a byte of the directory", trailer - 3, 0x20, "body checksum"},
        {"the body checksum itself", trailer + 1, 0x01, "body checksum"},
        {"the trailer checksum", trailer + 4, 0x01, "trailer checksum"},
        {"the entry count", trailer + 12, 0x01, "trailer checksum"},
        {"the first magic value", trailer + 16, 0x01, "magic"},
        {"the second magic value", trailer + 23, 0x01, "magic"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::vector<uint8_t> bad(good);
        bad[c.offset] ^= c.xorWith;
        MemorySource source(bad);
        ArchiveReader reader;
        std::string error;
        EXPECT_FALSE(reader.Open(source, &error));
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
        EXPECT_TRUE(reader.Entries().empty());
    }
    MemorySource tooShort(good.data(), 23);
    ArchiveReader reader;
    EXPECT_FALSE(reader.Open(tooShort, nullptr));
}

TEST(Archive, DamagedEntryFailsItsChecksumAndLeavesNoFile) {
    TempFolder dir;
    std::vector<uint8_t> archive = WriteArchive(dir, {{"setup.dat", ProgramLikeBytes(4000, 1)}});
    archive[kArchiveLeadSize + 40] ^= 0x10;  // inside the stream
    RecomputeBodyChecksum(archive);          // so that only the entry checksum can notice
    MemorySource source(archive);
    ArchiveReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(source, &error)) << error;
    EXPECT_FALSE(reader.CheckEntry(0, &error));
    const std::string out = dir / "setup.dat";
    EXPECT_FALSE(reader.ExtractToFile(0, out, &error));
    EXPECT_NE(std::string::npos, error.find("checksum")) << error;
    EXPECT_FALSE(PathExists(out));
}

TEST(Archive, EntryNamesAreLimitedTo254Bytes) {
    TempFolder dir;
    File out;
    ASSERT_TRUE(out.Open(dir / "p.bin", "wb", nullptr));
    ArchiveWriter writer(out);
    std::string error;
    const std::vector<uint8_t> data = Bytes("x");
    EXPECT_TRUE(writer.AddEntry(std::string(254, 'n'), MemorySource(data), &error)) << error;
    EXPECT_FALSE(writer.AddEntry(std::string(255, 'n'), MemorySource(data), &error));
    EXPECT_NE(std::string::npos, error.find("254")) << error;
    EXPECT_FALSE(writer.AddEntry("", MemorySource(data), &error));
    EXPECT_FALSE(writer.AddEntry(std::string("a\0b", 3), MemorySource(data), &error));
    ASSERT_TRUE(writer.Finish(&error)) << error;
    ASSERT_TRUE(out.Close());

    const std::vector<uint8_t> archive = ReadBytes(dir / "p.bin");
    MemorySource source(archive);
    ArchiveReader reader;
    ASSERT_TRUE(reader.Open(source, &error)) << error;
    ASSERT_EQ(1u, reader.Entries().size());
    EXPECT_EQ(std::string(254, 'n'), reader.Entries()[0].name);
    EXPECT_EQ(255, archive[LoadU32(&archive[archive.size() - 16]) + 16]) << "length byte counts the zero";
}

TEST(Archive, WriterStopsAtTheSizeLimit) {
    TempFolder dir;
    File out;
    ASSERT_TRUE(out.Open(dir / "p.bin", "wb", nullptr));
    ArchiveWriter writer(out);
    writer.SetSizeLimit(4096);
    std::string error;
    const std::vector<uint8_t> big = ProgramLikeBytes(100000, 2);
    EXPECT_FALSE(writer.AddEntry("big", MemorySource(big), &error));
    EXPECT_NE(std::string::npos, error.find("larger than 4096")) << error;
    EXPECT_LE(writer.Size(), 4096u);
}

TEST(LzmaStream, DecoderRejectsBadHeaders) {
    struct Case {
        const char* label;
        uint8_t properties;
        uint64_t size;
        const char* message;
    };
    const Case cases[] = {
        {"properties byte above 224", 225, 10, "properties"},
        {"unknown size", 0x5D, 0xFFFFFFFFFFFFFFFFull, "unpacked size"},
        {"size 0xFFFFFFFF", 0x5D, 0xFFFFFFFFull, "unpacked size"},
        {"upper half not zero", 0x5D, 0x100000001ull, "unpacked size"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        uint8_t stream[18] = {c.properties};
        StoreU32(stream + 1, kLzmaDictionarySize);
        StoreU64(stream + 5, c.size);
        std::string error;
        EXPECT_FALSE(DecodeLzmaAlone(MemorySource(stream, sizeof stream), [](const uint8_t*, size_t) { return true; }, &error));
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    }
}

TEST(LzmaStream, TruncatedDataIsAnError) {
    std::vector<uint8_t> packed;
    const std::vector<uint8_t> original = ProgramLikeBytes(50000, 4);
    ASSERT_TRUE(EncodeLzmaAlone(MemorySource(original), {}, [&](const uint8_t* d, size_t n) {
        packed.insert(packed.end(), d, d + n);
        return true;
    }, nullptr));
    packed.resize(packed.size() / 2);
    std::string error;
    EXPECT_FALSE(DecodeLzmaAlone(MemorySource(packed), [](const uint8_t*, size_t) { return true; }, &error));
    EXPECT_FALSE(error.empty());
}
