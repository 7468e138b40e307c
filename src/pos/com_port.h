// The serial line to the bank POS terminal, and the framed exchange on top of it. There is one
// port in the library (com_port()); its settings and open state outlive a transaction, so the
// receive time-out last set carries over into the next call. The line always runs 8 data bits,
// no parity, one stop bit, no flow control, DTR and RTS on.
//
// The port is the same on every platform (com_port.cpp, com_frame.cpp): settings, time-out, open
// state, framing and the terminal test. The native state and calls sit in its serial line
// (serial_line.h), one implementation per platform; tests may run the port over a line of their
// own.
#pragma once

#include <cstdint>
#include <memory>

#include "pos/serial_line.h"

namespace quendal {

constexpr int kFrameMax = 512;  // longest frame on the line, and the size of every receive buffer

class CComPort {
 public:
  // A port over the platform's own serial line, which it owns.
  CComPort();
  // A port over `line`, which the caller owns and keeps alive as long as the port.
  explicit CComPort(SerialLine& line);
  // A copy shares the open line with the object it was taken from and never closes it; the
  // terminal test works on a copy to have its own time-out.
  CComPort(const CComPort& other);
  CComPort& operator=(const CComPort& other);
  // Nothing is torn down: the library's port is closed by each transaction on its way out.
  ~CComPort() = default;

  // Runs the port over `line` from now on (nullptr: its own platform line again). The port is
  // closed first. Lets the exchange run over an in-memory line in tests.
  void UseLine(SerialLine* line);

  // Opens COM `port_number` exclusively at `baud`, configures the line and discards anything
  // pending. An open port is closed first. Returns 1 when the port is open and configured, 0
  // otherwise (the port is then closed): a number outside 1 to 255 names no port, and a line that
  // another caller holds is not touched.
  // POSIX: the device is the one named by the environment variable QUENDAL_COM<n>, else
  // /dev/ttyS<n-1>.
  int Open(int port_number, uint32_t baud);
  // Drops DTR, discards unread input and closes. Output already written is never discarded: the
  // terminal still gets the last frame (the cancel notice of a failed transaction). Returns 1.
  int Close();
  // Forgets the open line without touching it (see SerialLine::Abandon): in a forked child whose
  // parent's call still runs on the line.
  void Abandon();
  int IsOpen() const { return is_open; }
  void SetTimeout(int32_t seconds) { timeout_s = seconds; }
  int32_t Timeout() const { return timeout_s; }
  uint8_t PortNumber() const { return port_number; }

  // Places at most `max_len` bytes that have already arrived in `buffer` and returns their count;
  // never waits. 0 when nothing had arrived, the port is closed or the read failed.
  uint32_t Read(uint8_t* buffer, uint32_t max_len);
  // Throws away everything that has arrived and not been taken, so that what is read next was
  // sent after this point (a stale answer or a late test reply is never taken for a new answer).
  void DiscardInput();
  // Writes the whole block and waits until the line has taken it. False when the port refused it
  // or could not take it all within the write time-out (2 ms a byte at the stored speed).
  bool Write(const uint8_t* buffer, int32_t len);
  // Waits at most `ms` milliseconds for input to arrive; true as soon as some is queued.
  bool WaitReadable(uint32_t ms);
  // Sets speed, 8N1, no flow control and raw mode on the open line; the platform's success flag
  // (0 when the port is not open).
  int ApplyLineSettings(uint32_t speed);

  // Frames: start byte 0x02, the body length as four BCD digits, body, 0x03, XOR check byte.
  // Writes one frame of at most 512 bytes; throws CError 180 when it is longer or refused.
  bool Send(const uint8_t* data, int32_t len);
  // Collects one frame into the 512-byte `buffer` against one deadline of `timeout_s` seconds.
  // Returns the frame's length, or 0 when no complete frame arrived in time. Throws CError 179 at
  // once when the line hung up or failed.
  int32_t ReceiveFrame(uint8_t* buffer);
  // The same against a deadline `ms` milliseconds from now on the monotonic clock: the receive
  // never ends before it unless a frame came, and ends at most one poll pause after it.
  int32_t ReceiveFrameWithin(uint8_t* buffer, int64_t ms);

 private:
  // Makes sure bytes are waiting in the read-ahead block, reading the line in blocks; false when
  // none came before `deadline_ms`. Throws CError 179 when the line failed.
  bool FillAhead(int64_t deadline_ms, bool& block_was_full);
  // Waits one poll pause for input, never past `deadline_ms`; false once it has passed.
  bool PauseUntil(int64_t deadline_ms);
  // Copies at most `max_len` read-ahead bytes to `out`; returns their count.
  uint32_t TakeAhead(uint8_t* out, uint32_t max_len);

  int32_t timeout_s = 30;
  uint8_t port_number = 0;
  // 8 data bits, no parity, one stop bit, carriage return as event character, no flow control;
  // its stored speed of 9600 gives the write time-out, the line speed is Open's.
  LineSettings settings;
  int32_t is_open = 0;
  std::shared_ptr<SerialLine> own_line;  // the platform line of a port that owns one
  SerialLine* line = nullptr;            // the line in use; a copy shares it and never closes it
  bool owns_line = true;                 // false in a copy
  // Bytes read from the line and not yet taken: the line is read a block at a time, and what
  // follows a frame waits here for the next receive.
  uint8_t ahead[1024] = {};
  uint32_t ahead_from = 0;
  uint32_t ahead_to = 0;
};

// The library's one port, constructed with its defaults when the library is loaded.
CComPort& com_port();

// Sends the terminal test ("AREYOUOK") on `port`, a copy of the open port, and waits 2 s for the
// answer "YESIAMOK". Throws CError 182 when it does not come, 180 when the send fails.
bool TestTerminal(CComPort port);

}  // namespace quendal
