// The business host test as the caller sees it, through card_trans itself.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/error.h"
#include "common/texts.h"
#include "quendal/card_trans.h"
#include "sim/host_sim.h"
#include "support/status_log.h"
#include "support/virtual_clock.h"
#include "ui/process_window.h"

namespace quendal {
namespace {

using quendal_sim::HostRole;
using quendal_sim::HostSim;

constexpr size_t kResult = 555;
constexpr char kGuard = '\x5a';

class CardTransBusinessHost : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_.Start()); }
  void TearDown() override { sim_.Stop(); }

  // A valid sale whose business host is at `business_port`; the COM port does not exist.
  static std::string Request(uint16_t business_port) {
    return "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||99|127.0.0.1|6001|30|"
           "127.0.0.1|" +
           std::to_string(business_port) + "|5";
  }

  // Calls card_trans with a guard byte behind the 555 and returns the result text.
  std::string Call(const std::string& request) {
    char result[kResult + 1];
    std::memset(result, 0, kResult);
    result[kResult] = kGuard;
    rc_ = card_trans(request.c_str(), result);
    EXPECT_EQ(result[kResult], kGuard);
    return std::string(result, kResult);
  }

  static std::string Padded(const std::string& text) {
    return text + std::string(kResult - text.size(), ' ');
  }

  VirtualClock clock_;
  ScopedClock scoped_clock_{clock_};
  HostSim sim_{"business", HostRole::kBusiness};
  quendal_test::StatusLog status_;
  int rc_ = -1;
};

TEST_F(CardTransBusinessHost, RefusedNetworkTestEndsTheCallWithTheHostsText) {
  const std::string host_text = std::string("CLOSED ") + text::kTransComplete;
  sim_.SetScenario(quendal_sim::business_refuse(host_text));
  EXPECT_EQ(Call(Request(sim_.Port())), Padded(host_text));
  EXPECT_EQ(rc_, 1);
  ASSERT_TRUE(sim_.WaitConnections(1, 5000));
  EXPECT_EQ(sim_.Requests().at(0), "000204");
  EXPECT_EQ(status_.Text(), std::string(text::kBanner) + text::kConnectBusinessHost +
                                text::kResultFailed + text::kBankInfoLine + host_text);
  EXPECT_EQ(clock_.Sleeps().back(), 5000u);

  // A refusal without words leaves the table's text, something to look up.
  sim_.SetScenario(quendal_sim::business_refuse(""));
  EXPECT_EQ(Call(Request(sim_.Port())), Padded(table_error(203).text));
  EXPECT_EQ(rc_, 1);
}

TEST_F(CardTransBusinessHost, UnreachableBusinessHostEndsTheCallBeforeTheTerminal) {
  quendal_sim::RefusingPort down;
  EXPECT_EQ(Call(Request(down.Port())), Padded(table_error(199).text));
  EXPECT_EQ(rc_, 1);
  EXPECT_FALSE(status_.Has(text::kOpenCom));
}

TEST_F(CardTransBusinessHost, AcceptedNetworkTestGoesOnToTheTerminal) {
  sim_.SetScenario(quendal_sim::business_accept());
  Call(Request(sim_.Port()));
  const std::string tested =
      std::string(text::kBanner) + text::kConnectBusinessHost + text::kSucceeded;
  EXPECT_EQ(status_.Text().substr(0, tested.size()), tested);
  EXPECT_TRUE(sim_.WaitConnections(1, 5000));
  EXPECT_EQ(rc_, 1);  // there is no terminal on this COM port
}

}  // namespace
}  // namespace quendal
