// The port's framing, copy rule and terminal test over the in-memory line: the same tests run on
// every platform, no pty needed.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/error.h"
#include "pos/com_port.h"
#include "support/fake_serial_line.h"
#include "support/virtual_clock.h"

namespace quendal {
namespace {

using quendal_test::FakeSerialLine;
using Bytes = FakeSerialLine::Bytes;

// A terminal frame: start byte, BCD body length, the 23-byte header with `code` and `kind`, the
// payload, end byte and the XOR of everything after the start byte.
Bytes frame(const std::string& code, uint8_t kind, const Bytes& payload = {}) {
  std::string header = "001" + code + "00100100";
  Bytes body(header.begin(), header.end());
  body.push_back(kind);
  body.insert(body.end(), {'0', '0', '0'});
  body.insert(body.end(), payload.begin(), payload.end());
  int n = static_cast<int>(body.size());
  Bytes f;
  f.reserve(body.size() + 5);
  f.push_back(0x02);
  f.push_back(static_cast<uint8_t>(((n / 1000) << 4) | (n / 100 % 10)));
  f.push_back(static_cast<uint8_t>(((n / 10 % 10) << 4) | (n % 10)));
  f.insert(f.end(), body.begin(), body.end());
  f.push_back(0x03);
  uint8_t lrc = 0;
  for (size_t i = 1; i < f.size(); ++i) lrc ^= f[i];
  f.push_back(lrc);
  return f;
}

class FakeLinePort : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port_.Open(12, 9600), 1);
    port_.SetTimeout(2);
  }

  VirtualClock clock_;
  ScopedClock scoped_{clock_};
  FakeSerialLine line_;
  CComPort port_{line_};
  uint8_t buffer_[kFrameMax + 8] = {};
};

TEST_F(FakeLinePort, TakesFramesPastNoiseAndTimesOutOnCutOnes) {
  const Bytes answer = frame("YESIAMOK", 0);
  struct Case {
    const char* what;
    Bytes before;
    bool whole;
  } cases[] = {
      {"plain", {}, true},
      {"noise first", {0x00, 0xFF, 0x03}, true},
      {"impossible length first", {0x02, 0x10, 0x00}, true},
      {"cut off in the header", {}, false},
  };
  for (const Case& c : cases) {
    Bytes wire = c.before;
    if (c.whole) {
      wire.insert(wire.end(), answer.begin(), answer.end());
    } else {
      wire.insert(wire.end(), answer.begin(), answer.begin() + 10);
    }
    line_.Feed(wire);
    int64_t before = clock_.NowMs();
    int32_t n = port_.ReceiveFrame(buffer_);
    if (c.whole) {
      ASSERT_EQ(n, static_cast<int32_t>(answer.size())) << c.what;
      EXPECT_EQ(Bytes(buffer_, buffer_ + n), answer) << c.what;
    } else {
      EXPECT_EQ(n, 0) << c.what;
      EXPECT_GE(clock_.NowMs() - before, 2000) << c.what;
    }
    uint8_t rest[64];
    while (port_.Read(rest, sizeof rest) > 0) {
    }
  }
}

// Noise is taken a block at a time, not a byte at a time, and a frame after it still arrives whole;
// a line that fails after its last bytes ends the receive at once with 179.
TEST_F(FakeLinePort, NoiseIsReadInBlocksAndABrokenLineFailsAtOnce) {
  const Bytes answer = frame("YESIAMOK", 0);
  Bytes wire(20000, 0xA5);
  wire.insert(wire.end(), answer.begin(), answer.end());
  line_.Feed(wire);
  int32_t n = port_.ReceiveFrame(buffer_);
  ASSERT_EQ(n, static_cast<int32_t>(answer.size()));
  EXPECT_EQ(Bytes(buffer_, buffer_ + n), answer);
  EXPECT_LE(line_.Reads(), 20000 / 1024 + 3);

  line_.Feed(Bytes(answer.begin(), answer.begin() + 12));
  line_.SetBroken(true);
  int64_t before = clock_.NowMs();
  try {
    port_.ReceiveFrame(buffer_);
    ADD_FAILURE() << "a broken line was waited on";
  } catch (const CError& e) {
    EXPECT_EQ(e.code, 179);
  }
  EXPECT_LT(clock_.NowMs() - before, 2000);
}

// What follows a frame in the same block waits for the next receive, unless it is discarded: then
// nothing read before the discard, on the line or already taken from it, comes back.
TEST_F(FakeLinePort, DiscardDropsWhatWaitsOnTheLineAndWhatWasReadAhead) {
  const Bytes answer = frame("YESIAMOK", 0);
  Bytes two = answer;
  two.insert(two.end(), answer.begin(), answer.end());
  line_.Feed(two);
  ASSERT_EQ(port_.ReceiveFrame(buffer_), static_cast<int32_t>(answer.size()));
  ASSERT_EQ(port_.ReceiveFrame(buffer_), static_cast<int32_t>(answer.size()));

  line_.Feed(two);
  ASSERT_EQ(port_.ReceiveFrame(buffer_), static_cast<int32_t>(answer.size()));
  line_.Feed(answer);
  port_.DiscardInput();
  EXPECT_EQ(line_.Queued(), 0u);
  EXPECT_EQ(port_.ReceiveFrame(buffer_), 0);
}

TEST_F(FakeLinePort, TerminalTestRunsOnACopyThatNeverClosesTheLine) {
  // The library's test frame, byte for byte.
  const Bytes test = {0x02, 0x00, 0x23, 0x30, 0x30, 0x30, 0x41, 0x52, 0x45, 0x59,
                      0x4F, 0x55, 0x4F, 0x4B, 0x30, 0x30, 0x31, 0x30, 0x30, 0x31,
                      0x30, 0x30, 0x00, 0x30, 0x30, 0x30, 0x03, 0x31};
  line_.SetResponder(
      [&test](const Bytes& written) { return written == test ? frame("YESIAMOK", 0) : Bytes{}; });
  EXPECT_TRUE(TestTerminal(port_));
  EXPECT_EQ(line_.Written(), test);
  EXPECT_TRUE(line_.IsOpen());
  EXPECT_EQ(port_.Timeout(), 2);  // the copy's 2 s stayed with the copy

  CComPort copy(port_);
  copy.Close();
  EXPECT_TRUE(line_.IsOpen());
  EXPECT_EQ(port_.IsOpen(), 1);
  port_.Close();
  EXPECT_FALSE(line_.IsOpen());
}

TEST_F(FakeLinePort, SilentOrWrongTerminalFailsItsTest) {
  for (bool answers : {false, true}) {
    line_.SetResponder(
        [answers](const Bytes&) { return answers ? frame("NOTOK000", 0) : Bytes{}; });
    try {
      TestTerminal(port_);
      ADD_FAILURE() << "terminal test passed";
    } catch (const CError& e) {
      EXPECT_EQ(e.code, 182);
    }
  }
}

TEST(FakeLine, MissingPortRefusedWritesAndNumbersOutOfRange) {
  FakeSerialLine line;
  CComPort port(line);
  line.SetMissing(true);
  EXPECT_EQ(port.Open(3, 9600), 0);
  EXPECT_EQ(port.IsOpen(), 0);
  line.SetMissing(false);
  EXPECT_EQ(port.Open(256 + 7, 19200), 0);  // never wraps onto COM 7
  EXPECT_EQ(line.Opens(), 0);
  EXPECT_EQ(port.Open(7, 19200), 1);
  EXPECT_EQ(line.LastNumber(), 7);
  EXPECT_EQ(line.LastSpeed(), 19200u);
  EXPECT_EQ(port.Open(7, 9600), 1);  // an open port is closed and opened again
  EXPECT_EQ(line.Opens(), 2);
  line.SetRefuseWrites(true);
  uint8_t byte = 0x41;
  try {
    port.Send(&byte, 1);
    ADD_FAILURE() << "refused write counted as sent";
  } catch (const CError& e) {
    EXPECT_EQ(e.code, 180);
  }
}

}  // namespace
}  // namespace quendal
