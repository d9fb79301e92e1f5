#include "builder/PeResources.h"

#include "builder/Archive.h"

#include "BuilderTestSupport.h"
#include "TestPe.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

using namespace tarvo::packager;
using namespace tarvo::packager::test;

namespace {

std::string KeyText(const ResourceName& name) {
    if (!name.isString) return "#" + std::to_string(name.id);
    std::string out;
    for (char16_t c : name.text) out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

// Every data entry of a tree by its path "type/name/language".
std::map<std::string, ResourceNode> Leaves(const ResourceNode& node, const std::string& prefix = "") {
    std::map<std::string, ResourceNode> out;
    for (const ResourceNode& c : node.children) {
        const std::string key = prefix.empty() ? KeyText(c.name) : prefix + "/" + KeyText(c.name);
        if (c.isDirectory) {
            auto sub = Leaves(c, key);
            out.insert(sub.begin(), sub.end());
        } else {
            out[key] = c;
        }
    }
    return out;
}

std::string TestKey(const TestResource& r) {
    auto part = [](const std::u16string& text, uint16_t id) {
        ResourceName n;
        n.isString = !text.empty();
        n.text = text;
        n.id = id;
        return KeyText(n);
    };
    return part(r.typeName, r.typeId) + "/" + part(r.name, r.nameId) + "/#" + std::to_string(r.language);
}

std::vector<uint8_t> Embed(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& package, std::string* error = nullptr) {
    TempFolder dir;
    const std::string path = dir / "setup.exe";
    File out;
    EXPECT_TRUE(out.Open(path, "w+b", error));
    std::string why;
    if (!EmbedPackage(stub, MemorySource(package), out, &why)) {
        if (error) *error = why;
        return {};
    }
    EXPECT_TRUE(out.Close());
    return ReadBytes(path);
}

struct Parsed {
    PeImage image;
    ResourceNode tree;
};

Parsed Parse(const std::vector<uint8_t>& file) {
    Parsed p;
    std::string error;
    MemorySource source(file);
    EXPECT_TRUE(ParsePeImage(source, &p.image, &error)) << error;
    EXPECT_TRUE(ReadResourceTree(source, p.image, &p.tree, &error)) << error;
    return p;
}

std::string DataOf(const std::vector<uint8_t>& file, const PeImage& image, const ResourceNode& leaf) {
    uint64_t offset = 0;
    EXPECT_TRUE(image.RvaToOffset(leaf.dataRva, leaf.dataSize, &offset));
    if (offset + leaf.dataSize > file.size()) return "<outside the file>";
    return std::string(file.begin() + static_cast<long>(offset), file.begin() + static_cast<long>(offset + leaf.dataSize));
}

std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// The IDs of a directory's numbered children, in stored order.
std::vector<uint16_t> Ids(const ResourceNode& dir) {
    std::vector<uint16_t> ids;
    for (const ResourceNode& c : dir.children) {
        if (!c.name.isString) ids.push_back(c.name.id);
    }
    return ids;
}

const ResourceNode* Child(const ResourceNode& dir, uint16_t id) {
    for (const ResourceNode& c : dir.children) {
        if (!c.name.isString && c.name.id == id) return &c;
    }
    return nullptr;
}

// What every packed executable must satisfy, whatever the stub.
void CheckPackedExecutable(const std::vector<uint8_t>& stub, const std::vector<uint8_t>& out,
                           const std::vector<uint8_t>& package) {
    const Parsed before = Parse(stub);
    const Parsed after = Parse(out);
    const PeImage& img = after.image;

    ASSERT_EQ(before.image.sections.size() + 1, img.sections.size());
    const PeSection& added = img.sections.back();
    EXPECT_EQ(kPackageSectionName, added.name);
    EXPECT_EQ(0u, added.virtualAddress % img.sectionAlignment);
    EXPECT_EQ(0u, added.pointerToRawData % img.fileAlignment);
    EXPECT_EQ(0u, added.sizeOfRawData % img.fileAlignment);
    EXPECT_EQ(out.size(), static_cast<uint64_t>(added.pointerToRawData) + added.sizeOfRawData) << "the section ends the file";
    for (size_t i = 0; i + 1 < img.sections.size(); ++i) {
        const PeSection& s = img.sections[i];
        EXPECT_LE(static_cast<uint64_t>(s.virtualAddress) + std::max(s.virtualSize, s.sizeOfRawData), added.virtualAddress);
        EXPECT_LE(static_cast<uint64_t>(s.pointerToRawData) + s.sizeOfRawData, added.pointerToRawData);
    }
    EXPECT_EQ(AlignUp(static_cast<uint64_t>(added.virtualAddress) + added.virtualSize, img.sectionAlignment), img.sizeOfImage);
    EXPECT_EQ(added.virtualAddress, img.resourceRva);
    EXPECT_EQ(ReferencePeChecksum(out), img.checkSum);

    // The stub's sections are where they were, byte for byte.
    for (const PeSection& s : before.image.sections) {
        ASSERT_LE(static_cast<uint64_t>(s.pointerToRawData) + s.sizeOfRawData, out.size());
        EXPECT_TRUE(std::equal(stub.begin() + s.pointerToRawData, stub.begin() + s.pointerToRawData + s.sizeOfRawData,
                               out.begin() + s.pointerToRawData))
            << s.name;
    }

    // Every old resource is still reachable with the same bytes; the package is there too.
    const auto oldLeaves = Leaves(before.tree);
    const auto newLeaves = Leaves(after.tree);
    for (const auto& [key, leaf] : oldLeaves) {
        if (key.rfind("#10/#24356/", 0) == 0) continue;  // a package of the stub's own is replaced
        auto it = newLeaves.find(key);
        ASSERT_NE(newLeaves.end(), it) << key;
        EXPECT_EQ(DataOf(stub, before.image, leaf), DataOf(out, img, it->second)) << key;
        EXPECT_EQ(leaf.codePage, it->second.codePage) << key;
    }
    const ResourceNode* pkg = FindResourceData(after.tree, kPackageResourceType, kPackageResourceId);
    ASSERT_NE(nullptr, pkg);
    EXPECT_EQ(0, pkg->name.id) << "language neutral";
    EXPECT_EQ(1u, Child(*Child(after.tree, 10), 24356)->children.size());
    EXPECT_EQ(Text(package), DataOf(out, img, *pkg));
    EXPECT_GE(pkg->dataRva, added.virtualAddress);

    // The loader bisects numbered entries: they must stay in ascending order.
    std::vector<uint16_t> types = Ids(after.tree);
    EXPECT_TRUE(std::is_sorted(types.begin(), types.end()));
    std::vector<uint16_t> names = Ids(*Child(after.tree, 10));
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));

    uint64_t offset = 0;
    uint32_t size = 0;
    std::string error;
    ASSERT_TRUE(LocatePackage(MemorySource(out), &offset, &size, &error)) << error;
    EXPECT_EQ(package.size(), size);
    EXPECT_TRUE(std::equal(package.begin(), package.end(), out.begin() + static_cast<long>(offset)));
}

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

class PeKinds : public ::testing::TestWithParam<bool> {
protected:
    TestPeOptions Options() const {
        TestPeOptions o;
        o.pe32Plus = GetParam();
        o.resources = DefaultTestResources();
        return o;
    }
};

}  // namespace

TEST_P(PeKinds, KeepsEveryResourceAndAddsThePackage) {
    const std::vector<uint8_t> stub = MakeTestPe(Options());
    const std::vector<uint8_t> package = ProgramLikeBytes(5001, 8);
    const std::vector<uint8_t> out = Embed(stub, package);
    ASSERT_FALSE(out.empty());
    CheckPackedExecutable(stub, out, package);

    const Parsed after = Parse(out);
    EXPECT_EQ(GetParam(), after.image.pe32Plus);
    for (const TestResource& r : DefaultTestResources()) {
        auto leaves = Leaves(after.tree);
        auto it = leaves.find(TestKey(r));
        ASSERT_NE(leaves.end(), it) << TestKey(r);
        EXPECT_EQ(r.data, DataOf(out, after.image, it->second)) << TestKey(r);
    }
    // Named entries stay first: "SETTINGS" then 7 and the package.
    const ResourceNode* rcdata = Child(after.tree, 10);
    ASSERT_EQ(3u, rcdata->children.size());
    EXPECT_TRUE(rcdata->children[0].name.isString);
    EXPECT_EQ((std::vector<uint16_t>{7, 24356}), Ids(*rcdata));
    EXPECT_TRUE(after.tree.children[0].name.isString);
    EXPECT_EQ((std::vector<uint16_t>{2, 5, 10, 24}), Ids(after.tree));
}

TEST_P(PeKinds, ReplacesAPackageTheStubAlreadyHas) {
    TestPeOptions o = Options();
    o.resources.push_back({u"", 10, u"", 24356, 1033, "old package"});
    const std::vector<uint8_t> stub = MakeTestPe(o);
    const std::vector<uint8_t> package = Bytes("the new package");
    const std::vector<uint8_t> out = Embed(stub, package);
    CheckPackedExecutable(stub, out, package);
    const Parsed after = Parse(out);
    EXPECT_EQ((std::vector<uint16_t>{7, 24356}), Ids(*Child(after.tree, 10)));
}

TEST_P(PeKinds, PackingAFinishedInstallerAgainReplacesItsPackage) {
    const std::vector<uint8_t> stub = MakeTestPe(Options());
    const std::vector<uint8_t> first = Embed(stub, ProgramLikeBytes(70000, 1));
    const std::vector<uint8_t> again = Embed(first, ProgramLikeBytes(70000, 1));
    EXPECT_EQ(first, again) << "the old section is dropped, not stacked";

    const std::vector<uint8_t> other = ProgramLikeBytes(9000, 2);
    const std::vector<uint8_t> replaced = Embed(first, other);
    CheckPackedExecutable(stub, replaced, other);
    EXPECT_EQ(Parse(first).image.sections.size(), Parse(replaced).image.sections.size());
    EXPECT_LT(replaced.size(), first.size());
}

TEST_P(PeKinds, StubWithoutResourcesGetsATreeWithThePackage) {
    TestPeOptions o = Options();
    o.resources.clear();
    const std::vector<uint8_t> stub = MakeTestPe(o);
    const std::vector<uint8_t> package = Bytes("p");
    const std::vector<uint8_t> out = Embed(stub, package);
    CheckPackedExecutable(stub, out, package);
    EXPECT_EQ(1u, Leaves(Parse(out).tree).size());
}

TEST_P(PeKinds, NoRoomForAnotherSectionHeaderIsAnError) {
    TestPeOptions o = Options();
    o.tightHeaders = true;
    const std::vector<uint8_t> stub = MakeTestPe(o);
    Parse(stub);  // a valid executable
    std::string error;
    EXPECT_TRUE(Embed(stub, Bytes("p"), &error).empty());
    EXPECT_NE(std::string::npos, error.find("no room for one more section header")) << error;
}

TEST_P(PeKinds, DropsTheCertificateThatTheChangeWouldBreak) {
    TestPeOptions o = Options();
    o.withCertificate = true;
    const std::vector<uint8_t> stub = MakeTestPe(o);
    const std::vector<uint8_t> out = Embed(stub, Bytes("package"));
    const Parsed after = Parse(out);
    const uint32_t directories = after.image.dataDirectoryOffset;
    EXPECT_EQ(0u, LoadU32(&out[directories + 32]));
    EXPECT_EQ(0u, LoadU32(&out[directories + 36]));
    EXPECT_EQ(stub.size() - 0x100, after.image.sections.back().pointerToRawData);
    EXPECT_EQ(ReferencePeChecksum(out), after.image.checkSum);
}

INSTANTIATE_TEST_SUITE_P(Builder, PeKinds, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Pe32Plus" : "Pe32"; });

TEST(PeChecksum, MatchesTheClassicAlgorithmInAnyPieces) {
    for (size_t size : {size_t{256}, size_t{257}, size_t{4099}, size_t{70001}}) {
        std::vector<uint8_t> file = ProgramLikeBytes(size, static_cast<uint32_t>(size));
        StoreU32(&file[0x3C], 0x40);
        const uint32_t field = 0x40 + 24 + 64;
        EXPECT_EQ(ReferencePeChecksum(file), PeChecksum(file.data(), file.size(), field)) << size;
        PeChecksumBuilder pieces(field);
        for (size_t pos = 0; pos < file.size();) {
            size_t n = std::min<size_t>(1 + pos % 13, file.size() - pos);
            pieces.Add(file.data() + pos, n);
            pos += n;
        }
        EXPECT_EQ(ReferencePeChecksum(file), pieces.Result()) << size;
    }
}

TEST(PeImage, RejectsWhatIsNotAnExecutable) {
    struct Case {
        const char* label;
        std::vector<uint8_t> file;
        const char* message;
    };
    std::vector<uint8_t> noPe(256, 0);
    noPe[0] = 'M';
    noPe[1] = 'Z';
    StoreU32(&noPe[0x3C], 0x80);
    TestPeOptions options;
    options.resources = DefaultTestResources();
    std::vector<uint8_t> truncated = MakeTestPe(options);
    truncated.resize(truncated.size() - 0x300);
    const Case cases[] = {
        {"text", Bytes("[Project Name]\r\n"), "not a Windows executable"},
        {"MZ without PE", noPe, "no PE signature"},
        {"sections past the end", truncated, "cut short"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        std::string error;
        EXPECT_TRUE(Embed(c.file, Bytes("p"), &error).empty());
        EXPECT_NE(std::string::npos, error.find(c.message)) << error;
    }
}

// Executables made by the MinGW linker and resource compiler, when the build could make them.
TEST(PeResources, RealStubsKeepTheirResources) {
    std::vector<std::string> stubs;
    std::stringstream list(TARVO_TEST_STUBS);
    for (std::string path; std::getline(list, path, '|');) {
        if (!path.empty()) stubs.push_back(path);
    }
    if (stubs.empty()) GTEST_SKIP() << "no MinGW toolchain to build test stubs";
    for (const std::string& path : stubs) {
        SCOPED_TRACE(path);
        const std::vector<uint8_t> stub = ReadBytes(path);
        ASSERT_FALSE(stub.empty());
        const Parsed before = Parse(stub);
        EXPECT_GE(Leaves(before.tree).size(), 5u) << "dialog, string table, data, named data, manifest";
        const std::vector<uint8_t> package = ProgramLikeBytes(123457, 6);
        const std::vector<uint8_t> out = Embed(stub, package);
        ASSERT_FALSE(out.empty());
        CheckPackedExecutable(stub, out, package);
    }
}
