#include "package/SetupPackage.h"

#include "common/WinTestSupport.h"
#include "package/PackageFixture.h"

#include <gtest/gtest.h>

using namespace tarvo;
using namespace tarvo::testing;

TEST(SetupPackage, ExtractsTheFixedFilesAndRemovesItsFolder) {
    MessageRecorder boxes;
    Bytes bytes = Archive({Entry("Setup.dat", "[Project Name]\r\nSample\r\n"), Entry("SETUP.BMP", "picture"),
                           Entry("setup.lic", "terms"), Entry("1001 - a.txt", "not extracted")});
    std::wstring folder;
    {
        bool failed = true;
        SetupPackage package(failed, bytes.data(), bytes.size());
        EXPECT_FALSE(failed);
        EXPECT_TRUE(package.HasTerms());
        folder = package.TempInstallPath().c_str();
        ASSERT_EQ(L'\\', folder.back());
        EXPECT_EQ("[Project Name]\r\nSample\r\n", ReadBytes(folder + L"setup.dat"));
        EXPECT_EQ("picture", ReadBytes(folder + L"setup.bmp"));
        EXPECT_EQ("terms", ReadBytes(folder + L"setup.lic"));
        EXPECT_FALSE(Exists(folder + L"1001 - a.txt"));

        // A second run at the same time gets its own folder.
        bool failedToo = true;
        SetupPackage other(failedToo, bytes.data(), bytes.size());
        EXPECT_NE(folder, std::wstring(other.TempInstallPath().c_str()));
    }
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(SetupPackage, TermsFlagFollowsTheEntryNotTheExtraction) {
    MessageRecorder boxes(IDOK);
    FixtureEntry damagedTerms = Entry("setup.lic", "terms");
    damagedTerms.breakChecksum = true;
    struct Case {
        const char* what;
        std::vector<FixtureEntry> entries;
        bool terms;
        bool licFile;
    } cases[] = {
        {"no terms", {Entry("setup.dat", "s")}, false, false},
        {"damaged terms", {Entry("setup.dat", "s"), damagedTerms}, true, false},
    };
    for (auto& c : cases) {
        bool failed = true;
        Bytes bytes = Archive(c.entries);
        SetupPackage package(failed, bytes.data(), bytes.size());
        EXPECT_FALSE(failed) << c.what;
        EXPECT_EQ(c.terms, package.HasTerms()) << c.what;
        EXPECT_EQ(c.licFile, Exists(std::wstring(package.TempInstallPath().c_str()) + L"setup.lic")) << c.what;
    }
    EXPECT_TRUE(boxes.calls.empty());
}

TEST(SetupPackage, MissingScriptIsReportedAsCorrupted) {
    MessageRecorder boxes(IDOK);
    Bytes bytes = Archive({Entry("setup.bmp", "picture")});
    bool failed = false;
    SetupPackage package(failed, bytes.data(), bytes.size());
    EXPECT_TRUE(failed);
    ASSERT_EQ(1u, boxes.calls.size());
    EXPECT_EQ(L"This installation is corrupted, please obtain a new copy.", boxes.Text(0));
    // Later fixed files are still extracted.
    EXPECT_TRUE(Exists(std::wstring(package.TempInstallPath().c_str()) + L"setup.bmp"));
}

TEST(SetupPackage, DamagedBodyShowsTheCorruptionMessageTwice) {
    MessageRecorder boxes(IDOK);
    Bytes bytes = Archive({Entry("setup.dat", "s")});
    bytes[129] ^= 0x10;
    bool failed = false;
    SetupPackage package(failed, bytes.data(), bytes.size());
    EXPECT_TRUE(failed);
    ASSERT_EQ(2u, boxes.calls.size());
    EXPECT_EQ(boxes.Text(0), boxes.Text(1));
}
