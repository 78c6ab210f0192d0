#include "SfxLayout.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "errors.h"
#include "zipformat.h"

namespace kit {

namespace {

uint16_t Get16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24); }

// Reads exactly n bytes at pos; false past the end.
bool ReadAt(zc::File& f, uint64_t pos, void* buf, size_t n) {
    if (pos > f.size() || f.size() - pos < n) return false;
    try {
        f.read_at(pos, buf, n, "the self-extractor");
    } catch (const zc::ZipError&) {
        return false;
    }
    return true;
}

bool HeaderAt(zc::File& f, uint64_t pos, SfxLocation& where) {
    uint8_t h[kSfxHeaderSize];
    if (!ReadAt(f, pos, h, sizeof h)) return false;
    std::string why;
    if (!ParseSfxHeader(h, sizeof h, where.header, why)) return false;
    where.hasHeader = true;
    where.headerPos = pos;
    return true;
}

}  // namespace

bool ParseSfxHeader(const uint8_t* p, size_t n, SfxHeader& out, std::string& why) {
    if (n < kSfxHeaderSize) {
        why = "the header is " + std::to_string(n) + " bytes long, not " + std::to_string(kSfxHeaderSize);
        return false;
    }
    if (std::memcmp(p, "SKX", 3) != 0) {
        why = "the header does not start with \"SKX\"";
        return false;
    }
    size_t a = p[4], b = p[5], c = p[6];
    // The texts follow the 7 fixed bytes and must end inside the header.
    if (7 + a + b + c > kSfxHeaderSize) {
        why = "the header's texts (" + std::to_string(a + b + c) + " bytes) do not fit in it";
        return false;
    }
    out.bits = p[3];
    const char* t = reinterpret_cast<const char*>(p + 7);
    out.caption.assign(t, a);
    out.defaultDir.assign(t + a, b);
    out.commandLine.assign(t + a + b, c);
    return true;
}

bool BuildSfxHeader(const SfxHeader& h, uint8_t out[kSfxHeaderSize]) {
    std::memset(out, 0, kSfxHeaderSize);
    if (h.caption.size() + h.defaultDir.size() + h.commandLine.size() >= 250) return false;
    std::memcpy(out, "SKX", 3);
    out[3] = h.bits;
    out[4] = uint8_t(h.caption.size());
    out[5] = uint8_t(h.defaultDir.size());
    out[6] = uint8_t(h.commandLine.size());
    size_t at = 7;
    for (const std::string* s : {&h.caption, &h.defaultDir, &h.commandLine}) {
        std::memcpy(out + at, s->data(), s->size());
        at += s->size();
    }
    return true;
}

uint64_t ProgramImageEnd(zc::File& f) {
    uint8_t dos[64];
    if (!ReadAt(f, 0, dos, sizeof dos) || dos[0] != 'M' || dos[1] != 'Z') return 0;
    uint32_t pe = Get32(dos + 60);
    // PE signature (4) and the file header (20).
    uint8_t fh[24];
    if (!ReadAt(f, pe, fh, sizeof fh) || std::memcmp(fh, "PE\0\0", 4) != 0) return 0;
    uint16_t sections = Get16(fh + 6);
    uint32_t symbols = Get32(fh + 12), nSymbols = Get32(fh + 16);
    uint16_t optSize = Get16(fh + 20);
    uint64_t table = uint64_t(pe) + 24 + optSize;
    uint64_t end = table + uint64_t(sections) * 40;
    std::vector<uint8_t> sec(size_t(sections) * 40);
    if (sections == 0 || !ReadAt(f, table, sec.data(), sec.size())) return 0;
    for (uint16_t i = 0; i < sections; ++i) {
        const uint8_t* s = sec.data() + i * 40;
        uint32_t rawSize = Get32(s + 16), rawPtr = Get32(s + 20);
        if (rawSize && uint64_t(rawPtr) + rawSize > end) end = uint64_t(rawPtr) + rawSize;
    }
    // A COFF symbol table (18 bytes a symbol) and its string table (which starts with its own
    // length) follow the sections in programs that were not stripped.
    if (symbols) {
        uint64_t strings = uint64_t(symbols) + uint64_t(nSymbols) * 18;
        uint8_t len[4];
        if (ReadAt(f, strings, len, 4)) {
            uint64_t stEnd = strings + Get32(len);
            if (stEnd > end && stEnd <= f.size()) end = stEnd;
        } else if (strings > end && strings <= f.size()) {
            end = strings;
        }
    }
    return end;
}

bool LocateSfxHeader(zc::File& f, SfxLocation& where) {
    where = SfxLocation{};
    uint64_t image = ProgramImageEnd(f);
    if (image && HeaderAt(f, image, where)) return true;
    // A stub that carries data of its own after its image (a signature, say): find the
    // archive instead and look just before its first byte.
    try {
        zc::Directory d = zc::read_directory(f);
        if (d.data_start >= kSfxHeaderSize && HeaderAt(f, d.data_start - kSfxHeaderSize, where)) return true;
    } catch (const zc::ZipError&) {
    }
    return false;
}

bool HasArchiveAfter(zc::File& f, uint64_t from) {
    uint64_t size = f.size();
    if (size < from + 22) return false;
    // The end record and its comment (at most 65,535 bytes) close the file.
    uint64_t start = std::max<uint64_t>(from, size > 22 + 0xFFFF ? size - 22 - 0xFFFF : 0);
    std::vector<uint8_t> tail(size_t(size - start));
    if (!ReadAt(f, start, tail.data(), tail.size())) return false;
    for (size_t i = tail.size() - 22 + 1; i-- > 0;) {
        if (Get32(&tail[i]) != 0x06054B50) continue;
        if (i + 22 + Get16(&tail[i + 20]) <= tail.size()) return true;
    }
    return false;
}

}  // namespace kit
