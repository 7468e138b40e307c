#include "common/error.h"

#include <cstring>

#include "common/texts.h"

namespace quendal {

void CError::Clear() {
  code = 0;
  std::memset(text, 0, sizeof text);
  cancel_pos = 0;
}

CError& CError::SetFromTable(int32_t wanted) {
  std::memset(text, 0, sizeof text);
  for (const ErrorRow& row : kErrorTable) {
    if (row.code != wanted) continue;
    code = row.code;
    std::memcpy(text, row.text, strnlen(row.text, sizeof text));
    cancel_pos = row.cancel_pos;
  }
  return *this;
}

void CError::SetText(const char* bytes, size_t n) {
  std::memset(text, 0, sizeof text);
  std::memcpy(text, bytes, n < sizeof text ? n : sizeof text);
}

size_t CError::TextLength() const { return strnlen(text, sizeof text); }

ErrorCode host_error(int32_t host_kind, HostStep step) {
  // Each host has its own three codes, so the caller's text says which host and which step.
  static constexpr ErrorCode kCodes[2][3] = {
      {kBankConnectError, kBankSendError, kBankReceiveError},
      {kBusinessConnectError, kBusinessSendError, kBusinessReceiveError},
  };
  return kCodes[host_kind == kBusinessHost ? 1 : 0][static_cast<int>(step)];
}

CError table_error(int32_t code) {
  CError e;
  e.SetFromTable(code);
  return e;
}

}  // namespace quendal
