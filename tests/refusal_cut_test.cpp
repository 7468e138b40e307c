// A business host's refusal text cut to its bound is cut between two GBK characters, never inside
// one: half a character would show as garbage on the till and in the caller's result.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/failure_text.h"
#include "host/host_exchange.h"
#include "host_test_util.h"

namespace quendal {
namespace {

using quendal_sim::business_answer;
using quendal_sim::HostRole;
using quendal_sim::HostScenario;

class RefusalCut : public SimulatedHostTest {
 protected:
  RefusalCut() : SimulatedHostTest("business", HostRole::kBusiness) {}
};

const std::string kCao = "\xb2\xd9";  // "操", two GBK bytes

TEST_F(RefusalCut, NetworkTestTextEndsOnACharacterBoundary) {
  struct Case {
    std::string host_text;
    std::string shown;
  } cases[] = {
      {std::string(39, 'a') + kCao + "b", std::string(39, 'a')},  // 操 would straddle byte 40
      {std::string(38, 'a') + kCao + "b", std::string(38, 'a') + kCao},
      {kCao + kCao + std::string(40, 'c'), kCao + kCao + std::string(36, 'c')},
  };
  for (const Case& c : cases) {
    sim_.SetScenario(HostScenario::Answer(business_answer('0', c.host_text)));
    CError e = error_of([&] { test_insurer_network(link_to(sim_.Port(), 1)); });
    EXPECT_EQ(e.code, 203);
    EXPECT_EQ(text_of(e), c.shown);
  }
}

TEST_F(RefusalCut, ReportTextEndsOnACharacterBoundary) {
  // The failure text keeps 453 bytes for the host's words.
  const std::string host_text = std::string(452, 'r') + kCao;
  sim_.SetScenario(HostScenario::Answer(business_answer('0', host_text)));
  ResultRecord res;
  std::memset(&res, '0', sizeof res);
  char business_ref[64] = {};
  char failure_text[kFailureTextSize] = {};
  CProcessWindow window;
  error_of(
      [&] { report_result(window, link_to(sim_.Port(), 1), res, business_ref, failure_text); });
  EXPECT_EQ(std::string(failure_text, 457), std::string(452, 'r') + ".....");
}

}  // namespace
}  // namespace quendal
