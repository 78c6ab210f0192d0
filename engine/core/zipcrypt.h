// Traditional PKWARE encryption (APPNOTE 6.1): three 32-bit keys updated with each plain byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zc {

uint32_t crc32_update(uint32_t crc, const void* data, size_t n);

class ZipCrypto {
 public:
  explicit ZipCrypto(const std::string& password);
  void encrypt(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      uint8_t t = stream_byte();
      update(p[i]);
      p[i] ^= t;
    }
  }
  void decrypt(uint8_t* p, size_t n) {
    for (size_t i = 0; i < n; ++i) {
      p[i] ^= stream_byte();
      update(p[i]);
    }
  }
  static constexpr size_t kHeaderSize = 12;

 private:
  uint8_t stream_byte() const {
    uint32_t t = (k2_ | 2) & 0xFFFF;
    return uint8_t((t * (t ^ 1)) >> 8);
  }
  void update(uint8_t c);
  uint32_t k0_, k1_, k2_;
};

// Fills the 12-byte encryption header: 11 random bytes and the check byte, encrypted in place.
void make_crypt_header(ZipCrypto& keys, uint8_t header[12], uint8_t check, uint32_t seed);

}  // namespace zc
