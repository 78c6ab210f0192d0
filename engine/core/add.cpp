// Add: gathers the files named by the patterns, compresses them on worker threads through
// libdeflate (members up to 16 MiB whole, larger ones in independent 8 MiB pieces joined into one
// deflate stream, so that every core works on a large member too), and writes old and new members
// into a new archive that replaces the old one at the end. Encrypted large members are streamed
// through zlib on the calling thread (their CRC must be known before their data).
#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <set>

#include "Errors.h"
#include "Names.h"
#include "ZipCrypto.h"
#include "codec.h"
#include "engine.h"
#include "threads.h"
#include "writer.h"

namespace zc {
namespace {

struct Item {
    std::string path;  // on disk
    std::string name;  // member name, UTF-8, '/' separators, directories end in '/'
    FileInfo info;
    uint32_t dostime = 0;
    bool IsDir() const { return info.isDir; }
};

// One piece of work for a worker: a whole member, or one piece of a large one.
struct Job {
    size_t item;
    uint64_t offset = 0;
    size_t length = 0;
    bool whole = true;
    bool last = true;
    uint64_t cost() const { return 2 * uint64_t(length) + 4096; }
};

// A compressed member (or piece) waiting to be written.
struct Result {
    bool ready = false;
    std::string error;          // non-empty: the file could not be read
    std::vector<uint8_t> data;  // what follows the local header (encryption header included)
    uint32_t crc = 0;
    uint64_t usize = 0;
    uint16_t method = kMethodStored;
};

constexpr uint64_t kInFlightBudget = 64u << 20;  // bytes held by queued and finished members
constexpr size_t kChunk = 1u << 20;
constexpr size_t kPiece = 8u << 20;  // pieces of a large member

std::string join(const std::string& a, const std::string& b) {
    if (a.empty()) return b;
    return a.back() == '/' ? a + b : a + "/" + b;
}

class Adder {
public:
    Adder(FileSystem& fs, const AddOptions& o, Progress& p) : fs_(fs), o_(o), p_(p) {}
    ~Adder() { StopWorkers(); }
    int run();

private:
    void gather();
    void walk(const std::string& dir, const std::string& pattern, const std::string& prefix);
    void AddItem(const std::string& path, const std::string& name, const FileInfo& info);
    bool included(const FileInfo& info) const { return o_.systemFiles || !(info.attrs & (kAttrHidden | kAttrSystem)); }
    bool IsOwnArchive(const std::string& path) const;
    void ApplyDosNames();
    void WriteMembers(ArchiveWriter& w);
    void WriteStoredDir(ArchiveWriter& w, const Item& it);
    void WriteResult(ArchiveWriter& w, const Item& it, Result& r);
    void StreamMember(ArchiveWriter& w, const Item& it, bool store = false);
    void WritePieces(ArchiveWriter& w, size_t i);
    Entry NewEntry(const Item& it) const;
    struct Deflaters;
    void CompressJob(size_t j, Deflaters& d);
    void CompressPiece(const Job& job, Result& r, Deflaters& d);
    void StartWorkers();
    void StopWorkers();
    void PlanJobs();
    void dispatch();
    Result take(size_t j);
    bool large(const Item& it) const { return it.info.size > kWholeMemberLimit; }
    // Large members go in pieces on the workers unless they are stored or encrypted.
    bool InPieces(const Item& it) const { return large(it) && o_.level > 0 && !o_.encrypt; }
    void check(bool cancel) {
        if (cancel) throw Cancelled();
    }
    uint32_t seed(const Item& it, uint32_t crc) const {
        return uint32_t(std::chrono::high_resolution_clock::now().time_since_epoch().count()) ^ crc ^
               uint32_t(std::hash<std::string>()(it.name)) ^ uint32_t(o_.password.size() * 2654435761u);
    }

    FileSystem& fs_;
    const AddOptions& o_;
    Progress& p_;
    std::string archiveFull_;
    std::string tempFull_;
    std::vector<Item> items_;
    std::map<std::string, std::string> seen_;  // folded member name -> the file it came from
    std::vector<std::string> skipped_;         // files that could not be read

    // Worker pool.
    std::vector<Thread> workers_;
    Mutex mu_;
    CondVar cvJob_, cvDone_;
    std::vector<Job> plan_;         // every job, in archive order
    std::vector<size_t> firstJob_;  // per item: its first job (npos: written on this thread)
    std::deque<size_t> jobs_;       // queued, not yet taken by a worker
    std::vector<Result> results_;   // per job
    bool stopping_ = false;
    size_t nextDispatch_ = 0;
    uint64_t inFlight_ = 0;
};

bool Adder::IsOwnArchive(const std::string& path) const {
    std::string full = fs_.FullPath(path);
    auto same = [&](const std::string& a, const std::string& b) {
        return fs_.CaseInsensitive() ? FoldCase(a) == FoldCase(b) : a == b;
    };
    return same(full, archiveFull_) || (!tempFull_.empty() && same(full, tempFull_));
}

void Adder::AddItem(const std::string& path, const std::string& name, const FileInfo& info) {
    if (!info.isDir && IsOwnArchive(path)) return;  // never add the archive to itself
    std::string member = o_.junkDirs && !info.isDir ? name.substr(name.rfind('/') + 1) : name;
    if (member.empty()) return;
    if (info.isDir) {
        if (!o_.dirEntries || o_.junkDirs) return;
        member += '/';
    }
    auto [where, fresh] = seen_.emplace(FoldCase(member), path);
    if (!fresh) {
        // Named twice: the first one counts. Two different files under one name (folder names
        // junked) is worth a word.
        if (where->second != path && !info.isDir)
            check(p_.message(kWarning, "Left out " + path + ": " + member + " is already taken by " + where->second));
        return;
    }
    Item it;
    it.path = path;
    it.name = member;
    it.info = info;
    it.dostime = fs_.ToDosTime(info.mtime);
    items_.push_back(std::move(it));
}

void Adder::walk(const std::string& dir, const std::string& pattern, const std::string& prefix) {
    std::vector<DirEntry> list;
    if (!fs_.ListDir(dir, list)) {
        check(p_.message(kOpen, "Could not read the folder " + dir + ": " + fs_.LastError()));
        return;
    }
    std::sort(list.begin(), list.end(), [](const DirEntry& a, const DirEntry& b) {
        std::string fa = FoldCase(a.name), fb = FoldCase(b.name);
        return fa != fb ? fa < fb : a.name < b.name;
    });
    for (const DirEntry& d : list)
        if (!d.info.isDir && included(d.info) && WildMatch(pattern, d.name, false))
            AddItem(join(dir, d.name), join(prefix, d.name), d.info);
    if (!o_.recurse) return;
    for (const DirEntry& d : list) {
        if (!d.info.isDir || !included(d.info)) continue;
        AddItem(join(dir, d.name), join(prefix, d.name), d.info);
        walk(join(dir, d.name), pattern, join(prefix, d.name));
        check(p_.tick());
    }
}

void Adder::gather() {
    for (const std::string& raw : o_.patterns) {
        std::string arg = ToSlashes(raw);
        while (arg.size() > 1 && arg.back() == '/' && !(arg.size() == 3 && arg[1] == ':')) arg.pop_back();
        if (arg.empty()) continue;
        if (!HasWildcards(arg)) {
            std::string full = fs_.FullPath(arg);
            FileInfo info = fs_.stat(full);
            if (!info.exists) {
                check(p_.message(kWarning, "File not found: " + raw));
                continue;
            }
            std::string name = CleanAddPath(arg);
            if (info.isDir) {
                // A folder: its entry, and with recursion everything in it.
                if (!name.empty()) AddItem(full, name, info);
                if (o_.recurse) walk(full, "*", name);
            } else {
                AddItem(full, name, info);
            }
            continue;
        }
        size_t slash = arg.rfind('/');
        std::string dirpart = slash == std::string::npos ? "" : arg.substr(0, slash + 1);
        std::string pattern = slash == std::string::npos ? arg : arg.substr(slash + 1);
        if (HasWildcards(dirpart)) {
            check(p_.message(kParams, "Wildcards are allowed in the last part of a file pattern only: " + raw));
            continue;
        }
        std::string dir = fs_.FullPath(dirpart.empty() ? "." : dirpart);
        if (!fs_.stat(dir).isDir) {
            check(p_.message(kWarning, "Folder not found: " + raw));
            continue;
        }
        walk(dir, pattern, CleanAddPath(dirpart));
    }
}

void Adder::ApplyDosNames() {
    std::map<std::string, std::string> dirs;            // original folded dir -> DOS dir
    std::map<std::string, std::set<std::string>> used;  // DOS dir -> names taken in it
    auto convert = [&](const std::string& name) {
        std::string out, orig;
        size_t i = 0;
        while (i < name.size()) {
            size_t j = name.find('/', i);
            bool last = j == std::string::npos;
            std::string comp = name.substr(i, last ? std::string::npos : j - i);
            std::string key = FoldCase(orig.empty() ? comp : orig + "/" + comp);
            auto it = dirs.find(key);
            std::string dos;
            if (!last && it != dirs.end()) {
                dos = it->second;
            } else {
                dos = Dos83Name(comp, used[out]);
                if (!last) dirs[key] = dos;
            }
            orig = orig.empty() ? comp : orig + "/" + comp;
            out = out.empty() ? dos : out + "/" + dos;
            if (last) break;
            i = j + 1;
            if (i == name.size()) out += '/';  // a directory entry keeps its slash
        }
        return out;
    };
    for (Item& it : items_) it.name = convert(it.name);
}

Entry Adder::NewEntry(const Item& it) const {
    Entry e;
    EncodedName n = EncodeName(it.name);
    e.rawName = n.bytes;
    e.extra = n.extra;
    e.name = it.name;
    e.madeBy = uint16_t(kHostFat << 8 | 20);
    e.flags = n.utf8 ? kFlagUtf8 : 0;
    e.dostime = it.dostime;
    e.extAttr = it.info.attrs & 0xFF;
    return e;
}

void Adder::WriteStoredDir(ArchiveWriter& w, const Item& it) {
    Entry e = NewEntry(it);
    e.needed = 20;
    e.extAttr |= kAttrDir;
    e.localOffset = w.MemberOffset();
    w.write(LocalHeaderBytes(e, e.extra));
    w.AddCentral(e);
}

// Flag bits 1-2 tell the deflate option used (APPNOTE 4.4.4): 1 max, 2 fast, 3 super fast.
static uint16_t LevelFlags(int level) { return level >= 8 ? 2 : level == 2 ? 4 : level == 1 ? 6 : 0; }

// A worker's compressors, made on first use: one per setting its members asked for, the fastest
// level (samples and data that does not compress), and the level for the pieces of large
// members: at most 6, the best of the lazy parser, which matches zlib's -9 in size (what large
// members had when they were streamed through zlib) in a fraction of the time; the near-optimal
// parser of the levels above spends several times as long on them for a fraction of a percent.
// Its buffers too are kept from one member to the next: fresh ones for every member cost as much
// in page faults as reading the data does.
struct Adder::Deflaters {
    int level;
    std::vector<std::pair<DeflateSetting, std::unique_ptr<BlockDeflater>>> made;
    std::unique_ptr<BlockDeflater> fast, pieces;
    std::vector<uint8_t> in, out;
    BlockDeflater& get(const DeflateSetting& s) {
        for (auto& [setting, def] : made)
            if (setting == s) return *def;
        made.emplace_back(s, std::make_unique<BlockDeflater>(s));
        return *made.back().second;
    }
    BlockDeflater& quick() {
        if (!fast) fast.reset(new BlockDeflater(1));
        return *fast;
    }
    BlockDeflater& piece() {
        if (!pieces) pieces.reset(new BlockDeflater(std::min(level, 6)));
        return *pieces;
    }
};

// Buffers grow without their new bytes being cleared: every byte used is written first.
static void grow(std::vector<uint8_t>& v, size_t n) {
    if (v.size() < n) {
        v.clear();
        v.shrink_to_fit();
        v.resize(n);
    }
}

void Adder::CompressJob(size_t j, Deflaters& d) {
    const Job& job = plan_[j];
    const Item& it = items_[job.item];
    Result r;
    try {
        if (!job.whole) {
            CompressPiece(job, r, d);
        } else {
            auto in = fs_.OpenRead(it.path);
            size_t size = size_t(it.info.size);
            grow(d.in, size);
            // A file that grew meanwhile is taken as far as it was announced.
            size_t got = size ? in->read(d.in.data(), size) : 0;
            in.reset();
            const uint8_t* data = d.in.data();
            r.usize = got;
            r.crc = Crc32Update(0, data, got);
            size_t off = o_.encrypt ? ZipCrypto::kHeaderSize : 0;
            if (o_.level > 0 && got > 0) {
                // Above level 6 a sample tells data that does not compress, which the slow levels would
                // only spend time on; up to 6 the check costs more than it saves.
                bool quick = o_.level > 6 && LooksIncompressible(data, got, d.quick());
                BlockDeflater& def = quick ? d.quick() : d.get(DeflateSettingFor(o_.level, it.name));
                grow(d.out, got);
                // Smaller than stored, or stored it is.
                size_t n = def.compress(data, got, d.out.data(), got - 1);
                if (n > 0) {
                    r.method = kMethodDeflated;
                    r.data.reserve(off + n);
                    r.data.resize(off);
                    r.data.insert(r.data.end(), d.out.data(), d.out.data() + n);
                }
            }
            if (r.method == kMethodStored) {
                r.data.reserve(off + got);
                r.data.resize(off);
                r.data.insert(r.data.end(), data, data + got);
            }
            if (o_.encrypt) {
                ZipCrypto keys(o_.password);
                MakeCryptHeader(keys, r.data.data(), uint8_t(r.crc >> 24), seed(it, r.crc));
                keys.Encrypt(r.data.data() + ZipCrypto::kHeaderSize, r.data.size() - ZipCrypto::kHeaderSize);
            }
        }
    } catch (const ZipError& e) {
        r = Result();
        r.error = e.what();
    } catch (const std::bad_alloc&) {
        r = Result();
        r.error = "Out of memory while compressing " + it.path;
    }
    Lock lock(mu_);
    r.ready = true;
    results_[j] = std::move(r);
    cvDone_.notify_all();
}

// One piece of a large member: compressed on its own, all but the last made continuable, so
// that the pieces written one after the other are one deflate stream.
void Adder::CompressPiece(const Job& job, Result& r, Deflaters& d) {
    const Item& it = items_[job.item];
    auto in = fs_.OpenRead(it.path);
    in->seek(job.offset);
    grow(d.in, job.length);
    const uint8_t* data = d.in.data();
    if (in->read(d.in.data(), job.length) != job.length)
        throw ZipError(kRead, "The file " + it.path + " became shorter while it was being added");
    r.usize = job.length;
    r.crc = Crc32Update(0, data, job.length);
    BlockDeflater& def = LooksIncompressible(data, job.length, d.quick()) ? d.quick() : d.piece();
    grow(d.out, def.bound(job.length));
    size_t n = def.compress(data, job.length, d.out.data(), d.out.size());
    r.data.assign(d.out.data(), d.out.data() + n);
    if (r.data.empty() || (!job.last && !MakeContinuable(r.data)))
        throw ZipError(kLogic, "Could not compress a piece of " + it.path);
    r.method = kMethodDeflated;
}

void Adder::StartWorkers() {
    int n = o_.threads > 0 ? o_.threads : int(ProcessorCount());
    n = std::clamp(n, 1, 8);
    results_.resize(plan_.size());
    for (int k = 0; k < n; ++k)
        workers_.emplace_back([this] {
            Deflaters d{o_.level, {}, nullptr, nullptr, {}, {}};
            for (;;) {
                size_t j;
                {
                    Lock lock(mu_);
                    cvJob_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
                    if (stopping_) break;
                    // In archive order while more is to come; once every job is queued, the biggest first,
                    // so that no worker is left alone with a big member at the end while the other idles.
                    auto pick = jobs_.begin();
                    if (nextDispatch_ == plan_.size())
                        pick = std::max_element(jobs_.begin(), jobs_.end(), [this](size_t a, size_t b) {
                            return plan_[a].length < plan_[b].length;
                        });
                    j = *pick;
                    jobs_.erase(pick);
                }
                CompressJob(j, d);
            }
        });
}

void Adder::StopWorkers() {
    {
        Lock lock(mu_);
        stopping_ = true;
        jobs_.clear();
    }
    cvJob_.notify_all();
    for (auto& t : workers_) t.join();
    workers_.clear();
}

void Adder::PlanJobs() {
    firstJob_.assign(items_.size(), size_t(-1));
    for (size_t i = 0; i < items_.size(); ++i) {
        const Item& it = items_[i];
        if (it.IsDir() || (large(it) && !InPieces(it))) continue;
        firstJob_[i] = plan_.size();
        if (!large(it)) {
            plan_.push_back({i, 0, size_t(it.info.size), true, true});
            continue;
        }
        for (uint64_t at = 0; at < it.info.size; at += kPiece) {
            size_t len = size_t(std::min<uint64_t>(kPiece, it.info.size - at));
            plan_.push_back({i, at, len, false, at + len == it.info.size});
        }
    }
}

// Queues the next jobs while the memory budget allows (always at least one).
void Adder::dispatch() {
    Lock lock(mu_);
    while (nextDispatch_ < plan_.size()) {
        uint64_t cost = plan_[nextDispatch_].cost();
        if (inFlight_ > 0 && inFlight_ + cost > kInFlightBudget) break;
        inFlight_ += cost;
        jobs_.push_back(nextDispatch_++);
        cvJob_.notify_one();
    }
}

// Waits for job j's result; ticks so the caller's window stays alive and cancel is heard.
Result Adder::take(size_t j) {
    dispatch();
    Lock lock(mu_);
    while (!results_[j].ready) {
        if (!cvDone_.wait_for(lock, 100)) {
            lock.unlock();
            check(p_.tick());
            lock.lock();
        }
    }
    Result r = std::move(results_[j]);
    results_[j] = Result();
    inFlight_ -= plan_[j].cost();
    return r;
}

// A member written before its CRC and sizes were known: they go into its local header now
// (in the ZIP64 field when it has one), and the member into the central directory.
static void FinishStreamed(ArchiveWriter& w, Entry& e, uint64_t headerAt, bool zip64) {
    uint8_t fix[16];
    Put32(fix, e.crc);
    w.patch(headerAt + 14, fix, 4);
    if (zip64) {
        Put32(fix, uint32_t(e.usize));
        Put32(fix + 4, uint32_t(e.usize >> 32));
        Put32(fix + 8, uint32_t(e.csize));
        Put32(fix + 12, uint32_t(e.csize >> 32));
        w.patch(headerAt + Zip64SizesAt(e), fix, 16);
    } else {
        Put32(fix, uint32_t(e.csize));
        Put32(fix + 4, uint32_t(e.usize));
        w.patch(headerAt + 18, fix, 8);
    }
    e.zip64Sizes = zip64;
    w.AddCentral(e);
}

void Adder::WritePieces(ArchiveWriter& w, size_t i) {
    const Item& it = items_[i];
    Entry e = NewEntry(it);
    bool zip64 = it.info.size >= 0xFFFF0000ull;
    e.method = kMethodDeflated;
    e.needed = zip64 ? 45 : 20;
    e.flags |= LevelFlags(o_.level);
    e.localOffset = w.MemberOffset();
    uint64_t headerAt = w.pos();
    w.write(LocalHeaderBytes(e, e.extra, zip64));
    uint64_t dataAt = w.pos();
    std::string error;
    uint32_t crc = 0;
    for (size_t j = firstJob_[i]; j < plan_.size() && plan_[j].item == i; ++j) {
        Result r = take(j);
        if (error.empty() && !r.error.empty()) error = r.error;
        if (error.empty()) {
            w.write(r.data);
            crc = j == firstJob_[i] ? r.crc : Crc32Join(crc, r.crc, r.usize);
        }
        check(p_.BytesDone(plan_[j].length));
    }
    if (!error.empty()) {
        w.RewindTo(headerAt);
        skipped_.push_back(it.name);
        check(p_.message(kOpen, error + " (skipped)"));
        return;
    }
    e.crc = crc;
    e.usize = it.info.size;
    e.csize = w.pos() - dataAt;
    if (e.csize >= e.usize) {
        // Deflate did not shrink it: written again, stored (its progress was reported already).
        w.RewindTo(headerAt);
        StreamMember(w, it, true);
        return;
    }
    FinishStreamed(w, e, headerAt, zip64);
}

void Adder::WriteResult(ArchiveWriter& w, const Item& it, Result& r) {
    Entry e = NewEntry(it);
    e.method = r.method;
    e.needed = r.method == kMethodDeflated || o_.encrypt ? 20 : 10;
    e.flags |= (o_.encrypt ? kFlagEncrypted : 0) | (r.method == kMethodDeflated ? LevelFlags(o_.level) : 0);
    e.crc = r.crc;
    e.usize = r.usize;
    e.csize = r.data.size();
    e.localOffset = w.MemberOffset();
    w.write(LocalHeaderBytes(e, e.extra));
    w.write(r.data);
    w.AddCentral(e);
}

// A member streamed on this thread (large and encrypted, or stored); store skips deflate, and
// then reports no progress (the member's bytes were reported by the pass that gave up on it).
void Adder::StreamMember(ArchiveWriter& w, const Item& it, bool store) {
    auto in = fs_.OpenRead(it.path);
    std::vector<uint8_t> buf(kChunk), out;
    uint32_t crc = 0;
    // Encryption needs the CRC in the header before the data: read the file once more first.
    if (o_.encrypt) {
        for (;;) {
            size_t n = in->read(buf.data(), buf.size());
            if (n == 0) break;
            crc = Crc32Update(crc, buf.data(), n);
            check(p_.tick());
        }
    }
    Entry e = NewEntry(it);
    e.method = o_.level > 0 && !store ? kMethodDeflated : kMethodStored;
    int pass0 = store ? 1 : 0;
    // Sizes near 4 GiB and above go into a ZIP64 field of the local header (and the central one).
    bool zip64 = it.info.size >= 0xFFFF0000ull;
    for (int pass = pass0; pass < 2; ++pass) {
        e.needed = zip64 ? 45 : e.method == kMethodDeflated || o_.encrypt ? 20 : 10;
        e.flags = uint16_t((e.flags & kFlagUtf8) | (o_.encrypt ? kFlagEncrypted : 0) |
                           (e.method == kMethodDeflated ? LevelFlags(o_.level) : 0));
        e.crc = crc;
        e.localOffset = w.MemberOffset();
        uint64_t headerAt = w.pos();
        w.write(LocalHeaderBytes(e, e.extra, zip64));
        uint64_t dataAt = w.pos();
        std::unique_ptr<ZipCrypto> keys;
        if (o_.encrypt) {
            keys.reset(new ZipCrypto(o_.password));
            uint8_t h[ZipCrypto::kHeaderSize];
            MakeCryptHeader(*keys, h, uint8_t(crc >> 24), seed(it, crc));
            w.write(h, sizeof h);
        }
        std::unique_ptr<StreamDeflater> z;
        if (e.method == kMethodDeflated) z.reset(new StreamDeflater(o_.level));
        in->seek(0);
        uint64_t total = 0, reported = 0;
        uint32_t runCrc = 0;
        for (;;) {
            // A file that grew meanwhile is taken as far as it was announced.
            size_t n = in->read(buf.data(), size_t(std::min<uint64_t>(buf.size(), it.info.size - total)));
            total += n;
            runCrc = Crc32Update(runCrc, buf.data(), n);
            out.clear();
            const std::vector<uint8_t>* chunk = &buf;
            size_t len = n;
            if (z) {
                z->feed(buf.data(), n, n == 0, out);
                chunk = &out;
                len = out.size();
            }
            std::vector<uint8_t>& c = const_cast<std::vector<uint8_t>&>(*chunk);
            if (keys) keys->Encrypt(c.data(), len);
            w.write(c.data(), len);
            if (pass == 0 && n > 0) {
                // Bytes done never run past the size announced at the start of this file.
                uint64_t step = std::min<uint64_t>(n, it.info.size - reported);
                reported += step;
                if (step) check(p_.BytesDone(step));
            } else {
                check(p_.tick());
            }
            if (n == 0) break;
        }
        if (pass == 0 && reported < it.info.size) check(p_.BytesDone(it.info.size - reported));
        uint64_t csize = w.pos() - dataAt;
        if (o_.encrypt && runCrc != crc)
            throw ZipError(kRead, "The file " + it.path + " changed while it was being added");
        e.crc = runCrc;
        e.usize = total;
        e.csize = csize;
        uint64_t payload = csize - (o_.encrypt ? ZipCrypto::kHeaderSize : 0);
        if (e.method == kMethodDeflated && payload >= total) {
            // Deflate did not shrink it: write it again, stored.
            w.RewindTo(headerAt);
            e.method = kMethodStored;
            continue;
        }
        FinishStreamed(w, e, headerAt, zip64);
        return;
    }
}

void Adder::WriteMembers(ArchiveWriter& w) {
    PlanJobs();
    StartWorkers();
    for (size_t i = 0; i < items_.size(); ++i) {
        const Item& it = items_[i];
        dispatch();
        check(p_.FileStart(it.name, it.IsDir() ? 0 : it.info.size));
        if (it.IsDir()) {
            WriteStoredDir(w, it);
            continue;
        }
        if (firstJob_[i] == size_t(-1)) {
            try {
                StreamMember(w, it);
            } catch (const ZipError& e) {
                if (e.code() != kOpen && e.code() != kRead) throw;
                skipped_.push_back(it.name);
                check(p_.message(kOpen, std::string(e.what()) + " (skipped)"));
            }
            continue;
        }
        if (!plan_[firstJob_[i]].whole) {
            WritePieces(w, i);
            continue;
        }
        Result r = take(firstJob_[i]);
        if (!r.error.empty()) {
            skipped_.push_back(it.name);
            check(p_.message(kOpen, r.error + " (skipped)"));
            if (it.info.size) check(p_.BytesDone(it.info.size));
            continue;
        }
        WriteResult(w, it, r);
        if (it.info.size) check(p_.BytesDone(it.info.size));
        if (o_.verbose) {
            int pct = r.usize ? int(100 - (r.data.size() * 100 / r.usize)) : 0;
            check(p_.message(
                0, "  adding: " + it.name +
                       (r.method == kMethodDeflated ? " (deflated " + std::to_string(pct) + "%)" : " (stored 0%)")));
        }
    }
    StopWorkers();
}

int Adder::run() {
    if (o_.archive.empty()) throw ZipError(kParams, "No archive name given");
    if (o_.patterns.empty()) throw ZipError(kNothing, "No files to add were given");
    if (o_.encrypt && o_.password.empty()) throw ZipError(kPassword, "Encryption asked for but no password given");
    archiveFull_ = fs_.FullPath(ToSlashes(o_.archive));

    // The old archive, when there is one (an empty file counts as none).
    FileInfo oldInfo = fs_.stat(archiveFull_);
    std::unique_ptr<File> old;
    Directory dir;
    if (oldInfo.exists && oldInfo.isDir) throw ZipError(kNoArchive, "The archive name is a folder: " + o_.archive);
    if (oldInfo.exists && oldInfo.size > 0) {
        old = fs_.OpenRead(archiveFull_);
        dir = ReadDirectory(*old);
        CheckRewritable(dir);
        CheckMemberRanges(*old, dir);
    }

    gather();
    if (o_.forceDos) ApplyDosNames();

    // Which old members stay; freshen and update keep only what is newer.
    std::map<std::string, size_t> oldIndex;
    for (size_t k = 0; k < dir.entries.size(); ++k) oldIndex[FoldCase(ToSlashes(dir.entries[k].name))] = k;
    std::vector<bool> replaced(dir.entries.size(), false);
    std::vector<Item> todo;
    for (Item& it : items_) {
        auto f = oldIndex.find(FoldCase(it.name));
        bool exists = f != oldIndex.end();
        if (o_.freshen || o_.update) {
            if (exists && (it.IsDir() || it.dostime <= dir.entries[f->second].dostime)) continue;
            if (!exists && o_.freshen) continue;
        }
        if (exists) replaced[f->second] = true;
        todo.push_back(std::move(it));
    }
    items_ = std::move(todo);
    if (items_.empty()) {
        p_.message(kNothing, o_.freshen || o_.update ? "Nothing to do: no file is newer than its member"
                                                     : "Nothing to do: no files matched " + o_.patterns.front());
        return 0;
    }

    uint64_t bytes = 0;
    for (const Item& it : items_) bytes += it.IsDir() ? 0 : it.info.size;
    check(p_.FileCount(items_.size()));
    check(p_.ByteCount(bytes));

    ArchiveWriter w(fs_, archiveFull_, o_.tempDir.empty() ? "" : fs_.FullPath(ToSlashes(o_.tempDir)));
    tempFull_ = w.TempPath();
    if (old) {
        // A stub in front (self-extractor) stays; members keep their order, replaced ones go.
        w.CopyFrom(*old, 0, dir.dataStart, &p_);
        for (size_t k = 0; k < dir.entries.size(); ++k)
            if (!replaced[k]) w.CopyMember(*old, dir.entries[k], dir.fileSize, &p_);
    }
    WriteMembers(w);
    if (w.count() == (old ? dir.entries.size() - std::count(replaced.begin(), replaced.end(), true) : 0))
        throw ZipError(kOpen, "None of the files could be read; the archive was not changed");
    w.finish(dir.end.comment);
    old.reset();
    w.commit();

    int added = int(items_.size() - skipped_.size());
    if (o_.latestTime) {
        uint32_t newest = 0;
        for (const Entry& e : w.central()) newest = std::max(newest, e.dostime);
        if (newest) fs_.SetMtime(archiveFull_, fs_.FromDosTime(newest));
    }
    if (o_.move) {
        std::set<std::string> skipped(skipped_.begin(), skipped_.end());
        // Files first, then folders deepest first (those that are empty now).
        for (const Item& it : items_)
            if (!it.IsDir() && !skipped.count(it.name) && !fs_.RemoveFile(it.path))
                p_.message(kWarning, "Could not delete " + it.path + " after adding it: " + fs_.LastError());
        for (auto it = items_.rbegin(); it != items_.rend(); ++it)
            if (it->IsDir()) fs_.RemoveDir(it->path);
    }
    if (!skipped_.empty())
        p_.message(kOpen, std::to_string(skipped_.size()) + " file(s) could not be read and were left out");
    p_.BatchDone();
    return added;
}

}  // namespace

int ZipAdd(FileSystem& fs, const AddOptions& o, Progress& progress) {
    return RunOperation(progress, "Add cancelled; the archive was not changed",
                        "Out of memory; the archive was not changed", [&] { return Adder(fs, o, progress).run(); });
}

}  // namespace zc
