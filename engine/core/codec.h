// Compression: libdeflate for whole members held in memory, zlib for streams (large members
// and every inflate).
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct libdeflate_compressor;
struct z_stream_s;

namespace zc {

// The engine's level 1-9 on libdeflate's 1-12 scale (level 0 stores, never compresses).
int libdeflate_level(int level);

// How a whole member is deflated: a libdeflate level (1-12) and, for the near-optimal levels
// 10-12, the depth of the match search, the match length that ends a search, and the number of
// optimisation passes (0: the level's own).
struct DeflateSetting {
    int level = 6;
    int depth = 0, nice = 0, passes = 0;
    bool operator==(const DeflateSetting&) const = default;
};

// The setting for a member named name at the engine's level 1-9; the kind of data, told by the
// name's extension, chooses the search at levels 9 and 6. At 9 text and sound get the most
// optimisation passes and images three, where the passes still shrink them (a fourth for images
// would cost a fifth more time for two bytes in ten thousand); compiled scenery and gauges, long
// repeated records among noise, get a short search, since the lazy parser finds their matches
// already and the deep search costs four times as long for a tenth of a percent. At 6 images get the
// shorter lazy search of libdeflate's 5, and scenery and gauges a shallower one still: a fifth
// less time for a quarter of a percent. Other levels and kinds as libdeflate_level says.
DeflateSetting DeflateSettingFor(int level, const std::string& name);

// One libdeflate compressor (not thread-safe: one per worker).
class BlockDeflater {
public:
    explicit BlockDeflater(int level);
    explicit BlockDeflater(const DeflateSetting& s);
    ~BlockDeflater();
    BlockDeflater(const BlockDeflater&) = delete;
    BlockDeflater& operator=(const BlockDeflater&) = delete;
    // Raw deflate of in into out; returns the size, or 0 when it would not be smaller than cap.
    size_t compress(const uint8_t* in, size_t n, uint8_t* out, size_t cap);
    // The most compress() can produce for n bytes.
    size_t bound(size_t n);

private:
    libdeflate_compressor* c_;
};

// True when a sample of the data (up to three slices of 16 KiB) does not shrink by 3% at the
// fastest level: already compressed data (JPEG, compressed sound, archives) or noise, which the
// slow levels would only spend time on. fast must be a level-1 deflater.
bool LooksIncompressible(const uint8_t* p, size_t n, BlockDeflater& fast);

// Turns a complete raw deflate stream into the first part of a longer one: the final block's
// flag is cleared and an empty stored block follows (what zlib's sync flush writes), so that the
// next independently compressed piece can simply be appended. False on a stream it cannot read.
bool MakeContinuable(std::vector<uint8_t>& d);

// CRC of two pieces joined, from the CRCs of each and the length of the second (under 2 GiB).
uint32_t Crc32Join(uint32_t crc1, uint32_t crc2, uint64_t len2);

// Streaming raw deflate with zlib.
class StreamDeflater {
public:
    explicit StreamDeflater(int level);
    ~StreamDeflater();
    StreamDeflater(const StreamDeflater&) = delete;
    StreamDeflater& operator=(const StreamDeflater&) = delete;
    // Appends the compressed form of in to out; finish on the last call.
    void feed(const uint8_t* in, size_t n, bool finish, std::vector<uint8_t>& out);

private:
    std::unique_ptr<z_stream_s> z_;
};

}  // namespace zc
