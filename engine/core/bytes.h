// Little-endian encoding and a bounds-checked reader of fixed-layout records.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zc {

inline uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t get32(const uint8_t* p) {
  return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void put16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); }
inline void put32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v >> 16); p[3] = uint8_t(v >> 24);
}

// Reads little-endian values from a byte range and refuses to step past its end: every getter
// returns 0 once the range is exhausted and ok() turns false, so a caller checks once per record.
class ByteReader {
 public:
  ByteReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
  bool ok() const { return ok_; }
  size_t pos() const { return pos_; }
  size_t left() const { return n_ - pos_; }
  bool has(size_t k) const { return k <= n_ - pos_; }
  uint16_t u16() { return has(2) ? (pos_ += 2, get16(p_ + pos_ - 2)) : fail16(); }
  uint32_t u32() { return has(4) ? (pos_ += 4, get32(p_ + pos_ - 4)) : fail32(); }
  const uint8_t* bytes(size_t k) {
    if (!has(k)) { ok_ = false; pos_ = n_; return nullptr; }
    pos_ += k;
    return p_ + pos_ - k;
  }
  void skip(size_t k) { bytes(k); }

 private:
  uint16_t fail16() { ok_ = false; pos_ = n_; return 0; }
  uint32_t fail32() { ok_ = false; pos_ = n_; return 0; }
  const uint8_t* p_;
  size_t n_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Appends little-endian values to a growing buffer (headers are built whole, then written once).
class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  void u16(uint32_t v) { uint8_t b[2]; put16(b, v); out_.insert(out_.end(), b, b + 2); }
  void u32(uint32_t v) { uint8_t b[4]; put32(b, v); out_.insert(out_.end(), b, b + 4); }
  void bytes(const void* p, size_t n) {
    auto* b = static_cast<const uint8_t*>(p);
    out_.insert(out_.end(), b, b + n);
  }
  void str(const std::string& s) { bytes(s.data(), s.size()); }

 private:
  std::vector<uint8_t>& out_;
};

}  // namespace zc
