#include "builder/Archive.h"
#include "builder/Commands.h"
#include "builder/PeResources.h"
#include "builder/Project.h"

#include "BuilderTestSupport.h"
#include "TestPe.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace tarvo::packager;
using namespace tarvo::packager::test;

namespace {

const char kScript[] =
    "[Project Name]\r\nSample Notes\r\n\r\n"
    "[CopyFile]\r\nbin\\notes.exe\r\n<Destination>\\notes.exe\r\n\r\n"
    "[CopyFile]\r\nreadme.txt\r\n<Destination>\\readme.txt\r\n\r\n"
    "[RunFile]\r\n<TempInstall>\\tool.exe\r\n -RUNELEVATED\r\n\r\n"
    "[Registry]\r\nHKCU\r\nSoftware\\TarvoTest\\Build\r\nBINARY\r\nBlob\r\ndata\\blob.bin\r\n";

const char kPackagedScript[] =
    "[Project Name]\r\nSample Notes\r\n\r\n"
    "[CopyFile]\r\n1001 - notes.exe\r\n<Destination>\\notes.exe\r\n\r\n"
    "[CopyFile]\r\n1002 - readme.txt\r\n<Destination>\\readme.txt\r\n\r\n"
    "[RunFile]\r\n<TempInstall>\\tool.exe\r\n -RUNELEVATED\r\n\r\n"
    "[Registry]\r\nHKCU\r\nSoftware\\TarvoTest\\Build\r\nBINARY\r\nBlob\r\ndata\\blob.bin\r\n";

struct RunResult {
    int rc;
    std::string out;
    std::string err;
};

class BuildCommand : public ::testing::Test {
public:
    void SetUp() override {
        notes = ProgramLikeBytes(200000, 21);
        dir.Write("project/setup.dat", std::string(kScript));
        dir.Write("project/bin/notes.exe", notes);
        dir.Write("project/readme.txt", "Read me.\r\n");
        dir.Write("project/tool.exe", "MZ tool");
        dir.Write("project/data/blob.bin", std::string("\x01\x02\x00\x03", 4));
        dir.Write("project/Setup.bmp", "BM banner");
        dir.Write("project/setup.lic", "Terms.\r\n");
        TestPeOptions options;
        options.resources = DefaultTestResources();
        stub = dir.Write("stub.exe", MakeTestPe(options));
        MakeFolders(dir / "out", nullptr);
    }

    RunResult Run(const std::vector<std::string>& args, const std::string& self = std::string()) {
        std::ostringstream out, err;
        int rc = RunBuilderCommand(args, self.empty() ? dir / "bin/tarvo-build" : self, out, err);
        return {rc, out.str(), err.str()};
    }

    std::string Project() const { return dir / "project"; }
    std::string Output() const { return dir / "out/setup.exe"; }

    TempFolder dir;
    std::vector<uint8_t> notes;
    std::string stub;
};

void ExpectContains(const std::string& text, const std::string& part) {
    EXPECT_NE(std::string::npos, text.find(part)) << "'" << part << "' not in:\n" << text;
}

}  // namespace

TEST_F(BuildCommand, PacksTheProjectIntoTheStub) {
    RunResult r = Run({"build", Project(), "-o", Output(), "--stub", stub});
    ASSERT_EQ(0, r.rc) << r.err;
    EXPECT_EQ("", r.err);
    ExpectContains(r.out, "7 entries");
    EXPECT_EQ(std::vector<std::string>{"setup.exe"}, FolderNames(dir / "out")) << "no temporary files left";

    FileSource file;
    ASSERT_TRUE(file.Open(Output(), nullptr));
    uint64_t offset = 0;
    uint32_t size = 0;
    std::string error;
    ASSERT_TRUE(LocatePackage(file, &offset, &size, &error)) << error;
    SliceSource package(file, offset, size);
    ArchiveReader reader;
    ASSERT_TRUE(reader.Open(package, &error)) << error;

    struct Expected {
        const char* name;
        std::string content;
    };
    const Expected expected[] = {
        {"setup.dat", kPackagedScript},
        {"setup.bmp", "BM banner"},
        {"setup.lic", "Terms.\r\n"},
        {"1001 - notes.exe", std::string(notes.begin(), notes.end())},
        {"1002 - readme.txt", "Read me.\r\n"},
        {"tool.exe", "MZ tool"},
        {"data\\blob.bin", std::string("\x01\x02\x00\x03", 4)},
    };
    ASSERT_EQ(sizeof expected / sizeof expected[0], reader.Entries().size());
    for (size_t i = 0; i < reader.Entries().size(); ++i) {
        EXPECT_EQ(expected[i].name, reader.Entries()[i].name);
        std::vector<uint8_t> content;
        ASSERT_TRUE(reader.ExtractToMemory(i, &content, &error)) << error;
        EXPECT_EQ(expected[i].content, std::string(content.begin(), content.end())) << expected[i].name;
    }

    r = Run({"list", Output()});
    EXPECT_EQ(0, r.rc) << r.err;
    ExpectContains(r.out, "1001 - notes.exe");
    ExpectContains(r.out, "7 entries");
    ExpectContains(r.out, "checksums correct");

    r = Run({"extract", Output(), "-o", dir / "x"});
    ASSERT_EQ(0, r.rc) << r.err;
    EXPECT_EQ(notes, ReadBytes(dir / "x/1001 - notes.exe"));
    EXPECT_EQ(kPackagedScript, ReadText(dir / "x/setup.dat"));
    EXPECT_EQ(std::string("\x01\x02\x00\x03", 4), ReadText(dir / "x/data/blob.bin")) << "'\\' in a name is a folder";
}

TEST_F(BuildCommand, RawPackageIsTheBareArchive) {
    RunResult r = Run({"build", Project(), "-o", dir / "out/package.bin", "--raw"});
    ASSERT_EQ(0, r.rc) << r.err;
    const std::vector<uint8_t> bytes = ReadBytes(dir / "out/package.bin");
    MemorySource source(bytes);
    ArchiveReader reader;
    std::string error;
    ASSERT_TRUE(reader.Open(source, &error)) << error;
    EXPECT_EQ(7u, reader.Entries().size());
    r = Run({"list", dir / "out/package.bin"});
    EXPECT_EQ(0, r.rc) << r.err;
}

TEST_F(BuildCommand, SameProjectGivesTheSameBytes) {
    ASSERT_EQ(0, Run({"build", Project(), "-o", dir / "out/a.exe", "--stub", stub}).rc);
    ASSERT_EQ(0, Run({"build", Project(), "-o", dir / "out/b.exe", "--stub", stub}).rc);
    EXPECT_EQ(ReadBytes(dir / "out/a.exe"), ReadBytes(dir / "out/b.exe"));
}

// More files than a process may hold open at once (1024 on Linux, 512 streams in msvcrt).
TEST_F(BuildCommand, PacksMoreFilesThanCanBeOpenAtOnce) {
    std::string script;
    const int count = 1100;
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        dir.Write("many/" + name, "file " + std::to_string(i));
        script += "[CopyFile]\r\n" + name + "\r\n<Destination>\\" + name + "\r\n";
    }
    dir.Write("many/setup.dat", script);
    RunResult r = Run({"build", dir / "many", "-o", dir / "out/many.bin", "--raw"});
    ASSERT_EQ(0, r.rc) << r.err;
    const std::vector<uint8_t> bytes = ReadBytes(dir / "out/many.bin");
    MemorySource source(bytes);
    ArchiveReader reader;
    ASSERT_TRUE(reader.Open(source, nullptr));
    ASSERT_EQ(static_cast<size_t>(count) + 1, reader.Entries().size());
    EXPECT_EQ("2100 - f1099.txt", reader.Entries().back().name);
    std::vector<uint8_t> last;
    ASSERT_TRUE(reader.ExtractToMemory(count, &last, nullptr));
    EXPECT_EQ("file 1099", std::string(last.begin(), last.end()));
}

TEST_F(BuildCommand, DefaultStubLiesBesideTheBuilder) {
    const std::string self = dir / "bin/tarvo-build";
    RunResult r = Run({"build", Project(), "-o", Output()}, self);
    EXPECT_EQ(1, r.rc);
    ExpectContains(r.err, JoinPath(dir / "bin", "tarvo-setup.exe"));
    ExpectContains(r.err, "--stub");
    EXPECT_FALSE(PathExists(Output()));

    dir.Write("bin/tarvo-setup.exe", ReadBytes(stub));
    r = Run({"build", Project(), "-o", Output()}, self);
    EXPECT_EQ(0, r.rc) << r.err;
}

// Every failure: a clear message, exit code 1, and the output folder exactly as it was.
TEST_F(BuildCommand, FailuresWriteNothing) {
    struct Case {
        Case(const char* label, std::function<void(BuildCommand&)> prepare, std::vector<std::string> messages,
             std::string project = std::string())
            : label(label), prepare(std::move(prepare)), messages(std::move(messages)), project(std::move(project)) {}
        const char* label;
        std::function<void(BuildCommand&)> prepare;
        std::vector<std::string> messages;
        std::string project;  // empty: the fixture's
    };
    auto script = [](const std::string& text) {
        return [text](BuildCommand& t) { t.dir.Write("project/setup.dat", text); };
    };
    const std::string missingPath = ProjectPath(Project(), "bin\\gone.exe");
    const std::vector<Case> cases = {
        {"no setup.dat", [](BuildCommand& t) { RemoveFile(t.dir / "project/setup.dat"); }, {"no setup.dat in"}},
        {"no project folder", nullptr, {"does not exist"}, "no-such-folder"},
        {"a [CopyFile] source is missing",
         script("[Project Name]\r\nX\r\n[CopyFile]\r\nbin\\gone.exe\r\n<Destination>\\gone.exe\r\n"),
         {"setup.dat line 4: [CopyFile] source 'bin\\gone.exe' does not exist (looked for '" + missingPath + "')"}},
        {"every missing file is named",
         script("[CopyFile]\r\ngone1.dll\r\nx\r\n[RunFile]\r\n<TempInstall>\\gone2.exe\r\n\r\n\r\n"
                "[Registry]\r\nHKLM\r\nK\r\nBINARY\r\nV\r\ngone3.bin\r\n"),
         {"line 2: [CopyFile] source 'gone1.dll' does not exist", "line 5: [RunFile] source 'gone2.exe' does not exist",
          "line 13: [Registry] source 'gone3.bin' does not exist"}},
        {"a source is a folder", script("[CopyFile]\r\nbin\r\nx\r\n"), {"line 2: [CopyFile] source 'bin': ", "is a folder"}},
        {"an entry name is too long", script("[CopyFile]\r\n" + std::string(250, 'n') + ".dll\r\nx\r\n"),
         {"line 2: the entry name", "limited to 254 bytes"}},
        {"the stub is not an executable", [](BuildCommand& t) { t.stub = t.dir.Write("stub.exe", "not a program"); },
         {"not a Windows executable"}},
        {"the stub is missing", [](BuildCommand& t) { t.stub = t.dir / "missing-stub.exe"; }, {"the installer stub: cannot open"}},
        {"the stub has no room for a section",
         [](BuildCommand& t) {
             TestPeOptions o;
             o.tightHeaders = true;
             o.resources = DefaultTestResources();
             t.stub = t.dir.Write("stub.exe", MakeTestPe(o));
         },
         {"no room for one more section header"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        SetUp();
        dir.Write("out/setup.exe", "OLD");
        if (c.prepare) c.prepare(*this);
        RunResult r = Run({"build", c.project.empty() ? Project() : dir / c.project, "-o", Output(), "--stub", stub});
        EXPECT_EQ(1, r.rc);
        for (const std::string& m : c.messages) ExpectContains(r.err, m);
        ExpectContains(r.err, "nothing written");
        EXPECT_EQ(std::vector<std::string>{"setup.exe"}, FolderNames(dir / "out"));
        EXPECT_EQ("OLD", ReadText(Output()));
    }
}

#ifndef _WIN32
TEST_F(BuildCommand, UnreadableFileIsNamed) {
    if (geteuid() == 0) GTEST_SKIP() << "root reads every file";
    chmod((dir / "project/readme.txt").c_str(), 0);
    RunResult r = Run({"build", Project(), "-o", Output(), "--stub", stub});
    EXPECT_EQ(1, r.rc);
    ExpectContains(r.err, "line 9: [CopyFile] source 'readme.txt': cannot open");
    ExpectContains(r.err, "Permission denied");
    EXPECT_FALSE(PathExists(Output()));
}
#endif

TEST_F(BuildCommand, PackageOverTheLimitIsRefused) {
    // The real limit is 4 GiB; the same check with a small limit.
    BuildOptions options;
    options.project = Project();
    options.output = Output();
    options.stub = stub;
    options.sizeLimit = 50000;
    BuildResult result;
    std::vector<std::string> errors;
    EXPECT_FALSE(BuildPackage(options, &result, &errors));
    ASSERT_EQ(1u, errors.size());
    ExpectContains(errors[0], "larger than 50000 bytes");
    EXPECT_TRUE(FolderNames(dir / "out").empty());
}

TEST_F(BuildCommand, ExtractKeepsEveryEntryInsideTheFolder) {
    const std::string packagePath = dir / "crafted.bin";
    {
        File out;
        ASSERT_TRUE(out.Open(packagePath, "wb", nullptr));
        ArchiveWriter writer(out);
        const std::vector<uint8_t> data = {'x'};
        for (const char* name : {"..\\evil.txt", "/abs.txt", "C:\\drive.txt", "a\\..\\b.txt", "ok\\sub\\c.txt"}) {
            ASSERT_TRUE(writer.AddEntry(name, MemorySource(data), nullptr));
        }
        ASSERT_TRUE(writer.Finish(nullptr));
        ASSERT_TRUE(out.Close());
    }
    MakeFolders(dir / "deep/x", nullptr);
    RunResult r = Run({"extract", packagePath, "-o", dir / "deep/x"});
    ASSERT_EQ(0, r.rc) << r.err;
    EXPECT_EQ((std::vector<std::string>{"x"}), FolderNames(dir / "deep"));
    EXPECT_EQ((std::vector<std::string>{".._evil.txt", "C__drive.txt", "_abs.txt", "a_.._b.txt", "ok"}),
              FolderNames(dir / "deep/x"));
    EXPECT_EQ("x", ReadText(dir / "deep/x/ok/sub/c.txt"));
}

TEST_F(BuildCommand, ListAndExtractReportDamage) {
    ASSERT_EQ(0, Run({"build", Project(), "-o", Output(), "--stub", stub}).rc);
    std::vector<uint8_t> bytes = ReadBytes(Output());
    bytes[bytes.size() - 700] ^= 0x55;  // inside the package
    dir.Write("out/damaged.exe", bytes);
    RunResult r = Run({"list", dir / "out/damaged.exe"});
    EXPECT_EQ(1, r.rc);
    ExpectContains(r.err, "corrupted");
    r = Run({"extract", dir / "out/damaged.exe", "-o", dir / "x"});
    EXPECT_EQ(1, r.rc);

    r = Run({"list", stub});
    EXPECT_EQ(1, r.rc);
    ExpectContains(r.err, "no resource RT_RCDATA 24356");
}

TEST_F(BuildCommand, UsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"pack", Project()},
        {"build", Project()},
        {"build", "-o", Output()},
        {"build", Project(), "-o", Output(), "--level", "12"},
        {"build", Project(), "-o", Output(), "--bogus"},
        {"extract", Output()},
        {"list"},
    };
    for (const auto& args : cases) {
        RunResult r = Run(args);
        EXPECT_EQ(2, r.rc) << (args.empty() ? "(none)" : args[0]);
        ExpectContains(r.err, "usage:");
    }
    EXPECT_EQ(0, Run({"--help"}).rc);
}
