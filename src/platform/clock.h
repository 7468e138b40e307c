// The one seam through which the library reads the clock and waits. The exported entry point runs
// on the real clock; tests install a virtual clock so that the long pauses and receive deadlines of
// a transaction cost no wall time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quendal {

struct TimeOfDay {
  int hour;
  int minute;
  int second;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds of a clock that only moves forward, from an arbitrary start: receive deadlines
  // are counted on it, so a step of the wall clock neither stretches nor cuts a wait.
  virtual int64_t MonotonicMs() = 0;
  // The same clock in whole seconds, the unit of the receive deadlines.
  int64_t MonotonicSeconds() { return MonotonicMs() / 1000; }
  // Local time of day.
  virtual TimeOfDay LocalTime() = 0;
  // Blocks the calling thread for `ms` milliseconds.
  virtual void SleepMs(uint32_t ms) = 0;
  // Waits at most `ms` milliseconds for something outside the process (a serial line, a socket) to
  // become ready. `wait_real` performs the real blocking wait for at most the milliseconds it is
  // given and returns true as soon as the resource is ready. The real clock hands it `ms` as is; a
  // virtual clock gives the peer real time to answer but counts the wait in virtual time.
  virtual bool WaitReady(uint32_t ms, const std::function<bool(uint32_t real_ms)>& wait_real) = 0;
  // Marks the start of a wait for a peer's answer (one receive deadline). The real clock has
  // nothing to do; a virtual clock grants the peer a fresh allowance of real time from here, so a
  // peer that answers in real time is never cut off by virtual time running ahead of it.
  virtual void BeginPeerWait() {}
};

// The wall clock's local date and time with its offset from UTC, to the millisecond
// ("2026-12-11T10:04:05.123+08:00"), for the records support reads. One implementation per
// platform.
std::string local_date_time();

// The clock every part of the library uses.
Clock& clock();

// The platform's real clock.
Clock& real_clock();

// Installs `c` as the library's clock (nullptr restores the real clock). Used by tests and tools;
// calls must not overlap with a running transaction.
void set_clock(Clock* c);

}  // namespace quendal
