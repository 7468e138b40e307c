// Every fault in the matrix, end to end through card_trans over the pty and loopback in virtual
// time: what the caller gets, whether the terminal was told, and that the call leaves nothing
// behind in the caller's buffer or the process.
#include "fault_matrix.h"

#include <gtest/gtest.h>

#include <thread>

#include "card_trans_fixture.h"

namespace quendal_test {
namespace {

class FaultMatrix : public CardTransTest {};

TEST_F(FaultMatrix, EveryFaultEndsTheCallCleanly) {
  for (const Scenario& scenario : fault_scenarios()) {
    SCOPED_TRACE(scenario.name);
    ScenarioRig rig(scenario, clock_);
    ASSERT_TRUE(rig.ok());
    const std::vector<std::string> before = open_descriptors();

    int rc;
    if (scenario.concurrent) {
      // The second call comes while the first waits for the terminal's answer.
      int first_rc = -1;
      std::thread first([&] { first_rc = Call(rig.Request()); });
      ASSERT_TRUE(rig.Terminal().WaitForReceived(2, 5000));
      unsigned char second[555 + kGuard];
      std::memset(second, kGuardByte, sizeof second);
      const size_t sleeps = clock_.Sleeps().size();
      EXPECT_EQ(card_trans(rig.Request().c_str(), reinterpret_cast<char*>(second)), 1);
      EXPECT_EQ(std::string(reinterpret_cast<char*>(second), 555), Padded(err(206)));
      EXPECT_EQ(second[555], kGuardByte);
      EXPECT_EQ(clock_.Sleeps().size(), sleeps) << "the refused call paused";
      first.join();
      rc = first_rc;
    } else {
      rc = Call(rig.Request());
    }

    EXPECT_EQ(rc, scenario.rc);
    if (!scenario.Expected(Result())) {
      EXPECT_EQ(Result(), Padded(scenario.text));
    }
    EXPECT_EQ(Result().find('\0'), std::string::npos);
    EXPECT_TRUE(GuardIntact());
    EXPECT_EQ(rig.CancelSent(scenario.cancel), scenario.cancel);
    std::vector<std::string> expected = before;
    if (rig.Terminal().HungUp()) {
      // The terminal's own side of the line went with the hang-up.
      expected.erase(std::remove_if(expected.begin(), expected.end(),
                                    [](const std::string& d) {
                                      return d.find("/dev/ptmx") != std::string::npos;
                                    }),
                     expected.end());
    }
    EXPECT_EQ(descriptors_settled(expected), expected);
  }
}

// Nothing of a damaged frame reaches either host.
TEST_F(FaultMatrix, DamagedFramesReachNoHost) {
  for (int relays : {0, 1}) {
    Scenario scenario = fault_scenarios()[relays == 0 ? 1 : 2];
    ScenarioRig rig(scenario, clock_);
    ASSERT_TRUE(rig.ok());
    EXPECT_EQ(Call(rig.Request()), 1);
    EXPECT_EQ(rig.BankHost().Connections(), 0);
    EXPECT_EQ(rig.BusinessHost().Requests().size(), 1u) << "only the network test";
  }
}

// A terminal that asks for its bank without end is served a bounded number of times.
TEST_F(FaultMatrix, RelaysStopAtTheBound) {
  Scenario scenario = fault_scenarios()[7];
  ScenarioRig rig(scenario, clock_);
  ASSERT_TRUE(rig.ok());
  EXPECT_EQ(Call(rig.Request()), 1);
  EXPECT_EQ(rig.BankHost().Requests().size(), 32u);
}

}  // namespace
}  // namespace quendal_test
