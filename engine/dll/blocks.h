// The wire formats shared with the archive component: the parameter blocks the component passes to ZipEngExec and
// UnzEngExec, and the callback record the engine passes back. 32-bit little-endian; pointers are
// 4 bytes and are kept here as uint32_t so that the layout is the same in every build.
#pragma once
#include <cstddef>
#include <cstdint>

namespace zeng {

// Current layouts: the component uses them for engines above version 150 (zip) / 151 (unzip).
constexpr int32_t kZipEngVersion = 200;   // "2.00"
constexpr int32_t kUnzEngVersion = 200;
constexpr int32_t kCheckValue = 7;

#pragma pack(push, 1)

struct ZipExecParams {        // 216 bytes
  uint32_t window;            //   0 window handle of the application
  uint32_t caller;            //   4 the component, copied into every callback record
  int32_t version;            //   8 the component's block version (158)
  uint32_t callback;          //  12 ZCallback, stdcall, one argument: ZCallBackStruct*
  int32_t trace;              //  16
  uint32_t password;          //  20 char*, NUL-terminated
  int32_t zero24;             //  24
  int32_t encrypt;            //  28
  int32_t system_files;       //  32 include hidden and system files
  int32_t zero36, zero40;     //  36, 40
  int32_t no_dir_entries;     //  44
  int32_t zero48;             //  48
  int32_t verbose;            //  52
  int32_t quiet;              //  56
  int32_t level;              //  60
  int32_t zero64, zero68;     //  64, 68
  int32_t junk_dir_names;     //  72
  int16_t recurse;            //  76 16-bit
  int16_t zero78;             //  78
  int32_t grow;               //  80
  int32_t force_dos;          //  84
  int32_t move;               //  88
  int32_t delete_entries;     //  92
  int32_t update;             //  96
  int32_t freshen;            // 100
  int32_t zero104;            // 104
  int32_t latest_time;        // 108
  int32_t zero112, zero116;   // 112, 116
  int32_t argc;               // 120
  uint32_t zip_name;          // 124 char*
  uint32_t temp_dir;          // 128 char* or 0 (the old layout has the check value 7 here)
  int32_t zero132, zero136;   // 132, 136
  uint32_t fspecs;            // 140 pointer to argc records of 104 bytes; bytes 0-3 a char*
  uint8_t zero144[68];        // 144-211
  int32_t check;              // 212 the check value 7
};

// Old layout (engines up to 1.50): the same first 128 bytes, then the check value and argv.
struct ZipExecParamsOld {     // 16,520 bytes
  uint8_t head[128];
  int32_t check;              // 128 the check value 7
  uint32_t argv[4097];        // 132 char* file specifications
};
constexpr size_t kZipSpecRecordSize = 104;

struct UnzExecParams {        // 148 bytes
  uint32_t window;            //   0
  uint32_t caller;            //   4
  int32_t version;            //   8 the component's block version (152)
  uint32_t callback;          //  12
  int32_t trace;              //  16
  int16_t code_page;          //  20 CPOpts: 0 auto, 1 none, 2 OEM
  int16_t zero22;             //  22
  uint32_t password;          //  24 char*
  int32_t test_only;          //  28
  int32_t zero32, zero36;     //  32, 36
  int32_t quiet;              //  40
  int32_t verbose;            //  44
  int32_t update;             //  48
  int32_t freshen;            //  52
  int32_t directories;        //  56
  int32_t overwrite;          //  60
  int32_t argc;               //  64
  uint32_t zip_name;          //  68 char*
  uint32_t fspecs;            //  72 pointer to argc records of 72 bytes (old layout: 7 here)
  uint8_t zero76[68];         //  76-143
  int32_t check;              // 144 the check value 7
};

struct UnzExecParamsOld {     // 16,464 bytes
  uint8_t head[72];
  int32_t check;              //  72 the check value 7
  uint32_t argv[4097];        //  76 char* file specifications
};
constexpr size_t kUnzSpecRecordSize = 72;

// Filled by the engine for each callback. Offsets 4, 16, 20, 24, 28 are what the component reads.
struct ZCallBackStruct {
  uint32_t window;            //   0 the block's window handle
  uint32_t caller;            //   4 the block's caller
  int32_t version;            //   8 engine version
  int32_t is_zip;             //  12 1 from ZIPENG, 0 from UNZENG
  int32_t action;             //  16 action code (below)
  int32_t error_code;         //  20 with action 4
  int32_t size;               //  24 file size, byte count or file count
  char text[512];             //  28 file name or message, NUL-terminated, ANSI
};

#pragma pack(pop)

// Callback actions.
enum Action : int32_t {
  kActionTick = 0,            // nothing to show: lets the component process messages, cancel
  kActionFileStart = 1,
  kActionBytesDone = 2,
  kActionBatchDone = 3,
  kActionMessage = 4,
  kActionFileCount = 5,
  kActionByteCount = 6,
};

static_assert(sizeof(ZipExecParams) == 216, "ZipExecParams is 216 bytes");
static_assert(sizeof(ZipExecParamsOld) == 16520, "old ZipExecParams is 16,520 bytes");
static_assert(sizeof(UnzExecParams) == 148, "UnzExecParams is 148 bytes");
static_assert(sizeof(UnzExecParamsOld) == 16464, "old UnzExecParams is 16,464 bytes");
static_assert(offsetof(ZipExecParams, trace) == 16 && offsetof(ZipExecParams, password) == 20 &&
              offsetof(ZipExecParams, encrypt) == 28 && offsetof(ZipExecParams, system_files) == 32 &&
              offsetof(ZipExecParams, no_dir_entries) == 44 && offsetof(ZipExecParams, verbose) == 52 &&
              offsetof(ZipExecParams, quiet) == 56 && offsetof(ZipExecParams, level) == 60 &&
              offsetof(ZipExecParams, junk_dir_names) == 72 && offsetof(ZipExecParams, recurse) == 76 &&
              offsetof(ZipExecParams, grow) == 80 && offsetof(ZipExecParams, force_dos) == 84 &&
              offsetof(ZipExecParams, move) == 88 && offsetof(ZipExecParams, delete_entries) == 92 &&
              offsetof(ZipExecParams, update) == 96 && offsetof(ZipExecParams, freshen) == 100 &&
              offsetof(ZipExecParams, latest_time) == 108 && offsetof(ZipExecParams, argc) == 120 &&
              offsetof(ZipExecParams, zip_name) == 124 && offsetof(ZipExecParams, temp_dir) == 128 &&
              offsetof(ZipExecParams, fspecs) == 140 && offsetof(ZipExecParams, check) == 212,
              "ZipExecParams offsets");
static_assert(offsetof(UnzExecParams, code_page) == 20 && offsetof(UnzExecParams, password) == 24 &&
              offsetof(UnzExecParams, test_only) == 28 && offsetof(UnzExecParams, quiet) == 40 &&
              offsetof(UnzExecParams, verbose) == 44 && offsetof(UnzExecParams, update) == 48 &&
              offsetof(UnzExecParams, freshen) == 52 && offsetof(UnzExecParams, directories) == 56 &&
              offsetof(UnzExecParams, overwrite) == 60 && offsetof(UnzExecParams, argc) == 64 &&
              offsetof(UnzExecParams, zip_name) == 68 && offsetof(UnzExecParams, fspecs) == 72 &&
              offsetof(UnzExecParams, check) == 144,
              "UnzExecParams offsets");
static_assert(offsetof(ZCallBackStruct, caller) == 4 && offsetof(ZCallBackStruct, action) == 16 &&
              offsetof(ZCallBackStruct, error_code) == 20 && offsetof(ZCallBackStruct, size) == 24 &&
              offsetof(ZCallBackStruct, text) == 28,
              "ZCallBackStruct offsets");

}  // namespace zeng
