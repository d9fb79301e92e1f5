#include "builder/Project.h"

#include "builder/PeResources.h"

#include <dirent.h>

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
    std::map<std::string, std::string> nameOfSource;
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
            std::string& name = nameOfSource[key];
            if (name.empty()) {
                name = std::to_string(number++) + " - " + fileName;
                std::string problem = EntryNameProblem(name);
                if (!problem.empty()) plan.problems.push_back(At(lineNo) + problem);
                files.push_back({EntryRole::File, lineNo, header, source, name});
            }
            lines[first].text = name;
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
            others.push_back({EntryRole::Program, lineNo, header, name, name});
        } else if (header == "[Registry]") {
            if (value(first + 2) != "BINARY") continue;
            const std::string name = value(first + 4);
            others.push_back({EntryRole::RegistryData, first + 5, header, name, name});
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
    return plan;
}

bool BuildPackage(const BuildOptions& options, BuildResult* result, std::vector<std::string>* errors) {
    *result = BuildResult();
    auto fail = [errors](const std::string& why) {
        errors->push_back(why);
        return false;
    };
    if (!PathIsFolder(options.project)) return fail("the project folder " + Quoted(options.project) + " does not exist");

    const std::string scriptPath = FindFixedFile(options.project, "setup.dat");
    if (scriptPath.empty()) {
        return fail("no setup.dat in " + Quoted(options.project) +
                    ": a project folder holds the setup script setup.dat and the files it names");
    }
    std::vector<uint8_t> scriptBytes;
    std::string why;
    if (!ReadWholeFile(scriptPath, &scriptBytes, &why)) return fail(why);
    ScriptPlan plan = PlanScript(std::string(scriptBytes.begin(), scriptBytes.end()));
    for (const std::string& p : plan.problems) errors->push_back("setup.dat " + p);
    for (const std::string& w : plan.warnings) result->warnings.push_back("setup.dat " + w);

    // Every source is checked before anything is compressed, so that all missing or unreadable
    // files are reported at once. They are opened again one at a time when packed: a project
    // may have more files than a process may keep open.
    struct Input {
        std::string name;
        std::string path;  // empty: the packaged script
    };
    std::vector<Input> inputs;
    inputs.push_back({"setup.dat", std::string()});
    for (const char* fixed : {"setup.bmp", "setup.lic"}) {
        std::string path = FindFixedFile(options.project, fixed);
        if (path.empty()) continue;
        FileSource file;
        if (!file.Open(path, &why)) {
            errors->push_back(why);
            continue;
        }
        inputs.push_back({fixed, path});
    }
    for (const ScriptEntry& e : plan.entries) {
        const std::string path = ProjectPath(options.project, e.source);
        if (!PathExists(path)) {
            errors->push_back("setup.dat " + At(e.line) + e.section + " source " + Quoted(e.source) +
                              " does not exist (looked for " + Quoted(path) + ")");
            continue;
        }
        FileSource file;
        if (!file.Open(path, &why)) {
            errors->push_back("setup.dat " + At(e.line) + e.section + " source " + Quoted(e.source) + ": " + why);
            continue;
        }
        inputs.push_back({e.name, path});
    }
    if (!errors->empty()) return false;

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

    ArchiveWriter writer(*archiveOut, options.compression);
    writer.SetSizeLimit(options.sizeLimit);
    const MemorySource packagedScript(plan.script.data(), plan.script.size());
    for (const Input& in : inputs) {
        FileSource file;
        if (!in.path.empty() && !file.Open(in.path, &why)) return fail(why);
        const ByteSource& content = in.path.empty() ? static_cast<const ByteSource&>(packagedScript) : file;
        result->unpackedTotal += content.Size();
        if (!writer.AddEntry(in.name, content, &why)) return fail(Quoted(in.name) + ": " + why);
    }
    if (!writer.Finish(&why)) return fail(why);
    result->entries = writer.Entries();
    result->archiveSize = writer.Size();

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
