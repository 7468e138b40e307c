// Helpers shared by the host tests: endpoint text for a simulated host and catching a CError.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "common/error.h"
#include "host/host_link.h"
#include "host/socket_ops.h"
#include "intake/checks.h"
#include "sim/host_sim.h"

namespace quendal {

// The three endpoint fields as they stand in a request line.
inline std::string endpoint(uint16_t port, int timeout_s = 1) {
  return "127.0.0.1|" + std::to_string(port) + "|" + std::to_string(timeout_s);
}

inline CHostLink link_to(uint16_t port, int32_t kind, int timeout_s = 1) {
  CHostLink link;
  link.SetEndpoint(endpoint_at(endpoint(port, timeout_s).c_str()), kind);
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

// A simulated host on a free port. Every path through a link must give back the socket start-up
// it took, exactly once: each test ends holding as many as it began with.
class SimulatedHostTest : public ::testing::Test {
 protected:
  SimulatedHostTest(const char* name, quendal_sim::HostRole role) : sim_(name, role) {}
  void SetUp() override {
    startups_ = net::startups_held();
    ASSERT_TRUE(sim_.Start());
  }
  void TearDown() override {
    sim_.Stop();
    EXPECT_EQ(net::startups_held(), startups_);
  }

  quendal_sim::HostSim sim_;
  int startups_ = 0;
};

}  // namespace quendal
