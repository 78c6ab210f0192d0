#include "codec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <new>

#include "Errors.h"

#ifdef ZC_TUNED_DEFLATE
extern "C" libdeflate_compressor* zc_alloc_tuned_compressor(int level, int depth, int nice, int passes);
#endif

namespace zc {

using namespace zip;

int libdeflate_level(int level) {
    // 1-6 as they are; above, libdeflate's near-optimal parser: 7 -> 8, 8 -> 9, 9 -> 10 (the size
    // of 7-Zip's best ZIP in less than Info-ZIP's -9 time on two cores).
    static const int map[10] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10};
    if (level < 1) return 0;
    if (level > 9) level = 9;
    return map[level];
}

DeflateSetting DeflateSettingFor(int level, const std::string& name) {
    DeflateSetting s;
    s.level = libdeflate_level(level);
    if (level != 9 && level != 6) return s;
    size_t dot = name.rfind('.');
    std::string ext = dot == std::string::npos || name.find('/', dot) != std::string::npos ? "" : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; });
    auto is = [&](std::initializer_list<const char*> list) {
        for (const char* e : list)
            if (ext == e) return true;
        return false;
    };
    bool records = is({"bgl", "gau"});
    if (level == 9) {
        if (records) return {10, 8, 24, 1};
        if (is({"bmp"})) return {10, 35, 75, 3};
        if (is({"wav", "cfg", "ini", "xml", "txt", "htm", "html"})) return {12};
    } else {
        if (records) return {5, 8, 16};
        if (is({"bmp"})) return {5};
    }
    return s;
}

BlockDeflater::BlockDeflater(int level) : BlockDeflater(DeflateSetting{libdeflate_level(level)}) {}

BlockDeflater::BlockDeflater(const DeflateSetting& s) {
#ifdef ZC_TUNED_DEFLATE
    c_ = zc_alloc_tuned_compressor(s.level, s.depth, s.nice, s.passes);
#else
    c_ = libdeflate_alloc_compressor(s.level);
#endif
    if (!c_) throw ZipError(kMemory, "Out of memory for the compressor");
}
BlockDeflater::~BlockDeflater() { libdeflate_free_compressor(c_); }

size_t BlockDeflater::compress(const uint8_t* in, size_t n, uint8_t* out, size_t cap) {
    return libdeflate_deflate_compress(c_, in, n, out, cap);
}

size_t BlockDeflater::bound(size_t n) { return libdeflate_deflate_compress_bound(c_, n); }

bool LooksIncompressible(const uint8_t* p, size_t n, BlockDeflater& fast) {
    constexpr size_t kSlice = 16u << 10;
    if (n < 4 * kSlice) return false;  // small: the full level costs little
    uint8_t out[kSlice];
    size_t inTotal = 0, outTotal = 0;
    for (size_t at : {size_t(0), n / 2 - kSlice / 2, n - kSlice}) {
        size_t k = fast.compress(p + at, kSlice, out, sizeof out);
        inTotal += kSlice;
        outTotal += k ? k : kSlice;
    }
    return outTotal * 100 >= inTotal * 97;
}

bool MakeContinuable(std::vector<uint8_t>& d) {
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK) return false;
    std::vector<uint8_t> sink(1u << 16);
    z.next_in = d.data();
    z.avail_in = uInt(d.size());
    uint64_t lastHeader = 0;  // bit position of the header of the block being decoded
    uint64_t endBit = 0;      // where the final block ends
    int rc;
    for (;;) {
        z.next_out = sink.data();
        z.avail_out = uInt(sink.size());
        rc = inflate(&z, Z_BLOCK);
        if (rc == Z_STREAM_END) break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) break;
        if (rc == Z_BUF_ERROR && z.avail_in == 0) break;  // ends without a final block
        // Right after an end-of-block code: the next block's header starts here, unless the block
        // that ended was the final one.
        if (z.data_type & 128) {
            uint64_t at = uint64_t(z.next_in - d.data()) * 8 - (z.data_type & 7);
            if (z.data_type & 64)
                endBit = at;
            else
                lastHeader = at;
        }
    }
    size_t used = size_t(z.next_in - d.data());
    inflateEnd(&z);
    if (rc != Z_STREAM_END || used != d.size() || endBit == 0 || (endBit + 7) / 8 != d.size()) return false;
    d[size_t(lastHeader / 8)] &= uint8_t(~(1u << (lastHeader % 8)));
    // Three zero bits (not final, stored), then to the byte boundary, length 0 and its complement.
    // The bits after the stream's end in its last byte are zero already.
    if ((8 - endBit % 8) % 8 < 3) d.push_back(0);
    for (uint8_t b : {0x00, 0x00, 0xFF, 0xFF}) d.push_back(b);
    return true;
}

uint32_t Crc32Join(uint32_t crc1, uint32_t crc2, uint64_t len2) {
    // Pieces are chunks of a few MiB: the length fits zlib's plain offset type on every target.
    return uint32_t(crc32_combine(crc1, crc2, z_off_t(len2)));
}

StreamDeflater::StreamDeflater(int level) : z_(new z_stream_s{}) {
    if (deflateInit2(z_.get(), level < 1 ? 1 : level > 9 ? 9 : level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        throw ZipError(kMemory, "Out of memory for the stream compressor");
}
StreamDeflater::~StreamDeflater() { deflateEnd(z_.get()); }

void StreamDeflater::feed(const uint8_t* in, size_t n, bool finish, std::vector<uint8_t>& out) {
    z_->next_in = const_cast<Bytef*>(in);
    z_->avail_in = uInt(n);
    uint8_t buf[65536];
    for (;;) {
        z_->next_out = buf;
        z_->avail_out = sizeof buf;
        int rc = deflate(z_.get(), finish ? Z_FINISH : Z_NO_FLUSH);
        if (rc == Z_STREAM_ERROR) throw ZipError(kLogic, "zlib deflate failed");
        out.insert(out.end(), buf, buf + (sizeof buf - z_->avail_out));
        if (finish ? rc == Z_STREAM_END : (z_->avail_in == 0 && z_->avail_out != 0)) break;
    }
}

}  // namespace zc
