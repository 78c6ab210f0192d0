#include "UnzEngine.h"

#include <vector>

#include "EngineBlocks.h"

namespace kit {

namespace {

int32_t __stdcall Callback(zc::ZCallBackStruct* r) {
    auto* ev = static_cast<UnzEngine::Events*>(r->caller.get());
    if (!ev) return 0;
    bool stop = false;
    switch (r->action) {
        case zc::kActionFileStart: stop = ev->FileStart(r->text, uint32_t(r->size)); break;
        case zc::kActionBytesDone: stop = ev->BytesDone(uint32_t(r->size)); break;
        case zc::kActionMessage: stop = ev->Message(r->errorCode, r->text); break;
        case zc::kActionFileCount: stop = ev->FileCount(r->size); break;
        case zc::kActionByteCount: stop = ev->ByteCount(uint32_t(r->size)); break;
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
    // Zero-filled, no file pattern: every member.
    zc::UnzBlock block(version_ > zc::kUnzNewLayoutAbove, window, &events, &Callback);
    zc::UnzExecHead& h = block.Head();
    h.quiet = 1;
    h.directories = 1;
    h.overwrite = overwrite ? 1 : 0;
    h.zipName = name.data();
    return exec_(block.Data());
}

}  // namespace kit
