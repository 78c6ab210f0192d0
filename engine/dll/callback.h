// The engine's side of a call from the component: the parameter block read in whichever layout
// the component filled, and the engine's progress events forwarded to its ZCallback, on the
// calling thread.
#pragma once
#include <windows.h>

#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "../core/engine.h"
#include "Errors.h"
#include "../core/progress32.h"
#include "../os/win32_text.h"
#include "EngineBlocks.h"

namespace zc {

class BlockProgress : public zc::Progress {
public:
    template <class Head>
    BlockProgress(const Head& h, bool isZip)
        : fn_(h.callback.get()), notes_(h.trace != 0 || (h.verbose != 0 && h.quiet == 0)) {
        std::memset(&rec_, 0, sizeof rec_);
        rec_.window = h.window;
        rec_.caller = h.caller;
        rec_.version = isZip ? kZipEngVersion : kUnzEngVersion;
        rec_.isZip = isZip ? 1 : 0;
    }
    bool FileCount(uint64_t n) override { return Send(kActionFileCount, 0, n, ""); }
    // Sizes go through the scaler: as they are up to 2 GiB in all, in larger units past that.
    bool ByteCount(uint64_t n) override { return Send(kActionByteCount, 0, scale_.total(n), ""); }
    bool FileStart(const std::string& name, uint64_t size) override {
        return Send(kActionFileStart, 0, scale_.start(size), name);
    }
    bool BytesDone(uint64_t n) override {
        uint32_t step = scale_.done(n);
        return step ? Send(kActionBytesDone, 0, step, "") : cancelled_;
    }
    bool BatchDone() override { return Send(kActionBatchDone, 0, 0, ""); }
    bool message(int code, const std::string& text) override {
        if (code == 0 && !notes_) return cancelled_;
        return Send(kActionMessage, code, 0, text);
    }
    bool tick() override {
        // At most every 50 ms: the component processes its window messages on each callback.
        DWORD now = GetTickCount();
        if (now - lastTick_ < 50) return cancelled_;
        lastTick_ = now;
        return Send(kActionTick, 0, 0, "");
    }

private:
    bool Send(int32_t action, int32_t code, uint64_t size, const std::string& text) {
        if (!fn_) return false;
        rec_.action = action;
        rec_.errorCode = code;
        rec_.size = int32_t(uint32_t(size));
        std::string t = zc::Utf8ToAnsi(text);
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
    DWORD lastTick_ = 0;
    ZCallBackStruct rec_;
};

inline std::string BlockString(const Ptr32<char*>& p) { return p ? zc::AnsiToUtf8(p.get()) : std::string(); }

// Password bytes are used as given (as other Windows archivers do).
inline std::string BlockBytes(const Ptr32<char*>& p) { return p ? std::string(p.get()) : std::string(); }

// One call of ZipEngExec or UnzEngExec. The old layout has the check value right after the head,
// where the current one has a pointer; the current one has it at its end. The file
// patterns of either go to body with the block and whether it is the old layout (whose
// tail body must not read). Nothing escapes into the component's frames: failures become messages.
template <class OldParams, class Params, class Body>
int32_t RunBlock(Params* p, bool isZip, Body body) {
    if (!p) return 0;
    const std::string engine = isZip ? "ZIPENG" : "UNZENG";
    BlockProgress progress(p->head, isZip);
    try {
        const auto* oldBlock = reinterpret_cast<const OldParams*>(p);
        const bool old = oldBlock->check == kCheckValue;
        std::vector<std::string> patterns;
        auto add = [&patterns](const Ptr32<char*>& pattern) {
            std::string s = BlockString(pattern);
            if (!s.empty()) patterns.push_back(s);
        };
        if (old) {
            for (int32_t i = 0; i < p->head.argc && i < kMaxOldPatterns; ++i) add(oldBlock->patterns[i]);
        } else if (p->check != kCheckValue) {
            progress.message(zip::kParams, engine + ": the parameter block is not recognised (check value missing)");
            return 0;
        } else if (p->patterns) {
            for (int32_t i = 0; i < p->head.argc; ++i) add(p->patterns.get()[i].pattern);
        }
        return body(*p, patterns, old, progress);
    } catch (const std::exception& e) {
        progress.message(zip::kLogic, engine + " internal error: " + e.what());
    } catch (...) {
        progress.message(zip::kLogic, engine + " internal error");
    }
    return 0;
}

}  // namespace zc
