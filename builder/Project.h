#pragma once
// A publisher's project folder and how it becomes a package.
//
// The folder holds the setup script "setup.dat", optionally "setup.bmp" and "setup.lic", and the
// files the script names. The script is read with the installer's grammar (whole-line headers
// compared with case, each known section followed by its fixed number of value lines), and its
// package entries are found where the installer will look for them:
//   [CopyFile]         first value line: a source file relative to the project folder. It gets
//                      the entry name "<number> - <file name>" (numbers from 1001 on, one per
//                      distinct source), and the packaged script names that entry instead.
//   [RunFile], [RunAndWaitFile]
//                      a program line "<TempInstall>\NAME" names the entry NAME.
//   [Registry]         with the type "BINARY", the data line names an entry.
// Entries named the second and third way are packed from the project folder under the name the
// script uses. A container script ("[InstallContainer]") names its installers with [CopyFile]
// sections: the container runs every entry except setup.*, in package order, which is script
// order.
#include "builder/Archive.h"
#include "builder/CodePage.h"
#include "builder/LzmaCodec.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::packager {

constexpr uint32_t kFirstFileNumber = 1001;

struct ScriptLine {
    std::string text;
    std::string ending;  // "\r\n", "\n", "\r" or "" for a last line without one
};

// Lines as the installer reads them: a line ends at CR, CR LF or LF; the last needs no end.
std::vector<ScriptLine> SplitScriptLines(const std::string& script);
std::string JoinScriptLines(const std::vector<ScriptLine>& lines);

enum class EntryRole { File, Program, RegistryData };

// A package entry that the script names.
struct ScriptEntry {
    EntryRole role = EntryRole::File;
    size_t line = 0;      // 1-based line of the value that names it
    std::string section;  // its section header
    std::string source;   // the file in the project folder, as the script writes it
    std::string name;     // its name in the package
    uint32_t number = 0;  // File: the number that begins its name
    std::vector<size_t> lineIndexes;  // File: the 0-based lines that name it in the packaged script
};

struct ScriptPlan {
    std::string script;                // the script to package
    std::vector<ScriptLine> lines;     // the same, line by line
    std::vector<ScriptEntry> entries;  // distinct entries, [CopyFile] ones first, in script order
    bool container = false;
    std::vector<std::string> problems;  // "line 14: ..." — any makes the plan unusable
    std::vector<std::string> warnings;
};

ScriptPlan PlanScript(const std::string& script, uint32_t firstNumber = kFirstFileNumber);

// Gives the [CopyFile] entry `index` the file name part `fileName` ("1001 - " + fileName) and
// rewrites the script lines that name it.
void RenameFileEntry(ScriptPlan* plan, size_t index, const std::string& fileName);

struct BuildOptions {
    std::string project;  // the project folder
    std::string output;   // setup.exe, or the bare archive with rawArchive
    std::string stub;     // the installer executable to carry the package
    bool rawArchive = false;
    CompressionSettings compression;
    unsigned threads = 0;                     // 0: one per core
    uint32_t codePage = kDefaultCodePage;     // the installer's ANSI code page
    uint64_t sizeLimit = kMaxArchiveSize;
    uint64_t entryLimit = kMaxEntrySize;
};

struct BuildResult {
    std::vector<PackageEntry> entries;
    std::vector<std::string> warnings;
    uint64_t unpackedTotal = 0;
    uint64_t archiveSize = 0;
    uint64_t outputSize = 0;
    size_t sharedEntries = 0;  // entries stored as a pointer to an identical earlier one
    unsigned threads = 0;
};

// Builds the package and writes the output; on failure the output is left as it was and
// `errors` says why, one line per problem. Every input is checked before anything is packed.
bool BuildPackage(const BuildOptions& options, BuildResult* result, std::vector<std::string>* errors);

// Where a script's path lies in the project folder ("bin\notes.exe" -> "PROJECT/bin/notes.exe").
std::string ProjectPath(const std::string& project, const std::string& scriptPath);

// The project file that a script path names. The script is 8-bit text in `codePage`. On Windows
// the C library opens the path in the system's ANSI code page, so the path is used as it is.
// Elsewhere file names are UTF-8: the path is converted to find the file, and a path that is
// UTF-8 already (a script saved as UTF-8) is tried as it is. `found` tells whether the file
// exists; `path` is where it is, or where it was looked for; `fileName` is the file name part as
// 8-bit text in the code page. False when the path is no text in the code page and names no
// file, or the file's name cannot be written in the code page (`problem` says which).
struct SourceFile {
    std::string path;
    std::string fileName;
    bool found = false;
};
bool FindSourceFile(const std::string& project, const std::string& scriptPath, const CodePage& codePage,
                    SourceFile* source, std::string* problem);

// Why the entry name is no text in the code page (the first undefined byte), or the empty text.
std::string CodePageProblem(const std::string& name, const CodePage& codePage);

}  // namespace tarvo::packager
