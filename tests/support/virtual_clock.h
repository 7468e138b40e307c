// A clock whose time moves only when the library waits, for tests and simulations: a 5000 ms pause
// or a 120 s receive deadline passes at once. Waits for an outside peer still give that peer real
// time to answer, so a real simulator on a pty or a socket is not cut off.
//
// How a wait for a peer is counted: while the peer's allowance of real time lasts, each WaitReady
// really waits (at most the per-wait grace), so virtual time keeps pace with a peer that answers
// or pauses in real time. Once the allowance is spent a wait only looks at the line and virtual
// time jumps, so a silent line reaches a 120 s deadline at once. A wait that found nothing counts
// as its full virtual time; a wait that found the peer ready counts the real time it took (at
// least 1 ms, so that a line that keeps claiming to be ready cannot stop virtual time) and renews
// the allowance, as BeginPeerWait (the start of each receive) does. So a peer has the whole
// allowance to start answering and again after every burst of bytes, while a silent receive costs
// at most the allowance in real time, however long its virtual deadline.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace quendal {

class VirtualClock final : public Clock {
 public:
  // Starts at a random millisecond of the second `start_seconds` since 1970; the local time of day
  // is taken from it as UTC.
  explicit VirtualClock(int64_t start_seconds = 1765324800 /* 2025-12-10 00:00:00 */);

  int64_t MonotonicMs() override;
  TimeOfDay LocalTime() override;
  void SleepMs(uint32_t ms) override;
  bool WaitReady(uint32_t ms, const std::function<bool(uint32_t)>& wait_real) override;
  void BeginPeerWait() override;

  // Moves virtual time forward without a sleep being recorded.
  void Advance(int64_t ms);
  int64_t NowMs() const { return now_ms_.load(); }
  // The pauses asked for with SleepMs, in order.
  std::vector<uint32_t> Sleeps() const;
  // Longest real wait given to a peer per WaitReady call.
  void SetRealGraceMs(uint32_t ms) { real_grace_ms_ = ms; }
  // Real time a peer gets in all, across the fruitless waits of one receive, to start answering
  // (and again after each burst of bytes).
  void SetPeerAllowanceMs(uint32_t ms);

 private:
  std::atomic<int64_t> now_ms_;
  std::atomic<uint32_t> real_grace_ms_{100};
  std::atomic<uint32_t> peer_allowance_ms_{500};
  std::atomic<int64_t> allowance_left_ms_{500};
  mutable std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
};

// Installs a clock for the life of a scope and restores the previous one.
class ScopedClock {
 public:
  explicit ScopedClock(Clock& c) : previous_(&clock()) { set_clock(&c); }
  ~ScopedClock() { set_clock(previous_ == &real_clock() ? nullptr : previous_); }
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  Clock* previous_;
};

}  // namespace quendal
