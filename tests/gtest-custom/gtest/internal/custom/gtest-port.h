// Put before GoogleTest's own headers for the Windows build. The win32 thread model of the
// toolchain (our programs use it so that they start on Windows XP) has no std::mutex, and
// GoogleTest needs one only for the Notification of its own thread tests: given here instead.
#pragma once
#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1
extern "C" __declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);

namespace testing::internal {
class Notification {
 public:
  void Notify() { notified_ = true; }
  void WaitForNotification() {
    while (!notified_) Sleep(1);
  }

 private:
  std::atomic<bool> notified_{false};
};
}  // namespace testing::internal
