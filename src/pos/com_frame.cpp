// Whole frames over the COM port, the same on every platform: Send, ReceiveFrame with its one
// deadline, and the terminal test.
#include <cstring>

#include "codec/codec.h"
#include "common/error.h"
#include "common/wire_trace.h"
#include "platform/clock.h"
#include "pos/com_port.h"
#include "pos/message.h"

namespace quendal {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint32_t kPollPauseMs = 100;
constexpr int32_t kTestTimeoutS = 2;

// Whether both length bytes are decimal digits and the length is one a frame can have: at least a
// whole header, at most the longest body a 512-byte frame holds.
bool length_fits(const uint8_t* length_bytes) {
  for (int i = 0; i < 2; ++i) {
    if ((length_bytes[i] >> 4) > 9 || (length_bytes[i] & 0x0F) > 9) return false;
  }
  int body = bcd_to_int(length_bytes, 4);
  return body >= kHeaderLength && body <= kFrameMax - 5;
}

}  // namespace

bool CComPort::Send(const uint8_t* data, int32_t len) {
  if (len > kFrameMax || len < 0) throw table_error(180);
  if (!Write(data, len)) throw table_error(180);
  wire_trace::TerminalFrame(wire_trace::Direction::kToTerminal, data, static_cast<size_t>(len));
  return true;
}

int32_t CComPort::ReceiveFrame(uint8_t* buffer) {
  Clock& c = clock();
  c.BeginPeerWait();
  const int64_t t0 = c.MonotonicSeconds();
  int64_t now = t0;
  auto elapsed = [&] { return now - t0; };
  // The "pause 100 ms" after an empty poll ends as soon as the line has input, so a frame is
  // taken the moment it lands; the deadline is the same.
  auto pause = [&] {
    c.WaitReady(kPollPauseMs, [this](uint32_t ms) { return WaitReadable(ms); });
    now = c.MonotonicSeconds();
  };
  // Reads bytes [from, to) of the frame as they arrive: all that is queued at once, the clock
  // being read again only after an empty poll. False when the deadline passed first.
  auto read_until = [&](int from, int to) {
    int at = from;
    while (at < to) {
      if (elapsed() >= timeout_s) return false;
      uint32_t n = Read(buffer + at, static_cast<uint32_t>(to - at));
      if (n == 0) {
        pause();
      } else {
        at += static_cast<int>(n);
      }
    }
    return true;
  };

  int have = 0;  // bytes of the frame start (STX and length bytes) already in the buffer
  for (;;) {
    // Hunt for the start byte; anything else is noise and dropped.
    while (have == 0) {
      uint32_t n = Read(buffer, 1);
      if (n == 1 && buffer[0] == kStx) {
        have = 1;
        break;
      }
      if (n == 0) {
        pause();
      } else {
        now = c.MonotonicSeconds();
      }
      if (elapsed() > timeout_s) return 0;
    }
    if (!read_until(have, 3)) return 0;
    if (length_fits(buffer + 1)) break;
    // A length the buffer cannot hold, one too short for a header, or no length at all means this
    // was not a frame start:
    // look for one in the two bytes taken as its length and hunt on, within the same deadline.
    if (buffer[1] == kStx) {
      buffer[1] = buffer[2];
      have = 2;
    } else if (buffer[2] == kStx) {
      buffer[0] = kStx;
      have = 1;
    } else {
      have = 0;
    }
  }

  const int body_length = bcd_to_int(buffer + 1, 4);
  if (!read_until(3, 3 + body_length + 2)) return 0;
  wire_trace::TerminalFrame(wire_trace::Direction::kFromTerminal, buffer,
                            static_cast<size_t>(body_length + 5));
  return body_length + 5;
}

bool TestTerminal(CComPort port) {
  CMessage message;
  int n = message.BuildTest();
  port.Send(message.GetFrame(), n);
  port.SetTimeout(kTestTimeoutS);
  uint8_t answer[kFrameMax];
  int32_t got = port.ReceiveFrame(answer);
  // A time-out leaves no answer to read: the test fails.
  if (got == 0) throw table_error(182);
  message.Load(answer, got);
  message.UnpackHeaderOnly();
  if (std::memcmp(message.header.GetCode(), "YESIAMOK", 8) != 0) throw table_error(182);
  return true;
}

}  // namespace quendal
