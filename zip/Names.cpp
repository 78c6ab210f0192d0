#include "Names.h"

#include "Bytes.h"
#include "Text.h"
#include "ZipCrypto.h"

#include <vector>

namespace zip {

bool HasWildcards(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

static char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

std::string FoldCase(const std::string& s) {
    std::string out = s;
    for (char& c : out) c = lower(c);
    return out;
}

std::string ToSlashes(std::string s) {
    for (char& c : s)
        if (c == '\\') c = '/';
    return s;
}

bool WildMatch(const std::string& pattern, const std::string& name, bool crossDirs) {
    std::string pat = ToSlashes(pattern), str = ToSlashes(name);
    if (pat == "*.*" && (crossDirs || str.find('/') == std::string::npos)) return true;
    // "x.*" also matches "x" (a last component without a dot), as in DOS.
    if (pat.size() >= 2 && pat.compare(pat.size() - 2, 2, ".*") == 0) {
        size_t slash = str.rfind('/');
        size_t base = slash == std::string::npos ? 0 : slash + 1;
        if (str.find('.', base) == std::string::npos && WildMatch(pat.substr(0, pat.size() - 2), str, crossDirs))
            return true;
    }
    // Iterative matcher with one backtrack point per '*' (linear in practice, no recursion).
    size_t p = 0, s = 0, star = std::string::npos, mark = 0;
    while (s < str.size()) {
        if (p < pat.size() && pat[p] == '*') {
            star = p++;
            mark = s;
        } else if (p < pat.size() && (pat[p] == '?' ? (crossDirs || str[s] != '/') : lower(pat[p]) == lower(str[s]))) {
            ++p;
            ++s;
        } else if (star != std::string::npos && (crossDirs || str[mark] != '/')) {
            p = star + 1;
            s = ++mark;
        } else {
            return false;
        }
    }
    while (p < pat.size() && pat[p] == '*') ++p;
    return p == pat.size();
}

std::string UnsafeNameReason(const zip::NameVerdict& v) {
    switch (v.fault) {
        case zip::NameFault::None: return "";
        case zip::NameFault::Absolute: return "absolute path";
        case zip::NameFault::Drive: return "drive letter";
        case zip::NameFault::Control: return "control character in name";
        case zip::NameFault::Colon: return "':' in name";
        case zip::NameFault::DotDot: return "\"..\" in path";
        case zip::NameFault::DotsOnly: return "name of dots only";
        case zip::NameFault::Device: return "device name \"" + v.part + "\"";
        case zip::NameFault::Reserved: return "'" + v.part + "' in name";
    }
    return "";
}

bool SafeRelativePath(const std::string& name, std::string& rel, std::string& why) {
    zip::NameVerdict v = zip::CheckMemberName(name);
    rel = v.rel;
    why = UnsafeNameReason(v);
    return v.Ok();
}

std::string CleanAddPath(const std::string& path) {
    std::string n = ToSlashes(path);
    size_t start = 0;
    if (n.size() >= 2 && n[1] == ':')
        start = 2;
    else if (n.compare(0, 2, "//") == 0) {
        // UNC: skip "//server/share".
        size_t a = n.find('/', 2);
        size_t b = a == std::string::npos ? std::string::npos : n.find('/', a + 1);
        start = b == std::string::npos ? n.size() : b;
    }
    std::string out;
    size_t i = start;
    while (i <= n.size()) {
        size_t j = n.find('/', i);
        if (j == std::string::npos) j = n.size();
        std::string part = n.substr(i, j - i);
        if (!part.empty() && part != "." && part != "..") {
            if (!out.empty()) out += '/';
            out += part;
        }
        i = j + 1;
    }
    return out;
}

std::string Dos83Name(const std::string& component, std::set<std::string>& used) {
    bool lossy = false;  // a character dropped or replaced, or a part cut short
    auto clean = [&lossy](const std::string& s, size_t maxlen) {
        std::string out;
        for (unsigned char c : s) {
            if (c == ' ' || c == '.') {
                lossy = true;
                continue;
            }
            char u = (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : char(c);
            if (c >= 0x80 || std::string("+,;=[]\"*/:<>?\\|").find(u) != std::string::npos) {
                u = '_';
                lossy = true;
            }
            out += u;
        }
        if (out.size() > maxlen) {
            out.resize(maxlen);
            lossy = true;
        }
        return out;
    };
    size_t dot = component.rfind('.');
    std::string base = dot == std::string::npos || dot == 0 ? component : component.substr(0, dot);
    std::string ext = dot == std::string::npos || dot == 0 ? "" : component.substr(dot + 1);
    std::string b = clean(base, 8), e = clean(ext, 3);
    if (b.empty()) {
        b = "_";
        lossy = true;
    }
    std::string fits = b + (e.empty() ? "" : "." + e);
    // A name that already is 8.3 (but for upper case) stays as it is when still free.
    if (!lossy && used.insert(fits).second) return fits;
    for (int n = 1; n < 1000000; ++n) {
        std::string tail = "~" + std::to_string(n);
        std::string cand = b.substr(0, std::min(b.size(), 8 - tail.size())) + tail + (e.empty() ? "" : "." + e);
        if (used.insert(cand).second) return cand;
    }
    return fits;
}

uint32_t PackDosTime(int year, int month, int day, int hour, int minute, int second) {
    if (year < 1980) return (1u << 5 | 1u) << 16;  // 1980-01-01 00:00:00
    if (year > 2107) year = 2107;
    uint32_t date = uint32_t((year - 1980) << 9 | month << 5 | day);
    uint32_t time = uint32_t(hour << 11 | minute << 5 | second / 2);
    return date << 16 | time;
}

void UnpackDosTime(uint32_t dos, int& year, int& month, int& day, int& hour, int& minute, int& second) {
    uint32_t date = dos >> 16, time = dos & 0xFFFF;
    year = int(date >> 9) + 1980;
    month = int(date >> 5 & 15);
    day = int(date & 31);
    hour = int(time >> 11);
    minute = int(time >> 5 & 63);
    second = int(time & 31) * 2;
}

namespace {

// Finds the Unicode path field (0x7075, version 1) whose CRC matches the stored name.
bool UnicodePath(const Entry& e, std::string& out) {
    ByteReader r(reinterpret_cast<const uint8_t*>(e.extra.data()), e.extra.size());
    while (r.Has(4)) {
        uint16_t id = r.U16(), len = r.U16();
        const uint8_t* body = r.Bytes(len);
        if (!body) return false;
        if (id != kExtraUnicodePath || len < 5 || body[0] != 1) continue;
        uint32_t crc = Get32(body + 1);
        if (crc != Crc32Update(0, e.rawName.data(), e.rawName.size())) continue;
        out.assign(reinterpret_cast<const char*>(body + 5), len - 5);
        return IsValidUtf8(out) && !out.empty();
    }
    return false;
}

}  // namespace

std::string DecodeName(const Entry& e, NameRule rule) {
    std::string u;
    if (UnicodePath(e, u)) return u;
    if ((e.flags & kFlagUtf8) && IsValidUtf8(e.rawName)) return e.rawName;
    if (IsAscii(e.rawName)) return e.rawName;
    switch (rule) {
        case NameRule::Oem: return CpToUtf8(e.rawName, CodePage::Oem437);
        case NameRule::None: return CpToUtf8(e.rawName, CodePage::Ansi1252);
        case NameRule::Auto:
        default: {
            if (OemByHost(e.Host())) return CpToUtf8(e.rawName, CodePage::Oem437);
            // Unix and the rest: today's tools write UTF-8 without saying so; older ones a Latin set.
            if (IsValidUtf8(e.rawName)) return e.rawName;
            return CpToUtf8(e.rawName, CodePage::Ansi1252);
        }
    }
}

std::string UnicodePathExtra(const std::string& storedName, const std::string& utf8Name) {
    std::vector<uint8_t> out;
    ByteWriter w(out);
    w.U16(kExtraUnicodePath);
    w.U16(uint32_t(5 + utf8Name.size()));
    uint8_t version = 1;
    w.Bytes(&version, 1);
    w.U32(Crc32Update(0, storedName.data(), storedName.size()));
    w.Str(utf8Name);
    return std::string(out.begin(), out.end());
}

EncodedName EncodeName(const std::string& utf8Name) {
    EncodedName n;
    if (IsAscii(utf8Name)) {
        n.bytes = utf8Name;
    } else if (Utf8ToCp(utf8Name, CodePage::Oem437, n.bytes)) {
        n.extra = UnicodePathExtra(n.bytes, utf8Name);
    } else {
        // Not in code page 437: UTF-8 with flag bit 11 (Python, 7-Zip), and the Unicode path field
        // as well, since Info-ZIP unzip converts names of a FAT host from OEM even with bit 11.
        n.bytes = utf8Name;
        n.utf8 = true;
        n.extra = UnicodePathExtra(n.bytes, utf8Name);
    }
    return n;
}

}  // namespace zip
