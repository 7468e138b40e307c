#include "pos/com_port.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "common/error.h"
#include "pty_fixture.h"
#include "sim/terminal_sim.h"
#include "support/virtual_clock.h"

namespace quendal {
namespace {

using Bytes = std::vector<uint8_t>;

const Bytes kTestAnswer = quendal_sim::terminal_frame("YESIAMOK", 0, {});

TEST(ComPort, OpensOnlyTerminalsThatExist) {
  CComPort port;
  EXPECT_EQ(port.Timeout(), 30);
  ::unsetenv("QUENDAL_COM77");
  EXPECT_EQ(port.Open(77, 9600), 0);  // /dev/ttyS76: no such device
  EXPECT_EQ(port.IsOpen(), 0);
  ::setenv("QUENDAL_COM77", "/dev/null", 1);  // exists, but takes no line settings
  EXPECT_EQ(port.Open(77, 9600), 0);
  EXPECT_EQ(port.IsOpen(), 0);
  ::unsetenv("QUENDAL_COM77");

  PtyPair pty(77);
  ASSERT_TRUE(pty.ok());
  EXPECT_EQ(port.Open(77, 9600), 1);
  EXPECT_EQ(port.IsOpen(), 1);
  EXPECT_EQ(port.PortNumber(), 77);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(port.IsOpen(), 0);
  EXPECT_EQ(port.Close(), 1);
}

TEST(ComPort, NumbersOutsideOneTo255OpenNoPort) {
  PtyPair com1(1);
  PtyPair com255(255);
  ASSERT_TRUE(com1.ok() && com255.ok());
  CComPort port;
  for (int number : {257, 256, 0, -255, 513}) {
    EXPECT_EQ(port.Open(number, 9600), 0) << number;  // 257 and 513 wrapped onto COM 1
  }
  EXPECT_EQ(port.Open(255, 9600), 1);
  EXPECT_EQ(port.Open(1, 9600), 1);
  port.Close();
}

// A second opener of a held line, in this process or another and whatever its privileges, fails
// before it flushes or writes anything: the owner's pending input is still there to read.
TEST(ComPort, HeldLineTurnsAwayASecondOpenerAndKeepsTheOwnersInput) {
  PtyPair pty(83);
  ASSERT_TRUE(pty.ok());
  CComPort owner;
  ASSERT_EQ(owner.Open(83, 9600), 1);
  pty.Write(kTestAnswer);
  ASSERT_TRUE(owner.WaitReadable(1000));

  CComPort second;
  EXPECT_EQ(second.Open(83, 9600), 0);
  EXPECT_EQ(second.IsOpen(), 0);
  // A caller that took the device's lock by other means holds it as well.
  owner.Close();
  int fd = ::open(pty.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_EQ(second.Open(83, 9600), 0);
  ::close(fd);
  EXPECT_EQ(second.Open(83, 9600), 1);
  second.Close();
}

TEST(ComPort, OwnersInputSurvivesTheRefusedOpen) {
  PtyPair pty(84);
  ASSERT_TRUE(pty.ok());
  CComPort owner;
  ASSERT_EQ(owner.Open(84, 9600), 1);
  pty.Write(kTestAnswer);
  ASSERT_TRUE(owner.WaitReadable(1000));
  CComPort second;
  ASSERT_EQ(second.Open(84, 9600), 0);
  uint8_t got[64] = {};
  uint32_t n = 0;
  while (n < kTestAnswer.size() && owner.WaitReadable(1000)) {
    n += owner.Read(got + n, sizeof got - n);
  }
  EXPECT_EQ(Bytes(got, got + n), kTestAnswer);
  owner.Close();
}

TEST(ComPort, ReadTakesOnlyWhatIsQueuedAndNeverWaits) {
  PtyPair pty(78);
  ASSERT_TRUE(pty.ok());
  CComPort port;
  ASSERT_EQ(port.Open(78, 9600), 1);
  uint8_t buffer[16] = {};
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);

  pty.Write({1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  ASSERT_TRUE(port.WaitReadable(1000));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // all ten in the queue
  EXPECT_EQ(port.Read(buffer, 4), 4u);
  EXPECT_EQ(Bytes(buffer, buffer + 4), (Bytes{1, 2, 3, 4}));
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 6u);
  EXPECT_EQ(buffer[5], 10);
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  port.Close();
}

TEST(ComPort, OpenWhileOpenReopensAndACopyNeverCloses) {
  PtyPair pty(79);
  ASSERT_TRUE(pty.ok());
  CComPort port;
  ASSERT_EQ(port.Open(79, 9600), 1);
  ASSERT_EQ(port.Open(79, 19200), 1);  // closes first, so the exclusive open succeeds again

  {
    CComPort copy = port;
    copy.SetTimeout(2);
    EXPECT_EQ(copy.Close(), 1);
  }
  EXPECT_EQ(port.Timeout(), 30);
  EXPECT_EQ(port.IsOpen(), 1);
  const uint8_t ping[] = {'p', 'i', 'n', 'g'};
  EXPECT_TRUE(port.Write(ping, 4));  // the line is still open
  EXPECT_EQ(pty.Read(4), Bytes(ping, ping + 4));
  port.Close();
}

TEST(ComPort, CloseRightAfterAWriteLosesNothing) {
  PtyPair pty(80);
  ASSERT_TRUE(pty.ok());
  CComPort port;
  ASSERT_EQ(port.Open(80, 9600), 1);
  Bytes frame = quendal_sim::terminal_frame(std::string("CANCEL\0\0", 8), 0, Bytes(42, 'c'));
  port.Send(frame.data(), static_cast<int32_t>(frame.size()));
  port.Close();
  EXPECT_EQ(pty.Read(frame.size()), frame);
}

TEST(ComPort, SendRefusesLongFramesAndClosedPorts) {
  PtyPair pty(81);
  ASSERT_TRUE(pty.ok());
  CComPort port;
  ASSERT_EQ(port.Open(81, 9600), 1);
  Bytes big(513, 0x11);
  try {
    port.Send(big.data(), 513);
    ADD_FAILURE() << "513 bytes sent";
  } catch (const CError& e) {
    EXPECT_EQ(e.code, 180);
  }
  EXPECT_TRUE(pty.Read(1, 100).empty());  // nothing was written
  EXPECT_TRUE(port.Send(big.data(), 512));
  EXPECT_EQ(pty.Read(512).size(), 512u);
  port.Close();
  try {
    port.Send(big.data(), 28);
    ADD_FAILURE() << "sent on a closed port";
  } catch (const CError& e) {
    EXPECT_EQ(e.code, 180);
  }
}

// ReceiveFrame in virtual time: the deadline costs no wall time, the peer writes in real time.
class ReceiveFrame : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    ASSERT_EQ(port_.Open(82, 9600), 1);
    port_.SetTimeout(2);
    std::memset(buffer_, 0xEE, sizeof buffer_);
  }
  void TearDown() override { port_.Close(); }

  int32_t Receive() { return port_.ReceiveFrame(buffer_); }
  Bytes Got(int32_t n) const { return Bytes(buffer_, buffer_ + n); }
  int64_t ElapsedMs() const { return clock_.NowMs() - start_ms_; }
  bool GuardIntact() const {
    for (size_t i = kFrameMax; i < sizeof buffer_; ++i) {
      if (buffer_[i] != 0xEE) return false;
    }
    return true;
  }

  VirtualClock clock_;
  ScopedClock scoped_{clock_};
  int64_t start_ms_ = clock_.NowMs();
  PtyPair pty_{82};
  CComPort port_;
  uint8_t buffer_[kFrameMax + 32];
};

TEST_F(ReceiveFrame, TakesWholeFramesPastNoiseAndImpossibleLengths) {
  Bytes request = quendal_sim::terminal_frame("B0110001", 0, Bytes(453, 'r'));
  struct Case {
    const char* what;
    Bytes wire;
    Bytes frame;
  } cases[] = {
      {"plain", kTestAnswer, kTestAnswer},
      {"481 bytes", request, request},
      {"noise first", {0x00, 0xFF, 0x03, 0x41}, kTestAnswer},
      {"length 1000 first", {0x02, 0x10, 0x00, 0x33}, kTestAnswer},
      {"nibble above 9, start byte inside", {0x02, 0x0A}, kTestAnswer},
      {"start byte as second length byte", {0x02, 0xA0}, kTestAnswer},
  };
  for (Case& c : cases) {
    if (c.wire != c.frame) c.wire.insert(c.wire.end(), c.frame.begin(), c.frame.end());
    pty_.Write(c.wire);
    int32_t n = Receive();
    ASSERT_EQ(n, static_cast<int32_t>(c.frame.size())) << c.what;
    EXPECT_EQ(Got(n), c.frame) << c.what;
    EXPECT_TRUE(GuardIntact()) << c.what;
  }
}

// The virtual clock starts at a random millisecond, so a deadline counted in whole seconds would
// end early here.
TEST_F(ReceiveFrame, SilentLineTimesOutOnItsDeadlineAndNotBefore) {
  for (int64_t ms : {2000, 1200, 1800}) {
    int64_t before = clock_.NowMs();
    EXPECT_EQ(port_.ReceiveFrameWithin(buffer_, ms), 0);
    EXPECT_GE(clock_.NowMs() - before, ms);
    EXPECT_LE(clock_.NowMs() - before, ms + 100);
  }
  EXPECT_EQ(Receive(), 0);
  EXPECT_GE(ElapsedMs(), 2000 + 2000 + 1200 + 1800);
}

TEST_F(ReceiveFrame, HungUpLineFailsAtOnce) {
  pty_.Write(Bytes(kTestAnswer.begin(), kTestAnswer.begin() + 10));
  pty_.HangUp();
  try {
    Receive();
    ADD_FAILURE() << "a hung-up line was waited on";
  } catch (const CError& e) {
    EXPECT_EQ(e.code, 179);
  }
  EXPECT_LT(ElapsedMs(), 2000);
}

TEST_F(ReceiveFrame, CutOffOrImpossibleFramesTimeOutWithoutOverflow) {
  const Bytes cases[] = {
      {0x02, 0x00, 0x23, '0', '0'},  // cut off in the header
      {0x02, 0x00},                  // cut off in the length
      {0x02, 0x99, 0x99, 0x01},      // a length beyond any buffer, nothing after it
  };
  for (const Bytes& wire : cases) {
    int64_t before = clock_.NowMs();
    pty_.Write(wire);
    EXPECT_EQ(Receive(), 0);
    int64_t waited = clock_.NowMs() - before;
    EXPECT_GE(waited, 2000);
    EXPECT_LE(waited, 3000 + 100);
    EXPECT_TRUE(GuardIntact());
    uint8_t rest[64];
    while (port_.Read(rest, sizeof rest) > 0) {
    }
  }
}

TEST_F(ReceiveFrame, PeerGetsRealTimeBetweenPiecesOfAFrame) {
  // The pauses are long in real time against the 2 s virtual deadline: a virtual clock that ran
  // ahead of the peer would time out here.
  std::thread peer([this] {
    for (size_t at = 0; at < kTestAnswer.size(); at += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      size_t end = std::min(at + 10, kTestAnswer.size());
      pty_.Write(Bytes(kTestAnswer.begin() + static_cast<long>(at),
                       kTestAnswer.begin() + static_cast<long>(end)));
    }
  });
  int32_t n = Receive();
  peer.join();
  ASSERT_EQ(n, 28);
  EXPECT_EQ(Got(n), kTestAnswer);
}

}  // namespace
}  // namespace quendal
