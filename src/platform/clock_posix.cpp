// The real clock on POSIX systems.
#include <sys/time.h>
#include <time.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/clock.h"

namespace quendal {

namespace {

class PosixClock final : public Clock {
 public:
  int64_t MonotonicMs() override {
    struct timespec now {};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  }

  TimeOfDay LocalTime() override {
    time_t now = ::time(nullptr);
    struct tm parts {};
    ::localtime_r(&now, &parts);
    return TimeOfDay{parts.tm_hour, parts.tm_min, parts.tm_sec};
  }

  void SleepMs(uint32_t ms) override {
    struct timespec left {};
    left.tv_sec = static_cast<time_t>(ms / 1000);
    left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
  }

  bool WaitReady(uint32_t ms, const std::function<bool(uint32_t)>& wait_real) override {
    return wait_real(ms);
  }
};

}  // namespace

Clock& real_clock() {
  static PosixClock instance;
  return instance;
}

std::string local_date_time() {
  struct timeval tv {};
  ::gettimeofday(&tv, nullptr);
  std::time_t t = tv.tv_sec;
  struct tm local {};
  ::localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  long offset_min = local.tm_gmtoff / 60;
  char sign = offset_min < 0 ? '-' : '+';
  if (offset_min < 0) offset_min = -offset_min;
  char out[96];
  std::snprintf(out, sizeof out, "%s.%03ld%c%02ld:%02ld", stamp,
                static_cast<long>(tv.tv_usec / 1000), sign, offset_min / 60, offset_min % 60);
  return out;
}

}  // namespace quendal
