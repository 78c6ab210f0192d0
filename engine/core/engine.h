// The engine's operations, free of any Win32 type: Add, Delete, Extract/Test.
//
// The DLL entry points decode their parameter blocks into these options and forward the
// callbacks of Progress to the component; native tests and the bench tool call them directly.
#pragma once
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "Errors.h"
#include "FileSystem.h"
#include "zipformat.h"

namespace zc {

// Receives the events of one operation on the calling thread, in this order: FileCount and
// ByteCount first, then per file one FileStart followed by BytesDone events that add up to
// its size, then exactly one BatchDone after a successful operation. message() carries errors
// (code != 0) and notes (code 0); tick() only lets the caller breathe while a long step runs.
// Every method returns true when the person asked to cancel.
class Progress {
public:
    virtual ~Progress() = default;
    virtual bool FileCount(uint64_t n) = 0;
    virtual bool ByteCount(uint64_t n) = 0;
    virtual bool FileStart(const std::string& name, uint64_t size) = 0;
    virtual bool BytesDone(uint64_t n) = 0;
    virtual bool BatchDone() = 0;
    virtual bool message(int code, const std::string& text) = 0;
    virtual bool tick() = 0;
};

// Runs one operation and turns whatever stopped it into one message to the caller: the person's
// cancel, the operation's own fault, memory, or an internal error. Returns the operation's
// count, or 0 when it was stopped. The entry points (Add, Delete, Extract) all end this way.
template <class Operation>
int RunOperation(Progress& p, const std::string& cancelled, const std::string& outOfMemory, Operation run) {
    try {
        return run();
    } catch (const Cancelled&) {
        p.message(kAbort, cancelled);
    } catch (const ZipError& e) {
        p.message(e.code(), e.what());
    } catch (const std::bad_alloc&) {
        p.message(kMemory, outOfMemory);
    } catch (const std::exception& e) {
        p.message(kLogic, std::string("Internal error: ") + e.what());
    }
    return 0;
}

struct AddOptions {
    std::string archive;                // path of the archive to create or grow
    std::vector<std::string> patterns;  // files to add: paths, wildcards, directories
    std::string password;               // used when encrypt is set
    std::string tempDir;                // where the new archive is written first ("" = beside it)
    int level = 9;                      // 0 stores, 1-9 fast to best
    bool encrypt = false;
    bool systemFiles = false;  // include hidden and system files
    bool dirEntries = false;   // store directory entries of their own
    bool junkDirs = false;     // store names without their directories
    bool recurse = false;
    bool forceDos = false;    // DOS 8.3 names
    bool move = false;        // delete the source files after a good Add
    bool update = false;      // add new files and replace older members
    bool freshen = false;     // only replace older members
    bool latestTime = false;  // archive's time := newest member's
    bool verbose = false;     // notes through message(0, ...)
    int threads = 0;          // compression workers; 0 = one per core
};

struct DeleteOptions {
    std::string archive;
    std::vector<std::string> patterns;  // member names, wildcards allowed
    std::string tempDir;
    bool verbose = false;
};

struct ExtractOptions {
    std::string archive;
    std::vector<std::string> patterns;  // member names, wildcards; empty = all members
    std::string password;
    bool testOnly = false;   // check CRCs, write nothing
    bool dirNames = false;   // recreate the members' directories
    bool overwrite = false;  // replace existing files
    bool update = false;     // extract new members and those newer than the file
    bool freshen = false;    // only replace files older than their member
    NameRule names = NameRule::Auto;
    bool verbose = false;
};

// Each returns the number of members added, deleted, or extracted/tested; errors go through
// progress.message and never escape (a cancelled or failed Add/Delete leaves the old archive).
int ZipAdd(FileSystem& fs, const AddOptions& o, Progress& progress);
int ZipDelete(FileSystem& fs, const DeleteOptions& o, Progress& progress);
int UnzipExtract(FileSystem& fs, const ExtractOptions& o, Progress& progress);

// Size up to which a member is read whole and compressed by libdeflate on a worker; larger
// members are streamed through zlib on the calling thread.
constexpr uint64_t kWholeMemberLimit = 16u << 20;

}  // namespace zc
