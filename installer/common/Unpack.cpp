#include "Unpack.h"

#include <algorithm>
#include <memory>

#include "SafePath.h"
#include "Errors.h"
#include "Member.h"

namespace kit {

namespace {

std::string Backslashes(std::string s) {
    std::replace(s.begin(), s.end(), '/', '\\');
    return s;
}

std::string Slashes(std::string s) {
    std::replace(s.begin(), s.end(), '\\', '/');
    return s;
}

// The installer's words for a member's faults, said after its name ("name: it ...").
std::string Words(const zip::MemberFault& f, const std::string&) {
    using F = zip::MemberFault;
    switch (f.kind) {
        case F::Aes:
        case F::Method:
            return "it uses compression method " + std::to_string(f.count) + ", which this program cannot unpack";
        case F::StrongEncryption: return "it uses strong encryption, which this program cannot undo";
        case F::NoPassword: return "it is protected by a password, and none was given";
        case F::WrongPassword: return "the password is wrong";
        case F::HeaderMissing: return "its encryption header is missing";
        case F::StoredSize:
            return "it is stored with " + std::to_string(f.count) + " bytes for a size of " + std::to_string(f.size);
        case F::ArchiveEnds: return "the archive ends inside it";
        case F::Inflate: return "its compressed data is damaged (" + f.detail + ")";
        case F::EndsEarly: return "its compressed data ends too early";
        case F::TooLong: return "it holds more than its size of " + std::to_string(f.size) + " bytes";
        case F::WrongSize: return "it holds " + std::to_string(f.count) + " bytes instead of " + std::to_string(f.size);
        case F::Crc: return "its CRC check failed: the data is damaged";
        case F::Rename: return "it could not take its name: " + f.detail;
    }
    return "it could not be read";
}

// A write failed with no room left: nothing after it can succeed either.
bool IsFullDisk(const zip::ZipError& e) { return e.code() == zip::kWrite; }

// The archive is at fault, not the disk: a damaged member (CRC, data, structure).
bool IsDamage(const zip::ZipError& e) {
    return e.code() == zip::kBadCrc || e.code() == zip::kFormat || e.code() == zip::kEof || e.code() == zip::kUnsupported;
}

class Unpacker {
public:
    Unpacker(zip::FileSystem& fs, zip::File& f, const zc::Directory& d, const UnpackPlan& plan, Overwrite rule,
             UnpackEvents& ev)
        : fs_(fs), f_(f), d_(d), plan_(plan), rule_(rule), ev_(ev) {}

    UnpackResult Run();

private:
    void Tick(const std::string& name) {
        if (ev_.Progress(name, done_, total_)) throw zip::Cancelled();
    }
    void MakeFolders(const std::string& rel, bool includeLast);
    bool WantWrite(const UnpackItem& it, const std::string& target);
    zip::PasswordReply Password(std::string& password, bool retry);

    zip::FileSystem& fs_;
    zip::File& f_;
    const zc::Directory& d_;
    const UnpackPlan& plan_;
    Overwrite rule_;
    UnpackEvents& ev_;
    UnpackResult r_;
    uint64_t done_ = 0, total_ = 0;
    std::string password_;
    bool asked_ = false;
    bool gaveUp_ = false;   // the person declined to give a password: do not ask again
    int asks_ = 0;          // times asked for the current member
};

void Unpacker::MakeFolders(const std::string& rel, bool includeLast) {
    std::string path = plan_.targetDir;
    size_t i = 0;
    for (;;) {
        size_t j = rel.find('\\', i);
        if (j == std::string::npos && !includeLast) return;
        std::string part = rel.substr(i, j == std::string::npos ? std::string::npos : j - i);
        path += "/" + part;
        zip::FileInfo st = fs_.stat(path);
        if (!st.exists) {
            if (!fs_.MakeDir(path))
                throw zip::ZipError(zip::kCreate, "the folder " + Backslashes(path) + " could not be made: " + fs_.LastError());
        } else if (!st.isDir) {
            throw zip::ZipError(zip::kCreate, "a file named " + Backslashes(path) + " is in the way of a folder");
        }
        if (j == std::string::npos) return;
        i = j + 1;
    }
}

bool Unpacker::WantWrite(const UnpackItem& it, const std::string& target) {
    if (!fs_.stat(target).exists) return true;
    switch (rule_) {
        case Overwrite::Always: return true;
        case Overwrite::Never: return false;
        case Overwrite::Confirm: break;
    }
    switch (ev_.AskOverwrite(target, d_.entries[it.entry])) {
        case Answer::Yes: return true;
        case Answer::YesToAll: rule_ = Overwrite::Always; return true;
        case Answer::No: return false;
        case Answer::NoToAll: rule_ = Overwrite::Never; return false;
        case Answer::Cancel: default: throw zip::Cancelled();
    }
}

zip::PasswordReply Unpacker::Password(std::string& password, bool retry) {
    // The password that opened the members before is tried first, and the person is asked
    // only when it does not fit: up to three times per member, and never again after saying no.
    if (!retry) asks_ = 0;
    if (!retry && asked_) {
        password = password_;
        return zip::PasswordReply::Given;
    }
    if (gaveUp_) return zip::PasswordReply::NoneGiven;
    if (asks_ == 3) return zip::PasswordReply::NoMoreTries;
    ++asks_;
    if (!ev_.AskPassword(password, asked_ || retry)) {
        gaveUp_ = true;
        return zip::PasswordReply::NoneGiven;
    }
    asked_ = true;
    password_ = password;
    return zip::PasswordReply::Given;
}

UnpackResult Unpacker::Run() {
    total_ = plan_.Bytes(d_);
    try {
        for (const UnpackItem& it : plan_.items) {
            const zc::Entry& e = d_.entries[it.entry];
            if (!it.selected) {
                ++r_.skipped;
                continue;
            }
            if (!it.refusal.empty()) {
                r_.problems.push_back(e.name + ": not extracted, " + it.refusal);
                ++r_.refused;
                continue;
            }
            if (it.rel.empty()) continue;
            Tick(e.name);
            const uint64_t before = done_;
            try {
                if (it.isDir) {
                    MakeFolders(it.rel, true);
                    ++r_.folders;
                    continue;
                }
                const std::string target = plan_.targetDir + "/" + Slashes(it.rel);
                zip::FileInfo st = fs_.stat(target);
                if (st.isDir) throw zip::ZipError(zip::kCreate, "a folder of that name is in the way");
                if (!WantWrite(it, target)) {
                    ++r_.skipped;
                    done_ = before + e.usize;
                    continue;
                }
                MakeFolders(it.rel, false);
                zip::MemberDecoder decoder(f_, d_.fileSize, Words,
                                          [this](std::string& pw, bool retry) { return Password(pw, retry); },
                                          [&](uint64_t n) {
                                              done_ += n;
                                              return ev_.Progress(e.name, done_, total_);
                                          });
                decoder.Write(fs_, e, target, kPartialSuffix, st, false);
                ++r_.files;
            } catch (const zip::ZipError& err) {
                done_ = before + (it.isDir ? 0 : e.usize);
                if (IsFullDisk(err)) {
                    r_.diskFull = true;
                    r_.problems.push_back(e.name + ": " + err.what());
                    return r_;
                }
                if (IsDamage(err)) ++r_.damaged;
                r_.problems.push_back(e.name + ": " + err.what());
            }
        }
        done_ = total_;
        ev_.Progress("", done_, total_);
    } catch (const zip::Cancelled&) {
        r_.cancelled = true;
    }
    return r_;
}

}  // namespace

uint64_t UnpackPlan::Bytes(const zc::Directory& d) const {
    uint64_t n = 0;
    for (const UnpackItem& it : items)
        if (it.selected && it.refusal.empty() && !it.isDir && !it.rel.empty()) n += d.entries[it.entry].usize;
    return n;
}

int UnpackPlan::Files() const {
    return int(std::count_if(items.begin(), items.end(),
                             [](const UnpackItem& it) { return it.selected && it.refusal.empty() && !it.isDir && !it.rel.empty(); }));
}

int UnpackPlan::Existing() const {
    return int(std::count_if(items.begin(), items.end(), [](const UnpackItem& it) {
        return it.selected && it.refusal.empty() && !it.isDir && it.exists;
    }));
}

UnpackPlan PlanUnpack(zip::FileSystem& fs, const zc::Directory& d, const std::string& targetDir) {
    UnpackPlan plan;
    plan.targetDir = fs.FullPath(targetDir);
    while (plan.targetDir.size() > 3 && plan.targetDir.back() == '/') plan.targetDir.pop_back();
    if (!plan.targetDir.empty() && plan.targetDir.back() == '/') plan.targetDir.pop_back();
    const std::string base = Backslashes(plan.targetDir);
    for (size_t i = 0; i < d.entries.size(); ++i) {
        const zc::Entry& e = d.entries[i];
        UnpackItem it;
        it.entry = i;
        it.isDir = e.IsDir();
        std::string why;
        if (!SafeMemberPath(e.name, it.rel, why)) {
            it.refusal = why + ", which would leave the target folder";
            it.rel.clear();
        } else if (!it.rel.empty() && !IsInside(base, Backslashes(fs.FullPath(plan.targetDir + "/" + Slashes(it.rel))))) {
            // What the platform makes of the name must still be inside the folder.
            it.refusal = "its name resolves to a place outside the target folder";
            it.rel.clear();
        } else if (!it.rel.empty() && !it.isDir) {
            it.exists = fs.stat(plan.targetDir + "/" + Slashes(it.rel)).exists;
        }
        plan.items.push_back(it);
    }
    return plan;
}

UnpackResult RunUnpack(zip::FileSystem& fs, zip::File& archive, const zc::Directory& d, const UnpackPlan& plan,
                       Overwrite rule, UnpackEvents& events) {
    Unpacker u(fs, archive, d, plan, rule, events);
    return u.Run();
}

}  // namespace kit
