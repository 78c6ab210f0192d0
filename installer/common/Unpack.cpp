#include "Unpack.h"

#include <algorithm>
#include <memory>

#include "SafePath.h"
#include "codec.h"
#include "errors.h"
#include "zipcrypt.h"

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

constexpr size_t kInChunk = 256u << 10;
constexpr size_t kOutChunk = 1u << 20;

// A write failed with no room left: nothing after it can succeed either.
bool IsFullDisk(const zc::ZipError& e) { return e.code() == zc::kWrite; }

class Unpacker {
public:
    Unpacker(zc::FileSystem& fs, zc::File& f, const zc::Directory& d, const UnpackPlan& plan, Overwrite rule,
             UnpackEvents& ev)
        : fs_(fs), f_(f), d_(d), plan_(plan), rule_(rule), ev_(ev) {}

    UnpackResult Run();

private:
    struct Stop {};
    void Tick(const std::string& name) {
        if (ev_.Progress(name, done_, total_)) throw Stop{};
    }
    void MakeFolders(const std::string& rel, bool includeLast);
    bool WantWrite(const UnpackItem& it, const std::string& target);
    template <class Sink>
    void Decode(const zc::Entry& e, Sink&& sink);
    std::unique_ptr<zc::ZipCrypto> Keys(const zc::Entry& e, const uint8_t* head);

    zc::FileSystem& fs_;
    zc::File& f_;
    const zc::Directory& d_;
    const UnpackPlan& plan_;
    Overwrite rule_;
    UnpackEvents& ev_;
    UnpackResult r_;
    uint64_t done_ = 0, total_ = 0;
    std::string password_;
    bool asked_ = false;
    bool gaveUp_ = false;   // the person declined to give a password: do not ask again
};

void Unpacker::MakeFolders(const std::string& rel, bool includeLast) {
    std::string path = plan_.targetDir;
    size_t i = 0;
    for (;;) {
        size_t j = rel.find('\\', i);
        if (j == std::string::npos && !includeLast) return;
        std::string part = rel.substr(i, j == std::string::npos ? std::string::npos : j - i);
        path += "/" + part;
        zc::FileInfo st = fs_.stat(path);
        if (!st.exists) {
            if (!fs_.make_dir(path))
                throw zc::ZipError(zc::kCreate, "the folder " + Backslashes(path) + " could not be made: " + fs_.last_error());
        } else if (!st.is_dir) {
            throw zc::ZipError(zc::kCreate, "a file named " + Backslashes(path) + " is in the way of a folder");
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
        case Answer::Cancel: default: throw Stop{};
    }
}

std::unique_ptr<zc::ZipCrypto> Unpacker::Keys(const zc::Entry& e, const uint8_t* head) {
    // The last header byte checks the password: the CRC's high byte, or the time's when a
    // data descriptor follows the data.
    auto fits = [&](const std::string& pw) {
        auto k = std::make_unique<zc::ZipCrypto>(pw);
        uint8_t h[zc::ZipCrypto::kHeaderSize];
        std::copy(head, head + sizeof h, h);
        k->decrypt(h, sizeof h);
        bool ok = h[11] == uint8_t(e.crc >> 24) || ((e.flags & zc::kFlagDescriptor) && h[11] == uint8_t(e.dostime >> 8));
        return ok ? std::move(k) : nullptr;
    };
    if (asked_)
        if (auto k = fits(password_)) return k;
    if (gaveUp_) throw zc::ZipError(zc::kPassword, "it is protected by a password, and none was given");
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string pw;
        if (!ev_.AskPassword(pw, asked_ || attempt > 0)) {
            gaveUp_ = true;
            throw zc::ZipError(zc::kPassword, "it is protected by a password, and none was given");
        }
        asked_ = true;
        password_ = pw;
        if (auto k = fits(pw)) return k;
    }
    throw zc::ZipError(zc::kPassword, "the password is wrong");
}

template <class Sink>
void Unpacker::Decode(const zc::Entry& e, Sink&& sink) {
    if (e.method != zc::kMethodStored && e.method != zc::kMethodDeflated)
        throw zc::ZipError(zc::kUnsupported, "it uses compression method " + std::to_string(e.method) +
                                                 ", which this program cannot unpack");
    if (e.flags & 0x40) throw zc::ZipError(zc::kUnsupported, "it uses strong encryption, which this program cannot undo");
    uint64_t pos = zc::data_offset(f_, e, d_.file_size);
    uint64_t left = e.csize;
    std::unique_ptr<zc::ZipCrypto> keys;
    if (e.encrypted()) {
        if (left < zc::ZipCrypto::kHeaderSize) throw zc::ZipError(zc::kFormat, "its encryption header is missing");
        uint8_t h[zc::ZipCrypto::kHeaderSize];
        f_.read_at(pos, h, sizeof h, "an encryption header");
        // The keys come back having read the 12 header bytes, ready for the data.
        keys = Keys(e, h);
        pos += sizeof h;
        left -= sizeof h;
    }
    if (e.method == zc::kMethodStored && left != e.usize)
        throw zc::ZipError(zc::kFormat, "it is stored with " + std::to_string(left) + " bytes for a size of " +
                                            std::to_string(e.usize));
    std::unique_ptr<zc::StreamInflater> z;
    if (e.method == zc::kMethodDeflated) z = std::make_unique<zc::StreamInflater>();
    std::vector<uint8_t> in(size_t(std::min<uint64_t>(std::max<uint64_t>(left, 1), kInChunk))), out;
    size_t inOff = 0, inAvail = 0;
    uint64_t produced = 0;
    uint32_t crc = 0;
    f_.seek(pos);
    for (;;) {
        if (inAvail == 0 && left > 0) {
            size_t n = size_t(std::min<uint64_t>(left, in.size()));
            if (f_.read(in.data(), n) != n) throw zc::ZipError(zc::kEof, "the archive ends inside it");
            if (keys) keys->decrypt(in.data(), n);
            left -= n;
            inOff = 0;
            inAvail = n;
        }
        out.clear();
        if (z) {
            if (z->finished()) break;
            size_t used = 0;
            // One byte more than announced is enough to notice data that runs long.
            size_t room = size_t(std::min<uint64_t>(kOutChunk, e.usize - produced + 1));
            if (!z->feed(in.data() + inOff, inAvail, used, out, room))
                throw zc::ZipError(zc::kFormat, std::string("its compressed data is damaged (") + z->error() + ")");
            inOff += used;
            inAvail -= used;
            if (used == 0 && out.empty() && !z->finished() && (inAvail > 0 || left == 0))
                throw zc::ZipError(zc::kEof, "its compressed data ends too early");
        } else {
            if (inAvail == 0) break;
            out.assign(in.begin() + inOff, in.begin() + inOff + inAvail);
            inOff += inAvail;
            inAvail = 0;
        }
        produced += out.size();
        if (produced > e.usize) throw zc::ZipError(zc::kFormat, "it holds more than its size of " + std::to_string(e.usize) + " bytes");
        crc = zc::crc32_update(crc, out.data(), out.size());
        if (!out.empty()) {
            sink(out.data(), out.size());
            done_ += out.size();
            Tick(e.name);
        }
    }
    if (produced != e.usize)
        throw zc::ZipError(zc::kFormat, "it holds " + std::to_string(produced) + " bytes instead of " + std::to_string(e.usize));
    if (crc != e.crc) throw zc::ZipError(zc::kBadCrc, "its CRC check failed: the data is damaged");
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
                zc::FileInfo st = fs_.stat(target);
                if (st.is_dir) throw zc::ZipError(zc::kCreate, "a folder of that name is in the way");
                if (!WantWrite(it, target)) {
                    ++r_.skipped;
                    done_ = before + e.usize;
                    continue;
                }
                MakeFolders(it.rel, false);
                const std::string part = target + kPartialSuffix;
                std::unique_ptr<zc::File> out = fs_.create(part);
                try {
                    Decode(e, [&](const uint8_t* p, size_t n) { out->write(p, n); });
                    out->close();
                } catch (...) {
                    out.reset();
                    fs_.remove_file(part);
                    throw;
                }
                out.reset();
                if (st.exists && (st.attrs & zc::kAttrReadOnly)) fs_.set_attrs(target, st.attrs & ~zc::kAttrReadOnly);
                if (!fs_.replace_file(part, target)) {
                    std::string err = fs_.last_error();
                    fs_.remove_file(part);
                    throw zc::ZipError(zc::kCreate, "it could not take its name: " + err);
                }
                fs_.set_mtime(target, fs_.from_dos_time(e.dostime));
                uint8_t host = e.host();
                if (host == zc::kHostFat || host == zc::kHostNtfs || host == zc::kHostHpfs) {
                    uint32_t attrs = e.ext_attr & (zc::kAttrReadOnly | zc::kAttrHidden | zc::kAttrSystem);
                    if (attrs) fs_.set_attrs(target, attrs | zc::kAttrArchive);
                }
                ++r_.files;
            } catch (const zc::ZipError& err) {
                done_ = before + (it.isDir ? 0 : e.usize);
                if (IsFullDisk(err)) {
                    r_.diskFull = true;
                    r_.problems.push_back(e.name + ": " + err.what());
                    return r_;
                }
                r_.problems.push_back(e.name + ": " + err.what());
            }
        }
        done_ = total_;
        ev_.Progress("", done_, total_);
    } catch (const Stop&) {
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

UnpackPlan PlanUnpack(zc::FileSystem& fs, const zc::Directory& d, const std::string& targetDir) {
    UnpackPlan plan;
    plan.targetDir = fs.full_path(targetDir);
    while (plan.targetDir.size() > 3 && plan.targetDir.back() == '/') plan.targetDir.pop_back();
    if (!plan.targetDir.empty() && plan.targetDir.back() == '/') plan.targetDir.pop_back();
    const std::string base = Backslashes(plan.targetDir);
    for (size_t i = 0; i < d.entries.size(); ++i) {
        const zc::Entry& e = d.entries[i];
        UnpackItem it;
        it.entry = i;
        it.isDir = e.is_dir();
        std::string why;
        if (!SafeMemberPath(e.name, it.rel, why)) {
            it.refusal = why + ", which would leave the target folder";
            it.rel.clear();
        } else if (!it.rel.empty() && !IsInside(base, Backslashes(fs.full_path(plan.targetDir + "/" + Slashes(it.rel))))) {
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

UnpackResult RunUnpack(zc::FileSystem& fs, zc::File& archive, const zc::Directory& d, const UnpackPlan& plan,
                       Overwrite rule, UnpackEvents& events) {
    Unpacker u(fs, archive, d, plan, rule, events);
    return u.Run();
}

}  // namespace kit
