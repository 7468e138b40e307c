// The real clock on Windows.
#include <windows.h>

#include <cstdio>
#include <string>

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

std::string local_date_time() {
  SYSTEMTIME local;
  GetLocalTime(&local);
  TIME_ZONE_INFORMATION zone;
  DWORD which = GetTimeZoneInformation(&zone);
  long bias = zone.Bias;  // minutes to add to local time to get UTC
  if (which == TIME_ZONE_ID_DAYLIGHT) bias += zone.DaylightBias;
  if (which == TIME_ZONE_ID_STANDARD) bias += zone.StandardBias;
  long offset_min = -bias;
  char sign = offset_min < 0 ? '-' : '+';
  if (offset_min < 0) offset_min = -offset_min;
  char out[96];
  std::snprintf(out, sizeof out, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02ld:%02ld", local.wYear,
                local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond,
                local.wMilliseconds, sign, offset_min / 60, offset_min % 60);
  return out;
}

}  // namespace quendal
