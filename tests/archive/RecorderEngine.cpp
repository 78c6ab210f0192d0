// A recording stand-in for ZIPENG.DLL / UNZENG.DLL, for the component's tests: it keeps a copy
// of every block it is given (with the texts its pointers lead to) and answers with callbacks
// from a script that the test sets through RecorderSetScript. Built four times: zip or unzip
// side, and an old or a new engine version (see CMakeLists.txt).
#include <windows.h>

#include <cstring>

#include "RecorderEngine.h"

namespace {

RecordedCall g_last;
ScriptStep g_steps[kMaxSteps];
int g_stepCount = 0;
int g_result = 0;

void CopyText(char* dst, const char* src, size_t cap) {
    if (!src) {
        dst[0] = 0;
        return;
    }
    strncpy(dst, src, cap - 1);
    dst[cap - 1] = 0;
}

const char* PtrAt(const unsigned char* block, int offset) {
    const char* p;
    memcpy(&p, block + offset, 4);
    return p;
}

int Run(const unsigned char* block, int size, bool zipSide) {
    static int calls = 0;
    memset(&g_last, 0, sizeof g_last);
    g_last.calls = ++calls;
    g_last.size = size;
    memcpy(g_last.block, block, size);
    int passwordAt = zipSide ? 20 : 24, nameAt = zipSide ? 124 : 68, argcAt = zipSide ? 120 : 64;
    CopyText(g_last.password, PtrAt(block, passwordAt), sizeof g_last.password);
    CopyText(g_last.zipName, PtrAt(block, nameAt), sizeof g_last.zipName);
    g_last.tempDirNull = 1;
    if (zipSide && size == 216 && PtrAt(block, 128)) {
        g_last.tempDirNull = 0;
        CopyText(g_last.tempDir, PtrAt(block, 128), sizeof g_last.tempDir);
    }
    int argc;
    memcpy(&argc, block + argcAt, 4);
    g_last.argc = argc;
    bool newLayout = size == 216 || size == 148;
    int recordSize = zipSide ? 104 : 72;
    const unsigned char* records = newLayout ? reinterpret_cast<const unsigned char*>(PtrAt(block, zipSide ? 140 : 72)) : nullptr;
    for (int i = 0; i < argc && i < kMaxPatterns; ++i) {
        const char* pattern = newLayout ? PtrAt(records, i * recordSize) : PtrAt(block, (zipSide ? 132 : 76) + 4 * i);
        CopyText(g_last.patterns[i], pattern, sizeof g_last.patterns[i]);
        if (newLayout) {
            // The rest of each record must be zero.
            for (int j = 4; j < recordSize; ++j)
                if (records[i * recordSize + j]) g_last.recordNotZero = 1;
        }
    }
    // The callbacks of the script, each through the component's callback with its caller.
    ZCallbackFn cb;
    void* caller;
    memcpy(&cb, block + 12, 4);
    memcpy(&caller, block + 4, 4);
    g_last.cancelledAt = -1;
    for (int i = 0; i < g_stepCount; ++i) {
        struct {
            HWND handle;
            void* caller;
            int version, isZip, action, error, size;
            char text[512];
        } rec = {};
        rec.caller = caller;
        rec.version = 999;
        rec.isZip = 0x5A5A5A5A;
        rec.action = g_steps[i].action;
        rec.error = g_steps[i].error;
        rec.size = g_steps[i].size;
        CopyText(rec.text, g_steps[i].text, sizeof rec.text);
        if (cb(&rec) & 0xFF) {
            g_last.cancelledAt = i;
            break;
        }
    }
    return g_result;
}

}  // namespace

extern "C" {

__declspec(dllexport) const RecordedCall* __stdcall RecorderLast() { return &g_last; }

__declspec(dllexport) void __stdcall RecorderSetScript(const ScriptStep* steps, int count, int result) {
    g_stepCount = count < kMaxSteps ? count : kMaxSteps;
    memcpy(g_steps, steps, sizeof(ScriptStep) * g_stepCount);
    g_result = result;
}

#if RECORDER_ZIP
#ifndef RECORDER_NO_EXEC
__declspec(dllexport) int __stdcall ZipEngExec(const unsigned char* block) {
    return Run(block, RECORDER_VERSION > 150 ? 216 : 16520, true);
}
#endif
__declspec(dllexport) int __stdcall GetZipEngVersion() { return RECORDER_VERSION; }
#else
__declspec(dllexport) int __stdcall UnzEngExec(const unsigned char* block) {
    return Run(block, RECORDER_VERSION > 151 ? 148 : 16464, false);
}
__declspec(dllexport) int __stdcall GetUnzEngVersion() { return RECORDER_VERSION; }
#endif
}
