// Whole frames over the COM port, the same on every platform: Send, ReceiveFrame with its one
// deadline in milliseconds, and the terminal test.
#include <chrono>
#include <cstring>
#include <thread>

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
constexpr uint32_t kNoiseRestMs = 10;
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
  return ReceiveFrameWithin(buffer, static_cast<int64_t>(timeout_s) * 1000);
}

bool CComPort::PauseUntil(int64_t deadline_ms) {
  Clock& c = clock();
  int64_t left = deadline_ms - c.MonotonicMs();
  if (left <= 0) return false;
  // The "pause 100 ms" after an empty poll ends as soon as the line has input, so a frame is taken
  // the moment it lands; it never runs past the deadline.
  uint32_t pause = left < kPollPauseMs ? static_cast<uint32_t>(left) : kPollPauseMs;
  bool broken = false;
  c.WaitReady(pause, [this, &broken](uint32_t ms) {
    if (line == nullptr) return false;
    LineWait got = line->WaitReadable(ms);
    broken = got == LineWait::kBroken;
    return got != LineWait::kQuiet;
  });
  // A line that hung up never brings the frame: say so now, not at the deadline.
  if (broken) throw table_error(179);
  return true;
}

bool CComPort::FillAhead(int64_t deadline_ms, bool& block_was_full) {
  while (ahead_from >= ahead_to) {
    int32_t n = (line == nullptr || is_open == 0) ? 0 : line->Read(ahead, sizeof ahead);
    if (n < 0) throw table_error(179);
    if (n > 0) {
      ahead_from = 0;
      ahead_to = static_cast<uint32_t>(n);
      block_was_full = ahead_to == sizeof ahead;
      return true;
    }
    if (!PauseUntil(deadline_ms)) return false;
  }
  return true;
}

int32_t CComPort::ReceiveFrameWithin(uint8_t* buffer, int64_t ms) {
  Clock& c = clock();
  c.BeginPeerWait();
  const int64_t deadline_ms = c.MonotonicMs() + (ms > 0 ? ms : 0);
  bool block_was_full = false;
  // Reads bytes [from, to) of the frame as they arrive. False when the deadline passed first.
  auto read_until = [&](int from, int to) {
    int at = from;
    while (at < to) {
      if (!FillAhead(deadline_ms, block_was_full)) return false;
      at += static_cast<int>(TakeAhead(buffer + at, static_cast<uint32_t>(to - at)));
    }
    return true;
  };

  int have = 0;  // bytes of the frame start (STX and length bytes) already in the buffer
  for (;;) {
    // Hunt for the start byte; anything else is noise and dropped a block at a time.
    while (have == 0) {
      if (!FillAhead(deadline_ms, block_was_full)) return 0;
      const uint8_t* from = ahead + ahead_from;
      const void* stx = std::memchr(from, kStx, ahead_to - ahead_from);
      if (stx != nullptr) {
        ahead_from += static_cast<uint32_t>(static_cast<const uint8_t*>(stx) - from) + 1;
        buffer[0] = kStx;
        have = 1;
        break;
      }
      ahead_from = ahead_to;
      // A whole block of noise means the line holds more than it can carry at its speed: a
      // flood. Rest before the next block, so the flood costs next to no processor time; a line
      // at its real speed never fills a block between two reads.
      if (block_was_full) {
        c.WaitReady(kNoiseRestMs, [](uint32_t rest_ms) {
          std::this_thread::sleep_for(std::chrono::milliseconds(rest_ms));
          return false;
        });
      }
      if (c.MonotonicMs() >= deadline_ms) return 0;
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
