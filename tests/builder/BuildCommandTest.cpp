#include "builder/Archive.h"
#include "builder/Commands.h"
#include "builder/PeResources.h"
#include "builder/Project.h"

#include "BuilderTestSupport.h"
#include "TestPe.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <iomanip>
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

// Two runs, and any number of threads, give the same setup.exe byte for byte.
TEST_F(BuildCommand, SameProjectGivesTheSameBytes) {
    ASSERT_EQ(0, Run({"build", Project(), "-o", dir / "out/a.exe", "--stub", stub}).rc);
    const std::vector<uint8_t> first = ReadBytes(dir / "out/a.exe");
    for (const char* threads : {"1", "2", "5"}) {
        RunResult r = Run({"build", Project(), "-o", dir / "out/b.exe", "--stub", stub, "--threads", threads});
        ASSERT_EQ(0, r.rc) << r.err;
        EXPECT_TRUE(first == ReadBytes(dir / "out/b.exe")) << threads << " threads";
    }
}

TEST_F(BuildCommand, IdenticalFilesAreStoredOnce) {
    dir.Write("project/bin/notes-copy.exe", notes);
    dir.Write("project/setup.dat", std::string(kScript) +
                                       "\r\n[CopyFile]\r\nbin\\notes-copy.exe\r\n<Destination>\\notes-copy.exe\r\n");
    RunResult r = Run({"build", Project(), "-o", Output(), "--stub", stub});
    ASSERT_EQ(0, r.rc) << r.err;
    ExpectContains(r.out, "8 entries (1 stored once with an identical file)");
    r = Run({"list", Output()});
    ASSERT_EQ(0, r.rc) << r.err;
    ExpectContains(r.out, "1003 - notes-copy.exe  (the stream of '1001 - notes.exe')");
    r = Run({"extract", Output(), "-o", dir / "x"});
    ASSERT_EQ(0, r.rc) << r.err;
    EXPECT_EQ(notes, ReadBytes(dir / "x/1003 - notes-copy.exe"));
    EXPECT_EQ(notes, ReadBytes(dir / "x/1001 - notes.exe"));
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
        {"setup.dat cannot be read", [](BuildCommand& t) { MakeFolders(t.dir / "unreadable/setup.dat", nullptr); },
         {"the setup script cannot be read", "is a folder"}, "unreadable"},
        {"an entry name holds a byte the code page lacks",
         script("[RunFile]\r\n<TempInstall>\\tool\x81.exe\r\n\r\n\r\n"),
         {"line 2: [RunFile] source 'tool\x81.exe'", "is not text in code page 1252: byte 0x81"}},
        {"a file larger than a 32-bit installer decodes",
         [](BuildCommand& t) { std::filesystem::resize_file(t.dir / "project/readme.txt", kMaxEntrySize + 1); },
         {"line 9: [CopyFile] source 'readme.txt' is 268435457 bytes", "at most 268435456 bytes (256 MiB)"}},
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
        {"build", Project(), "-o", Output(), "--threads", "0"},
        {"build", Project(), "-o", Output(), "--codepage", "932"},
        {"build", Project(), "-o", Output(), "--stub"},
        {"embed", stub, "-o", Output()},
        {"verify"},
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

#ifndef _WIN32
// Linux file names are UTF-8; the installer's entry names are 8-bit text in its code page.
TEST_F(BuildCommand, ScriptPathsFindUtf8FileNamesAndEntryNamesStayInTheCodePage) {
    struct Case {
        const char* label;
        std::string fileOnDisk;  // UTF-8
        std::string scriptPath;  // the script's bytes
        std::vector<std::string> extra;  // options
        std::string entry;       // the expected entry name; empty: the build fails
        std::string message;     // in stderr
    };
    const std::vector<Case> cases = {
        {"a code page 1252 script", "caf\xC3\xA9.dll", "caf\xE9.dll", {}, "1001 - caf\xE9.dll", ""},
        {"a script saved as UTF-8", "caf\xC3\xA9.dll", "caf\xC3\xA9.dll", {}, "1001 - caf\xE9.dll",
         "warning: setup.dat is UTF-8 text, but the installer reads it in code page 1252"},
        {"code page 1251", "\xD0\x96\xD1\x83\xD0\xBA.dll", "\xC6\xF3\xEA.dll", {"--codepage", "1251"},
         "1001 - \xC6\xF3\xEA.dll", ""},
        {"a name code page 1252 cannot write", "\xE6\x96\x87.dll", "\xE6\x96\x87.dll", {}, "",
         "line 2: [CopyFile] source '\xE6\x96\x87.dll': the file name '\xE6\x96\x87.dll' cannot be written in code page 1252"},
        {"a UTF-8 name whose bytes are no 1252 text", "\xC4\x81.dll", "\xC4\x81.dll", {}, "",
         "cannot be written in code page 1252 ('\xC4\x81')"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        TempFolder project;
        project.Write(c.fileOnDisk, "library bytes");
        project.Write("setup.dat", "[CopyFile]\r\n" + c.scriptPath + "\r\n<Destination>\\x.dll\r\n");
        std::vector<std::string> args = {"build", project.path(), "-o", dir / "out/cp.bin", "--raw"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        RunResult r = Run(args);
        if (!c.message.empty()) ExpectContains(r.err, c.message);
        if (c.entry.empty()) {
            EXPECT_EQ(1, r.rc);
            EXPECT_FALSE(PathExists(dir / "out/cp.bin"));
            continue;
        }
        ASSERT_EQ(0, r.rc) << r.err;
        const std::vector<uint8_t> bytes = ReadBytes(dir / "out/cp.bin");
        MemorySource source(bytes);
        ArchiveReader reader;
        ASSERT_TRUE(reader.Open(source, nullptr));
        ASSERT_EQ(2u, reader.Entries().size());
        EXPECT_EQ(c.entry, reader.Entries()[1].name);
        std::vector<uint8_t> script;
        ASSERT_TRUE(reader.ExtractToMemory(0, &script, nullptr));
        EXPECT_EQ("[CopyFile]\r\n" + c.entry + "\r\n<Destination>\\x.dll\r\n", std::string(script.begin(), script.end()));
        RemoveFile(dir / "out/cp.bin");
    }
}
#endif

// --stub win32|win64 and the default, in the build tree's layout and beside the builder.
TEST_F(BuildCommand, InstallerStubLookup) {
    TestPeOptions options64;
    options64.pe32Plus = true;
    const std::vector<uint8_t> pe32 = MakeTestPe(TestPeOptions());
    const std::vector<uint8_t> pe64 = MakeTestPe(options64);
    // A path under dist/ in the platform's own separators.
    auto distPath = [&](const std::string& relative) {
        std::string path = dir / "dist";
        std::stringstream parts(relative);
        for (std::string part; std::getline(parts, part, '/');) path = JoinPath(path, part);
        return path;
    };
    struct Case {
        const char* label;
        std::vector<std::pair<std::string, std::vector<uint8_t>>> files;  // under dist/
        std::string self;    // tarvo-build, under dist/
        std::string choice;
        std::string found;   // under dist/; empty: none
        std::vector<std::string> message;
    };
    const std::vector<Case> cases = {
        {"the Linux builder finds the win32 installer", {{"win32/tarvo-setup.exe", pe32}, {"win64/tarvo-setup.exe", pe64}},
         "linux/tarvo-build", "", "win32/tarvo-setup.exe", {}},
        {"--stub win64 from the Linux builder", {{"win32/tarvo-setup.exe", pe32}, {"win64/tarvo-setup.exe", pe64}},
         "linux/tarvo-build", "win64", "win64/tarvo-setup.exe", {}},
        {"a builder with its installer beside it", {{"tools/tarvo-setup.exe", pe32}}, "tools/tarvo-build.exe", "",
         "tools/tarvo-setup.exe", {}},
        {"the win64 builder still defaults to the 32-bit installer",
         {{"win32/tarvo-setup.exe", pe32}, {"win64/tarvo-setup.exe", pe64}}, "win64/tarvo-build.exe", "",
         "win32/tarvo-setup.exe", {}},
        {"the win64 builder's own installer with --stub win64", {{"win64/tarvo-setup.exe", pe64}},
         "win64/tarvo-build.exe", "win64", "win64/tarvo-setup.exe", {}},
        {"no installer built", {}, "linux/tarvo-build", "", "",
         {"no 32-bit installer stub (win32): '", "linux/tarvo-setup.exe' does not exist",
          "win32/tarvo-setup.exe' does not exist", "--stub PATH", "--raw"}},
        {"only the 64-bit installer beside the builder", {{"win64/tarvo-setup.exe", pe64}}, "win64/tarvo-build.exe", "", "",
         {"is the 64-bit installer"}},
        {"not an executable", {{"win32/tarvo-setup.exe", {'M', 'Z'}}}, "linux/tarvo-build", "", "",
         {"not a Windows executable"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::error_code ignored;
        std::filesystem::remove_all(dir / "dist", ignored);
        for (const auto& f : c.files) dir.Write("dist/" + f.first, f.second);
        std::string path, error;
        const bool found = FindInstallerStub(c.choice, distPath(c.self), &path, &error);
        EXPECT_EQ(!c.found.empty(), found) << error;
        if (found) {
            EXPECT_EQ(distPath(c.found), path);
        }
        for (std::string m : c.message) {
#ifdef _WIN32
            for (char& ch : m) ch = ch == '/' ? '\\' : ch;
#endif
            ExpectContains(error, m);
        }
    }
    std::string path;
    ASSERT_TRUE(FindInstallerStub("some/other.exe", distPath("linux/tarvo-build"), &path, nullptr));
    EXPECT_EQ("some/other.exe", path) << "any other value is a path";

    // The command uses the lookup: the default stub is the win32 one.
    std::error_code ignored;
    std::filesystem::remove_all(dir / "dist", ignored);
    dir.Write("dist/win32/tarvo-setup.exe", ReadBytes(stub));
    RunResult r = Run({"build", Project(), "-o", Output()}, distPath("linux/tarvo-build"));
    ASSERT_EQ(0, r.rc) << r.err;
    ExpectContains(r.out, "(stub " + distPath("win32/tarvo-setup.exe") + ")");
    r = Run({"build", Project(), "-o", Output(), "--stub", "win64"}, distPath("linux/tarvo-build"));
    EXPECT_EQ(1, r.rc);
    ExpectContains(r.err, "no 64-bit installer stub (win64)");
}

TEST_F(BuildCommand, EmbedPutsAPackageIntoAStubAsItIs) {
    ASSERT_EQ(0, Run({"build", Project(), "-o", dir / "out/package.bin", "--raw"}).rc);
    const std::vector<uint8_t> package = ReadBytes(dir / "out/package.bin");
    RunResult r = Run({"embed", stub, dir / "out/package.bin", "-o", Output()});
    ASSERT_EQ(0, r.rc) << r.err;
    EXPECT_EQ("", r.err);
    {
        FileSource file;
        ASSERT_TRUE(file.Open(Output(), nullptr));
        uint64_t offset = 0;
        uint32_t size = 0;
        ASSERT_TRUE(LocatePackage(file, &offset, &size, nullptr));
        std::vector<uint8_t> carried(size);
        ASSERT_TRUE(file.ReadAt(offset, carried.data(), size));
        EXPECT_TRUE(package == carried);
    }
    EXPECT_EQ(0, Run({"verify", Output()}).rc);

    // A damaged package goes in as it is, with a warning: tests of the installer need such files.
    std::vector<uint8_t> damaged = package;
    damaged[200] ^= 0xFF;
    dir.Write("out/damaged.bin", damaged);
    r = Run({"embed", stub, dir / "out/damaged.bin", "-o", dir / "out/damaged.exe"});
    EXPECT_EQ(0, r.rc) << r.err;
    ExpectContains(r.err, "warning: '" + (dir / "out/damaged.bin") + "' is no valid package");
    EXPECT_EQ(1, Run({"verify", dir / "out/damaged.exe"}).rc);

    // A stub that is no executable: nothing written.
    dir.Write("not-a-stub.exe", "text");
    r = Run({"embed", dir / "not-a-stub.exe", dir / "out/package.bin", "-o", dir / "out/bad.exe"});
    EXPECT_EQ(1, r.rc);
    ExpectContains(r.err, "not a Windows executable");
    EXPECT_FALSE(PathExists(dir / "out/bad.exe"));
    EXPECT_EQ((std::vector<std::string>{"damaged.bin", "damaged.exe", "package.bin", "setup.exe"}), FolderNames(dir / "out"));
}

// verify reads everything the installer will: the trailer, the body checksum, each entry's
// checksum, and each stream decoded to its declared size, which list does not check.
TEST_F(BuildCommand, VerifyFindsEveryKindOfDamage) {
    const std::vector<uint8_t> text(50000, 'x');
    std::vector<uint8_t> stream;
    ASSERT_TRUE(EncodeLzmaAlone(MemorySource(text), CompressionSettings(), [&](const uint8_t* d, size_t n) {
        stream.insert(stream.end(), d, d + n);
        return true;
    }, nullptr));
    auto sum = [](const std::vector<uint8_t>& bytes) {
        uint32_t s = 0;
        for (uint8_t b : bytes) s += b;
        return s;
    };
    // Writes a package whose second entry carries `second` with a matching checksum.
    auto package = [&](const std::string& name, const std::vector<uint8_t>& second, uint32_t declared) {
        File out;
        EXPECT_TRUE(out.Open(dir / name, "wb", nullptr));
        ArchiveWriter writer(out);
        std::string error;
        EXPECT_TRUE(writer.AddEntry("setup.dat", MemorySource(text), &error)) << error;
        EXPECT_TRUE(writer.AddStream("1001 - data.bin", declared, second, sum(second), &error)) << error;
        EXPECT_TRUE(writer.AddSharedEntry("1002 - same.bin", 1, &error)) << error;
        EXPECT_TRUE(writer.Finish(&error)) << error;
        EXPECT_TRUE(out.Close());
        return dir / name;
    };
    const std::vector<uint8_t> cut(stream.begin(), stream.begin() + static_cast<long>(stream.size() / 2));
    std::vector<uint8_t> longer = stream;
    StoreU64(&longer[5], text.size() + 1000);

    const std::string good = package("good.bin", stream, static_cast<uint32_t>(text.size()));
    const std::string truncated = package("truncated.bin", cut, static_cast<uint32_t>(text.size()));
    const std::string shortData = package("short-data.bin", longer, static_cast<uint32_t>(text.size() + 1000));
    std::vector<uint8_t> bytes = ReadBytes(good);
    bytes[bytes.size() - 30] ^= 1;  // in the directory: the body checksum no longer matches
    const std::string badBody = dir.Write("bad-body.bin", bytes);
    bytes = ReadBytes(good);
    bytes[bytes.size() - 10] ^= 1;  // the trailer's entry count
    const std::string badTrailer = dir.Write("bad-trailer.bin", bytes);
    bytes = ReadBytes(good);
    bytes[kArchiveLeadSize + 20] ^= 1;  // inside the first stream; the body checksum made to match
    StoreU32(&bytes[bytes.size() - 24], ArchiveChecksum(bytes.data(), bytes.size() - 24));
    const std::string badEntry = dir.Write("bad-entry.bin", bytes);

    struct Case {
        std::string path;
        int listRc;
        int verifyRc;
        std::string message;
    };
    const std::vector<Case> cases = {
        {good, 0, 0, "3 entries (2 streams) correct; every entry decodes to its declared size"},
        {truncated, 0, 1, "entry '1001 - data.bin' does not decode: the LZMA data ends after"},
        {shortData, 0, 1, "entry '1001 - data.bin' does not decode"},
        {badBody, 1, 1, "the package body checksum is wrong"},
        {badTrailer, 1, 1, "the package trailer checksum is wrong"},
        {badEntry, 1, 1, "entry 'setup.dat' is corrupted (checksum mismatch)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(c.listRc, Run({"list", c.path}).rc);
        for (const char* threads : {"1", "3"}) {
            RunResult r = Run({"verify", c.path, "--threads", threads});
            EXPECT_EQ(c.verifyRc, r.rc) << r.err;
            ExpectContains(r.out + r.err, c.message);
        }
    }
}

TEST_F(BuildCommand, ListShowsOffsetsSizesAndChecksums) {
    ASSERT_EQ(0, Run({"build", Project(), "-o", Output(), "--stub", stub}).rc);
    FileSource file;
    ASSERT_TRUE(file.Open(Output(), nullptr));
    uint64_t offset = 0;
    uint32_t size = 0;
    ASSERT_TRUE(LocatePackage(file, &offset, &size, nullptr));
    SliceSource package(file, offset, size);
    ArchiveReader reader;
    ASSERT_TRUE(reader.Open(package, nullptr));
    RunResult r = Run({"list", Output()});
    ASSERT_EQ(0, r.rc) << r.err;
    ExpectContains(r.out, "offset      packed    unpacked  checksum  name");
    for (const PackageEntry& e : reader.Entries()) {
        char checksum[12];
        std::snprintf(checksum, sizeof checksum, "%08X", static_cast<unsigned>(e.checksum));
        std::ostringstream row;
        row << std::setw(12) << e.offset << std::setw(12) << e.packedSize << std::setw(12) << e.unpackedSize << "  "
            << checksum << "  " << e.name << "\n";
        ExpectContains(r.out, row.str());
    }
}
