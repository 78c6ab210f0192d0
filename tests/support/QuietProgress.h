// An operation's progress that nobody watches: every event is taken and nothing is cancelled.
// Portable, for the native tests and fuzzers as well as the tests under Wine.
#pragma once
#include <cstdint>
#include <string>

#include "engine.h"

namespace testing_support {

class QuietProgress : public zc::Progress {
public:
    bool FileCount(uint64_t) override { return false; }
    bool ByteCount(uint64_t) override { return false; }
    bool FileStart(const std::string&, uint64_t) override { return false; }
    bool BytesDone(uint64_t) override { return false; }
    bool BatchDone() override { return false; }
    bool message(int, const std::string&) override { return false; }
    bool tick() override { return false; }
};

}  // namespace testing_support
