#include "platform/virtual_clock.h"

#include <algorithm>

namespace quendal {

VirtualClock::VirtualClock(int64_t start_seconds) : now_ms_(start_seconds * 1000) {}

int64_t VirtualClock::NowSeconds() { return now_ms_.load() / 1000; }

TimeOfDay VirtualClock::LocalTime() {
  int64_t day_seconds = NowSeconds() % 86400;
  if (day_seconds < 0) day_seconds += 86400;
  return TimeOfDay{static_cast<int>(day_seconds / 3600), static_cast<int>(day_seconds / 60 % 60),
                   static_cast<int>(day_seconds % 60)};
}

void VirtualClock::SleepMs(uint32_t ms) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(ms);
  }
  now_ms_ += ms;
}

bool VirtualClock::WaitReady(uint32_t ms, const std::function<bool(uint32_t)>& wait_real) {
  // The peer answers in real time: give it a short real wait. Only a wait that found nothing is
  // counted as the full virtual wait, so a silent line still times out on its virtual deadline.
  if (wait_real(std::min(ms, real_grace_ms_.load()))) return true;
  now_ms_ += ms;
  return false;
}

void VirtualClock::Advance(int64_t ms) { now_ms_ += ms; }

std::vector<uint32_t> VirtualClock::Sleeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

}  // namespace quendal
