#pragma once
// Builds package archives byte by byte for tests, including damaged ones that no builder would
// write: wrong properties bytes, unknown sizes, broken checksums.
#include <lzma.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tarvo::testing {

using Bytes = std::vector<uint8_t>;

inline void Put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

inline void Set32(Bytes& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

// One LZMA-alone stream: properties byte, dictionary size, the declared unpacked size, then raw
// LZMA1 data.
inline Bytes LzmaStream(const std::string& data, uint8_t properties = 0x5D, uint64_t declaredSize = UINT64_MAX) {
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = 1u << 23;
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
    Bytes packed(data.size() + data.size() / 2 + 1024);
    size_t packedSize = 0;
    lzma_stream s = LZMA_STREAM_INIT;
    if (lzma_raw_encoder(&s, filters) == LZMA_OK) {
        s.next_in = reinterpret_cast<const uint8_t*>(data.data());
        s.avail_in = data.size();
        s.next_out = packed.data();
        s.avail_out = packed.size();
        while (lzma_code(&s, LZMA_FINISH) == LZMA_OK) {
        }
        packedSize = packed.size() - s.avail_out;
        lzma_end(&s);
    }
    Bytes stream;
    stream.push_back(properties);
    Put32(stream, options.dict_size);
    uint64_t size = declaredSize == UINT64_MAX ? data.size() : declaredSize;
    Put32(stream, uint32_t(size));
    Put32(stream, uint32_t(size >> 32));
    stream.insert(stream.end(), packed.begin(), packed.begin() + packedSize);
    return stream;
}

struct FixtureEntry {
    std::string name;
    Bytes stream;
    bool breakChecksum = false;
};

inline FixtureEntry Entry(const std::string& name, const std::string& content) {
    return FixtureEntry{name, LzmaStream(content)};
}

inline uint32_t ByteSum(const Bytes& b) {
    uint32_t sum = 0;
    for (uint8_t v : b) sum += v;
    return sum;
}

// 128 zero bytes, the streams, the directory, the trailer with both checksums.
inline Bytes Archive(const std::vector<FixtureEntry>& entries) {
    Bytes out(128, 0);
    std::vector<uint32_t> offsets;
    for (const auto& e : entries) {
        offsets.push_back(uint32_t(out.size()));
        out.insert(out.end(), e.stream.begin(), e.stream.end());
    }
    uint32_t directory = uint32_t(out.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        Put32(out, offsets[i]);
        Put32(out, uint32_t(e.stream.size()));
        uint32_t unpacked = 0;
        for (int k = 0; k < 4 && e.stream.size() >= 13; ++k) unpacked |= uint32_t(e.stream[5 + k]) << (8 * k);
        Put32(out, unpacked);
        Put32(out, ByteSum(e.stream) + (e.breakChecksum ? 1 : 0));
        out.push_back(uint8_t(e.name.size() + 1));
        out.insert(out.end(), e.name.begin(), e.name.end());
        out.push_back(0);
    }
    size_t trailer = out.size();
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, directory);
    Put32(out, uint32_t(entries.size()));
    Put32(out, 0x03345283);
    Put32(out, 0x0EFFF343);
    uint32_t trailerSum = 0;
    for (size_t i = trailer + 8; i < trailer + 24; ++i) trailerSum += uint32_t(int32_t(int8_t(out[i])));
    Set32(out, trailer + 4, trailerSum);
    uint32_t body = 0;
    size_t words = trailer / 4;
    for (size_t w = 0; w < words; ++w) {
        body += uint32_t(out[4 * w]) | uint32_t(out[4 * w + 1]) << 8 | uint32_t(out[4 * w + 2]) << 16 |
                uint32_t(out[4 * w + 3]) << 24;
    }
    for (size_t b = words * 4; b < trailer; ++b) body += out[b];
    Set32(out, trailer, body == 0 ? 1 : body);
    return out;
}

}  // namespace tarvo::testing
