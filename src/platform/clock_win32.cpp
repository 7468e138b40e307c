// The real clock on Windows.
#include <windows.h>

#include "platform/clock.h"

namespace quendal {

namespace {

class Win32Clock final : public Clock {
 public:
  // The tick count never steps with the wall clock and, in 64 bits, never wraps.
  int64_t MonotonicMs() override { return static_cast<int64_t>(GetTickCount64()); }

  TimeOfDay LocalTime() override {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return TimeOfDay{now.wHour, now.wMinute, now.wSecond};
  }

  void SleepMs(uint32_t ms) override { Sleep(ms); }

  bool WaitReady(uint32_t ms, const std::function<bool(uint32_t)>& wait_real) override {
    return wait_real(ms);
  }
};

}  // namespace

Clock& real_clock() {
  static Win32Clock instance;
  return instance;
}

}  // namespace quendal
