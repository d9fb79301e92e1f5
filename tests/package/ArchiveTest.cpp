#include "package/Archive.h"

#include "base/Process.h"
#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::testing;

namespace {

std::string Pattern(size_t size) {
    std::string s(size, '\0');
    uint32_t x = 12345;
    for (size_t i = 0; i < size; ++i) {
        x = x * 1103515245u + 12345u;
        s[i] = char((i % 7 == 0) ? (x >> 24) : 'a' + i % 13);
    }
    return s;
}

struct Extracted {
    bool ok;
    std::string bytes;
};

Extracted Extract(PackageArchive& archive, const wchar_t* name, const ScratchFolder& dir) {
    std::wstring out = dir / L"out.bin";
    ::DeleteFileW(out.c_str());
    bool ok = archive.ExtractEntry(name, out.c_str());
    return {ok, ReadBytes(out)};
}

}  // namespace

TEST(PackageArchive, ExtractsEveryEntryByNameIgnoringAsciiCase) {
    ScratchFolder dir;
    MessageRecorder boxes;
    std::string big = Pattern(1 << 20);
    Bytes bytes = Archive({Entry("setup.dat", "[Project Name]\r\nSample\r\n"), Entry("Setup.bmp", "BM..."),
                           Entry("1001 - notes.exe", big)});
    PackageArchive archive(bytes.data(), bytes.size());
    ASSERT_EQ(3, archive.EntryCount());
    EXPECT_EQ(L"Setup.bmp", std::wstring(archive.EntryName(1).c_str()));
    EXPECT_TRUE(archive.EntryName(3).Empty());

    PackageEntry record;
    ASSERT_TRUE(archive.FindEntry(L"SETUP.BMP", &record));
    EXPECT_EQ(5u, record.unpackedSize);
    EXPECT_STREQ("Setup.bmp", record.name);

    EXPECT_EQ("BM...", Extract(archive, L"setup.bmp", dir).bytes);
    Extracted notes = Extract(archive, L"1001 - NOTES.exe", dir);
    EXPECT_TRUE(notes.ok);
    EXPECT_TRUE(notes.bytes == big);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(PackageArchive, QuietFailures) {
    ScratchFolder dir;
    MessageRecorder boxes;
    FixtureEntry broken = Entry("broken.txt", "data");
    broken.breakChecksum = true;
    Bytes bytes = Archive({Entry("a.txt", "a"), broken});
    PackageArchive archive(bytes.data(), bytes.size());

    PackageEntry record;
    record.offset = 77;
    EXPECT_FALSE(archive.FindEntry(L"missing.txt", &record));
    EXPECT_EQ(0u, record.offset);  // the record is zero-filled when nothing matches
    EXPECT_FALSE(Extract(archive, L"missing.txt", dir).ok);
    EXPECT_FALSE(Extract(archive, L"broken.txt", dir).ok);  // the caller reports a bad checksum
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(PackageArchive, EmptyEntryAndRepeatedNames) {
    ScratchFolder dir;
    MessageRecorder boxes;
    FixtureEntry empty{"empty.txt", {}};
    Bytes bytes = Archive({empty, Entry("twice.txt", "first"), Entry("twice.txt", "second, longer")});
    PackageArchive archive(bytes.data(), bytes.size());
    Extracted e = Extract(archive, L"empty.txt", dir);
    EXPECT_TRUE(e.ok);
    EXPECT_TRUE(Exists(dir / L"out.bin"));
    EXPECT_EQ("", e.bytes);
    EXPECT_EQ("second, longer", Extract(archive, L"twice.txt", dir).bytes);
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(PackageArchive, DamagedTrailerGivesAnEmptyDirectoryWithoutMessage) {
    Bytes good = Archive({Entry("setup.dat", "x")});
    struct Damage {
        const char* what;
        size_t offsetFromEnd;
    } cases[] = {{"trailer checksum field", 20}, {"directory offset", 16}, {"mark", 8}, {"magic", 4}};
    for (const auto& c : cases) {
        MessageRecorder boxes;
        Bytes bad = good;
        bad[bad.size() - c.offsetFromEnd] ^= 0x01;
        PackageArchive archive(bad.data(), bad.size());
        EXPECT_EQ(0, archive.EntryCount()) << c.what;
        EXPECT_TRUE(boxes.calls.empty()) << c.what;
    }
    // The trailer sum takes its bytes as signed: an unsigned sum in the field is rejected.
    Bytes unsignedSum = good;
    size_t t = unsignedSum.size() - 24;
    uint32_t sum = 0;
    for (size_t i = t + 8; i < t + 24; ++i) sum += unsignedSum[i];
    Set32(unsignedSum, t + 4, sum);
    PackageArchive archive(unsignedSum.data(), unsignedSum.size());
    EXPECT_EQ(0, archive.EntryCount());

    MessageRecorder boxes;
    PackageArchive none(nullptr, 0);  // no resource at all
    EXPECT_EQ(0, none.EntryCount());
    PackageArchive fromModule;  // this test program carries no package resource
    EXPECT_EQ(0, fromModule.EntryCount());
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(PackageArchive, DamagedBodyIsReportedAsCorrupted) {
    InstallerCaption = L"Sample Installer";
    MessageRecorder boxes(IDOK);
    Bytes bad = Archive({Entry("setup.dat", "script")});
    bad[130] ^= 0x40;
    PackageArchive archive(bad.data(), bad.size());
    EXPECT_EQ(0, archive.EntryCount());
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"This installation is corrupted, please obtain a new copy.", boxes.Text(0));
    EXPECT_EQ(L"Sample Installer", std::wstring(boxes.calls[0].caption.c_str()));
    EXPECT_EQ(UINT(MB_ICONERROR), boxes.calls[0].Icon());
    EXPECT_EQ(nullptr, boxes.calls[0].owner);
    InstallerCaption = L"Setup";
}

TEST(PackageArchive, UndecodableStreamsShowTheReadMessage) {
    struct Case {
        const char* what;
        FixtureEntry entry;
        bool ok;
    } cases[] = {
        {"unknown size", {"x.bin", LzmaStream("hello", 0x5D, 0xFFFFFFFFull)}, false},
        {"size above 32 bits", {"x.bin", LzmaStream("hello", 0x5D, 0x100000005ull)}, false},
        {"properties 225", {"x.bin", LzmaStream("hello", 225)}, false},
        {"truncated data", {"x.bin", LzmaStream("hello", 0x5D, 5000)}, false},
        {"properties 0x5D", {"x.bin", LzmaStream("hello", 0x5D)}, true},
    };
    for (auto& c : cases) {
        ScratchFolder dir;
        MessageRecorder boxes(IDOK);
        Bytes bytes = Archive({c.entry});
        PackageArchive archive(bytes.data(), bytes.size());
        std::wstring out = dir / L"x.bin";
        EXPECT_EQ(c.ok, archive.ExtractEntry(L"x.bin", out.c_str())) << c.what;
        if (c.ok) {
            EXPECT_TRUE(boxes.calls.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(1u, boxes.calls.size()) << c.what;
        std::wstring prefix = L"Error whilst uncompressing '" + out + L"', unable to read '";
        EXPECT_EQ(prefix, boxes.Text(0).substr(0, prefix.size())) << c.what;
        EXPECT_EQ(UINT(MB_ICONERROR | MB_TOPMOST), boxes.calls[0].type & (MB_ICONMASK | MB_TOPMOST)) << c.what;
    }
}

// Entries decoded ahead on other threads must come out exactly as the file route gives them:
// the same bytes, the same results, the same messages, whatever is skipped or extracted out of
// the announced order.
TEST(PackageArchive, DecodingAheadChangesNoResult) {
    FixtureEntry broken = Entry("broken.bin", "checksum does not match");
    broken.breakChecksum = true;
    std::vector<FixtureEntry> entries = {{"empty.bin", {}}, broken,
                                         {"truncated.bin", LzmaStream("hello", 0x5D, 5000)},
                                         {"claims-huge.bin", LzmaStream("hello", 0x5D, 100u << 20)},
                                         Entry("twice.bin", "first"), Entry("twice.bin", "second")};
    StringList announced;
    for (int i = 0; i < 12; ++i) {
        std::string name = "file" + std::to_string(i) + ".bin";
        entries.push_back(Entry(name, Pattern(200000 + 5000 * i) + name));
        announced.Add(WString(std::wstring(name.begin(), name.end()).c_str()));
    }
    for (const wchar_t* name :
         {L"empty.bin", L"broken.bin", L"truncated.bin", L"claims-huge.bin", L"twice.bin", L"missing.bin"}) {
        announced.Add(name);
    }
    Bytes bytes = Archive(entries);

    // Out of order, some announced entries never asked for (file3, file4), one twice, one into a
    // folder that does not exist.
    struct Ask {
        const wchar_t* name;
        const wchar_t* into;
    } asks[] = {{L"file0.bin", L"a.bin"}, {L"file2.bin", L"a.bin"},  {L"file1.bin", L"a.bin"},
                {L"file5.bin", L"no folder\\a.bin"}, {L"file6.bin", L"a.bin"}, {L"file6.bin", L"b.bin"},
                {L"file11.bin", L"a.bin"}, {L"file7.bin", L"a.bin"}, {L"empty.bin", L"a.bin"},
                {L"broken.bin", L"a.bin"}, {L"truncated.bin", L"a.bin"}, {L"twice.bin", L"a.bin"},
                {L"missing.bin", L"a.bin"}, {L"file8.bin", L"a.bin"}, {L"claims-huge.bin", L"a.bin"}};

    struct Outcome {
        bool ok;
        std::string bytes;
        size_t boxes;
    };
    auto run = [&](bool ahead) {
        std::vector<Outcome> outcomes;
        ScratchFolder dir;
        MessageRecorder boxes(IDOK);
        PackageArchive archive(bytes.data(), bytes.size());
        if (ahead) archive.Prefetch(announced);
        for (const Ask& ask : asks) {
            std::wstring out = dir / ask.into;
            ::DeleteFileW(out.c_str());
            size_t before = boxes.calls.size();
            bool ok = archive.ExtractEntry(ask.name, out.c_str());
            outcomes.push_back({ok, ReadBytes(out), boxes.calls.size() - before});
        }
        return outcomes;
    };
    std::vector<Outcome> plain = run(false);
    std::vector<Outcome> ahead = run(true);
    ASSERT_EQ(plain.size(), ahead.size());
    for (size_t i = 0; i < plain.size(); ++i) {
        SCOPED_TRACE(::testing::Message() << "ask " << i);
        EXPECT_EQ(plain[i].ok, ahead[i].ok);
        EXPECT_TRUE(plain[i].bytes == ahead[i].bytes);
        EXPECT_EQ(plain[i].boxes, ahead[i].boxes);
    }
    // The table does what it says: decoded entries, the write and read failures.
    EXPECT_TRUE(plain[0].ok && plain[0].bytes.size() > 200000);
    EXPECT_EQ(1u, plain[3].boxes);
    EXPECT_EQ(1u, plain[10].boxes);
    EXPECT_FALSE(plain[9].ok);
    EXPECT_EQ("second", plain[11].bytes);
}

TEST(DecompressFile, UnwritableDestinationShowsTheWriteMessage) {
    ScratchFolder dir;
    MessageRecorder boxes(IDOK);
    Bytes stream = LzmaStream("payload");
    std::wstring source = dir / L"in.lzma";
    WriteBytes(source, std::string(stream.begin(), stream.end()));
    std::wstring target = dir / L"no such folder\\out.bin";
    EXPECT_FALSE(DecompressFile(source.c_str(), target.c_str()));
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"Error whilst uncompressing '" + target + L"', unable to write '" + target + L"'", boxes.Text(0));

    std::wstring emptySource = dir / L"empty.lzma";
    WriteBytes(emptySource, "");
    std::wstring emptyOut = dir / L"empty.out";
    EXPECT_TRUE(DecompressFile(emptySource.c_str(), emptyOut.c_str()));
    EXPECT_TRUE(Exists(emptyOut));
}

TEST(ArchiveChecksum, SumsWordsThenTheLastBytes) {
    ScratchFolder dir;
    struct Case {
        std::string body;
        uint32_t expected;
    } cases[] = {
        {"", 1},
        {std::string("\x01\x00\x00\x00\x02", 5), 3},
        {std::string("\xff\xff\xff\xff\x01", 5), 1},  // wraps to 0, which is given as 1
        {std::string("\x10\x20\x30\x40\x50\x60", 6), 0x40302010u + 0x50 + 0x60},
    };
    for (const auto& c : cases) {
        std::wstring path = dir / L"sum.bin";
        WriteBytes(path, c.body + std::string(24, '\x7f'));
        DiskFile file;
        ASSERT_TRUE(file.Open(path.c_str(), GENERIC_READ, OPEN_EXISTING, false));
        EXPECT_EQ(c.expected, ArchiveChecksum(file)) << c.body.size();
    }
}
