// Frame latency of the Windows serial line: a 481-byte frame written on one end of a linked pair
// of COM ports to ReceiveFrame returning it on the other, with the receive already waiting and the
// frame written at a random moment of its poll cycle. Prints the median and the 90th percentile.
//
//   frame_latency.exe RX-COM TX-COM [COUNT]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "pos/com_port.h"
#include "sim/terminal_frame.h"

namespace {

using Steady = std::chrono::steady_clock;

// A frame as long as the transaction request: 23 header bytes and 453 of payload.
std::vector<uint8_t> request_frame() {
  return quendal_sim::terminal_frame("B0110001", 0, std::vector<uint8_t>(453, 'r'));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: frame_latency RX-COM TX-COM [COUNT]\n");
    return 2;
  }
  const int count = argc > 3 ? std::atoi(argv[3]) : 40;
  quendal::CComPort& rx = quendal::com_port();
  quendal::CComPort tx;
  if (rx.Open(std::atoi(argv[1]), 9600) != 1 || tx.Open(std::atoi(argv[2]), 9600) != 1) {
    std::fprintf(stderr, "cannot open the ports\n");
    return 2;
  }
  rx.SetTimeout(5);
  const std::vector<uint8_t> frame = request_frame();
  std::mt19937 random(42);
  std::uniform_int_distribution<int> delay_ms(0, 100);
  std::vector<double> latencies;
  for (int i = 0; i < count; ++i) {
    Steady::time_point written{};
    int delay = delay_ms(random);
    std::thread writer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(delay));
      written = Steady::now();
      tx.Write(frame.data(), static_cast<int32_t>(frame.size()));
    });
    uint8_t buffer[quendal::kFrameMax];
    int32_t n = rx.ReceiveFrame(buffer);
    Steady::time_point received = Steady::now();
    writer.join();
    if (n != static_cast<int32_t>(frame.size())) {
      std::fprintf(stderr, "frame %d: received %d bytes\n", i, static_cast<int>(n));
      return 1;
    }
    latencies.push_back(std::chrono::duration<double, std::milli>(received - written).count());
  }
  tx.Close();
  rx.Close();
  std::sort(latencies.begin(), latencies.end());
  double median = latencies[latencies.size() / 2];
  double p90 = latencies[(latencies.size() * 9) / 10];
  std::printf("frames=%d median_ms=%.2f p90_ms=%.2f\n", count, median, p90);
  return 0;
}
