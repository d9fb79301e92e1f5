#include "builder/LzmaCodec.h"

#include <lzma.h>

#include <algorithm>
#include <vector>

namespace tarvo::packager {

namespace {

constexpr size_t kChunk = 1u << 20;

// lzma_stream with its end call tied to scope.
struct LzmaStream {
    lzma_stream strm = LZMA_STREAM_INIT;
    ~LzmaStream() { lzma_end(&strm); }
};

std::string LzmaErrorText(lzma_ret ret) {
    switch (ret) {
    case LZMA_MEM_ERROR: return "out of memory";
    case LZMA_MEMLIMIT_ERROR: return "memory limit reached";
    case LZMA_OPTIONS_ERROR: return "unsupported LZMA options";
    case LZMA_DATA_ERROR: return "corrupt LZMA data";
    case LZMA_BUF_ERROR: return "LZMA data ends too early";
    case LZMA_PROG_ERROR: return "internal LZMA error";
    default: return "LZMA error " + std::to_string(static_cast<int>(ret));
    }
}

}  // namespace

bool EncodeLzmaAlone(const ByteSource& input, const CompressionSettings& settings,
                     const ByteSink& sink, std::string* error) {
    const uint64_t size = input.Size();
    if (size > kLzmaMaxUnpackedSize) {
        if (error) *error = "a file of " + std::to_string(size) + " bytes is too large for a package entry";
        return false;
    }

    uint8_t header[kLzmaHeaderSize];
    header[0] = kLzmaProperties;
    StoreU32(header + 1, kLzmaDictionarySize);
    StoreU64(header + 5, size);
    if (!sink(header, sizeof header)) return false;

    lzma_options_lzma options;
    uint32_t preset = std::min<uint32_t>(settings.level, 9) | (settings.extreme ? LZMA_PRESET_EXTREME : 0);
    if (lzma_lzma_preset(&options, preset)) {
        if (error) *error = "unsupported compression level";
        return false;
    }
    // A file smaller than the window needs no more window than its own size: the output is the
    // same, the encoder starts faster, and any decoder with the 8 MiB of the header can read it.
    options.dict_size = static_cast<uint32_t>(
        std::clamp<uint64_t>(size, LZMA_DICT_SIZE_MIN, kLzmaDictionarySize));
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.ext_flags = 0;  // no end-of-payload marker
    const bool binaryTree = options.mf == LZMA_MF_BT2 || options.mf == LZMA_MF_BT3 || options.mf == LZMA_MF_BT4;
    if (binaryTree && !settings.extreme) {
        if (settings.niceLength) options.nice_len = std::clamp<uint32_t>(settings.niceLength, 8, 273);
        if (settings.depth) options.depth = settings.depth;
    }
    lzma_set_ext_size(options, size);
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    LzmaStream stream;
    lzma_ret ret = lzma_raw_encoder(&stream.strm, filters);
    if (ret != LZMA_OK) {
        if (error) *error = "cannot start the LZMA encoder: " + LzmaErrorText(ret);
        return false;
    }

    std::vector<uint8_t> in(static_cast<size_t>(std::min<uint64_t>(kChunk, std::max<uint64_t>(size, 1))));
    std::vector<uint8_t> out(kChunk);
    uint64_t consumed = 0;
    for (;;) {
        if (stream.strm.avail_in == 0 && consumed < size) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(in.size(), size - consumed));
            if (!input.ReadAt(consumed, in.data(), n)) {
                if (error) *error = "read error: " + LastErrorText();
                return false;
            }
            consumed += n;
            stream.strm.next_in = in.data();
            stream.strm.avail_in = n;
        }
        const lzma_action action = consumed < size ? LZMA_RUN : LZMA_FINISH;
        stream.strm.next_out = out.data();
        stream.strm.avail_out = out.size();
        ret = lzma_code(&stream.strm, action);
        const size_t produced = out.size() - stream.strm.avail_out;
        if (produced && !sink(out.data(), produced)) return false;
        if (ret == LZMA_STREAM_END) return true;
        if (ret != LZMA_OK) {
            if (error) *error = "compression failed: " + LzmaErrorText(ret);
            return false;
        }
    }
}

bool DecodeLzmaAlone(const ByteSource& stream, const ByteSink& sink, std::string* error) {
    uint8_t header[kLzmaHeaderSize];
    if (!stream.ReadAt(0, header, sizeof header)) {
        if (error) *error = "the stream is shorter than its 13-byte header";
        return false;
    }
    const uint8_t d = header[0];
    const uint32_t headerDictionary = LoadU32(header + 1);
    const uint64_t size = LoadU64(header + 5);
    if (d > 224) {
        if (error) *error = "bad LZMA properties byte " + std::to_string(d);
        return false;
    }
    if (size > kLzmaMaxUnpackedSize) {
        if (error) *error = "the stream header gives no usable unpacked size";
        return false;
    }

    lzma_options_lzma options{};
    // The window never needs to exceed the output, and a forged header must not make us
    // allocate gigabytes.
    options.dict_size = static_cast<uint32_t>(std::max<uint64_t>(
        LZMA_DICT_SIZE_MIN, std::min<uint64_t>(headerDictionary, std::max<uint64_t>(size, 1))));
    options.lc = d % 9;
    options.lp = (d / 9) % 5;
    options.pb = d / 45;
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    if (size == 0) return true;

    LzmaStream lz;
    lzma_ret ret = lzma_raw_decoder(&lz.strm, filters);
    if (ret != LZMA_OK) {
        if (error) *error = "cannot start the LZMA decoder: " + LzmaErrorText(ret);
        return false;
    }

    const uint64_t packedEnd = stream.Size();
    uint64_t readPos = kLzmaHeaderSize;
    uint64_t produced = 0;
    std::vector<uint8_t> in(kChunk);
    std::vector<uint8_t> out(static_cast<size_t>(std::min<uint64_t>(kChunk, size)));
    while (produced < size) {
        if (lz.strm.avail_in == 0 && readPos < packedEnd) {
            size_t n = static_cast<size_t>(std::min<uint64_t>(in.size(), packedEnd - readPos));
            if (!stream.ReadAt(readPos, in.data(), n)) {
                if (error) *error = "read error: " + LastErrorText();
                return false;
            }
            readPos += n;
            lz.strm.next_in = in.data();
            lz.strm.avail_in = n;
        }
        const size_t availIn = lz.strm.avail_in;
        lz.strm.next_out = out.data();
        lz.strm.avail_out = static_cast<size_t>(std::min<uint64_t>(out.size(), size - produced));
        const size_t room = lz.strm.avail_out;
        ret = lzma_code(&lz.strm, LZMA_RUN);
        const size_t got = room - lz.strm.avail_out;
        produced += got;
        if (got && !sink(out.data(), got)) return false;
        if (ret == LZMA_STREAM_END) break;
        if (ret != LZMA_OK) {
            if (error) *error = "decompression failed: " + LzmaErrorText(ret);
            return false;
        }
        if (got == 0 && lz.strm.avail_in == availIn && readPos >= packedEnd) break;  // starved
    }
    if (produced != size) {
        if (error) *error = "the LZMA data ends after " + std::to_string(produced) + " of " +
                            std::to_string(size) + " bytes";
        return false;
    }
    return true;
}

}  // namespace tarvo::packager
