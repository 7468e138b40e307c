// The library against a terminal at its real line rate, on the real clock.
//
// SaleAtLineRate: an approved sale with one relay through card_trans, the simulated terminal
// pacing its bytes at 9600 baud on an absolute schedule. line_ratio is (wall time - 3500 ms of
// fixed pauses) / the terminal's line time (its bytes at 10 bits each); 1.00 would mean the call
// costs nothing beyond the line and the pauses. Goal: at most 1.02.
//
// SilentTerminalWait: one 120 s receive on a terminal that never answers; cpu_percent is the
// process's CPU time over the wall time of the wait, in percent of one core. Goal: under 0.1.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "pos/com_port.h"
#include "pty_port.h"
#include "quendal/card_trans.h"
#include "sim/host_sim.h"
#include "sim/terminal_sim.h"

namespace {

using Steady = std::chrono::steady_clock;

constexpr double kPausesMs = 3500;  // 500 ms before the terminal test, 3000 ms after an approval
constexpr double kByteMs = 10 * 1000.0 / 9600;

double cpu_seconds() {
  struct rusage use {};
  ::getrusage(RUSAGE_SELF, &use);
  return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
         static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

void SaleAtLineRate(benchmark::State& state) {
  quendal_sim::TerminalScenario scenario;
  scenario.relays = 1;
  scenario.pace = true;
  quendal_sim::HostSim bank("bank", quendal_sim::HostRole::kBank);
  quendal_sim::HostSim business("business", quendal_sim::HostRole::kBusiness);
  if (!bank.Start() || !business.Start()) {
    state.SkipWithError("no host port");
    return;
  }
  bank.SetScenario(quendal_sim::answer_of_size(40));
  business.SetScenario(quendal_sim::business_accept());
  const std::string request =
      "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||98|"
      "127.0.0.1|" +
      std::to_string(bank.Port()) + "|30|127.0.0.1|" + std::to_string(business.Port()) + "|30";
  double worst = 0;
  for (auto _ : state) {
    quendal_sim::TerminalSim terminal(scenario);
    if (!terminal.Start()) {
      state.SkipWithError("no pty");
      break;
    }
    ::setenv("QUENDAL_COM98", terminal.SlavePath().c_str(), 1);
    char result[555];
    auto start = Steady::now();
    int rc = card_trans(request.c_str(), result);
    double wall_ms = std::chrono::duration<double, std::milli>(Steady::now() - start).count();
    size_t terminal_bytes = 0;
    for (const auto& frame : terminal.Trace()) {
      if (!frame.from_library) terminal_bytes += frame.bytes.size();
    }
    terminal.Stop();
    if (rc != 0) {
      state.SkipWithError("the sale was not approved");
      break;
    }
    const double line_ms = static_cast<double>(terminal_bytes) * kByteMs;
    const double ratio = (wall_ms - kPausesMs) / line_ms;
    if (ratio > worst) worst = ratio;
    state.SetIterationTime(wall_ms / 1000);
    state.counters["line_ms"] = line_ms;
    state.counters["terminal_bytes"] = static_cast<double>(terminal_bytes);
  }
  ::unsetenv("QUENDAL_COM98");
  state.counters["line_ratio_worst"] = worst;
}

void SilentTerminalWait(benchmark::State& state) {
  quendal::CComPort port;
  const int master = open_pty_port(state, 97, port);
  if (master < 0) return;
  port.SetTimeout(static_cast<int32_t>(state.range(0)));
  uint8_t buffer[quendal::kFrameMax];
  for (auto _ : state) {
    double cpu0 = cpu_seconds();
    auto start = Steady::now();
    int32_t n = port.ReceiveFrame(buffer);
    double wall = std::chrono::duration<double>(Steady::now() - start).count();
    double cpu = cpu_seconds() - cpu0;
    if (n != 0) state.SkipWithError("the silent terminal sent something");
    state.SetIterationTime(wall);
    state.counters["cpu_ms"] = cpu * 1e3;
    state.counters["cpu_percent"] = cpu / wall * 100;
  }
  close_pty_port(master, 97, port);
}

double thread_cpu_seconds() {
  struct rusage use {};
  ::getrusage(RUSAGE_THREAD, &use);
  return static_cast<double>(use.ru_utime.tv_sec + use.ru_stime.tv_sec) +
         static_cast<double>(use.ru_utime.tv_usec + use.ru_stime.tv_usec) * 1e-6;
}

// A terminal that floods the line with noise as fast as the pty takes it, for the whole receive:
// the processor time the receiving thread spends on it, as a share of one core.
void NoiseFloodWait(benchmark::State& state) {
  quendal::CComPort port;
  const int master = open_pty_port(state, 96, port);
  if (master < 0) return;
  port.SetTimeout(static_cast<int32_t>(state.range(0)));
  // The flood must not block once the receive is over and no one reads the line any more.
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  uint8_t buffer[quendal::kFrameMax];
  for (auto _ : state) {
    std::atomic<bool> stop{false};
    std::atomic<long long> flooded{0};
    std::thread flood([&] {
      std::vector<uint8_t> noise(4096);
      for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>(0xA0 + i % 16);
      while (!stop) {
        ssize_t n = ::write(master, noise.data(), noise.size());
        if (n > 0) {
          flooded += n;
        } else {
          struct pollfd p {};
          p.fd = master;
          p.events = POLLOUT;
          ::poll(&p, 1, 5);
        }
      }
    });
    double cpu0 = thread_cpu_seconds();
    auto start = Steady::now();
    int32_t n = port.ReceiveFrame(buffer);
    double wall = std::chrono::duration<double>(Steady::now() - start).count();
    double cpu = thread_cpu_seconds() - cpu0;
    stop = true;
    flood.join();
    if (n != 0) state.SkipWithError("a frame came out of the noise");
    state.SetIterationTime(wall);
    state.counters["cpu_ms"] = cpu * 1e3;
    state.counters["cpu_percent"] = cpu / wall * 100;
    state.counters["noise_bytes"] = static_cast<double>(flooded.load());
  }
  close_pty_port(master, 96, port);
}

}  // namespace

BENCHMARK(NoiseFloodWait)
    ->ArgName("timeout_s")
    ->Arg(3)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
BENCHMARK(SaleAtLineRate)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(SilentTerminalWait)
    ->ArgName("timeout_s")
    ->Arg(120)
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kSecond);
