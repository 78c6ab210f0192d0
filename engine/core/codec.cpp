#include "codec.h"

#include <libdeflate.h>
#include <zlib.h>

#include <new>

#include "errors.h"

namespace zc {

int libdeflate_level(int level) {
  // 1-6 as they are; above, libdeflate's near-optimal parser: 7 -> 8, 8 -> 9, 9 -> 10 (the size
  // of 7-Zip's best ZIP in less than Info-ZIP's -9 time on two cores).
  static const int map[10] = {0, 1, 2, 3, 4, 5, 6, 8, 9, 10};
  if (level < 1) return 0;
  if (level > 9) level = 9;
  return map[level];
}

BlockDeflater::BlockDeflater(int level) : c_(libdeflate_alloc_compressor(libdeflate_level(level))) {
  if (!c_) throw ZipError(kMemory, "Out of memory for the compressor");
}
BlockDeflater::~BlockDeflater() { libdeflate_free_compressor(c_); }

size_t BlockDeflater::compress(const uint8_t* in, size_t n, uint8_t* out, size_t cap) {
  return libdeflate_deflate_compress(c_, in, n, out, cap);
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

StreamInflater::StreamInflater() : z_(new z_stream_s{}) {
  if (inflateInit2(z_.get(), -15) != Z_OK) throw ZipError(kMemory, "Out of memory for the decompressor");
}
StreamInflater::~StreamInflater() { inflateEnd(z_.get()); }

bool StreamInflater::feed(const uint8_t* in, size_t n, size_t& consumed, std::vector<uint8_t>& out, size_t max_out) {
  consumed = 0;
  if (done_) return true;
  z_->next_in = const_cast<Bytef*>(in);
  z_->avail_in = uInt(n);
  size_t base = out.size();
  out.resize(base + max_out);
  z_->next_out = out.data() + base;
  z_->avail_out = uInt(max_out);
  int rc = inflate(z_.get(), Z_NO_FLUSH);
  out.resize(base + (max_out - z_->avail_out));
  consumed = n - z_->avail_in;
  if (rc == Z_STREAM_END) { done_ = true; return true; }
  if (rc == Z_OK) return true;
  if (rc == Z_BUF_ERROR) return true;  // no progress possible with this input: caller gives more
  err_ = z_->msg ? z_->msg : "invalid compressed data";
  return false;
}

}  // namespace zc
