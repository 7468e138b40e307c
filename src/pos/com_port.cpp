// The COM port above its serial line: the open state and the copy rule, the same on every
// platform.
#include "pos/com_port.h"

#include <cstring>

namespace quendal {

CComPort& com_port() {
  static CComPort port;
  return port;
}

CComPort::CComPort() : own_line(make_native_line()), line(own_line.get()) {}

CComPort::CComPort(SerialLine& given) : line(&given) {}

CComPort::CComPort(const CComPort& other) { *this = other; }

CComPort& CComPort::operator=(const CComPort& other) {
  if (this == &other) return *this;
  timeout_s = other.timeout_s;
  port_number = other.port_number;
  settings = other.settings;
  is_open = other.is_open;
  own_line.reset();
  line = other.line;
  owns_line = false;
  std::memcpy(ahead, other.ahead, sizeof ahead);
  ahead_from = other.ahead_from;
  ahead_to = other.ahead_to;
  return *this;
}

void CComPort::UseLine(SerialLine* given) {
  Close();
  if (given != nullptr) {
    line = given;
  } else {
    if (!own_line) own_line = make_native_line();
    line = own_line.get();
  }
  owns_line = true;
}

int CComPort::Open(int number, uint32_t speed) {
  if (is_open == 1) Close();
  ahead_from = ahead_to = 0;
  // COM numbers run from 1 to 255; any other number must not wrap onto another terminal's port.
  if (number < 1 || number > 255) return 0;
  port_number = static_cast<uint8_t>(number);
  if (line == nullptr || !owns_line || line->IsOpen()) return 0;
  if (!line->Open(port_number, speed, settings)) return 0;
  is_open = 1;
  return 1;
}

int CComPort::Close() {
  ahead_from = ahead_to = 0;
  if (line == nullptr) return 1;
  if (owns_line) {
    line->Close();
  } else if (is_open == 1) {
    // A copy lets go of the line it shared; the port it was taken from keeps it open.
    line = nullptr;
  }
  is_open = 0;
  return 1;
}

void CComPort::Abandon() {
  ahead_from = ahead_to = 0;
  if (line != nullptr && owns_line) line->Abandon();
  is_open = 0;
}

uint32_t CComPort::Read(uint8_t* buffer, uint32_t max_len) {
  if (buffer == nullptr || max_len == 0) return 0;
  if (ahead_from < ahead_to) return TakeAhead(buffer, max_len);
  if (line == nullptr || is_open == 0) return 0;
  int32_t n = line->Read(buffer, max_len);
  return n > 0 ? static_cast<uint32_t>(n) : 0;
}

uint32_t CComPort::TakeAhead(uint8_t* out, uint32_t max_len) {
  uint32_t n = ahead_to - ahead_from;
  if (n > max_len) n = max_len;
  std::memcpy(out, ahead + ahead_from, n);
  ahead_from += n;
  return n;
}

void CComPort::DiscardInput() {
  ahead_from = ahead_to = 0;
  if (line != nullptr && is_open == 1) line->DiscardInput();
}

bool CComPort::Write(const uint8_t* buffer, int32_t len) {
  if (line == nullptr || is_open == 0) return false;
  return line->Write(buffer, len);
}

bool CComPort::WaitReadable(uint32_t ms) {
  // A closed line waits out the pause itself, so a receive on it does not spin.
  if (ahead_from < ahead_to) return true;
  if (line == nullptr) return false;
  return line->WaitReadable(ms) == LineWait::kReady;
}

int CComPort::ApplyLineSettings(uint32_t speed) {
  if (line == nullptr || !line->IsOpen()) return 0;
  return line->ApplyLineSettings(speed);
}

}  // namespace quendal
