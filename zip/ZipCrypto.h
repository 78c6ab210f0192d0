// Traditional PKWARE encryption (APPNOTE 6.1): three 32-bit keys updated with each plain byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace zip {

uint32_t Crc32Update(uint32_t crc, const void* data, size_t n);

class ZipCrypto {
public:
    explicit ZipCrypto(const std::string& password);
    void Encrypt(uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            uint8_t t = StreamByte();
            Update(p[i]);
            p[i] ^= t;
        }
    }
    void Decrypt(uint8_t* p, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            p[i] ^= StreamByte();
            Update(p[i]);
        }
    }
    static constexpr size_t kHeaderSize = 12;

private:
    uint8_t StreamByte() const {
        uint32_t t = (k2_ | 2) & 0xFFFF;
        return uint8_t((t * (t ^ 1)) >> 8);
    }
    void Update(uint8_t c);
    uint32_t k0_, k1_, k2_;
};

// Fills the 12-byte encryption header: 11 random bytes and the check byte, encrypted in place.
void MakeCryptHeader(ZipCrypto& keys, uint8_t header[12], uint8_t check, uint32_t seed);

}  // namespace zip
