#include "builder/Project.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace tarvo::packager;

namespace {

struct Expected {
    EntryRole role;
    size_t line;
    std::string source;
    std::string name;
};

struct Case {
    Case(const char* label, std::string script, std::string packaged, std::vector<Expected> entries,
         std::vector<std::string> problems = {})
        : label(label), script(std::move(script)), packaged(std::move(packaged)), entries(std::move(entries)),
          problems(std::move(problems)) {}
    const char* label;
    std::string script;
    std::string packaged;  // the script as packaged
    std::vector<Expected> entries;
    std::vector<std::string> problems;  // each must appear in one problem, in order
};

const EntryRole kFile = EntryRole::File;
const EntryRole kProgram = EntryRole::Program;
const EntryRole kData = EntryRole::RegistryData;

}  // namespace

TEST(ScriptPlan, SplitsLinesAsTheInstallerReadsThem) {
    const std::vector<ScriptLine> lines = SplitScriptLines("a\r\nb\nc\rd\r\r\ne");
    ASSERT_EQ(6u, lines.size());
    const char* texts[] = {"a", "b", "c", "d", "", "e"};
    const char* endings[] = {"\r\n", "\n", "\r", "\r", "\r\n", ""};
    for (size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(texts[i], lines[i].text) << i;
        EXPECT_EQ(endings[i], lines[i].ending) << i;
    }
    EXPECT_EQ("a\r\nb\nc\rd\r\r\ne", JoinScriptLines(lines));
    EXPECT_TRUE(SplitScriptLines("").empty());
    EXPECT_EQ(1u, SplitScriptLines("x\r\n").size()) << "no empty line after the last line end";
}

TEST(ScriptPlan, RewritesCopyFileSourcesAndFindsEntries) {
    const std::vector<Case> cases = {
        {"CR LF script, two files, other sections untouched",
         "[Project Name]\r\nSample Notes\r\n\r\n[CopyFile]\r\nbin\\notes.exe\r\n<Destination>\\notes.exe\r\n\r\n"
         "[CreateIcon]\r\n<Destination>\\notes.exe\r\n<DeskTop>\\Notes.lnk\r\n\r\nOptional - Icon\r\n\r\n"
         "[CopyFile]\r\nreadme.txt\r\n<Destination>\\readme.txt\r\n",
         "[Project Name]\r\nSample Notes\r\n\r\n[CopyFile]\r\n1001 - notes.exe\r\n<Destination>\\notes.exe\r\n\r\n"
         "[CreateIcon]\r\n<Destination>\\notes.exe\r\n<DeskTop>\\Notes.lnk\r\n\r\nOptional - Icon\r\n\r\n"
         "[CopyFile]\r\n1002 - readme.txt\r\n<Destination>\\readme.txt\r\n",
         {{kFile, 5, "bin\\notes.exe", "1001 - notes.exe"}, {kFile, 15, "readme.txt", "1002 - readme.txt"}}},
        {"LF, CR and a last line without an end keep their endings",
         "[CopyFile]\na.dll\n<Destination>\\a.dll\n[CopyFile]\rsub/b.dll\r<Destination>\\b.dll\r[CopyFile]\r\nc.ocx\r\nd",
         "[CopyFile]\n1001 - a.dll\n<Destination>\\a.dll\n[CopyFile]\r1002 - b.dll\r<Destination>\\b.dll\r[CopyFile]\r\n1003 - c.ocx\r\nd",
         {{kFile, 2, "a.dll", "1001 - a.dll"}, {kFile, 5, "sub/b.dll", "1002 - b.dll"}, {kFile, 8, "c.ocx", "1003 - c.ocx"}}},
        {"one source copied twice is one entry",
         "[CopyFile]\r\nbin\\a.dll\r\n<System>\\a.dll\r\n[CopyFile]\r\nbin/a.dll\r\n<Destination>\\a.dll\r\n",
         "[CopyFile]\r\n1001 - a.dll\r\n<System>\\a.dll\r\n[CopyFile]\r\n1001 - a.dll\r\n<Destination>\\a.dll\r\n",
         {{kFile, 2, "bin\\a.dll", "1001 - a.dll"}}},
        {"same file name from two folders gets two numbers; markers stay in the name",
         "[CopyFile]\r\nx86\\a.dll\r\n<Destination>\\a.dll\r\n[CopyFile]\r\nx64\\a__TVI_WIN64.dll\r\n<Destination>\\a__TVI_WIN64.dll\r\n",
         "[CopyFile]\r\n1001 - a.dll\r\n<Destination>\\a.dll\r\n[CopyFile]\r\n1002 - a__TVI_WIN64.dll\r\n<Destination>\\a__TVI_WIN64.dll\r\n",
         {{kFile, 2, "x86\\a.dll", "1001 - a.dll"}, {kFile, 5, "x64\\a__TVI_WIN64.dll", "1002 - a__TVI_WIN64.dll"}}},
        {"headers are whole lines compared with case",
         "[copyfile]\r\na.dll\r\nx\r\n [CopyFile]\r\nb.dll\r\nx\r\n[CopyFile] \r\nc.dll\r\nx\r\n",
         "[copyfile]\r\na.dll\r\nx\r\n [CopyFile]\r\nb.dll\r\nx\r\n[CopyFile] \r\nc.dll\r\nx\r\n", {}},
        {"a value line is never a header",
         "[Message]\r\n[CopyFile]\r\nInformation\r\n[Action]\r\n[CopyFile]\r\n",
         "[Message]\r\n[CopyFile]\r\nInformation\r\n[Action]\r\n[CopyFile]\r\n", {}},
        {"lines of an unknown section are tested as headers",
         "[Something]\r\n[CopyFile]\r\na.dll\r\nx\r\n",
         "[Something]\r\n[CopyFile]\r\n1001 - a.dll\r\nx\r\n", {{kFile, 3, "a.dll", "1001 - a.dll"}}},
        {"programs from the package",
         "[RunFile]\r\n<TempInstall>\\tool.exe\r\n -RUNELEVATED\r\n\r\n[RunAndWaitFile]\r\n<TempInstall>setup2.exe\r\n\r\n\r\n"
         "[RunFile]\r\n<Destination>\\notes.exe\r\n\r\n\r\n",
         "[RunFile]\r\n<TempInstall>\\tool.exe\r\n -RUNELEVATED\r\n\r\n[RunAndWaitFile]\r\n<TempInstall>setup2.exe\r\n\r\n\r\n"
         "[RunFile]\r\n<Destination>\\notes.exe\r\n\r\n\r\n",
         {{kProgram, 2, "tool.exe", "tool.exe"}, {kProgram, 6, "setup2.exe", "setup2.exe"}}},
        {"a [RunFile] right after another is taken as its option line",
         "[RunFile]\r\n<TempInstall>\\a.exe\r\n\r\n[RunFile]\r\n<TempInstall>\\b.exe\r\n\r\n\r\n",
         "[RunFile]\r\n<TempInstall>\\a.exe\r\n\r\n[RunFile]\r\n<TempInstall>\\b.exe\r\n\r\n\r\n",
         {{kProgram, 2, "a.exe", "a.exe"}}},
        {"registry BINARY data names an entry, once whatever its case; other types do not",
         "[Registry]\r\nHKLM\r\nSoftware\\X\r\nBINARY\r\nBlob\r\ndata\\blob.bin\r\n"
         "[Registry]\r\nHKCU\r\nSoftware\\X\r\nBINARY\r\nBlob2\r\nDATA\\BLOB.BIN\r\n"
         "[Registry]\r\nHKCU\r\nSoftware\\X\r\nSTRING\r\nName\r\nnot-an-entry.bin\r\n"
         "[Registry]\r\nHKCU\r\nSoftware\\X\r\nbinary\r\nName\r\nalso-not.bin\r\n",
         "[Registry]\r\nHKLM\r\nSoftware\\X\r\nBINARY\r\nBlob\r\ndata\\blob.bin\r\n"
         "[Registry]\r\nHKCU\r\nSoftware\\X\r\nBINARY\r\nBlob2\r\nDATA\\BLOB.BIN\r\n"
         "[Registry]\r\nHKCU\r\nSoftware\\X\r\nSTRING\r\nName\r\nnot-an-entry.bin\r\n"
         "[Registry]\r\nHKCU\r\nSoftware\\X\r\nbinary\r\nName\r\nalso-not.bin\r\n",
         {{kData, 6, "data\\blob.bin", "data\\blob.bin"}}},
        {"files come first, then the entries the script names itself",
         "[RunFile]\r\n<TempInstall>\\first.exe\r\n\r\n\r\n[CopyFile]\r\nlater.dll\r\nx\r\n",
         "[RunFile]\r\n<TempInstall>\\first.exe\r\n\r\n\r\n[CopyFile]\r\n1001 - later.dll\r\nx\r\n",
         {{kFile, 6, "later.dll", "1001 - later.dll"}, {kProgram, 2, "first.exe", "first.exe"}}},
        {"an entry named like a fixed file is that file",
         "[RunFile]\r\n<TempInstall>\\Setup.dat\r\n\r\n\r\n",
         "[RunFile]\r\n<TempInstall>\\Setup.dat\r\n\r\n\r\n", {}},
        {"problems: no source, a folder, a misplaced marker, an empty BINARY name, a long name",
         "[CopyFile]\r\n\r\nx\r\n[CopyFile]\r\nbin\\\r\nx\r\n[RunFile]\r\n<Destination>\\<TempInstall>\\x.exe\r\n\r\n\r\n"
         "[Registry]\r\nHKCU\r\nK\r\nBINARY\r\nV\r\n\r\n[CopyFile]\r\n" + std::string(250, 'n') + ".dll\r\nx\r\n[CopyFile]",
         "", {},
         {"line 2: [CopyFile] names no source file", "line 5: [CopyFile] source 'bin\\' names a folder",
          "line 8: [RunFile] program '<Destination>\\<TempInstall>\\x.exe'", "line 18: the entry name '1001 - nnn",
          "line 21: [CopyFile] names no source file", "line 16: [Registry]: an entry name must not be empty"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ScriptPlan plan = PlanScript(c.script);
        ASSERT_EQ(c.problems.size(), plan.problems.size()) << (plan.problems.empty() ? "" : plan.problems.front());
        for (size_t i = 0; i < c.problems.size(); ++i) {
            EXPECT_NE(std::string::npos, plan.problems[i].find(c.problems[i])) << plan.problems[i];
        }
        if (!c.problems.empty()) continue;
        EXPECT_EQ(c.packaged, plan.script);
        EXPECT_FALSE(plan.container);
        ASSERT_EQ(c.entries.size(), plan.entries.size());
        for (size_t i = 0; i < c.entries.size(); ++i) {
            SCOPED_TRACE(c.entries[i].name);
            EXPECT_EQ(c.entries[i].role, plan.entries[i].role);
            EXPECT_EQ(c.entries[i].line, plan.entries[i].line);
            EXPECT_EQ(c.entries[i].source, plan.entries[i].source);
            EXPECT_EQ(c.entries[i].name, plan.entries[i].name);
        }
    }
}

TEST(ScriptPlan, ContainerPacksItsInstallersOnly) {
    // The container runs every entry but setup.*: a program or data entry would run as an installer.
    ScriptPlan plan = PlanScript(
        "[InstallContainer]\r\n[Message]\r\nInstalling both\r\nInformation\r\n"
        "[CopyFile]\r\nx86\\setup.exe\r\n\r\n[CopyFile]\r\nx64\\setup__TVI_WIN64.exe\r\n\r\n"
        "[RunFile]\r\n<TempInstall>\\helper.exe\r\n\r\n\r\n");
    EXPECT_TRUE(plan.container);
    EXPECT_TRUE(plan.problems.empty());
    ASSERT_EQ(2u, plan.entries.size());
    EXPECT_EQ("1001 - setup.exe", plan.entries[0].name);
    EXPECT_EQ("1002 - setup__TVI_WIN64.exe", plan.entries[1].name);
    ASSERT_EQ(1u, plan.warnings.size());
    EXPECT_NE(std::string::npos, plan.warnings[0].find("'helper.exe' is not packed")) << plan.warnings[0];
}

TEST(ScriptPlan, NumbersStartWhereAsked) {
    ScriptPlan plan = PlanScript("[CopyFile]\r\na\r\nb\r\n", 7);
    ASSERT_EQ(1u, plan.entries.size());
    EXPECT_EQ("7 - a", plan.entries[0].name);
}

TEST(ScriptPlan, ProjectPathsUseTheScriptsSeparators) {
#ifdef _WIN32
    EXPECT_EQ("proj\\bin\\notes.exe", ProjectPath("proj", "bin\\notes.exe"));
    EXPECT_EQ("C:/proj/bin\\notes.exe", ProjectPath("C:/proj", "bin\\notes.exe"));
    EXPECT_EQ("C:\\files\\a.dll", ProjectPath("proj", "C:\\files\\a.dll"));
#else
    EXPECT_EQ("proj/bin/notes.exe", ProjectPath("proj", "bin\\notes.exe"));
    EXPECT_EQ("/opt/files/a.dll", ProjectPath("proj", "/opt/files/a.dll"));
#endif
    EXPECT_EQ("readme.txt", ProjectPath("", "readme.txt"));
}

// A [CopyFile] entry renamed after its file was found: every line that names it follows, the
// other lines and the line endings stay as they were.
TEST(ScriptPlan, RenamingAFileEntryRewritesEveryLineThatNamesIt) {
    ScriptPlan plan = PlanScript("[CopyFile]\r\nbin\\caf\xC3\xA9.dll\r\n<Destination>\\a.dll\r\n"
                                 "[CopyFile]\nreadme.txt\n<Destination>\\r.txt\n"
                                 "[CopyFile]\r\nbin/caf\xC3\xA9.dll\r\n<Destination>\\b.dll");
    ASSERT_EQ(2u, plan.entries.size());
    RenameFileEntry(&plan, 0, "caf\xE9.dll");
    EXPECT_EQ("1001 - caf\xE9.dll", plan.entries[0].name);
    EXPECT_EQ("1002 - readme.txt", plan.entries[1].name);
    EXPECT_EQ("[CopyFile]\r\n1001 - caf\xE9.dll\r\n<Destination>\\a.dll\r\n"
              "[CopyFile]\n1002 - readme.txt\n<Destination>\\r.txt\n"
              "[CopyFile]\r\n1001 - caf\xE9.dll\r\n<Destination>\\b.dll",
              plan.script);
}
