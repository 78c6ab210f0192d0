// Small archives built byte by byte, so each test states exactly what the reader gets.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Bytes.h"
#include "ZipFormat.h"

namespace ztest {

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint16_t v) { b.push_back(uint8_t(v)); b.push_back(uint8_t(v >> 8)); }
inline void Put32(Bytes& b, uint32_t v) { Put16(b, uint16_t(v)); Put16(b, uint16_t(v >> 16)); }
inline void Append(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

struct Member {
    std::string name;
    std::string data;
    std::string comment;
    uint8_t host = 0;      // FAT
    uint8_t version = 20;
};

// A stored archive of the members, optionally with a comment; offsets as written.
inline Bytes MakeArchive(const std::vector<Member>& members, const std::string& comment = "", uint32_t base = 0) {
    Bytes out, central;
    for (const Member& m : members) {
        uint32_t off = uint32_t(out.size()) + base;
        Put32(out, zip::kLocalSig);
        Put16(out, 10); Put16(out, 0); Put16(out, 0); Put16(out, 0); Put16(out, 0x21);
        Put32(out, 0); Put32(out, uint32_t(m.data.size())); Put32(out, uint32_t(m.data.size()));
        Put16(out, uint16_t(m.name.size())); Put16(out, 0);
        Append(out, m.name);
        Append(out, m.data);
        Put32(central, zip::kCentralSig);
        central.push_back(m.version); central.push_back(m.host);
        Put16(central, 10); Put16(central, 0); Put16(central, 0); Put16(central, 0); Put16(central, 0x21);
        Put32(central, 0); Put32(central, uint32_t(m.data.size())); Put32(central, uint32_t(m.data.size()));
        Put16(central, uint16_t(m.name.size())); Put16(central, 0); Put16(central, uint16_t(m.comment.size()));
        Put16(central, 0); Put16(central, 0); Put32(central, 0x20); Put32(central, off);
        Append(central, m.name);
        Append(central, m.comment);
    }
    uint32_t cdOff = uint32_t(out.size()) + base;
    out.insert(out.end(), central.begin(), central.end());
    Put32(out, zip::kEndSig);
    Put16(out, 0); Put16(out, 0);
    Put16(out, uint16_t(members.size())); Put16(out, uint16_t(members.size()));
    Put32(out, uint32_t(central.size())); Put32(out, cdOff);
    Put16(out, uint16_t(comment.size()));
    Append(out, comment);
    return out;
}

inline ZipListing List(const Bytes& b, const ZipListOptions& opt = {}) {
    zip::MemorySource src(b);
    return ReadZipListing(src, opt);
}

}  // namespace ztest
