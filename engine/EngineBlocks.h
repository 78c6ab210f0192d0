// The records the zip engine (ZIPENG.DLL, UNZENG.DLL) exchanges with its callers: the parameter
// blocks of ZipEngExec and UnzEngExec, in the current layouts and in the older ones that engines
// up to version 1.50 (zip) and 1.51 (unzip) take, and the callback record the engine fills.
//
// They are wire formats of a 32-bit engine: little-endian, every field at a fixed offset, flags
// 0 or 1 in a 32-bit integer, pointers 4 bytes. Pointers are held as Ptr32 so that the layout is
// the same in the 64-bit host build, where the engine's code is compiled for the unit tests; only
// a 32-bit build can store or follow one. The asserts at the end pin every offset.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace zc {

constexpr int32_t kCheckValue = 7;         // where each layout expects it: how the engine tells them apart
constexpr int32_t kZipBlockVersion = 158;  // the block version callers write at offset 8
constexpr int32_t kUnzBlockVersion = 152;
constexpr int32_t kZipNewLayoutAbove = 150;  // engine versions from which on the short layouts are used
constexpr int32_t kUnzNewLayoutAbove = 151;
constexpr int32_t kZipEngVersion = 200;  // what this engine's GetZipEngVersion / GetUnzEngVersion say
constexpr int32_t kUnzEngVersion = 200;
constexpr int kMaxOldPatterns = 4097;      // room for file patterns in the old layouts
constexpr size_t kCallbackTextSize = 512;  // this engine's; callers read the text up to its NUL

// The callback's action codes (ZCallBackStruct::action).
enum ZAction : int32_t {
    kActionTick = 0,  // nothing to show: a chance to process window messages and to cancel
    kActionFileStart = 1,
    kActionBytesDone = 2,
    kActionBatchDone = 3,
    kActionMessage = 4,  // errorCode and text
    kActionFileCount = 5,
    kActionByteCount = 6,
};

// A pointer field: 4 bytes in every build, zero when null.
template <class P>
struct Ptr32 {
    uint32_t raw;
    Ptr32& operator=(P p) {
        static_assert(sizeof(P) == 4, "a block holds pointers of a 32-bit process only");
        raw = uint32_t(reinterpret_cast<uintptr_t>(p));
        return *this;
    }
    P get() const {
        static_assert(sizeof(P) == 4, "a block holds pointers of a 32-bit process only");
        return reinterpret_cast<P>(uintptr_t(raw));
    }
    explicit operator bool() const { return raw != 0; }
};

struct ZCallBackStruct;
// The caller's callback: one record in; 1 asks the engine to cancel, 0 to go on. A full 32-bit
// result, so that an engine reading either the low byte or the whole register sees the same.
#ifdef _WIN32
using ZCallbackFn = int32_t(__stdcall*)(ZCallBackStruct* rec);
#else
using ZCallbackFn = int32_t (*)(ZCallBackStruct* rec);
#endif

// Filled by the engine for each callback; callers read the caller, action, error code, size and text.
struct ZCallBackStruct {
    Ptr32<void*> window;           //  0 the block's window
    Ptr32<void*> caller;           //  4 the block's caller
    int32_t version;               //  8 the engine's version
    int32_t isZip;                 // 12 1 from ZIPENG, 0 from UNZENG
    int32_t action;                // 16 a ZAction
    int32_t errorCode;             // 20 with kActionMessage
    int32_t size;                  // 24 file size, byte count or file count
    char text[kCallbackTextSize];  // 28 file name or message, ANSI, NUL-terminated in place
};

// ZipEngExec's block, bytes 0-127 of both layouts.
struct ZipExecHead {
    Ptr32<void*> window;          //   0 the application's window
    Ptr32<void*> caller;          //   4 copied into every callback record
    int32_t version;              //   8 kZipBlockVersion
    Ptr32<ZCallbackFn> callback;  //  12
    int32_t trace;                //  16
    Ptr32<char*> password;        //  20 NUL-terminated, used as bytes
    int32_t zero24;               //  24
    int32_t encrypt;              //  28
    int32_t systemFiles;          //  32 hidden and system files too
    int32_t zero36, zero40;       //  36, 40
    int32_t noDirEntries;         //  44
    int32_t zero48;               //  48
    int32_t verbose;              //  52
    int32_t quiet;                //  56
    int32_t level;                //  60
    int32_t zero64, zero68;       //  64, 68
    int32_t junkDirNames;         //  72
    uint16_t recurse;             //  76 16-bit
    uint16_t zero78;              //  78
    int32_t grow;                 //  80
    int32_t forceDos;             //  84 DOS 8.3 names
    int32_t move;                 //  88
    int32_t deleteEntries;        //  92 Delete rather than Add
    int32_t update;               //  96
    int32_t freshen;              // 100
    int32_t zero104;              // 104
    int32_t latestTime;           // 108 the archive takes the time of its newest member
    int32_t zero112, zero116;     // 112, 116
    int32_t argc;                 // 120 file patterns
    Ptr32<char*> zipName;         // 124
};

// One file pattern of the current layouts: a pointer, then zeros up to the record's size.
template <size_t kSize>
struct PatternRecord {
    Ptr32<char*> pattern;
    uint8_t zero[kSize - 4];
};
using ZipPatternRecord = PatternRecord<104>;
using UnzPatternRecord = PatternRecord<72>;

// The old layouts: the head, the check value, then room for the file patterns in place.
template <class Head>
struct OldExecParams {
    Head head;
    int32_t check;                           // 128 (zip), 72 (unzip)
    Ptr32<char*> patterns[kMaxOldPatterns];  // 132, 76
};

// Engines above version 150.
struct ZipExecParams {
    using Head = ZipExecHead;
    using Record = ZipPatternRecord;
    static constexpr int32_t kVersion = kZipBlockVersion;
    ZipExecHead head;
    Ptr32<char*> tempDir;               // 128 null when none is set
    int32_t zero132, zero136;           // 132, 136
    Ptr32<ZipPatternRecord*> patterns;  // 140 argc records
    uint8_t zero144[68];                // 144-211
    int32_t check;                      // 212
};

using ZipExecParamsOld = OldExecParams<ZipExecHead>;  // engines up to version 150

// UnzEngExec's block, bytes 0-71 of both layouts.
struct UnzExecHead {
    Ptr32<void*> window;          //  0
    Ptr32<void*> caller;          //  4
    int32_t version;              //  8 kUnzBlockVersion
    Ptr32<ZCallbackFn> callback;  // 12
    int32_t trace;                // 16
    uint16_t codePage;            // 20 16-bit: 0 automatic, 1 none, 2 OEM
    uint16_t zero22;              // 22
    Ptr32<char*> password;        // 24
    int32_t testOnly;             // 28
    int32_t zero32, zero36;       // 32, 36
    int32_t quiet;                // 40
    int32_t verbose;              // 44
    int32_t update;               // 48
    int32_t freshen;              // 52
    int32_t directories;          // 56 recreate the members' folders
    int32_t overwrite;            // 60
    int32_t argc;                 // 64
    Ptr32<char*> zipName;         // 68
};

// Engines above version 151.
struct UnzExecParams {
    using Head = UnzExecHead;
    using Record = UnzPatternRecord;
    static constexpr int32_t kVersion = kUnzBlockVersion;
    UnzExecHead head;
    Ptr32<UnzPatternRecord*> patterns;  // 72 argc records
    uint8_t zero76[68];                 // 76-143
    int32_t check;                      // 144
};

using UnzExecParamsOld = OldExecParams<UnzExecHead>;  // engines up to version 151

// A caller's block in the layout the engine's version takes: zero-filled, with the caller's
// window, address and callback, the block version and the check value in place, and the
// pattern records owned here. Fill the rest of Head(), then pass Data() to the engine.
template <class Params, class OldParams = OldExecParams<typename Params::Head>>
class ExecBlock {
public:
    ExecBlock(bool newLayout, void* window, void* caller, ZCallbackFn callback) {
        if (newLayout) {
            new_.reset(new Params());
            new_->check = kCheckValue;
        } else {
            old_.reset(new OldParams());
            old_->check = kCheckValue;
        }
        Head().window = window;
        Head().caller = caller;
        Head().version = Params::kVersion;
        Head().callback = callback;
    }
    typename Params::Head& Head() { return new_ ? new_->head : old_->head; }
    Params* New() { return new_.get(); }
    void* Data() { return new_ ? static_cast<void*>(new_.get()) : static_cast<void*>(old_.get()); }

    // Sets argc and the file patterns, which must outlive the call. False when the old
    // layout has no room for them all: writing past it would corrupt the engine's memory.
    bool SetPatterns(const std::vector<char*>& patterns) {
        if (!new_ && patterns.size() > size_t(kMaxOldPatterns)) return false;
        Head().argc = int32_t(patterns.size());
        if (new_) {
            records_.reset(new typename Params::Record[std::max<size_t>(patterns.size(), 1)]());
            for (size_t i = 0; i < patterns.size(); ++i) records_[i].pattern = patterns[i];
            new_->patterns = records_.get();
        } else {
            std::copy(patterns.begin(), patterns.end(), old_->patterns);
        }
        return true;
    }

private:
    std::unique_ptr<Params> new_;
    std::unique_ptr<OldParams> old_;
    std::unique_ptr<typename Params::Record[]> records_;
};
using ZipBlock = ExecBlock<ZipExecParams>;
using UnzBlock = ExecBlock<UnzExecParams>;

static_assert(sizeof(Ptr32<char*>) == 4);
static_assert(offsetof(ZCallBackStruct, caller) == 4 && offsetof(ZCallBackStruct, action) == 16 &&
              offsetof(ZCallBackStruct, errorCode) == 20 && offsetof(ZCallBackStruct, size) == 24 &&
              offsetof(ZCallBackStruct, text) == 28);
static_assert(offsetof(ZipExecHead, caller) == 4 && offsetof(ZipExecHead, version) == 8 &&
              offsetof(ZipExecHead, callback) == 12 && offsetof(ZipExecHead, trace) == 16 &&
              offsetof(ZipExecHead, password) == 20 && offsetof(ZipExecHead, encrypt) == 28 &&
              offsetof(ZipExecHead, systemFiles) == 32 && offsetof(ZipExecHead, noDirEntries) == 44 &&
              offsetof(ZipExecHead, verbose) == 52 && offsetof(ZipExecHead, quiet) == 56 &&
              offsetof(ZipExecHead, level) == 60 && offsetof(ZipExecHead, junkDirNames) == 72 &&
              offsetof(ZipExecHead, recurse) == 76 && offsetof(ZipExecHead, grow) == 80 &&
              offsetof(ZipExecHead, forceDos) == 84 && offsetof(ZipExecHead, move) == 88 &&
              offsetof(ZipExecHead, deleteEntries) == 92 && offsetof(ZipExecHead, update) == 96 &&
              offsetof(ZipExecHead, freshen) == 100 && offsetof(ZipExecHead, latestTime) == 108 &&
              offsetof(ZipExecHead, argc) == 120 && offsetof(ZipExecHead, zipName) == 124 &&
              sizeof(ZipExecHead) == 128);
static_assert(sizeof(ZipPatternRecord) == 104 && offsetof(ZipExecParams, tempDir) == 128 &&
              offsetof(ZipExecParams, patterns) == 140 && offsetof(ZipExecParams, check) == 212 &&
              sizeof(ZipExecParams) == 216);
static_assert(offsetof(ZipExecParamsOld, check) == 128 && offsetof(ZipExecParamsOld, patterns) == 132 &&
              sizeof(ZipExecParamsOld) == 16520);
static_assert(offsetof(UnzExecHead, caller) == 4 && offsetof(UnzExecHead, version) == 8 &&
              offsetof(UnzExecHead, callback) == 12 && offsetof(UnzExecHead, trace) == 16 &&
              offsetof(UnzExecHead, codePage) == 20 && offsetof(UnzExecHead, password) == 24 &&
              offsetof(UnzExecHead, testOnly) == 28 && offsetof(UnzExecHead, quiet) == 40 &&
              offsetof(UnzExecHead, verbose) == 44 && offsetof(UnzExecHead, update) == 48 &&
              offsetof(UnzExecHead, freshen) == 52 && offsetof(UnzExecHead, directories) == 56 &&
              offsetof(UnzExecHead, overwrite) == 60 && offsetof(UnzExecHead, argc) == 64 &&
              offsetof(UnzExecHead, zipName) == 68 && sizeof(UnzExecHead) == 72);
static_assert(sizeof(UnzPatternRecord) == 72 && offsetof(UnzExecParams, patterns) == 72 &&
              offsetof(UnzExecParams, check) == 144 && sizeof(UnzExecParams) == 148);
static_assert(offsetof(UnzExecParamsOld, check) == 72 && offsetof(UnzExecParamsOld, patterns) == 76 &&
              sizeof(UnzExecParamsOld) == 16464);

}  // namespace zc
