// What the fuzz targets hold the code to, written apart from the code under test: names and
// paths as Windows reads them, and a way to stop a target that says which rule was broken.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace oracle {

// Stops the target on an input that breaks a rule; libFuzzer keeps the input.
inline void Require(bool holds, const char* rule) {
    if (holds) return;
    std::fprintf(stderr, "oracle: %s\n", rule);
    std::abort();
}

inline std::string Lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// s without the characters of `blanks` at either end.
inline std::string Trim(const std::string& s, const char* blanks) {
    const size_t b = s.find_first_not_of(blanks);
    return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(blanks) - b + 1);
}

// A name as Windows opens it: trailing dots and spaces dropped, case folded.
inline std::string AsWindowsOpens(std::string c) {
    while (!c.empty() && (c.back() == '.' || c.back() == ' ')) c.pop_back();
    return Lower(c);
}

inline bool NamesADevice(const std::string& name) {
    std::string stem = AsWindowsOpens(name.substr(0, name.find('.')));
    for (const char* d : {"con", "prn", "aux", "nul", "clock$", "conin$", "conout$"})
        if (stem == d) return true;
    return stem.size() == 4 && (stem.rfind("com", 0) == 0 || stem.rfind("lpt", 0) == 0) && stem[3] > '0' &&
           stem[3] <= '9';
}

// One name that Windows opens as an entry of the folder holding it: not dots and spaces
// alone, no separator, drive or stream colon, wildcard or character below 32, no device.
inline bool PlainName(const std::string& c) {
    const std::string w = AsWindowsOpens(c);
    if (w.empty() || w == "." || w == ".." || NamesADevice(c)) return false;
    for (unsigned char ch : c)
        if (ch < 32 || std::string("\\/:*?\"<>|").find(char(ch)) != std::string::npos) return false;
    return true;
}

inline std::vector<std::string> Split(const std::string& s, char at) {
    std::vector<std::string> parts;
    for (size_t i = 0;; ) {
        size_t j = s.find(at, i);
        parts.push_back(s.substr(i, j == std::string::npos ? j : j - i));
        if (j == std::string::npos) return parts;
        i = j + 1;
    }
}

// A full path as Windows resolves it: the root ("c:" or "\\server\share") and then the
// names, "." and ".." resolved (never above the root), case folded, a name's one trailing dot
// dropped, and the last name's trailing dots and spaces. Empty when it is not a full path.
inline std::vector<std::string> Resolve(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    std::vector<std::string> out;
    std::vector<std::string> names = Split(path, '\\');
    size_t from = 1;
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\')
        out.push_back(Lower(path.substr(0, 2)));
    else if (names.size() >= 4 && names[0].empty() && names[1].empty() && PlainName(names[2]) && PlainName(names[3]))
        out.push_back("\\\\" + Lower(names[2]) + "\\" + Lower(names[3])), from = 4;
    else
        return {};
    for (size_t i = from; i < names.size(); ++i) {
        std::string n = i + 1 == names.size() ? AsWindowsOpens(names[i]) : Lower(names[i]);
        if (n.size() > 1 && n.back() == '.' && n[n.size() - 2] != '.') n.pop_back();
        if (n == "..") {
            if (out.size() > 1) out.pop_back();
        } else if (!n.empty() && n != ".") {
            out.push_back(n);
        }
    }
    return out;
}

// inner is outer or lies below it (both resolved).
inline bool Within(const std::vector<std::string>& inner, const std::vector<std::string>& outer) {
    return !outer.empty() && inner.size() >= outer.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

// path lies below folder, through names that are each a plain entry of the one before.
inline bool FileBelow(const std::string& path, const std::string& folder) {
    std::string p = path;
    std::replace(p.begin(), p.end(), '/', '\\');
    const std::vector<std::string> f = Resolve(folder), r = Resolve(p);
    if (!Within(r, f) || r.size() == f.size()) return false;
    const std::vector<std::string> names = Split(p, '\\');
    for (size_t i = names.size() - (r.size() - f.size()); i < names.size(); ++i)
        if (!PlainName(names[i])) return false;
    return true;
}

}  // namespace oracle
