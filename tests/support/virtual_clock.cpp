#include "support/virtual_clock.h"

#include <algorithm>
#include <chrono>
#include <random>

namespace quendal {

namespace {

// A millisecond of the first second, different from run to run: a wait that is counted in whole
// seconds, and so ends up to a second early, shows up in a test.
int64_t random_millisecond() {
  std::random_device seed;
  return std::uniform_int_distribution<int64_t>(1, 999)(seed);
}

}  // namespace

VirtualClock::VirtualClock(int64_t start_seconds)
    : now_ms_(start_seconds * 1000 + random_millisecond()) {}

int64_t VirtualClock::MonotonicMs() { return now_ms_.load(); }

TimeOfDay VirtualClock::LocalTime() {
  int64_t day_seconds = MonotonicSeconds() % 86400;
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
  int64_t left = std::max<int64_t>(0, allowance_left_ms_.load());
  uint32_t real_ms = static_cast<uint32_t>(std::min<int64_t>({ms, real_grace_ms_.load(), left}));
  auto start = std::chrono::steady_clock::now();
  bool ready = wait_real(real_ms);
  int64_t spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  if (ready) {
    now_ms_ += std::max<int64_t>(1, spent);
    allowance_left_ms_ = peer_allowance_ms_.load();
    return true;
  }
  // Only a wait that found nothing counts as the full virtual wait, so a silent line still times
  // out on its virtual deadline.
  allowance_left_ms_ -= std::max<int64_t>(spent, real_ms);
  now_ms_ += ms;
  return false;
}

void VirtualClock::BeginPeerWait() { allowance_left_ms_ = peer_allowance_ms_.load(); }

void VirtualClock::SetPeerAllowanceMs(uint32_t ms) {
  peer_allowance_ms_ = ms;
  allowance_left_ms_ = ms;
}

void VirtualClock::Advance(int64_t ms) { now_ms_ += ms; }

std::vector<uint32_t> VirtualClock::Sleeps() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sleeps_;
}

}  // namespace quendal
