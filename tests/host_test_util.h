// Helpers shared by the host tests: endpoint text for a simulated host and catching a CError.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "driver/error.h"
#include "host/host_link.h"

namespace quendal {

// The three endpoint fields as they stand in a request line.
inline std::string endpoint(uint16_t port, int timeout_s = 1) {
  return "127.0.0.1|" + std::to_string(port) + "|" + std::to_string(timeout_s);
}

inline CHostLink link_to(uint16_t port, int32_t kind, int timeout_s = 1) {
  CHostLink link;
  link.SetEndpoint(endpoint(port, timeout_s).c_str(), kind);
  return link;
}

// Runs `step` and returns the CError it throws; a step that throws none fails the test.
inline CError error_of(const std::function<void()>& step) {
  try {
    step();
  } catch (const CError& error) {
    return error;
  }
  ADD_FAILURE() << "no CError was thrown";
  CError none;
  none.code = -1;
  return none;
}

inline std::string text_of(const CError& error) {
  return std::string(error.text, error.TextLength());
}

}  // namespace quendal
