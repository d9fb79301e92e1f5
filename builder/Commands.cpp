#include "builder/Commands.h"

#include "builder/Archive.h"
#include "builder/PeResources.h"
#include "builder/Project.h"

#include <cstdio>
#include <iomanip>
#include <map>
#include <memory>
#include <sstream>

namespace tarvo::packager {

namespace {

const char kUsage[] =
    "usage:\n"
    "  tarvo-build build PROJECT -o SETUP.EXE [--stub PATH] [--raw] [--level 0-9] [--extreme]\n"
    "  tarvo-build list SETUP.EXE\n"
    "  tarvo-build extract SETUP.EXE -o DIR\n"
    "\n"
    "build    packs the project folder (setup.dat, setup.bmp, setup.lic and the files the script\n"
    "         names) into the installer stub, by default " "tarvo-setup.exe" " beside tarvo-build;\n"
    "         --raw writes the bare package instead of an executable\n"
    "list     shows the entries of an installer's package and checks its checksums\n"
    "extract  unpacks every entry of an installer's package into DIR, checking every checksum\n";

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

std::string Percent(uint64_t part, uint64_t whole) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << (whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 100.0) << "%";
    return s.str();
}

// An installer or a bare package, opened for reading; `package` is the archive's bytes.
struct OpenedPackage {
    FileSource file;
    std::unique_ptr<SliceSource> slice;
    const ByteSource* package = nullptr;
    ArchiveReader reader;

    bool Open(const std::string& path, std::string* error) {
        if (!file.Open(path, error)) return false;
        uint8_t magic[2] = {0, 0};
        if (file.Size() >= 2 && file.ReadAt(0, magic, 2) && magic[0] == 'M' && magic[1] == 'Z') {
            uint64_t offset = 0;
            uint32_t size = 0;
            std::string why;
            if (!LocatePackage(file, &offset, &size, &why)) {
                if (error) *error = "'" + path + "': " + why;
                return false;
            }
            slice = std::make_unique<SliceSource>(file, offset, size);
            package = slice.get();
        } else {
            package = &file;
        }
        std::string why;
        if (!reader.Open(*package, &why)) {
            if (error) *error = "'" + path + "': " + why;
            return false;
        }
        return true;
    }
};

// A relative path for an entry inside the extraction folder. Entry names may hold "\" (a
// registry data file "data\key.bin"), which becomes a subfolder; a name that could leave the
// folder ("..", a drive, an absolute path) is flattened into one harmless file name instead.
std::string ExtractionPath(const std::string& name) {
    std::vector<std::string> parts(1);
    bool safe = true;
    for (char c : name) {
        if (c == '\\' || c == '/') {
            parts.emplace_back();
        } else {
            if (c == ':') safe = false;
            parts.back() += c;
        }
    }
    for (const std::string& p : parts) {
        if (p.empty() || p == "." || p == "..") safe = false;
    }
    if (safe) {
        std::string path;
        for (const std::string& p : parts) path = path.empty() ? p : path + "/" + p;
        return path;
    }
    std::string flat = name;
    for (char& c : flat) {
        if (c == '\\' || c == '/' || c == ':') c = '_';
    }
    if (flat == "." || flat == "..") flat = "_";
    return flat;
}

int Build(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out, std::ostream& err) {
    BuildOptions options;
    bool stubGiven = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&](std::string* into) {
            if (i + 1 >= args.size()) return false;
            *into = args[++i];
            return true;
        };
        if (a == "-o" || a == "--output") {
            if (!next(&options.output)) break;
        } else if (a == "--stub") {
            if (!next(&options.stub)) break;
            stubGiven = true;
        } else if (a == "--raw") {
            options.rawArchive = true;
        } else if (a == "--extreme") {
            options.compression.extreme = true;
        } else if (a == "--level") {
            std::string level;
            if (!next(&level) || level.size() != 1 || level[0] < '0' || level[0] > '9') {
                err << "tarvo-build: --level takes a number from 0 to 9\n" << kUsage;
                return kUsageError;
            }
            options.compression.level = static_cast<uint32_t>(level[0] - '0');
        } else if (!a.empty() && a[0] == '-') {
            err << "tarvo-build: unknown option '" << a << "'\n" << kUsage;
            return kUsageError;
        } else if (options.project.empty()) {
            options.project = a;
        } else {
            err << "tarvo-build: unexpected argument '" << a << "'\n" << kUsage;
            return kUsageError;
        }
    }
    if (options.project.empty() || options.output.empty()) {
        err << "tarvo-build: build needs a project folder and -o OUTPUT\n" << kUsage;
        return kUsageError;
    }
    if (!options.rawArchive && !stubGiven) {
        options.stub = JoinPath(FolderOf(selfPath), kDefaultStubName);
        if (!PathExists(options.stub)) {
            err << "tarvo-build: no installer stub: '" << options.stub
                << "' does not exist; give one with --stub PATH (or write the bare package with --raw)\n";
            return kFailed;
        }
    }

    BuildResult result;
    std::vector<std::string> errors;
    const bool ok = BuildPackage(options, &result, &errors);
    for (const std::string& w : result.warnings) err << "tarvo-build: warning: " << w << "\n";
    if (!ok) {
        for (const std::string& e : errors) err << "tarvo-build: " << e << "\n";
        err << "tarvo-build: nothing written\n";
        return kFailed;
    }
    for (const PackageEntry& e : result.entries) {
        out << std::setw(12) << e.unpackedSize << " -> " << std::setw(12) << e.packedSize << "  " << e.name << "\n";
    }
    out << options.output << ": " << result.entries.size() << " entries, " << result.unpackedTotal
        << " bytes packed into " << result.archiveSize << " (" << Percent(result.archiveSize, result.unpackedTotal)
        << "), " << result.outputSize << " bytes written\n";
    return kOk;
}

int List(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "tarvo-build: list takes one file\n" << kUsage;
        return kUsageError;
    }
    OpenedPackage p;
    std::string why;
    if (!p.Open(args[1], &why)) {
        err << "tarvo-build: " << why << "\n";
        return kFailed;
    }
    int rc = kOk;
    out << std::setw(12) << "unpacked" << std::setw(12) << "packed" << "  name\n";
    const auto& entries = p.reader.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& e = entries[i];
        out << std::setw(12) << e.unpackedSize << std::setw(12) << e.packedSize << "  " << e.name << "\n";
        if (!p.reader.CheckEntry(i, &why)) {
            err << "tarvo-build: " << why << "\n";
            rc = kFailed;
        }
    }
    out << entries.size() << " entries, package " << p.package->Size() << " bytes"
        << (rc == kOk ? ", checksums correct" : "") << "\n";
    return rc;
}

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string input, folder;
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size()) {
            folder = args[++i];
        } else if (input.empty() && !args[i].empty() && args[i][0] != '-') {
            input = args[i];
        } else {
            err << "tarvo-build: unexpected argument '" << args[i] << "'\n" << kUsage;
            return kUsageError;
        }
    }
    if (input.empty() || folder.empty()) {
        err << "tarvo-build: extract needs a file and -o DIR\n" << kUsage;
        return kUsageError;
    }
    OpenedPackage p;
    std::string why;
    if (!p.Open(input, &why) || !MakeFolders(folder, &why)) {
        err << "tarvo-build: " << why << "\n";
        return kFailed;
    }
    int rc = kOk;
    std::map<std::string, int> seen;  // folded names
    const auto& entries = p.reader.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string relative = ExtractionPath(entries[i].name);
        std::string folded = entries[i].name;
        for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (seen[folded]++) {
            err << "tarvo-build: warning: '" << entries[i].name
                << "' appears more than once; the installer ends up with the last one, as here\n";
        }
        const std::string path = JoinPath(folder, relative);
        if (!MakeFolders(FolderOf(path), &why) || !p.reader.ExtractToFile(i, path, &why)) {
            err << "tarvo-build: " << why << "\n";
            rc = kFailed;
            continue;
        }
        out << relative << "\n";
    }
    if (rc == kOk) out << entries.size() << " entries extracted to " << folder << ", checksums correct\n";
    return rc;
}

}  // namespace

int RunBuilderCommand(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out,
                      std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? kUsageError : kOk;
    }
    if (args[0] == "build") return Build(args, selfPath, out, err);
    if (args[0] == "list") return List(args, out, err);
    if (args[0] == "extract") return Extract(args, out, err);
    err << "tarvo-build: unknown command '" << args[0] << "'\n" << kUsage;
    return kUsageError;
}

}  // namespace tarvo::packager
