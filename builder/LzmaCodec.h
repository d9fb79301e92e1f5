#pragma once
// One package entry's packed stream: the 13-byte LZMA-alone header (properties byte 0x5D, the
// dictionary size, the unpacked size as a u64) followed by LZMA1 data.
//
// The header always carries the real unpacked size. The installer reads that size, allocates
// exactly that much output and decodes until the output is full; it rejects the "unknown size"
// header (all ones) that streaming .lzma writers produce. For the same reason the data carries no
// end-of-payload marker: with the size known it is redundant, and decoders that are told the
// size (LZMA1EXT, 7-Zip style) reject a marker they were not told to expect.
#include "builder/ByteIo.h"

#include <cstdint>
#include <functional>
#include <string>

namespace tarvo::packager {

constexpr uint8_t kLzmaProperties = 0x5D;               // lc 3, lp 0, pb 2
constexpr uint32_t kLzmaDictionarySize = 8u << 20;     // 8 MiB, as written in every header
constexpr size_t kLzmaHeaderSize = 13;
constexpr uint64_t kLzmaMaxUnpackedSize = 0xFFFFFFFEu;  // 0xFFFFFFFF reads as "unknown"

struct CompressionSettings {
    uint32_t level = 9;    // liblzma preset 0..9; the dictionary is 8 MiB whatever the level
    bool extreme = false;  // liblzma's extreme preset, as it is: slower, a little smaller
    // The binary-tree match finder of levels 4 to 9, tuned on program files (0 keeps the
    // preset's value). A deeper search (the preset's is 16 + nice length / 2) makes the output
    // about 0.35% smaller at no measurable cost: it rarely goes that deep and stops at the first
    // match of the nice length. A nice length of 48 instead of 64 saves 7% of the time for 0.03%
    // of size.
    uint32_t niceLength = 48;
    uint32_t depth = 1000;
};

// Receives output in pieces; returning false stops the work (the sink reports its own error).
using ByteSink = std::function<bool(const uint8_t* data, size_t size)>;

// Packs all of `input` into one stream. Fails on an input over kLzmaMaxUnpackedSize, an input
// that cannot be read, or a sink that refuses the output.
bool EncodeLzmaAlone(const ByteSource& input, const CompressionSettings& settings,
                     const ByteSink& sink, std::string* error);

// Unpacks one stream the way the installer does: raw LZMA1 with lc, lp and pb from the header,
// output of exactly the header's unpacked size, no end marker required. Rejects a properties
// byte above 224, an unpacked size of 0xFFFFFFFF or above, and data that ends too early.
bool DecodeLzmaAlone(const ByteSource& stream, const ByteSink& sink, std::string* error);

}  // namespace tarvo::packager
