#include "InstallLog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "Destination.h"
#include "PackageInfo.h"
#include "ZipCrypto.h"

namespace kit {

namespace {

std::string Hex(const std::string& bytes) {
    static const char* d = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

std::string Unhex(const std::string& hex) {
    std::string out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) out += char(std::strtoul(hex.substr(i, 2).c_str(), nullptr, 16));
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

// The first word of s (split at one space) and the rest.
std::string Word(std::string& s) {
    size_t sp = s.find(' ');
    std::string w = s.substr(0, sp);
    s = sp == std::string::npos ? "" : s.substr(sp + 1);
    return w;
}

std::string FileText(const LoggedFile& f) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%08lx %llu ", static_cast<unsigned long>(f.crc), static_cast<unsigned long long>(f.size));
    return buf + f.rel;
}

bool AllOf(const std::string& s, const char* set) { return !s.empty() && s.find_first_not_of(set) == std::string::npos; }

// "crc size path"; false when a part is missing or not a number.
bool ParseFile(std::string v, LoggedFile& f) {
    std::string crc = Word(v), size = Word(v);
    if (crc.size() != 8 || !AllOf(crc, "0123456789abcdefABCDEF") || !AllOf(size, "0123456789") || size.size() > 19 ||
        v.empty())
        return false;
    f.crc = uint32_t(std::strtoul(crc.c_str(), nullptr, 16));
    f.size = std::strtoull(size.c_str(), nullptr, 10);
    f.rel = v;
    return true;
}

std::string Hex8(uint32_t v) {
    char buf[12];
    std::snprintf(buf, sizeof buf, "%08lx", static_cast<unsigned long>(v));
    return buf;
}

// The first line of a record that ends with an end line, and the one first line that records
// written before the end line existed begin with: any other first line is not Setup's.
const char* const kWholeMark = "; Written by Setup. This record is whole only when it ends with its End= line.";
const char* const kEarlierMark = "; Written by Setup: what it installed here, so that the add-on can be removed again.";

// A record that announces its end line: the part before it when the end line is there and
// counts those lines and their bytes; else why not.
std::string CheckEnd(const std::string& text, std::string& body) {
    size_t at = text.rfind("\nEnd=");
    if (at == std::string::npos) return "its end line is missing";
    body = text.substr(0, at + 1);
    std::string end = text.substr(at + 1);
    if (end.size() >= 2 && end.compare(end.size() - 2, 2, "\r\n") == 0) end.resize(end.size() - 2);
    std::string v = end.substr(4), count = Word(v);
    const size_t lines = size_t(std::count(body.begin(), body.end(), '\n'));
    if (count != std::to_string(lines) || v != Hex8(zip::Crc32Update(0, body.data(), body.size())))
        return "its end line does not match what comes before it";
    return "";
}

std::string NormalFolder(std::string f) {
    for (char& c : f)
        if (c == '/') c = '\\';
    while (f.size() > 3 && f.back() == '\\') f.pop_back();
    return Lower(f);
}

}  // namespace

std::string InstallIdentity(const std::string& title, const std::string& folder) {
    // FNV-1a over the whole title and the folder: titles alike in their first 64 characters
    // and one title in two folders get identities of their own.
    uint32_t h = 2166136261u;
    for (unsigned char c : Lower(title) + "\n" + NormalFolder(folder)) h = (h ^ c) * 16777619u;
    char hex[12];
    std::snprintf(hex, sizeof hex, " %08lx", static_cast<unsigned long>(h));
    return FolderNameFromTitle(title) + hex;
}

std::string UninstallKeyName(const std::string& title, const std::string& folder) {
    return "Skykit " + InstallIdentity(title, folder);
}

std::string LogFileName(const std::string& title, const std::string& folder) {
    return "Uninstall " + InstallIdentity(title, folder) + ".log";
}

int CompareVersions(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            size_t i2 = i, j2 = j;
            while (i2 < a.size() && digit(a[i2])) ++i2;
            while (j2 < b.size() && digit(b[j2])) ++j2;
            std::string x = a.substr(i, i2 - i), y = b.substr(j, j2 - j);
            x.erase(0, std::min(x.find_first_not_of('0'), x.size()));
            y.erase(0, std::min(y.find_first_not_of('0'), y.size()));
            if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
            if (x != y) return x < y ? -1 : 1;
            i = i2;
            j = j2;
            continue;
        }
        char x = char(std::tolower(static_cast<unsigned char>(a[i]))), y = char(std::tolower(static_cast<unsigned char>(b[j])));
        if (x != y) return x < y ? -1 : 1;
        ++i;
        ++j;
    }
    return i < a.size() ? 1 : j < b.size() ? -1 : 0;
}

std::string SpareCopyName(const SpareCopy& s) { return s.rel + ".skk~" + std::to_string(s.slot); }

std::string DataFolderBelow(const std::string& appData, const std::string& identity) {
    std::string b = appData;
    while (!b.empty() && b.back() == '\\') b.pop_back();
    return b + "\\Skykit\\Uninstall\\" + identity;
}

std::string InstallLog::Text() const {
    std::string t = std::string(kWholeMark) +
                    "\r\n"
                    "; It lists what Setup installed here, so that the add-on can be removed again. Remove the add-on "
                    "through Windows' list of installed programs; do not edit this file.\r\n";
    t += "Title=" + title + "\r\n";
    if (!version.empty()) t += "Version=" + version + "\r\n";
    t += "Folder=" + folder + "\r\nSimulator=" + simulator + "\r\nKey=" + key +
         "\r\nUninstaller=" + uninstaller + "\r\nBackups=" + backups + "\r\n";
    for (const std::string& d : dirs) t += "Dir=" + d + "\r\n";
    for (const LoggedFile& f : files) t += "File=" + FileText(f) + "\r\n";
    for (const LoggedFile& f : replaced) {
        t += std::string("Replaced=") + (f.backup ? "1 " : "0 ") + FileText(f) + "\r\n";
        if (f.backup && f.copyKnown) {
            LoggedFile c = f;
            c.crc = f.copyCrc;
            c.size = f.copySize;
            t += "Copy=" + FileText(c) + "\r\n";
        }
        if (!f.owner.empty()) t += "Owner=" + f.owner + "|" + f.rel + "\r\n";
    }
    for (const SpareCopy& c : spares)
        t += "Spare=" + std::to_string(c.slot) + " " + FileText({c.rel, c.crc, c.size}) + "\r\n";
    for (const AddedArea& a : areas)
        t += "Area=" + std::to_string(a.number) + " " + Hex(a.separator) + " " + a.local +
             (a.library.empty() ? "" : "|" + a.library) + "\r\n";
    // Last, so that a record cut short lacks it.
    t += "End=" + std::to_string(std::count(t.begin(), t.end(), '\n')) + " " +
         Hex8(zip::Crc32Update(0, t.data(), t.size())) + "\r\n";
    return t;
}

InstallLog InstallLog::Parse(const std::string& whole) {
    InstallLog log;
    auto damaged = [&log](const std::string& why) {
        if (log.damage.empty()) log.damage = why;
    };
    std::string text = whole;
    const size_t firstEnd = whole.find_first_of("\r\n");
    if (whole.substr(0, firstEnd) == kWholeMark) {
        if (std::string why = CheckEnd(whole, text); !why.empty()) {
            log.incomplete = true;
            damaged("it is incomplete: " + why);
        }
    } else if (whole.substr(0, firstEnd) != kEarlierMark) {
        damaged("it does not begin as Setup writes a record");
    }
    if (text.find('\0') != std::string::npos) damaged("it holds bytes that are not text");
    size_t i = 0, lineNo = 0;
    while (i < text.size()) {
        size_t nl = text.find('\n', i);
        std::string line = text.substr(i, nl == std::string::npos ? std::string::npos : nl - i);
        i = nl == std::string::npos ? text.size() : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';') continue;
        size_t eq = line.find('=');
        const std::string where = "line " + std::to_string(lineNo) + " is not understood";
        if (eq == std::string::npos) {
            damaged(where);
            continue;
        }
        std::string key = line.substr(0, eq), v = line.substr(eq + 1);
        LoggedFile f;
        if (key == "Title") log.title = v;
        else if (key == "Version") log.version = v;
        else if (key == "Folder") log.folder = v;
        else if (key == "Simulator") log.simulator = v;
        else if (key == "Key") log.key = v;
        else if (key == "Uninstaller") log.uninstaller = v;
        else if (key == "Backups") log.backups = v;
        else if (key == "Dir") log.dirs.push_back(v);
        else if (key == "File") {
            if (ParseFile(v, f)) log.files.push_back(f);
            else damaged(where);
        } else if (key == "Replaced") {
            std::string flag = Word(v);
            if ((flag == "0" || flag == "1") && ParseFile(v, f)) {
                f.backup = flag == "1";
                log.replaced.push_back(f);
            } else {
                damaged(where);
            }
        } else if (key == "Copy") {
            bool found = false;
            if (ParseFile(v, f))
                for (LoggedFile& r : log.replaced)
                    if (r.backup && Lower(r.rel) == Lower(f.rel)) {
                        r.copyCrc = f.crc;
                        r.copySize = f.size;
                        r.copyKnown = found = true;
                    }
            if (!found) damaged(where);
        } else if (key == "Owner") {
            // "key|path": the replaced file of that path was the other installation's.
            size_t bar = v.find('|');
            bool found = false;
            if (bar != std::string::npos && v.compare(0, 7, "Skykit ") == 0)
                for (LoggedFile& r : log.replaced)
                    if (Lower(r.rel) == Lower(v.substr(bar + 1))) {
                        r.owner = v.substr(0, bar);
                        found = true;
                    }
            if (!found) damaged(where);
        } else if (key == "Spare") {
            SpareCopy c;
            std::string slot = Word(v);
            if (AllOf(slot, "0123456789") && slot.size() <= 6 && ParseFile(v, f)) {
                c.slot = std::atoi(slot.c_str());
                c.rel = f.rel;
                c.crc = f.crc;
                c.size = f.size;
                log.spares.push_back(c);
            } else {
                damaged(where);
            }
        } else if (key == "Area") {
            AddedArea a;
            std::string number = Word(v), sep = Word(v);
            if (!AllOf(number, "0123456789") || number.size() > 6 || sep.size() % 2 ||
                (!sep.empty() && !AllOf(sep, "0123456789abcdefABCDEF"))) {
                damaged(where);
                continue;
            }
            a.number = std::atoi(number.c_str());
            a.separator = Unhex(sep);
            // No path holds '|': what follows it is the library the area went into.
            size_t bar = v.find('|');
            a.local = v.substr(0, bar);
            if (bar != std::string::npos) a.library = v.substr(bar + 1);
            if (a.number > 0) log.areas.push_back(a);
        } else {
            damaged(where);
        }
    }
    if (log.title.empty() || log.folder.empty() || log.key.empty()) damaged("its title, folder or key is missing");
    return log;
}

void InstallLog::MergeEarlier(const InstallLog& earlier) {
    std::set<std::string> made, now;
    for (const LoggedFile& f : earlier.files) made.insert(Lower(f.rel));
    for (const LoggedFile& f : files) now.insert(Lower(f.rel));
    // A file the earlier run made and this one replaced is still a file the installation made;
    // unless the person had changed it and this run kept a copy of theirs: that copy comes back
    // when the add-on is removed, so the file stays one that was replaced.
    std::vector<LoggedFile> stillReplaced;
    for (LoggedFile& f : replaced) {
        if (made.count(Lower(f.rel)) && !f.backup) {
            files.push_back(f);
            now.insert(Lower(f.rel));
        } else {
            stillReplaced.push_back(f);
            now.insert(Lower(f.rel));
        }
    }
    replaced = stillReplaced;
    for (const LoggedFile& f : earlier.files)
        if (!now.count(Lower(f.rel))) files.push_back(f);
    // The earlier run's copy of a replaced file is the one of the person's own file, and the
    // earlier run knew whose file it replaced.
    for (const LoggedFile& e : earlier.replaced) {
        bool found = false;
        for (LoggedFile& f : replaced)
            if (Lower(f.rel) == Lower(e.rel)) {
                found = true;
                if (f.backup && !e.backup) continue;  // only this run kept a copy: it is the one
                f.backup = e.backup;
                f.copyCrc = e.copyCrc;
                f.copySize = e.copySize;
                f.copyKnown = e.copyKnown;
                f.owner = e.owner;
            }
        if (!found) replaced.push_back(e);
    }
    spares.insert(spares.begin(), earlier.spares.begin(), earlier.spares.end());
    std::set<std::string> dirSet;
    for (const std::string& d : dirs) dirSet.insert(Lower(d));
    for (const std::string& d : earlier.dirs)
        if (dirSet.insert(Lower(d)).second) dirs.push_back(d);
    for (const AddedArea& a : earlier.areas) {
        bool found = false;
        for (const AddedArea& b : areas)
            found = found || (b.number == a.number && Lower(b.library) == Lower(a.library));
        if (!found) areas.push_back(a);
    }
}

}  // namespace kit
