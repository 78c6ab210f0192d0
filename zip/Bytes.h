// Little-endian values of the ZIP format: plain loads and stores at a pointer, a reader that
// refuses to step past the end of its range, and a writer that appends to a growing buffer
// (records are built whole, then written once).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zip {

inline uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t Get32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline uint64_t Get64(const uint8_t* p) { return Get32(p) | (uint64_t(Get32(p + 4)) << 32); }
inline void Put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}
inline void Put64(uint8_t* p, uint64_t v) {
    Put32(p, uint32_t(v));
    Put32(p + 4, uint32_t(v >> 32));
}

// Every getter returns 0 once the range is exhausted and Ok() turns false, so a caller checks
// once per record instead of before every field.
class ByteReader {
public:
    ByteReader(const uint8_t* p, size_t n) : p_(p), n_(n) {}
    bool Ok() const { return ok_; }
    size_t Pos() const { return pos_; }
    size_t Left() const { return n_ - pos_; }
    bool Has(size_t k) const { return k <= n_ - pos_; }
    uint16_t U16() { return Has(2) ? (pos_ += 2, Get16(p_ + pos_ - 2)) : uint16_t(Fail()); }
    uint32_t U32() { return Has(4) ? (pos_ += 4, Get32(p_ + pos_ - 4)) : uint32_t(Fail()); }
    uint64_t U64() { return Has(8) ? (pos_ += 8, Get64(p_ + pos_ - 8)) : Fail(); }
    // The next k bytes, or nullptr (and the reader exhausted) when fewer are left.
    const uint8_t* Bytes(size_t k) {
        if (!Has(k)) return Fail(), nullptr;
        pos_ += k;
        return p_ + pos_ - k;
    }
    void Skip(size_t k) { Bytes(k); }

private:
    uint64_t Fail() {
        ok_ = false;
        pos_ = n_;
        return 0;
    }
    const uint8_t* p_;
    size_t n_;
    size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
public:
    explicit ByteWriter(std::vector<uint8_t>& out) : out_(out) {}
    void U16(uint32_t v) { Append<2>(v); }
    void U32(uint32_t v) { Append<4>(v); }
    void U64(uint64_t v) { Append<8>(v); }
    void Bytes(const void* p, size_t n) {
        auto* b = static_cast<const uint8_t*>(p);
        out_.insert(out_.end(), b, b + n);
    }
    void Str(const std::string& s) { Bytes(s.data(), s.size()); }

private:
    template <int N>
    void Append(uint64_t v) {
        for (int i = 0; i < N; ++i) out_.push_back(uint8_t(v >> (8 * i)));
    }
    std::vector<uint8_t>& out_;
};

}  // namespace zip
