// The installer's own package reader (src/package) on what the builder writes: a bare archive in
// memory, and an executable that the builder extended, loaded as a module so that the reader
// finds the package through FindResourceW exactly as at install time. Two entries of the same
// content share one stream, as the builder stores them.
#include "builder/Archive.h"
#include "builder/Packing.h"
#include "builder/PeResources.h"

#include "BuilderTestSupport.h"

#include <gtest/gtest.h>

#ifdef TARVO_HAVE_INSTALLER_READER
#include "common/WinTestSupport.h"
#include "package/Archive.h"

#include <sstream>
#include <string>
#include <vector>

namespace packager = tarvo::packager;
using packager::test::ProgramLikeBytes;
using packager::test::ReadBytes;
using packager::test::TempFolder;

namespace {

struct Item {
    std::string name;
    std::vector<uint8_t> content;
};

std::vector<Item> Items() {
    return {
        {"setup.dat", {'[', 'C', 'o', 'p', 'y', 'F', 'i', 'l', 'e', ']', '\r', '\n'}},
        {"Setup.bmp", {}},  // an empty file: no stream at all
        {"1001 - notes.exe", ProgramLikeBytes(1u << 20, 77)},
        {"data\\blob.bin", ProgramLikeBytes(5000, 78)},
        {"1002 - notes-copy.exe", ProgramLikeBytes(1u << 20, 77)},  // the stream of 1001
    };
}

std::vector<uint8_t> PackageOf(const std::vector<Item>& items) {
    TempFolder dir;
    packager::File out;
    EXPECT_TRUE(out.Open(dir / "p.bin", "wb", nullptr));
    std::vector<packager::EntrySource> sources;
    for (const Item& item : items) sources.push_back({item.name, "", std::string(item.content.begin(), item.content.end())});
    packager::PackingOptions options;
    options.threads = 2;
    packager::PackingReport report;
    std::string error;
    EXPECT_TRUE(packager::WritePackage(sources, options, out, &report, &error)) << error;
    EXPECT_EQ(1u, report.sharedEntries);
    EXPECT_TRUE(out.Close());
    return ReadBytes(dir / "p.bin");
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

std::string Narrow(const std::wstring& text) {
    std::string out;
    for (wchar_t c : text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// Every item comes out of the installer's reader byte for byte, found ignoring case.
void ExpectInstallerExtractsAll(tarvo::PackageArchive& archive, const std::vector<Item>& items) {
    tarvo::testing::ScratchFolder scratch;
    ASSERT_EQ(static_cast<int>(items.size()), archive.EntryCount());
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].name);
        tarvo::PackageEntry record;
        ASSERT_TRUE(archive.FindEntry(tarvo::WString(Wide(items[i].name).c_str()), &record));
        EXPECT_EQ(items[i].content.size(), record.unpackedSize);
        std::string upper = items[i].name;
        for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
        const std::wstring out = scratch / (L"out" + std::to_wstring(i));
        ASSERT_TRUE(archive.ExtractEntry(tarvo::WString(Wide(upper).c_str()), tarvo::WString(out.c_str())));
        std::string bytes = tarvo::testing::ReadBytes(out);
        EXPECT_TRUE(std::vector<uint8_t>(bytes.begin(), bytes.end()) == items[i].content);
    }
}

}  // namespace

TEST(InstallerReadsPackage, BareArchive) {
    tarvo::testing::MessageRecorder boxes;
    const std::vector<Item> items = Items();
    const std::vector<uint8_t> bytes = PackageOf(items);
    tarvo::PackageArchive archive(bytes.data(), bytes.size());
    ExpectInstallerExtractsAll(archive, items);
    EXPECT_TRUE(boxes.calls.empty()) << Narrow(boxes.Text(0));
}

TEST(InstallerReadsPackage, ResourceOfAPackedExecutable) {
    std::vector<std::string> stubs;
    std::stringstream list(TARVO_TEST_STUBS);
    for (std::string path; std::getline(list, path, '|');) {
        if (!path.empty()) stubs.push_back(path);
    }
    if (stubs.empty()) GTEST_SKIP() << "no test stub";
    tarvo::testing::MessageRecorder boxes;
    const std::vector<Item> items = Items();
    const std::vector<uint8_t> package = PackageOf(items);
    TempFolder dir;
    const std::string setup = dir / "setup.exe";
    {
        packager::File out;
        ASSERT_TRUE(out.Open(setup, "w+b", nullptr));
        std::string error;
        ASSERT_TRUE(packager::EmbedPackage(ReadBytes(stubs.front()), packager::MemorySource(package), out, &error)) << error;
        ASSERT_TRUE(out.Close());
    }
    HMODULE module = ::LoadLibraryExW(Wide(setup).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << ::GetLastError();
    {
        tarvo::PackageArchive archive(module);
        ExpectInstallerExtractsAll(archive, items);
    }
    ::FreeLibrary(module);
    EXPECT_TRUE(boxes.calls.empty()) << Narrow(boxes.Text(0));
}

#else

TEST(InstallerReadsPackage, NeedsTheWindowsInstallerCode) {
    GTEST_SKIP() << "the installer's package reader is Windows code";
}

#endif
