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
};

struct ScriptPlan {
    std::string script;                // the script to package
    std::vector<ScriptEntry> entries;  // distinct entries, [CopyFile] ones first, in script order
    bool container = false;
    std::vector<std::string> problems;  // "line 14: ..." — any makes the plan unusable
    std::vector<std::string> warnings;
};

ScriptPlan PlanScript(const std::string& script, uint32_t firstNumber = kFirstFileNumber);

struct BuildOptions {
    std::string project;  // the project folder
    std::string output;   // setup.exe, or the bare archive with rawArchive
    std::string stub;     // the installer executable to carry the package
    bool rawArchive = false;
    CompressionSettings compression;
    uint64_t sizeLimit = kMaxArchiveSize;
};

struct BuildResult {
    std::vector<PackageEntry> entries;
    std::vector<std::string> warnings;
    uint64_t unpackedTotal = 0;
    uint64_t archiveSize = 0;
    uint64_t outputSize = 0;
};

// Builds the package and writes the output; on failure the output is left as it was and
// `errors` says why, one line per problem.
bool BuildPackage(const BuildOptions& options, BuildResult* result, std::vector<std::string>* errors);

// Where a script's path lies in the project folder ("bin\notes.exe" -> "PROJECT/bin/notes.exe").
std::string ProjectPath(const std::string& project, const std::string& scriptPath);

}  // namespace tarvo::packager
