#include "builder/Commands.h"

#include "builder/Archive.h"
#include "builder/CodePage.h"
#include "builder/Parallel.h"
#include "builder/PeResources.h"
#include "builder/Project.h"

#include <condition_variable>
#include <cstdio>
#include <iomanip>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <tuple>

namespace tarvo::packager {

namespace {

const char kUsage[] =
    "usage:\n"
    "  tarvo-build build PROJECT -o SETUP.EXE [--stub win32|win64|PATH] [--raw] [--level 0-9] [--extreme]\n"
    "                    [--threads N] [--codepage N]\n"
    "  tarvo-build embed STUB ARCHIVE -o SETUP.EXE\n"
    "  tarvo-build list SETUP.EXE\n"
    "  tarvo-build verify SETUP.EXE [--threads N]\n"
    "  tarvo-build extract SETUP.EXE -o DIR [--codepage N]\n"
    "\n"
    "build    packs the project folder (setup.dat, setup.bmp, setup.lic and the files the script\n"
    "         names) into an installer stub: the 32-bit installer by default, --stub win64 for the\n"
    "         64-bit one, or any executable's path; --raw writes the bare package instead\n"
    "embed    puts an existing package file into a stub as it is\n"
    "list     shows the entries of a package (offsets, sizes, checksums) and checks the checksums\n"
    "verify   checks the trailer, the body checksum, every entry's checksum, and that every entry\n"
    "         decodes to its declared size\n"
    "extract  unpacks every entry into DIR, checking every checksum\n"
    "\n"
    "--threads N   threads that pack or decode (default: one per core)\n"
    "--codepage N  the installer's ANSI code page for entry names: 1252 unless told otherwise\n";

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsageError = 2;

std::string Percent(uint64_t part, uint64_t whole) {
    std::ostringstream s;
    s << std::fixed << std::setprecision(1) << (whole ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 100.0) << "%";
    return s.str();
}

std::string Hex32(uint32_t value) {
    char text[12];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(value));
    return text;
}

// A whole number from `from` to `to`, or false.
bool ParseNumber(const std::string& text, uint32_t from, uint32_t to, uint32_t* value) {
    if (text.empty() || text.size() > 9) return false;
    uint32_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint32_t>(c - '0');
    }
    if (v < from || v > to) return false;
    *value = v;
    return true;
}

// An installer or a bare package, opened for reading; `package` is the archive's bytes, found at
// `offset` in the file.
struct OpenedPackage {
    FileSource file;
    std::unique_ptr<SliceSource> slice;
    const ByteSource* package = nullptr;
    uint64_t offset = 0;
    ArchiveReader reader;

    bool Open(const std::string& path, std::string* error) {
        if (!file.Open(path, error)) return false;
        uint8_t magic[2] = {0, 0};
        if (file.Size() >= 2 && file.ReadAt(0, magic, 2) && magic[0] == 'M' && magic[1] == 'Z') {
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

bool IsStubKind(const std::string& choice) { return choice == "win32" || choice == "win64"; }

int Build(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out, std::ostream& err) {
    BuildOptions options;
    std::string stubChoice;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto next = [&](std::string* into) {
            if (i + 1 >= args.size()) return false;
            *into = args[++i];
            return true;
        };
        std::string value;
        if (a == "-o" || a == "--output") {
            if (!next(&options.output)) break;
        } else if (a == "--stub") {
            if (!next(&stubChoice) || stubChoice.empty()) {
                err << "tarvo-build: --stub takes win32, win64 or a path\n" << kUsage;
                return kUsageError;
            }
        } else if (a == "--raw") {
            options.rawArchive = true;
        } else if (a == "--extreme") {
            options.compression.extreme = true;
        } else if (a == "--level") {
            if (!next(&value) || !ParseNumber(value, 0, 9, &options.compression.level)) {
                err << "tarvo-build: --level takes a number from 0 to 9\n" << kUsage;
                return kUsageError;
            }
        } else if (a == "--threads") {
            uint32_t threads = 0;
            if (!next(&value) || !ParseNumber(value, 1, 256, &threads)) {
                err << "tarvo-build: --threads takes a number from 1 to 256\n" << kUsage;
                return kUsageError;
            }
            options.threads = threads;
        } else if (a == "--codepage") {
            if (!next(&value) || !ParseNumber(value, 1, 65535, &options.codePage) || !CodePage::Find(options.codePage)) {
                err << "tarvo-build: --codepage takes a single-byte Windows code page: " << CodePage::SupportedList()
                    << "\n" << kUsage;
                return kUsageError;
            }
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
    if (!options.rawArchive) {
        std::string why;
        if (!FindInstallerStub(stubChoice, selfPath, &options.stub, &why)) {
            err << "tarvo-build: " << why << "\n";
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
    out << options.output << ": " << result.entries.size() << " entries";
    if (result.sharedEntries) out << " (" << result.sharedEntries << " stored once with an identical file)";
    out << ", " << result.unpackedTotal << " bytes packed into " << result.archiveSize << " ("
        << Percent(result.archiveSize, result.unpackedTotal) << ") on " << result.threads
        << (result.threads == 1 ? " thread, " : " threads, ") << result.outputSize << " bytes written";
    if (!options.rawArchive) out << " (stub " << options.stub << ")";
    out << "\n";
    return kOk;
}

int Embed(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    std::string output;
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size()) {
            output = args[++i];
        } else if (!args[i].empty() && args[i][0] != '-') {
            positional.push_back(args[i]);
        } else {
            err << "tarvo-build: unexpected argument '" << args[i] << "'\n" << kUsage;
            return kUsageError;
        }
    }
    if (positional.size() != 2 || output.empty()) {
        err << "tarvo-build: embed needs a stub, a package file and -o OUTPUT\n" << kUsage;
        return kUsageError;
    }
    std::string stubPath, why;
    if (!FindInstallerStub(positional[0], selfPath, &stubPath, &why)) {
        err << "tarvo-build: " << why << "\n";
        return kFailed;
    }
    std::vector<uint8_t> stub;
    FileSource package;
    if (!ReadWholeFile(stubPath, &stub, &why)) {
        err << "tarvo-build: the installer stub: " << why << "\ntarvo-build: nothing written\n";
        return kFailed;
    }
    if (!package.Open(positional[1], &why)) {
        err << "tarvo-build: " << why << "\ntarvo-build: nothing written\n";
        return kFailed;
    }
    // Taken as it is, damaged or not (a damaged package is what some tests need); a warning
    // says when the installer would not accept it.
    ArchiveReader check;
    if (!check.Open(package, &why)) {
        err << "tarvo-build: warning: '" << positional[1] << "' is no valid package (" << why
            << "); embedded as it is\n";
    }
    AtomicOutput file;
    uint64_t size = 0;
    if (!file.Open(output, &why) || !EmbedPackage(stub, package, file.file(), &why) || !file.file().Tell(&size) ||
        !file.Commit(&why)) {
        err << "tarvo-build: " << (why.empty() ? LastErrorText() : why) << "\ntarvo-build: nothing written\n";
        return kFailed;
    }
    out << output << ": package '" << positional[1] << "' (" << package.Size() << " bytes) in stub " << stubPath
        << ", " << size << " bytes written\n";
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
    out << std::setw(12) << "offset" << std::setw(12) << "packed" << std::setw(12) << "unpacked" << "  checksum  name\n";
    const auto& entries = p.reader.Entries();
    std::map<std::pair<uint32_t, uint32_t>, size_t> firstWithStream;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& e = entries[i];
        out << std::setw(12) << e.offset << std::setw(12) << e.packedSize << std::setw(12) << e.unpackedSize << "  "
            << Hex32(e.checksum) << "  " << e.name;
        if (e.packedSize > 0) {
            auto first = firstWithStream.emplace(std::make_pair(e.offset, e.packedSize), i).first;
            if (first->second != i) out << "  (the stream of '" << entries[first->second].name << "')";
        }
        out << "\n";
        if (!p.reader.CheckEntry(i, &why)) {
            err << "tarvo-build: " << why << "\n";
            rc = kFailed;
        }
    }
    out << entries.size() << " entries, package " << p.package->Size() << " bytes"
        << (rc == kOk ? ", checksums correct" : "") << "\n";
    return rc;
}

int Verify(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string input;
    uint32_t threads = 0;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--threads") {
            if (i + 1 >= args.size() || !ParseNumber(args[++i], 1, 256, &threads)) {
                err << "tarvo-build: --threads takes a number from 1 to 256\n" << kUsage;
                return kUsageError;
            }
        } else if (input.empty() && !args[i].empty() && args[i][0] != '-') {
            input = args[i];
        } else {
            err << "tarvo-build: unexpected argument '" << args[i] << "'\n" << kUsage;
            return kUsageError;
        }
    }
    if (input.empty()) {
        err << "tarvo-build: verify takes one file\n" << kUsage;
        return kUsageError;
    }
    OpenedPackage p;
    std::string why;
    if (!p.Open(input, &why)) {
        err << "tarvo-build: " << why << "\n";
        return kFailed;
    }
    const auto& entries = p.reader.Entries();
    // Entries that share a stream (same offset, sizes and checksum) are decoded once.
    std::map<std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>, size_t> streamOf;
    std::vector<size_t> firsts;
    for (size_t i = 0; i < entries.size(); ++i) {
        const PackageEntry& e = entries[i];
        if (streamOf.emplace(std::make_tuple(e.offset, e.packedSize, e.unpackedSize, e.checksum), i).second) {
            firsts.push_back(i);
        }
        if (e.unpackedSize > kMaxEntrySize) {
            err << "tarvo-build: warning: '" << e.name << "' unpacks to " << e.unpackedSize
                << " bytes, more than a 32-bit installer can be relied on to decode in one piece (" << kMaxEntrySize
                << ")\n";
        }
    }
    std::vector<std::string> problems(firsts.size());
    const uint64_t packageOffset = p.offset, packageSize = p.package->Size();
    auto work = [&](size_t job) {
        // Each job reads through its own handle: a file position cannot be shared by threads.
        FileSource file;
        std::string problem;
        if (!file.Open(input, &problem)) {
            problems[job] = problem;
            return;
        }
        SliceSource package(file, packageOffset, packageSize);
        if (!p.reader.VerifyEntry(firsts[job], &problem, &package)) problems[job] = problem.empty() ? "failed" : problem;
    };
    JobRunner(firsts.size(), threads ? threads : DefaultThreadCount(), work).Wait();
    int rc = kOk;
    size_t bad = 0;
    for (const std::string& problem : problems) {
        if (problem.empty()) continue;
        err << "tarvo-build: " << problem << "\n";
        ++bad;
        rc = kFailed;
    }
    if (rc == kOk) {
        out << input << ": package of " << packageSize << " bytes: trailer, body checksum and " << entries.size()
            << " entries (" << firsts.size() << " streams) correct; every entry decodes to its declared size\n";
    } else {
        out << input << ": " << bad << " of " << firsts.size() << " streams damaged\n";
    }
    return rc;
}

int Extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string input, folder;
    uint32_t codePageNumber = kDefaultCodePage;
    for (size_t i = 1; i < args.size(); ++i) {
        if ((args[i] == "-o" || args[i] == "--output") && i + 1 < args.size()) {
            folder = args[++i];
        } else if (args[i] == "--codepage") {
            if (i + 1 >= args.size() || !ParseNumber(args[++i], 1, 65535, &codePageNumber) ||
                !CodePage::Find(codePageNumber)) {
                err << "tarvo-build: --codepage takes a single-byte Windows code page: " << CodePage::SupportedList()
                    << "\n" << kUsage;
                return kUsageError;
            }
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
    const CodePage& codePage = *CodePage::Find(codePageNumber);
    int rc = kOk;
    std::map<std::string, int> seen;  // folded names
    const auto& entries = p.reader.Entries();
    for (size_t i = 0; i < entries.size(); ++i) {
        std::string name = entries[i].name;
#ifndef _WIN32
        // File names here are UTF-8; the entry names are the installer's 8-bit text.
        std::string utf8;
        if (codePage.ToUtf8(name, &utf8)) name = utf8;
#else
        (void)codePage;
#endif
        const std::string relative = ExtractionPath(name);
        std::string folded = entries[i].name;
        for (char& c : folded) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (seen[folded]++) {
            err << "tarvo-build: warning: '" << name
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

bool FindInstallerStub(const std::string& choice, const std::string& selfPath, std::string* path, std::string* error) {
    if (!choice.empty() && !IsStubKind(choice)) {
        *path = choice;
        return true;
    }
    const std::string kind = choice.empty() ? "win32" : choice;
    const bool want64 = kind == "win64";
    const std::string selfFolder = FolderOf(selfPath);
    std::vector<std::string> candidates = {JoinPath(selfFolder, kDefaultStubName),
                                           JoinPath(JoinPath(FolderOf(selfFolder), kind), kDefaultStubName)};
    if (candidates[1] == candidates[0]) candidates.pop_back();
    std::string notes;
    for (const std::string& candidate : candidates) {
        std::string note;
        FileSource file;
        PeImage image;
        std::string why;
        if (!PathExists(candidate)) {
            note = "'" + candidate + "' does not exist";
        } else if (!file.Open(candidate, &why) || !ParsePeImage(file, &image, &why)) {
            note = "'" + candidate + "': " + why;
        } else if (image.pe32Plus != want64) {
            note = "'" + candidate + "' is the " + (image.pe32Plus ? "64" : "32") + "-bit installer";
        } else {
            *path = candidate;
            return true;
        }
        notes += (notes.empty() ? "" : "; ") + note;
    }
    if (error) {
        *error = std::string("no ") + (want64 ? "64" : "32") + "-bit installer stub (" + kind + "): " + notes +
                 "; give one with --stub PATH (or write the bare package with --raw)";
    }
    return false;
}

int RunBuilderCommand(const std::vector<std::string>& args, const std::string& selfPath, std::ostream& out,
                      std::ostream& err) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        (args.empty() ? err : out) << kUsage;
        return args.empty() ? kUsageError : kOk;
    }
    if (args[0] == "build") return Build(args, selfPath, out, err);
    if (args[0] == "embed") return Embed(args, selfPath, out, err);
    if (args[0] == "list") return List(args, out, err);
    if (args[0] == "verify") return Verify(args, out, err);
    if (args[0] == "extract") return Extract(args, out, err);
    err << "tarvo-build: unknown command '" << args[0] << "'\n" << kUsage;
    return kUsageError;
}

}  // namespace tarvo::packager
