#include "SfxLayout.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "Bytes.h"
#include "Records.h"
#include "Errors.h"
#include "zipformat.h"

namespace kit {

using zip::Get16;
using zip::Get32;

namespace {

// Reads exactly n bytes at pos; false past the end.
bool ReadAt(zip::File& f, uint64_t pos, void* buf, size_t n) {
    if (pos > f.size() || f.size() - pos < n) return false;
    try {
        f.ReadAt(pos, buf, n, "the self-extractor");
    } catch (const zip::ZipError&) {
        return false;
    }
    return true;
}

bool HeaderAt(zip::File& f, uint64_t pos, SfxLocation& where) {
    uint8_t h[kSfxHeaderSize];
    if (!ReadAt(f, pos, h, sizeof h)) return false;
    std::string why;
    if (!ParseSfxHeader(h, sizeof h, where.header, why)) return false;
    where.hasHeader = true;
    where.headerPos = pos;
    return true;
}

}  // namespace

uint64_t ProgramImageEnd(zip::File& f) {
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

bool LocateSfxHeader(zip::File& f, SfxLocation& where) {
    where = SfxLocation{};
    uint64_t image = ProgramImageEnd(f);
    if (image && HeaderAt(f, image, where)) return true;
    // A stub that carries data of its own after its image (a signature, say): find the
    // archive instead and look just before its first byte.
    try {
        zc::Directory d = zc::ReadDirectory(f);
        if (d.dataStart >= kSfxHeaderSize && HeaderAt(f, d.dataStart - kSfxHeaderSize, where)) return true;
    } catch (const zip::ZipError&) {
    }
    return false;
}

bool HasArchiveAfter(zip::File& f, uint64_t from) {
    uint64_t size = f.size();
    if (size < from + zip::kEndSize) return false;
    // The end record and its comment close the file.
    uint64_t start = std::max<uint64_t>(from, size - zip::EndSearchLength(size));
    std::vector<uint8_t> tail(size_t(size - start));
    if (!ReadAt(f, start, tail.data(), tail.size())) return false;
    return zip::FindEndRecord(tail.data(), tail.size()).complete >= 0;
}

}  // namespace kit
