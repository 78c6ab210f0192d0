#include "ZipCrypto.h"

#include <libdeflate.h>

#include <random>

namespace zip {
namespace {
uint32_t CrcTableEntry(uint8_t b) {
    uint32_t c = b;
    for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    return c;
}
struct CrcTable {
    uint32_t t[256];
    CrcTable() {
        for (int i = 0; i < 256; ++i) t[i] = CrcTableEntry(uint8_t(i));
    }
};
const CrcTable kCrc;
}  // namespace

uint32_t Crc32Update(uint32_t crc, const void* data, size_t n) { return libdeflate_crc32(crc, data, n); }

ZipCrypto::ZipCrypto(const std::string& password) : k0_(0x12345678), k1_(0x23456789), k2_(0x34567890) {
    for (unsigned char c : password) Update(c);
}

void ZipCrypto::Update(uint8_t c) {
    k0_ = kCrc.t[(k0_ ^ c) & 0xFF] ^ (k0_ >> 8);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = kCrc.t[(k2_ ^ (k1_ >> 24)) & 0xFF] ^ (k2_ >> 8);
}

void MakeCryptHeader(ZipCrypto& keys, uint8_t header[12], uint8_t check, uint32_t seed) {
    std::mt19937 rng(seed);
    for (int i = 0; i < 11; ++i) header[i] = uint8_t(rng() >> 24);
    header[11] = check;
    keys.Encrypt(header, 12);
}

}  // namespace zip
