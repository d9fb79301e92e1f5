#include "builder/Project.h"

#include "builder/Packing.h"
#include "builder/PeResources.h"

#include <dirent.h>

#include <cstdio>
#include <map>

namespace tarvo::packager {

namespace {

// The sections of the setup script with the number of value lines that follow each header.
const std::map<std::string, size_t>& SectionCatalogue() {
    static const std::map<std::string, size_t> catalogue = {
        {"[Project Name]", 1},      {"[ProgramVersion]", 1}, {"[Install To]", 1},
        {"[UninstallSettings]", 1}, {"[SaveInstallPath]", 1}, {"[LocateInstall]", 1},
        {"[NoUnInstall]", 0},       {"[NoOfferUninstallOld]", 0}, {"[NoTestAdmin]", 0},
        {"[Windows Version]", 1},   {"[InstallContainer]", 0}, {"[Action]", 1},
        {"[CopyFile]", 2},          {"[CreateIcon]", 4},     {"[RunAndWaitFile]", 3},
        {"[RunFile]", 3},           {"[Message]", 2},        {"[Registry]", 5},
        {"[UninstallAction]", 2},
    };
    return catalogue;
}

const char kTempInstall[] = "<TempInstall>";
const size_t kTempInstallLength = sizeof kTempInstall - 1;

bool IsPathSeparator(char c) { return c == '\\' || c == '/'; }

std::string FileNamePart(const std::string& path) {
    size_t i = path.size();
    while (i > 0 && !IsPathSeparator(path[i - 1])) --i;
    return path.substr(i);
}

std::string At(size_t line) { return "line " + std::to_string(line) + ": "; }

bool IsAbsolute(const std::string& path) {
    if (!path.empty() && IsPathSeparator(path[0])) return true;
    return path.size() >= 2 && path[1] == ':';
}

// The fixed file `name` in the project folder. Windows file names ignore case; elsewhere the
// folder is searched for a name that matches ignoring ASCII case ("Setup.bmp").
std::string FindFixedFile(const std::string& project, const std::string& name) {
    std::string exact = JoinPath(project, name);
    if (PathExists(exact)) return exact;
#ifndef _WIN32
    if (DIR* dir = opendir(project.empty() ? "." : project.c_str())) {
        std::string found;
        while (dirent* e = readdir(dir)) {
            if (EqualIgnoringAsciiCase(e->d_name, name)) {
                found = JoinPath(project, e->d_name);
                break;
            }
        }
        closedir(dir);
        if (!found.empty()) return found;
    }
#endif
    return std::string();
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }

}  // namespace

std::vector<ScriptLine> SplitScriptLines(const std::string& script) {
    std::vector<ScriptLine> lines;
    size_t start = 0;
    for (size_t i = 0; i < script.size(); ++i) {
        char c = script[i];
        if (c != '\r' && c != '\n') continue;
        ScriptLine line;
        line.text = script.substr(start, i - start);
        if (c == '\r' && i + 1 < script.size() && script[i + 1] == '\n') {
            line.ending = "\r\n";
            ++i;
        } else {
            line.ending.assign(1, c);
        }
        lines.push_back(std::move(line));
        start = i + 1;
    }
    if (start < script.size()) lines.push_back({script.substr(start), std::string()});
    return lines;
}

std::string JoinScriptLines(const std::vector<ScriptLine>& lines) {
    std::string out;
    for (const ScriptLine& l : lines) out += l.text + l.ending;
    return out;
}

std::string ProjectPath(const std::string& project, const std::string& scriptPath) {
    std::string path = scriptPath;
#ifndef _WIN32
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
#endif
    return IsAbsolute(path) ? path : JoinPath(project, path);
}

ScriptPlan PlanScript(const std::string& script, uint32_t firstNumber) {
    ScriptPlan plan;
    std::vector<ScriptLine> lines = SplitScriptLines(script);
    for (const ScriptLine& l : lines) {
        if (l.text == "[InstallContainer]") plan.container = true;
    }

    std::vector<ScriptEntry> files;   // [CopyFile], in script order
    std::vector<ScriptEntry> others;  // named by the script itself
    std::map<std::string, size_t> fileOfSource;  // index in `files`
    uint32_t number = firstNumber;

    auto value = [&](size_t index) -> std::string { return index < lines.size() ? lines[index].text : std::string(); };

    for (size_t i = 0; i < lines.size();) {
        const std::string& header = lines[i].text;
        auto known = SectionCatalogue().find(header);
        if (known == SectionCatalogue().end()) {
            ++i;
            continue;
        }
        const size_t first = i + 1;  // index of the first value line
        const size_t lineNo = first + 1;
        i = first + known->second;

        if (header == "[CopyFile]") {
            const std::string source = value(first);
            std::string fileName = FileNamePart(source);
            if (source.empty() || first >= lines.size()) {
                plan.problems.push_back(At(lineNo) + "[CopyFile] names no source file");
                continue;
            }
            if (fileName.empty()) {
                plan.problems.push_back(At(lineNo) + "[CopyFile] source " + Quoted(source) + " names a folder, not a file");
                continue;
            }
            std::string key = source;
            for (char& c : key) {
                if (c == '\\') c = '/';
            }
            auto known = fileOfSource.find(key);
            if (known == fileOfSource.end()) {
                ScriptEntry e{EntryRole::File, lineNo, header, source, std::to_string(number) + " - " + fileName, number, {}};
                ++number;
                std::string problem = EntryNameProblem(e.name);
                if (!problem.empty()) plan.problems.push_back(At(lineNo) + problem);
                known = fileOfSource.emplace(key, files.size()).first;
                files.push_back(e);
            }
            files[known->second].lineIndexes.push_back(first);
            lines[first].text = files[known->second].name;
        } else if (header == "[RunFile]" || header == "[RunAndWaitFile]") {
            const std::string program = value(first);
            const size_t marker = program.find(kTempInstall);
            if (marker == std::string::npos) continue;
            if (marker != 0) {
                plan.problems.push_back(At(lineNo) + header + " program " + Quoted(program) +
                                        ": \"<TempInstall>\" must begin the line to name a package entry");
                continue;
            }
            std::string name = program.substr(kTempInstallLength);
            if (!name.empty() && name[0] == '\\') name.erase(0, 1);
            others.push_back({EntryRole::Program, lineNo, header, name, name, 0, {}});
        } else if (header == "[Registry]") {
            if (value(first + 2) != "BINARY") continue;
            const std::string name = value(first + 4);
            others.push_back({EntryRole::RegistryData, first + 5, header, name, name, 0, {}});
        }
    }

    plan.entries = files;
    // Entries the script names itself: one per name (the installer matches names ignoring case
    // and would decode every duplicate over the previous one), none that shadows a fixed file
    // or a numbered one.
    for (ScriptEntry& e : others) {
        if (plan.container) {
            plan.warnings.push_back(At(e.line) + "a container does not read " + e.section +
                                    " sections; " + Quoted(e.name) + " is not packed (it would run as an installer)");
            continue;
        }
        std::string problem = EntryNameProblem(e.name);
        if (!problem.empty()) {
            plan.problems.push_back(At(e.line) + e.section + ": " + problem);
            continue;
        }
        bool seen = EqualIgnoringAsciiCase(e.name, "setup.dat") || EqualIgnoringAsciiCase(e.name, "setup.bmp") ||
                    EqualIgnoringAsciiCase(e.name, "setup.lic");
        for (const ScriptEntry& p : plan.entries) seen = seen || EqualIgnoringAsciiCase(p.name, e.name);
        if (!seen) plan.entries.push_back(e);
    }
    plan.script = JoinScriptLines(lines);
    plan.lines = std::move(lines);
    return plan;
}

void RenameFileEntry(ScriptPlan* plan, size_t index, const std::string& fileName) {
    ScriptEntry& e = plan->entries[index];
    e.name = std::to_string(e.number) + " - " + fileName;
    for (size_t line : e.lineIndexes) plan->lines[line].text = e.name;
    plan->script = JoinScriptLines(plan->lines);
}

namespace {

// Why `text` is no text in the code page ("'x' is not text ..."), or the empty text.
std::string NotText(const std::string& text, const CodePage& codePage) {
    std::string utf8;
    size_t bad = 0;
    if (codePage.ToUtf8(text, &utf8, &bad)) return std::string();
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned>(static_cast<uint8_t>(text[bad])));
    return Quoted(text) + " is not text in code page " + std::to_string(codePage.Number()) + ": byte " + hex +
           " is no character there";
}

}  // namespace

std::string CodePageProblem(const std::string& name, const CodePage& codePage) {
    const std::string problem = NotText(name, codePage);
    return problem.empty() ? problem : "the entry name " + problem;
}

bool FindSourceFile(const std::string& project, const std::string& scriptPath, const CodePage& codePage,
                    SourceFile* source, std::string* problem) {
    *source = SourceFile();
    source->fileName = FileNamePart(scriptPath);
#ifdef _WIN32
    (void)codePage;
    (void)problem;
    source->path = ProjectPath(project, scriptPath);
    source->found = PathExists(source->path);
    return true;
#else
    std::string utf8;
    size_t bad = 0;
    const bool isText = codePage.ToUtf8(scriptPath, &utf8, &bad);
    if (isText) {
        source->path = ProjectPath(project, utf8);
        source->found = PathExists(source->path);
        if (source->found || utf8 == scriptPath) return true;
    }
    // The script's bytes as they are: a script saved as UTF-8, or a file whose name holds the
    // code page's bytes.
    const std::string asIs = ProjectPath(project, scriptPath);
    if (PathExists(asIs)) {
        source->path = asIs;
        source->found = true;
        bool nonAscii = false;
        if (IsUtf8(source->fileName, &nonAscii) && nonAscii) {
            std::string converted, character;
            if (!codePage.FromUtf8(source->fileName, &converted, &character)) {
                if (problem) {
                    *problem = "the file name " + Quoted(source->fileName) + " cannot be written in code page " +
                               std::to_string(codePage.Number()) + " (" + Quoted(character) +
                               "), the installer's 8-bit text";
                }
                return false;
            }
            source->fileName = converted;
        }
        return true;
    }
    if (!isText) {
        if (problem) *problem = NotText(scriptPath, codePage);
        return false;
    }
    return true;
#endif
}

namespace {

std::string SizeProblem(uint64_t size, uint64_t limit) {
    return "is " + std::to_string(size) + " bytes; a 32-bit installer decodes each entry in one piece, so an entry holds at most " +
           std::to_string(limit) + " bytes" + (limit == kMaxEntrySize ? std::string(" (256 MiB)") : std::string());
}

}  // namespace

bool BuildPackage(const BuildOptions& options, BuildResult* result, std::vector<std::string>* errors) {
    *result = BuildResult();
    auto fail = [errors](const std::string& why) {
        errors->push_back(why);
        return false;
    };
    if (!PathIsFolder(options.project)) return fail("the project folder " + Quoted(options.project) + " does not exist");
    const CodePage* codePage = CodePage::Find(options.codePage);
    if (!codePage) {
        return fail("code page " + std::to_string(options.codePage) + " is not one the builder knows (" +
                    CodePage::SupportedList() + ")");
    }

    const std::string scriptPath = FindFixedFile(options.project, "setup.dat");
    if (scriptPath.empty()) {
        return fail("no setup.dat in " + Quoted(options.project) +
                    ": a project folder holds the setup script setup.dat and the files it names");
    }
    std::vector<uint8_t> scriptBytes;
    std::string why;
    if (!ReadWholeFile(scriptPath, &scriptBytes, &why)) return fail("the setup script cannot be read: " + why);
    const std::string scriptText(scriptBytes.begin(), scriptBytes.end());
    ScriptPlan plan = PlanScript(scriptText);
    for (const std::string& p : plan.problems) errors->push_back("setup.dat " + p);
    for (const std::string& w : plan.warnings) result->warnings.push_back("setup.dat " + w);
    bool nonAscii = false;
    if (IsUtf8(scriptText, &nonAscii) && nonAscii) {
        result->warnings.push_back("setup.dat is UTF-8 text, but the installer reads it in code page " +
                                   std::to_string(codePage->Number()) +
                                   ": its letters beyond ASCII will look different there (save it in that code page)");
    }

    // Every source is checked before anything is packed, so that all problems are reported at
    // once. The files are opened again one at a time when packed: a project may have more files
    // than a process may keep open.
    std::vector<std::string> fixedPaths;
    for (const char* fixed : {"setup.bmp", "setup.lic"}) {
        std::string path = FindFixedFile(options.project, fixed);
        fixedPaths.push_back(path);
        if (path.empty()) continue;
        FileSource file;
        if (!file.Open(path, &why)) {
            errors->push_back(why);
        } else if (file.Size() > options.entryLimit) {
            errors->push_back(Quoted(path) + " " + SizeProblem(file.Size(), options.entryLimit));
        }
    }
    std::vector<std::string> entryPaths(plan.entries.size());
    for (size_t i = 0; i < plan.entries.size(); ++i) {
        const ScriptEntry& e = plan.entries[i];
        const std::string where = "setup.dat " + At(e.line) + e.section + " source " + Quoted(e.source);
        SourceFile source;
        std::string problem;
        if (!FindSourceFile(options.project, e.source, *codePage, &source, &problem)) {
            errors->push_back(where + ": " + problem);
            continue;
        }
        if (e.role == EntryRole::File && source.fileName != FileNamePart(e.source)) {
            RenameFileEntry(&plan, i, source.fileName);
            problem = EntryNameProblem(plan.entries[i].name);
            if (!problem.empty()) {
                errors->push_back(where + ": " + problem);
                continue;
            }
        }
        problem = CodePageProblem(plan.entries[i].name, *codePage);
        if (!problem.empty()) {
            errors->push_back(where + ": " + problem);
            continue;
        }
        if (!source.found) {
            errors->push_back(where + " does not exist (looked for " + Quoted(source.path) + ")");
            continue;
        }
        FileSource file;
        if (!file.Open(source.path, &why)) {
            errors->push_back(where + ": " + why);
            continue;
        }
        if (file.Size() > options.entryLimit) {
            errors->push_back(where + " " + SizeProblem(file.Size(), options.entryLimit));
            continue;
        }
        entryPaths[i] = source.path;
    }
    if (plan.script.size() > options.entryLimit) {
        errors->push_back(Quoted(scriptPath) + " " + SizeProblem(plan.script.size(), options.entryLimit));
    }
    if (!errors->empty()) return false;

    std::vector<EntrySource> sources;
    sources.push_back({"setup.dat", std::string(), plan.script});
    if (!fixedPaths[0].empty()) sources.push_back({"setup.bmp", fixedPaths[0], std::string()});
    if (!fixedPaths[1].empty()) sources.push_back({"setup.lic", fixedPaths[1], std::string()});
    for (size_t i = 0; i < plan.entries.size(); ++i) sources.push_back({plan.entries[i].name, entryPaths[i], std::string()});

    std::vector<uint8_t> stub;
    if (!options.rawArchive) {
        if (options.stub.empty()) return fail("no installer stub given");
        if (!ReadWholeFile(options.stub, &stub, &why)) return fail("the installer stub: " + why);
        // A trial run with an empty package finds a stub that cannot take one before the
        // (long) compression rather than after it.
        AtomicOutput trial;
        const std::vector<uint8_t> nothing;
        if (!trial.Open(options.output + ".trial", &why) || !EmbedPackage(stub, MemorySource(nothing), trial.file(), &why)) {
            return fail("the installer stub " + Quoted(options.stub) + ": " + why);
        }
    }

    // The archive goes to a temporary file; with a stub it is then copied into the executable.
    AtomicOutput output;
    if (!output.Open(options.output, &why)) return fail(why);
    std::string archivePath;
    File* archiveOut = &output.file();
    AtomicOutput archiveTemp;  // removed at the end whatever happens
    if (!options.rawArchive) {
        if (!archiveTemp.Open(options.output + ".package", &why)) return fail(why);
        archiveOut = &archiveTemp.file();
        archivePath = archiveTemp.TempPath();
    }

    PackingOptions packing;
    packing.compression = options.compression;
    packing.threads = options.threads;
    packing.sizeLimit = options.sizeLimit;
    PackingReport report;
    if (!WritePackage(sources, packing, *archiveOut, &report, &why)) return fail(why);
    result->entries = report.entries;
    result->unpackedTotal = report.unpackedTotal;
    result->archiveSize = report.archiveSize;
    result->sharedEntries = report.sharedEntries;
    result->threads = report.threads;

    if (!options.rawArchive) {
        if (!archiveOut->Close()) return fail("cannot write " + Quoted(archivePath) + ": " + LastErrorText());
        FileSource package;
        if (!package.Open(archivePath, &why)) return fail(why);
        if (!EmbedPackage(stub, package, output.file(), &why)) return fail(why);
    }
    uint64_t size = 0;
    if (!output.file().Tell(&size)) size = 0;
    result->outputSize = size;
    if (!output.Commit(&why)) return fail(why);
    return true;
}

}  // namespace tarvo::packager
