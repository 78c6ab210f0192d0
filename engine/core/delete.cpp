// Delete: copies the members that stay into a new archive, which replaces the old one at the end.
#include "Errors.h"
#include "Names.h"
#include "engine.h"
#include "writer.h"

namespace zc {

bool MemberSelected(const std::vector<std::string>& patterns, const std::string& name);

namespace {

int DeleteMembers(FileSystem& fs, const DeleteOptions& o, Progress& p) {
    if (o.archive.empty()) throw ZipError(kParams, "No archive name given");
    if (o.patterns.empty()) throw ZipError(kNothing, "No members to delete were given");
    std::string path = fs.FullPath(ToSlashes(o.archive));
    FileInfo info = fs.stat(path);
    if (!info.exists || info.isDir) throw ZipError(kNoArchive, "The archive " + o.archive + " does not exist");
    std::unique_ptr<File> f = fs.OpenRead(path);
    Directory dir = ReadDirectory(*f);
    CheckRewritable(dir);
    CheckMemberRanges(*f, dir);
    std::vector<bool> gone(dir.entries.size());
    size_t n = 0;
    for (size_t k = 0; k < dir.entries.size(); ++k)
        if ((gone[k] = MemberSelected(o.patterns, dir.entries[k].name))) ++n;
    if (n == 0) {
        p.message(kNothing, "Nothing to delete: no member matches " + o.patterns.front());
        return 0;
    }
    if (p.FileCount(n) || p.ByteCount(0)) throw Cancelled();
    ArchiveWriter w(fs, path, o.tempDir.empty() ? "" : fs.FullPath(ToSlashes(o.tempDir)));
    w.CopyFrom(*f, 0, dir.dataStart, &p);
    for (size_t k = 0; k < dir.entries.size(); ++k) {
        if (gone[k]) {
            if (p.FileStart(dir.entries[k].name, 0)) throw Cancelled();
            if (o.verbose && p.message(0, "deleting: " + dir.entries[k].name)) throw Cancelled();
        } else {
            w.CopyMember(*f, dir.entries[k], dir.fileSize, &p);
        }
    }
    w.finish(dir.end.comment);
    f.reset();
    w.commit();
    p.BatchDone();
    return int(n);
}

}  // namespace

int ZipDelete(FileSystem& fs, const DeleteOptions& o, Progress& p) {
    return RunOperation(p, "Delete cancelled; the archive was not changed",
                        "Out of memory; the archive was not changed", [&] { return DeleteMembers(fs, o, p); });
}

}  // namespace zc
