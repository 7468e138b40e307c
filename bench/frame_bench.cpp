// Latency from a 481-byte frame written on the terminal's side of a pty to ReceiveFrame returning
// it, with the receive already waiting and the frame landing at a random moment of its poll cycle.
//
// FrameLatency/wait_for_line is the library as built: an empty poll waits for the line to become
// readable. FrameLatency/fixed_pause replaces that wait with a plain 100 ms sleep, as a poll loop
// that sleeps between empty polls would, for comparison.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "pos/com_port.h"
#include "pty_port.h"

namespace {

using Steady = std::chrono::steady_clock;

// The real clock, except that a wait for the line is a fixed sleep that never looks at it.
class FixedPauseClock final : public quendal::Clock {
 public:
  int64_t MonotonicMs() override { return quendal::real_clock().MonotonicMs(); }
  quendal::TimeOfDay LocalTime() override { return quendal::real_clock().LocalTime(); }
  void SleepMs(uint32_t ms) override { quendal::real_clock().SleepMs(ms); }
  bool WaitReady(uint32_t ms, const std::function<bool(uint32_t)>&) override {
    SleepMs(ms);
    return false;
  }
};

std::vector<uint8_t> request_frame() {
  std::vector<uint8_t> f(481, 'r');
  f[0] = 0x02;
  f[1] = 0x04;
  f[2] = 0x76;
  f[479] = 0x03;
  uint8_t lrc = 0;
  for (size_t i = 1; i < 480; ++i) lrc ^= f[i];
  f[480] = lrc;
  return f;
}

void FrameLatency(benchmark::State& state) {
  const bool fixed_pause = state.range(0) == 1;
  quendal::CComPort port;
  const int master = open_pty_port(state, 99, port);
  if (master < 0) return;
  port.SetTimeout(10);
  FixedPauseClock fixed_clock;
  if (fixed_pause) quendal::set_clock(&fixed_clock);

  const std::vector<uint8_t> frame = request_frame();
  std::mt19937 random(42);
  std::uniform_int_distribution<int> phase_us(0, 100000);
  std::vector<double> latencies;
  uint8_t buffer[quendal::kFrameMax];

  for (auto _ : state) {
    std::atomic<int64_t> written_ns{0};
    int delay_us = phase_us(random);
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(delay_us));
      written_ns = Steady::now().time_since_epoch().count();
      (void)::write(master, frame.data(), frame.size());
    });
    int32_t n = port.ReceiveFrame(buffer);
    auto returned_ns = Steady::now().time_since_epoch().count();
    writer.join();
    if (n != 481) {
      state.SkipWithError("frame not received");
      break;
    }
    double seconds = static_cast<double>(returned_ns - written_ns.load()) * 1e-9;
    latencies.push_back(seconds);
    state.SetIterationTime(seconds);
  }

  quendal::set_clock(nullptr);
  close_pty_port(master, 99, port);
  if (!latencies.empty()) {
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_ms"] = latencies[latencies.size() / 2] * 1e3;
    state.counters["p90_ms"] = latencies[latencies.size() * 9 / 10] * 1e3;
    state.counters["max_ms"] = latencies.back() * 1e3;
  }
}

}  // namespace

BENCHMARK(FrameLatency)
    ->ArgName("fixed_pause")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(60)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
