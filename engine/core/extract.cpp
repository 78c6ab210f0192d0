// Extract and Test: reads the directory, picks the members named by the patterns and
// inflates each one (decrypting on the way) into a temporary file that replaces the target only
// when its CRC is right. Names that would leave the target directory are refused.
#include <algorithm>
#include <memory>

#include "Errors.h"
#include "Member.h"
#include "Names.h"
#include "engine.h"

namespace zc {

bool MemberSelected(const std::vector<std::string>& patterns, const std::string& name) {
    if (patterns.empty()) return true;
    std::string n = ToSlashes(name);
    for (const std::string& s : patterns) {
        std::string p = ToSlashes(s);
        if (p.empty()) continue;
        if (WildMatch(p, n)) return true;
        // A folder name selects what is in it.
        std::string folder = p.back() == '/' ? p : p + "/";
        if (WildMatch(folder + "*", n)) return true;
    }
    return false;
}

namespace {

// The engine's words for a member's faults.
std::string Words(const MemberFault& f, const std::string& name) {
    const std::string q = "\"" + name + "\"";
    switch (f.kind) {
        case MemberFault::Aes: return q + " is encrypted with AES, which this engine does not support";
        case MemberFault::Method:
            return q + " uses compression method " + std::to_string(f.count) +
                   ", which this engine does not support (only stored and deflated)";
        case MemberFault::StrongEncryption: return q + " uses strong encryption, which this engine does not support";
        case MemberFault::NoPassword: return q + " is encrypted and no password was given";
        case MemberFault::WrongPassword: return "Wrong password for " + q;
        case MemberFault::HeaderMissing: return q + " is damaged: its encryption header is missing";
        case MemberFault::StoredSize:
            return q + " is damaged: stored with " + std::to_string(f.count) + " bytes of data for a size of " +
                   std::to_string(f.size);
        case MemberFault::ArchiveEnds: return "Unexpected end of the archive in " + q;
        case MemberFault::Inflate: return q + " is damaged: " + f.detail;
        case MemberFault::EndsEarly: return q + " is damaged: its compressed data ends too early";
        case MemberFault::TooLong:
            return q + " is damaged: it holds more than its size of " + std::to_string(f.size) + " bytes";
        case MemberFault::WrongSize:
            return q + " is damaged: " + std::to_string(f.count) + " bytes instead of " + std::to_string(f.size);
        case MemberFault::Crc: return "CRC error in " + q + ": the data is damaged";
        case MemberFault::Rename: return "Could not write " + f.path + ": " + f.detail;
    }
    return q + " could not be read";
}

class Extractor {
public:
    Extractor(FileSystem& fs, const ExtractOptions& o, Progress& p) : fs_(fs), o_(o), p_(p) {}
    int run();

private:
    MemberDecoder decoder();
    bool ExtractOne(const Entry& e);
    void check(bool cancel) {
        if (cancel) throw Cancelled();
    }

    FileSystem& fs_;
    const ExtractOptions& o_;
    Progress& p_;
    std::unique_ptr<File> f_;
    Directory dir_;
    uint64_t reported_ = 0;  // BytesDone sent for the current member
};

MemberDecoder Extractor::decoder() {
    return MemberDecoder(
        *f_, dir_.fileSize, Words,
        [this](std::string& password, bool retry) {
            if (retry) return PasswordReply::NoMoreTries;
            password = o_.password;
            return password.empty() ? PasswordReply::NoneGiven : PasswordReply::Given;
        },
        [this](uint64_t n) {
            reported_ += n;
            return p_.BytesDone(n);
        });
}

// Returns true when the member counts as processed.
bool Extractor::ExtractOne(const Entry& e) {
    reported_ = 0;
    if (o_.testOnly) {
        if (e.IsDir()) return true;
        decoder().Decode(e, [](const uint8_t*, size_t) {});
        if (o_.verbose) check(p_.message(0, "  testing: " + e.name + "  OK"));
        return true;
    }
    zip::NameVerdict name = zip::CheckMemberName(e.name);
    if (!name.Ok()) {
        // Escapes are said as such; names Windows cannot hold as files (devices, streams, control
        // characters) are said for what they are.
        std::string why = UnsafeNameReason(name);
        std::string reason = name.Escapes() ? why + " would leave the target folder"
                             : name.fault == zip::NameFault::Device
                                 ? "\"" + name.part + "\" is the name of a device on Windows, not of a file"
                                 : why + " cannot be used in a file name on Windows";
        check(p_.message(kUnsafeName, "Refused to extract \"" + e.name + "\": " + reason));
        return false;
    }
    std::string rel = name.rel;
    if (rel.empty()) return false;
    if (!o_.dirNames) {
        if (e.IsDir()) return false;
        rel = rel.substr(rel.rfind('/') == std::string::npos ? 0 : rel.rfind('/') + 1);
    }
    std::string base = fs_.CurrentDir();
    // Folders on the way are made as needed.
    auto MakeParents = [&](const std::string& r, bool includeLast) {
        size_t i = 0;
        for (;;) {
            size_t j = r.find('/', i);
            if (j == std::string::npos && !includeLast) break;
            std::string part = base + "/" + (j == std::string::npos ? r : r.substr(0, j));
            FileInfo st = fs_.stat(part);
            if (!st.exists && !fs_.MakeDir(part))
                throw ZipError(kCreate, "Could not create the folder " + part + ": " + fs_.LastError());
            if (st.exists && !st.isDir)
                throw ZipError(kCreate, "Could not create the folder " + part + ": a file has that name");
            if (j == std::string::npos) break;
            i = j + 1;
        }
    };
    if (e.IsDir()) {
        MakeParents(rel, true);
        return true;
    }
    std::string target = base + "/" + rel;
    FileInfo st = fs_.stat(target);
    if (st.isDir) throw ZipError(kCreate, "Could not extract \"" + e.name + "\": a folder has that name");
    if (st.exists) {
        if (o_.update || o_.freshen) {
            if (e.dostime <= fs_.ToDosTime(st.mtime)) return false;  // the file is as new
        } else if (!o_.overwrite) {
            if (o_.verbose) check(p_.message(0, "Skipped \"" + e.name + "\": the file exists"));
            return false;
        }
    } else if (o_.freshen) {
        return false;
    }
    MakeParents(rel, false);
    decoder().Write(fs_, e, target, ".unz~tmp", st, true);
    if (o_.verbose) check(p_.message(0, "  inflating: " + rel));
    return true;
}

int Extractor::run() {
    if (o_.archive.empty()) throw ZipError(kParams, "No archive name given");
    std::string path = fs_.FullPath(ToSlashes(o_.archive));
    FileInfo info = fs_.stat(path);
    if (!info.exists || info.isDir) throw ZipError(kNoArchive, "The archive " + o_.archive + " does not exist");
    f_ = fs_.OpenRead(path);
    dir_ = ReadDirectory(*f_, o_.names);
    CheckMemberRanges(*f_, dir_);
    if (!CountMismatchNote(dir_).empty())
        check(p_.message(kFormat, "Warning: the zip file is damaged: " + CountMismatchNote(dir_) + "; the " +
                                      std::to_string(dir_.entries.size()) + " members found are read"));

    std::vector<const Entry*> chosen;
    uint64_t bytes = 0;
    for (const Entry& e : dir_.entries)
        if (MemberSelected(o_.patterns, e.name)) {
            chosen.push_back(&e);
            bytes += e.usize;
        }
    check(p_.FileCount(chosen.size()));
    check(p_.ByteCount(bytes));
    int done = 0, failed = 0;
    for (const Entry* e : chosen) {
        check(p_.FileStart(e->name, e->usize));
        try {
            if (ExtractOne(*e)) ++done;
        } catch (const ZipError& err) {
            ++failed;
            check(p_.message(err.code(), err.what()));
        }
        // The bytes of a member skipped or refused still count, so the totals add up.
        if (reported_ < e->usize) check(p_.BytesDone(e->usize - reported_));
    }
    if (chosen.empty())
        p_.message(kNothing, o_.patterns.empty() ? "The archive is empty" : "No member matches " + o_.patterns.front());
    else if (failed)
        p_.message(kWarning, std::to_string(failed) + " of " + std::to_string(chosen.size()) + " members had errors");
    p_.BatchDone();
    return done;
}

}  // namespace

int UnzipExtract(FileSystem& fs, const ExtractOptions& o, Progress& progress) {
    Extractor x(fs, o, progress);
    return RunOperation(progress, o.testOnly ? "Test cancelled" : "Extraction cancelled", "Out of memory",
                        [&] { return x.run(); });
}

}  // namespace zc
