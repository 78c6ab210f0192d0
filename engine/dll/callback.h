// Forwards the engine's progress events to the component's ZCallback, on the calling thread.
#pragma once
#include <windows.h>

#include <cstring>

#include "../core/engine.h"
#include "../core/progress32.h"
#include "../os/win32_text.h"
#include "blocks.h"

namespace zeng {

typedef int32_t(__stdcall* ZCallbackFn)(ZCallBackStruct*);

class BlockProgress : public zc::Progress {
 public:
  BlockProgress(uint32_t window, uint32_t caller, uint32_t callback, bool is_zip, bool notes)
      : fn_(reinterpret_cast<ZCallbackFn>(uintptr_t(callback))), notes_(notes) {
    std::memset(&rec_, 0, sizeof rec_);
    rec_.window = window;
    rec_.caller = caller;
    rec_.version = is_zip ? kZipEngVersion : kUnzEngVersion;
    rec_.is_zip = is_zip ? 1 : 0;
  }
  bool file_count(uint64_t n) override { return send(kActionFileCount, 0, n, ""); }
  // Sizes go through the scaler: as they are up to 2 GiB in all, in larger units past that.
  bool byte_count(uint64_t n) override { return send(kActionByteCount, 0, scale_.total(n), ""); }
  bool file_start(const std::string& name, uint64_t size) override {
    return send(kActionFileStart, 0, scale_.start(size), name);
  }
  bool bytes_done(uint64_t n) override {
    uint32_t step = scale_.done(n);
    return step ? send(kActionBytesDone, 0, step, "") : cancelled_;
  }
  bool batch_done() override { return send(kActionBatchDone, 0, 0, ""); }
  bool message(int code, const std::string& text) override {
    if (code == 0 && !notes_) return cancelled_;
    return send(kActionMessage, code, 0, text);
  }
  bool tick() override {
    // At most every 50 ms: the component processes its window messages on each callback.
    DWORD now = GetTickCount();
    if (now - last_tick_ < 50) return cancelled_;
    last_tick_ = now;
    return send(kActionTick, 0, 0, "");
  }

 private:
  bool send(int32_t action, int32_t code, uint64_t size, const std::string& text) {
    if (!fn_) return false;
    rec_.action = action;
    rec_.error_code = code;
    rec_.size = int32_t(uint32_t(size));
    std::string t = zc::utf8_to_ansi(text);
    size_t n = std::min(t.size(), sizeof rec_.text - 1);
    std::memcpy(rec_.text, t.data(), n);
    rec_.text[n] = '\0';
    int32_t r = fn_(&rec_);
    // A Pascal Boolean result fills only the low byte of the register.
    if ((r & 0xFF) != 0) cancelled_ = true;
    return cancelled_;
  }
  ZCallbackFn fn_;
  zc::SizeScaler scale_;
  bool notes_;
  bool cancelled_ = false;
  DWORD last_tick_ = 0;
  ZCallBackStruct rec_;
};

inline std::string block_string(uint32_t p) {
  return p ? zc::ansi_to_utf8(reinterpret_cast<const char*>(uintptr_t(p))) : std::string();
}

// Password bytes are used as given (as other Windows archivers do).
inline std::string block_bytes(uint32_t p) {
  return p ? std::string(reinterpret_cast<const char*>(uintptr_t(p))) : std::string();
}

// The file specifications: argc records of record_size bytes whose first 4 bytes point to one.
inline std::vector<std::string> block_specs(uint32_t records, int32_t argc, size_t record_size) {
  std::vector<std::string> patterns;
  if (!records || argc <= 0) return patterns;
  const uint8_t* base = reinterpret_cast<const uint8_t*>(uintptr_t(records));
  for (int32_t i = 0; i < argc; ++i) {
    uint32_t p;
    std::memcpy(&p, base + size_t(i) * record_size, 4);
    std::string s = block_string(p);
    if (!s.empty()) patterns.push_back(s);
  }
  return patterns;
}

inline std::vector<std::string> block_argv(const uint32_t* argv, int32_t argc) {
  std::vector<std::string> patterns;
  for (int32_t i = 0; i < argc && i < 4097; ++i) {
    std::string s = block_string(argv[i]);
    if (!s.empty()) patterns.push_back(s);
  }
  return patterns;
}

}  // namespace zeng
