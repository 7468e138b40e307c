// The serial line under the COM port: the native state (a descriptor on POSIX systems; the handle
// and the overlapped events on Windows) and the few operations the port builds on. The port's
// settings, its time-out, framing and the terminal test are the same everywhere and live above
// this line (com_port.h).
#pragma once

#include <cstdint>
#include <memory>

namespace quendal {

// How the line is run. The port fixes these at construction: 8 data bits, no parity, one stop
// bit, no flow control.
struct LineSettings {
  uint8_t byte_size = 8;
  uint8_t stop_bits = 0;  // the platform's code: 0 = one stop bit
  uint8_t parity = 0;     // 0 = none
  uint8_t event_char = 13;
  uint32_t flow_control = 0;  // bit 0 DSR/DTR, bit 1 CTS/RTS, bit 2 XON/XOFF
  uint32_t baud = 9600;       // the stored speed the write time-out is derived from
};

// What a wait on the line found.
enum class LineWait {
  kReady,   // input is queued
  kQuiet,   // nothing arrived in the time given
  kBroken,  // the line hung up or failed: no input will ever come
};

class SerialLine {
 public:
  virtual ~SerialLine() = default;

  // Opens COM `number` (1 to 255) exclusively, discards anything pending, applies `settings` at
  // `speed` and raises DTR. False when any step failed; the line is then closed with nothing left
  // behind. A line held by another opener, in this process or another, fails the open before
  // anything is discarded or written, so its owner's traffic is untouched.
  virtual bool Open(uint8_t number, uint32_t speed, const LineSettings& settings) = 0;
  virtual bool IsOpen() const = 0;
  // Sets the open line to `speed` with the settings given at Open; the platform's success flag.
  virtual int ApplyLineSettings(uint32_t speed) = 0;
  // Drops DTR, discards unread input and closes. Output already written is never discarded: the
  // terminal still gets the last frame (the cancel notice of a failed transaction).
  virtual void Close() = 0;
  // Lets go of the line without touching it: no DTR change, no flush, the lock left to whoever
  // shares it. For a child process that inherited the line from the parent that still uses it.
  virtual void Abandon() = 0;
  // At most `max_len` bytes that have already arrived; never waits. 0 when none had, -1 when the
  // line failed (an I/O error, a device that is gone).
  virtual int32_t Read(uint8_t* buffer, uint32_t max_len) = 0;
  // Writes the whole block and waits until the line has taken it; false when it was refused or not
  // all of it went out within the write time-out.
  virtual bool Write(const uint8_t* buffer, int32_t len) = 0;
  // Waits at most `ms` milliseconds for input; kReady as soon as some is queued, kBroken at once
  // when the line hung up or failed (then it never waits out the time). A wait interrupted by a
  // signal goes on for the time left.
  virtual LineWait WaitReadable(uint32_t ms) = 0;
  // Throws away every byte that has arrived and not been read.
  virtual void DiscardInput() = 0;
};

// The platform's own serial line (serial_line_posix.cpp, serial_line_win32.cpp), closed.
std::unique_ptr<SerialLine> make_native_line();

}  // namespace quendal
