// The records exchanged with the zip engine (ZIPENG.DLL, UNZENG.DLL). They are wire formats
// of a 32-bit engine: every field sits at a fixed offset, pointers are 4 bytes, flags are 0 or
// 1 in a 32-bit integer. The static_asserts below pin each offset the engine relies on.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#pragma pack(push, 4)

struct ZCallBackStruct;
// The component's callback: one record in, 1 (cancel) or 0 (go on) out. A full 32-bit result,
// so that an engine reading either the low byte or the whole register sees the same answer.
typedef BOOL(__stdcall* ZFunctionPtrType)(ZCallBackStruct* rec);

// Filled by the engine; the component reads only the caller, action, error code, size and text.
struct ZCallBackStruct {
    HWND Handle;          // 0   (not read)
    void* Caller;         // 4   the component that made the call
    int32_t Version;      // 8   (not read)
    int32_t IsZipOperation;  // 12  (not read)
    int32_t ActionCode;   // 16  0 none, 1 file start, 2 bytes done, 3 batch done, 4 message,
                          //     5 file count, 6 byte count
    int32_t ErrorCode;    // 20
    int32_t FileSize;     // 24  size or count
    char FileNameOrMsg[1];  // 28  NUL-terminated, as long as the engine made it
    const char* Text() const { return FileNameOrMsg; }
};

// The part of the add/delete block that both layouts share (bytes 0-127).
struct ZipExecParamsBase {
    HWND Handle;               // 0
    void* Caller;              // 4
    int32_t Version;           // 8   the component's version: 158
    ZFunctionPtrType ZCallbackFunc;  // 12
    int32_t fTraceEnabled;     // 16
    char* pZipPassword;        // 20
    int32_t fUnused24;         // 24
    int32_t fEncrypt;          // 28
    int32_t fSystem;           // 32  hidden and system files
    int32_t fUnused36;         // 36
    int32_t fUnused40;         // 40
    int32_t fNoDirEntries;     // 44
    int32_t fUnused48;         // 48
    int32_t fVerbose;          // 52
    int32_t fQuiet;            // 56
    int32_t fLevel;            // 60
    int32_t fUnused64;         // 64
    int32_t fUnused68;         // 68
    int32_t fJunkDir;          // 72
    uint16_t fRecurse;         // 76
    uint16_t fUnused78;        // 78
    int32_t fGrow;             // 80
    int32_t fForce;            // 84  DOS 8.3 names
    int32_t fMove;             // 88
    int32_t fDeleteEntries;    // 92
    int32_t fUpdate;           // 96
    int32_t fFreshen;          // 100
    int32_t fUnused104;        // 104
    int32_t fLatestTime;       // 108
    int32_t fUnused112;        // 112
    int32_t fUnused116;        // 116
    int32_t Argc;              // 120
    char* pZipFN;              // 124
};

constexpr int kMaxOldArgs = 4097;  // room for file specifications in the old layouts

// Engines up to version 150: the specifications follow as a pointer array.
struct ZipExecParamsOld {
    ZipExecParamsBase Hdr;                // 0-127
    int32_t Seven;                      // 128 check value 7
    char* PFileNames[kMaxOldArgs];      // 132
};

// One file specification of the newer layout.
struct ZipFileData {
    char* FileSpec;       // 0
    uint8_t Unused[100];  // 4-103
};

// Engines above version 150.
struct ZipExecParamsNew {
    ZipExecParamsBase Hdr;                // 0-127
    char* pTempDir;        // 128 null when no temporary directory is set
    int32_t fUnused132;    // 132
    int32_t fUnused136;    // 136
    ZipFileData* FDs;      // 140 argc records
    uint8_t Unused144[68]; // 144-211
    int32_t Seven;         // 212 check value 7
};

// The extract/test block, bytes 0-71.
struct UnzExecParamsBase {
    HWND Handle;               // 0
    void* Caller;              // 4
    int32_t Version;           // 8   the component's version: 152
    ZFunctionPtrType ZCallbackFunc;  // 12
    int32_t fTraceEnabled;     // 16
    uint16_t fCodePage;        // 20  CPOpts ordinal
    uint16_t fUnused22;        // 22
    char* pZipPassword;        // 24
    int32_t fTest;             // 28
    int32_t fUnused32;         // 32
    int32_t fUnused36;         // 36
    int32_t fQuiet;            // 40
    int32_t fVerbose;          // 44
    int32_t fUpdate;           // 48
    int32_t fFreshen;          // 52
    int32_t fDirectories;      // 56
    int32_t fOverwrite;        // 60
    int32_t Argc;              // 64
    char* pZipFN;              // 68
};

// Engines up to version 151.
struct UnzExecParamsOld {
    UnzExecParamsBase Hdr;                // 0-71
    int32_t Seven;                      // 72
    char* PFileNames[kMaxOldArgs];      // 76
};

struct UnzFileData {
    char* FileSpec;      // 0
    uint8_t Unused[68];  // 4-71
};

// Engines above version 151.
struct UnzExecParamsNew {
    UnzExecParamsBase Hdr;                // 0-71
    UnzFileData* FDs;      // 72
    uint8_t Unused76[68];  // 76-143
    int32_t Seven;         // 144
};

#pragma pack(pop)

// Engine versions from which on the short layouts are used.
constexpr int kZipNewLayoutAbove = 150;
constexpr int kUnzNewLayoutAbove = 151;
constexpr int kZipComponentVersion = 158;
constexpr int kUnzComponentVersion = 152;

#if !defined(_WIN64)
static_assert(sizeof(void*) == 4, "the engine records are those of a 32-bit engine");
static_assert(offsetof(ZCallBackStruct, Caller) == 4);
static_assert(offsetof(ZCallBackStruct, ActionCode) == 16);
static_assert(offsetof(ZCallBackStruct, ErrorCode) == 20);
static_assert(offsetof(ZCallBackStruct, FileSize) == 24);
static_assert(offsetof(ZCallBackStruct, FileNameOrMsg) == 28);

static_assert(offsetof(ZipExecParamsBase, Caller) == 4);
static_assert(offsetof(ZipExecParamsBase, Version) == 8);
static_assert(offsetof(ZipExecParamsBase, ZCallbackFunc) == 12);
static_assert(offsetof(ZipExecParamsBase, fTraceEnabled) == 16);
static_assert(offsetof(ZipExecParamsBase, pZipPassword) == 20);
static_assert(offsetof(ZipExecParamsBase, fEncrypt) == 28);
static_assert(offsetof(ZipExecParamsBase, fSystem) == 32);
static_assert(offsetof(ZipExecParamsBase, fNoDirEntries) == 44);
static_assert(offsetof(ZipExecParamsBase, fVerbose) == 52);
static_assert(offsetof(ZipExecParamsBase, fQuiet) == 56);
static_assert(offsetof(ZipExecParamsBase, fLevel) == 60);
static_assert(offsetof(ZipExecParamsBase, fJunkDir) == 72);
static_assert(offsetof(ZipExecParamsBase, fRecurse) == 76);
static_assert(offsetof(ZipExecParamsBase, fGrow) == 80);
static_assert(offsetof(ZipExecParamsBase, fForce) == 84);
static_assert(offsetof(ZipExecParamsBase, fMove) == 88);
static_assert(offsetof(ZipExecParamsBase, fDeleteEntries) == 92);
static_assert(offsetof(ZipExecParamsBase, fUpdate) == 96);
static_assert(offsetof(ZipExecParamsBase, fFreshen) == 100);
static_assert(offsetof(ZipExecParamsBase, fLatestTime) == 108);
static_assert(offsetof(ZipExecParamsBase, Argc) == 120);
static_assert(offsetof(ZipExecParamsBase, pZipFN) == 124);
static_assert(sizeof(ZipExecParamsBase) == 128);
static_assert(offsetof(ZipExecParamsOld, Seven) == 128);
static_assert(offsetof(ZipExecParamsOld, PFileNames) == 132);
static_assert(sizeof(ZipExecParamsOld) == 16520);
static_assert(sizeof(ZipFileData) == 104);
static_assert(offsetof(ZipExecParamsNew, pTempDir) == 128);
static_assert(offsetof(ZipExecParamsNew, FDs) == 140);
static_assert(offsetof(ZipExecParamsNew, Seven) == 212);
static_assert(sizeof(ZipExecParamsNew) == 216);

static_assert(offsetof(UnzExecParamsBase, fCodePage) == 20);
static_assert(offsetof(UnzExecParamsBase, pZipPassword) == 24);
static_assert(offsetof(UnzExecParamsBase, fTest) == 28);
static_assert(offsetof(UnzExecParamsBase, fQuiet) == 40);
static_assert(offsetof(UnzExecParamsBase, fVerbose) == 44);
static_assert(offsetof(UnzExecParamsBase, fUpdate) == 48);
static_assert(offsetof(UnzExecParamsBase, fFreshen) == 52);
static_assert(offsetof(UnzExecParamsBase, fDirectories) == 56);
static_assert(offsetof(UnzExecParamsBase, fOverwrite) == 60);
static_assert(offsetof(UnzExecParamsBase, Argc) == 64);
static_assert(offsetof(UnzExecParamsBase, pZipFN) == 68);
static_assert(sizeof(UnzExecParamsBase) == 72);
static_assert(offsetof(UnzExecParamsOld, Seven) == 72);
static_assert(offsetof(UnzExecParamsOld, PFileNames) == 76);
static_assert(sizeof(UnzExecParamsOld) == 16464);
static_assert(sizeof(UnzFileData) == 72);
static_assert(offsetof(UnzExecParamsNew, FDs) == 72);
static_assert(offsetof(UnzExecParamsNew, Seven) == 144);
static_assert(sizeof(UnzExecParamsNew) == 148);
#endif
