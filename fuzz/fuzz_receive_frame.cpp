// Arbitrary bytes from the terminal on a real pty line into ReceiveFrame, against a virtual clock
// so that a deadline costs no wall time. Whatever arrives, the receive stays inside its 512-byte
// buffer, returns either 0 or a whole frame whose length bytes say its length, and keeps its
// deadline: at most the time-out plus the clock's one-second granularity and one pause.
//
// The pty's delivery is asynchronous, so a run may see fewer bytes in time than were written; that
// only makes a run a shorter one, never a wrong one.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "pos/com_port.h"
#include "support/virtual_clock.h"

namespace {

constexpr int kCom = 9;

struct Line {
  Line() {
    struct termios raw {};
    cfmakeraw(&raw);
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0) std::abort();
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::setenv("QUENDAL_COM9", name, 1);
    clock.SetRealGraceMs(1);
    clock.SetPeerAllowanceMs(3);
    quendal::set_clock(&clock);
  }
  int master = -1;
  quendal::VirtualClock clock;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Line line;
  FuzzedDataProvider in(data, size);
  const int32_t timeout_s = in.ConsumeIntegralInRange<int32_t>(-1, 130);
  std::vector<uint8_t> bytes = in.ConsumeRemainingBytes<uint8_t>();
  if (bytes.size() > 2048) bytes.resize(2048);

  quendal::CComPort port;
  if (port.Open(kCom, 9600) != 1) std::abort();
  size_t written = 0;
  while (written < bytes.size()) {
    ssize_t n = ::write(line.master, bytes.data() + written, bytes.size() - written);
    if (n <= 0) break;  // the line is full: the rest never arrives
    written += static_cast<size_t>(n);
  }
  port.SetTimeout(timeout_s);

  auto buffer = std::make_unique<uint8_t[]>(quendal::kFrameMax);  // on the heap: overruns show
  const int64_t start_ms = line.clock.NowMs();
  int32_t got = port.ReceiveFrame(buffer.get());
  const int64_t spent_ms = line.clock.NowMs() - start_ms;

  if (spent_ms > (static_cast<int64_t>(timeout_s < 0 ? 0 : timeout_s) + 1) * 1000 + 200) {
    std::abort();
  }
  if (got != 0) {
    if (got < 5 || got > quendal::kFrameMax || buffer[0] != 0x02) std::abort();
    int body = ((buffer[1] >> 4) * 1000) + ((buffer[1] & 0x0F) * 100) + ((buffer[2] >> 4) * 10) +
               (buffer[2] & 0x0F);
    if (body + 5 != got) std::abort();
  }
  port.Close();
  // What the receive left unread is thrown away by the next Open.
  uint8_t echo[4096];
  while (::read(line.master, echo, sizeof echo) > 0) {
  }
  return 0;
}
