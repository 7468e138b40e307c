// The COM port above its serial line: the open state and the copy rule, the same on every
// platform.
#include "pos/com_port.h"

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
  port_number = static_cast<uint8_t>(number & 0xFF);
  if (line == nullptr || !owns_line || line->IsOpen()) return 0;
  if (!line->Open(port_number, speed, settings)) return 0;
  is_open = 1;
  return 1;
}

int CComPort::Close() {
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

uint32_t CComPort::Read(uint8_t* buffer, uint32_t max_len) {
  if (line == nullptr || is_open == 0) return 0;
  return line->Read(buffer, max_len);
}

bool CComPort::Write(const uint8_t* buffer, int32_t len) {
  if (line == nullptr || is_open == 0) return false;
  return line->Write(buffer, len);
}

bool CComPort::WaitReadable(uint32_t ms) {
  // A closed line waits out the pause itself, so a receive on it does not spin.
  if (line == nullptr) return false;
  return line->WaitReadable(ms);
}

int CComPort::ApplyLineSettings(uint32_t speed) {
  if (line == nullptr || !line->IsOpen()) return 0;
  return line->ApplyLineSettings(speed);
}

}  // namespace quendal
