#include "UnzEngine.h"

#include <cstddef>
#include <cstring>
#include <vector>

namespace kit {

namespace {

#pragma pack(push, 1)
// The parameter block of engines above version 151: 148 bytes, the member patterns in
// records of 72 bytes behind a pointer at 72, the check value 7 at 144.
struct UnzParams {
    uint32_t window;      //   0
    uint32_t caller;      //   4 returned in each callback record
    int32_t version;      //   8 the block version the caller speaks
    uint32_t callback;    //  12 stdcall, one argument: the callback record
    int32_t trace;        //  16
    int16_t codePage;     //  20 0 automatic
    int16_t zero22;       //  22
    uint32_t password;    //  24
    int32_t testOnly;     //  28
    int32_t zero32, zero36;
    int32_t quiet;        //  40
    int32_t verbose;      //  44
    int32_t update;       //  48
    int32_t freshen;      //  52
    int32_t directories;  //  56 recreate the members' folders
    int32_t overwrite;    //  60
    int32_t argc;         //  64
    uint32_t zipName;     //  68
    uint32_t patterns;    //  72 (older engines: the check value here)
    uint8_t zero76[68];
    int32_t check;        // 144
};
struct CallbackRecord {
    uint32_t window;      //   0
    uint32_t caller;      //   4
    int32_t version;      //   8
    int32_t isZip;        //  12
    int32_t action;       //  16
    int32_t errorCode;    //  20
    int32_t size;         //  24
    char text[1];         //  28 NUL-terminated, in place
};
#pragma pack(pop)
static_assert(sizeof(UnzParams) == 148, "the unzip block is 148 bytes");
static_assert(offsetof(UnzParams, overwrite) == 60 && offsetof(UnzParams, zipName) == 68 &&
                  offsetof(UnzParams, check) == 144,
              "unzip block offsets");
static_assert(offsetof(CallbackRecord, action) == 16 && offsetof(CallbackRecord, text) == 28, "callback offsets");

constexpr int32_t kCheck = 7;
constexpr int32_t kBlockVersion = 152;
// Engines up to 151 take the older block: 16,464 bytes, check value at 72, pointers from 76.
constexpr size_t kOldBlockSize = 16464;

int32_t __stdcall Callback(CallbackRecord* r) {
    auto* ev = reinterpret_cast<UnzEngine::Events*>(uintptr_t(r->caller));
    if (!ev) return 0;
    bool stop = false;
    switch (r->action) {
        case 1: stop = ev->FileStart(r->text, uint32_t(r->size)); break;
        case 2: stop = ev->BytesDone(uint32_t(r->size)); break;
        case 4: stop = ev->Message(r->errorCode, r->text); break;
        case 5: stop = ev->FileCount(r->size); break;
        case 6: stop = ev->ByteCount(uint32_t(r->size)); break;
        default: stop = ev->Tick(); break;
    }
    return stop ? 1 : 0;
}

}  // namespace

UnzEngine::~UnzEngine() {
    if (module_) FreeLibrary(module_);
}

bool UnzEngine::Load(const std::string& path, std::string& why) {
    if (module_) return true;
    // No "insert a disk" boxes from the system while the library is looked for.
    UINT old = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE m = LoadLibraryA(path.c_str());
    DWORD err = GetLastError();
    SetErrorMode(old);
    if (!m) {
        why = GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES
                  ? "is missing from the package"
                  : "could not be loaded (system error " + std::to_string(err) + ")";
        return false;
    }
    auto ver = reinterpret_cast<VersionFn>(reinterpret_cast<void*>(GetProcAddress(m, "GetUnzEngVersion")));
    auto exec = reinterpret_cast<ExecFn>(reinterpret_cast<void*>(GetProcAddress(m, "UnzEngExec")));
    if (!ver || !exec) {
        why = std::string("lacks the entry point ") + (!exec ? "UnzEngExec" : "GetUnzEngVersion");
        FreeLibrary(m);
        return false;
    }
    module_ = m;
    version_fn_ = ver;
    exec_ = exec;
    version_ = ver();
    return true;
}

int UnzEngine::ExtractAll(HWND window, const std::string& archive, bool overwrite, Events& events) {
    if (!exec_) return 0;
    std::vector<char> name(archive.begin(), archive.end());
    name.push_back('\0');
    std::vector<uint8_t> block(version_ > 151 ? sizeof(UnzParams) : kOldBlockSize, 0);
    auto* p = reinterpret_cast<UnzParams*>(block.data());
    p->window = uint32_t(uintptr_t(window));
    p->caller = uint32_t(uintptr_t(&events));
    p->version = kBlockVersion;
    p->callback = uint32_t(uintptr_t(&Callback));
    p->quiet = 1;
    p->directories = 1;
    p->overwrite = overwrite ? 1 : 0;
    p->argc = 0;   // no pattern: every member
    p->zipName = uint32_t(uintptr_t(name.data()));
    if (version_ > 151) {
        p->check = kCheck;
    } else {
        std::memcpy(block.data() + 72, &kCheck, 4);
    }
    return exec_(block.data());
}

}  // namespace kit
