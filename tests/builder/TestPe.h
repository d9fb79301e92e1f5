#pragma once
// Small synthetic PE32 / PE32+ executables with a resource section, written independently of
// the builder's own PE code so that the two can check each other.
#include "builder/ByteIo.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::packager::test {

struct TestResource {
    std::u16string typeName;  // empty: typeId
    uint16_t typeId = 0;
    std::u16string name;      // empty: nameId
    uint16_t nameId = 0;
    uint16_t language = 1033;
    std::string data;
};

struct TestPeOptions {
    bool pe32Plus = false;
    bool tightHeaders = false;     // the section table ends exactly where the headers end
    bool withCertificate = false;  // a certificate table after the last section
    std::vector<TestResource> resources;
};

// Named types first, numbered ones ascending: the order a resource compiler writes.
inline std::vector<TestResource> DefaultTestResources() {
    return {
        {u"MYTYPE", 0, u"HELLO", 0, 1033, "named type, named resource"},
        {u"", 2, u"", 102, 1033, "bitmap bytes"},
        {u"", 5, u"", 101, 1033, "dialog template"},
        {u"", 5, u"", 101, 1031, "dialog template, German"},
        {u"", 10, u"SETTINGS", 0, 1033, "named RCDATA"},
        {u"", 10, u"", 7, 1033, "rcdata seven"},
        {u"", 24, u"", 1, 1033, "<assembly>asInvoker</assembly>"},
    };
}

// The PE header checksum the classic way: 32-bit words with end-around carry, folded to 16 bits.
inline uint32_t ReferencePeChecksum(const std::vector<uint8_t>& file) {
    const uint32_t field = LoadU32(&file[0x3C]) + 24 + 64;
    std::vector<uint8_t> copy(file);
    StoreU32(&copy[field], 0);
    copy.resize(AlignUp(copy.size(), 4), 0);
    uint64_t sum = 0;
    for (size_t i = 0; i < copy.size(); i += 4) {
        sum = (sum & 0xFFFFFFFFu) + LoadU32(&copy[i]) + (sum >> 32);
        if (sum > 0xFFFFFFFFu) sum = (sum & 0xFFFFFFFFu) + (sum >> 32);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    sum = sum + (sum >> 16);
    sum &= 0xFFFF;
    return static_cast<uint32_t>(sum + file.size());
}

namespace detail {

// The .rsrc section: root, type directories, name directories, strings, data entries, data.
inline std::vector<uint8_t> ResourceSection(const std::vector<TestResource>& resources, uint32_t sectionRva) {
    struct Key {
        std::u16string text;
        uint16_t id;
        bool operator==(const Key& o) const { return text == o.text && id == o.id; }
    };
    struct NameGroup { Key key; std::vector<size_t> items; };
    struct TypeGroup { Key key; std::vector<NameGroup> names; };
    std::vector<TypeGroup> types;
    for (size_t i = 0; i < resources.size(); ++i) {
        const TestResource& r = resources[i];
        Key type{r.typeName, r.typeId}, name{r.name, r.nameId};
        TypeGroup* t = nullptr;
        for (TypeGroup& g : types) if (g.key == type) t = &g;
        if (!t) { types.push_back({type, {}}); t = &types.back(); }
        NameGroup* n = nullptr;
        for (NameGroup& g : t->names) if (g.key == name) n = &g;
        if (!n) { t->names.push_back({name, {}}); n = &t->names.back(); }
        n->items.push_back(i);
    }

    uint32_t size = 16 + 8 * static_cast<uint32_t>(types.size());
    std::vector<uint32_t> typeDir, nameDir;
    for (const TypeGroup& t : types) { typeDir.push_back(size); size += 16 + 8 * static_cast<uint32_t>(t.names.size()); }
    for (const TypeGroup& t : types)
        for (const NameGroup& n : t.names) { nameDir.push_back(size); size += 16 + 8 * static_cast<uint32_t>(n.items.size()); }
    std::vector<std::pair<std::u16string, uint32_t>> strings;
    auto stringAt = [&](const std::u16string& s) -> uint32_t {
        for (auto& p : strings) if (p.first == s) return p.second;
        strings.push_back({s, size});
        size += 2 + 2 * static_cast<uint32_t>(s.size());
        return strings.back().second;
    };
    for (const TypeGroup& t : types) {
        if (!t.key.text.empty()) stringAt(t.key.text);
        for (const NameGroup& n : t.names) if (!n.key.text.empty()) stringAt(n.key.text);
    }
    size = static_cast<uint32_t>(AlignUp(size, 4));
    const uint32_t entriesAt = size;
    size += 16 * static_cast<uint32_t>(resources.size());
    std::vector<uint32_t> dataAt(resources.size());
    for (size_t i = 0; i < resources.size(); ++i) {
        size = static_cast<uint32_t>(AlignUp(size, 8));
        dataAt[i] = size;
        size += static_cast<uint32_t>(resources[i].data.size());
    }

    std::vector<uint8_t> out(size, 0);
    auto dirHeader = [&](uint32_t at, const std::vector<Key>& keys) {
        uint16_t named = 0;
        for (const Key& k : keys) named += k.text.empty() ? 0 : 1;
        StoreU16(&out[at + 12], named);
        StoreU16(&out[at + 14], static_cast<uint16_t>(keys.size() - named));
    };
    auto nameField = [&](const Key& k) { return k.text.empty() ? uint32_t{k.id} : (0x80000000u | stringAt(k.text)); };
    std::vector<Key> typeKeys;
    for (const TypeGroup& t : types) typeKeys.push_back(t.key);
    dirHeader(0, typeKeys);
    size_t nameIndex = 0;
    for (size_t ti = 0; ti < types.size(); ++ti) {
        StoreU32(&out[16 + 8 * ti], nameField(types[ti].key));
        StoreU32(&out[16 + 8 * ti + 4], 0x80000000u | typeDir[ti]);
        std::vector<Key> nameKeys;
        for (const NameGroup& n : types[ti].names) nameKeys.push_back(n.key);
        dirHeader(typeDir[ti], nameKeys);
        for (size_t ni = 0; ni < types[ti].names.size(); ++ni, ++nameIndex) {
            const NameGroup& n = types[ti].names[ni];
            StoreU32(&out[typeDir[ti] + 16 + 8 * ni], nameField(n.key));
            StoreU32(&out[typeDir[ti] + 16 + 8 * ni + 4], 0x80000000u | nameDir[nameIndex]);
            StoreU16(&out[nameDir[nameIndex] + 14], static_cast<uint16_t>(n.items.size()));
            for (size_t li = 0; li < n.items.size(); ++li) {
                const size_t item = n.items[li];
                StoreU32(&out[nameDir[nameIndex] + 16 + 8 * li], resources[item].language);
                StoreU32(&out[nameDir[nameIndex] + 16 + 8 * li + 4], entriesAt + 16 * static_cast<uint32_t>(item));
            }
        }
    }
    for (const auto& s : strings) {
        StoreU16(&out[s.second], static_cast<uint16_t>(s.first.size()));
        for (size_t i = 0; i < s.first.size(); ++i) StoreU16(&out[s.second + 2 + 2 * i], s.first[i]);
    }
    for (size_t i = 0; i < resources.size(); ++i) {
        StoreU32(&out[entriesAt + 16 * i], sectionRva + dataAt[i]);
        StoreU32(&out[entriesAt + 16 * i + 4], static_cast<uint32_t>(resources[i].data.size()));
        std::copy(resources[i].data.begin(), resources[i].data.end(), out.begin() + dataAt[i]);
    }
    return out;
}

}  // namespace detail

inline std::vector<uint8_t> MakeTestPe(const TestPeOptions& options) {
    const uint32_t fileAlign = 0x200, sectionAlign = 0x1000;
    const uint32_t optionalSize = options.pe32Plus ? 240 : 224;
    const bool withResources = !options.resources.empty();
    const uint32_t sectionCount = withResources ? 2 : 1;
    const uint32_t headersSize = options.tightHeaders ? 0x200 : 0x400;
    const uint32_t peOffset = options.tightHeaders ? headersSize - 24 - optionalSize - 40 * sectionCount : 0x80;

    std::vector<uint8_t> text(0x200, 0xCC);
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>(i * 7 + 1);
    const uint32_t textRva = 0x1000, rsrcRva = 0x2000;
    std::vector<uint8_t> rsrc = withResources ? detail::ResourceSection(options.resources, rsrcRva) : std::vector<uint8_t>();

    std::vector<uint8_t> file(headersSize, 0);
    file[0] = 'M';
    file[1] = 'Z';
    StoreU32(&file[0x3C], peOffset);
    std::copy_n("PE\0\0", 4, file.begin() + peOffset);
    uint8_t* coff = &file[peOffset + 4];
    StoreU16(coff + 0, options.pe32Plus ? 0x8664 : 0x14C);
    StoreU16(coff + 2, static_cast<uint16_t>(sectionCount));
    StoreU16(coff + 16, static_cast<uint16_t>(optionalSize));
    StoreU16(coff + 18, options.pe32Plus ? 0x0022 : 0x0102);
    const uint32_t opt = peOffset + 24;
    StoreU16(&file[opt], options.pe32Plus ? 0x20B : 0x10B);
    StoreU32(&file[opt + 4], 0x200);                                         // SizeOfCode
    StoreU32(&file[opt + 8], static_cast<uint32_t>(AlignUp(rsrc.size(), fileAlign)));  // SizeOfInitializedData
    StoreU32(&file[opt + 16], textRva);                                      // entry point
    StoreU32(&file[opt + 20], textRva);                                      // BaseOfCode
    if (options.pe32Plus) {
        StoreU64(&file[opt + 24], 0x140000000ull);
    } else {
        StoreU32(&file[opt + 28], 0x400000);
    }
    StoreU32(&file[opt + 32], sectionAlign);
    StoreU32(&file[opt + 36], fileAlign);
    StoreU16(&file[opt + 40], 6);  // OS version
    StoreU16(&file[opt + 48], 6);  // subsystem version
    const uint32_t lastRva = withResources ? rsrcRva : textRva;
    const uint32_t lastSize = withResources ? static_cast<uint32_t>(rsrc.size()) : 0x200;
    StoreU32(&file[opt + 56], static_cast<uint32_t>(AlignUp(lastRva + lastSize, sectionAlign)));
    StoreU32(&file[opt + 60], headersSize);
    StoreU16(&file[opt + 68], 2);  // GUI
    const uint32_t rvaCount = options.pe32Plus ? 108 : 92;
    StoreU32(&file[opt + rvaCount], 16);
    const uint32_t dirs = opt + rvaCount + 4;
    if (withResources) {
        StoreU32(&file[dirs + 16], rsrcRva);
        StoreU32(&file[dirs + 20], static_cast<uint32_t>(rsrc.size()));
    }

    auto section = [&](uint32_t index, const char* name, uint32_t rva, uint32_t virtualSize, uint32_t rawSize,
                       uint32_t rawAt, uint32_t characteristics) {
        uint8_t* h = &file[opt + optionalSize + 40 * index];
        std::copy_n(name, std::char_traits<char>::length(name), h);
        StoreU32(h + 8, virtualSize);
        StoreU32(h + 12, rva);
        StoreU32(h + 16, rawSize);
        StoreU32(h + 20, rawAt);
        StoreU32(h + 36, characteristics);
    };
    section(0, ".text", textRva, 0x200, 0x200, headersSize, 0x60000020);
    file.insert(file.end(), text.begin(), text.end());
    if (withResources) {
        const uint32_t rawSize = static_cast<uint32_t>(AlignUp(rsrc.size(), fileAlign));
        section(1, ".rsrc", rsrcRva, static_cast<uint32_t>(rsrc.size()), rawSize, static_cast<uint32_t>(file.size()),
                0x40000040);
        rsrc.resize(rawSize, 0);
        file.insert(file.end(), rsrc.begin(), rsrc.end());
    }
    if (options.withCertificate) {
        StoreU32(&file[dirs + 32], static_cast<uint32_t>(file.size()));
        StoreU32(&file[dirs + 36], 0x100);
        file.insert(file.end(), 0x100, 0xAB);
    }
    StoreU32(&file[opt + 64], ReferencePeChecksum(file));
    return file;
}

}  // namespace tarvo::packager::test
