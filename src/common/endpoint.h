// A host's endpoint as the request gives it: what the host link is pointed at.
#pragma once

#include <cstdint>

namespace quendal {

struct Endpoint {
  static constexpr int kMaxAddress = 19;  // address characters kept from the request line
  char address[kMaxAddress + 1] = {};     // zero-terminated
  int32_t port = 0;
  int32_t timeout_s = 0;  // the receive time-out in seconds, which also bounds the connect
};

}  // namespace quendal
