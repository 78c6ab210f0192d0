// What the recording engine keeps of the last call, shared by the engine and the tests.
#pragma once

constexpr int kMaxSteps = 64;
constexpr int kMaxPatterns = 8;

struct ScriptStep {
    int action;
    int error;
    int size;
    const char* text;
};

struct RecordedCall {
    int calls;
    int size;
    unsigned char block[16520];
    char password[128];
    char zipName[300];
    char tempDir[300];
    int tempDirNull;
    int argc;
    char patterns[kMaxPatterns][300];
    int recordNotZero;
    int cancelledAt;  // index of the step whose callback asked to cancel, -1 for none
};

typedef int(__stdcall* ZCallbackFn)(void* rec);
typedef const RecordedCall*(__stdcall* RecorderLastFn)();
typedef void(__stdcall* RecorderSetScriptFn)(const ScriptStep* steps, int count, int result);
