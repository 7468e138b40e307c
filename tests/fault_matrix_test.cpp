// Every fault in the matrix, end to end through card_trans over the pty and loopback in virtual
// time: what the caller gets, whether the terminal was told, and that the call leaves nothing
// behind in the caller's buffer or the process.
#include "fault_matrix.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

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

// A process forked while a call runs is a caller of its own: its call is not turned away as
// overlapping, finds the terminal's line held (178) without touching it, and the parent's call
// still approves.
TEST_F(FaultMatrix, ProcessForkedDuringACallCallsOnItsOwn) {
  Scenario scenario = fault_scenarios()[0];
  scenario.terminal = [](quendal_sim::TerminalScenario& t) {
    t.split_pieces = 40;
    t.split_pause_ms = 10;
  };
  ScenarioRig rig(scenario, clock_);
  ASSERT_TRUE(rig.ok());
  int parent_rc = -1;
  std::thread first([&] { parent_rc = Call(rig.Request()); });
  ASSERT_TRUE(rig.Terminal().WaitForReceived(2, 5000));

  int pipe_fds[2];
  ASSERT_EQ(::pipe(pipe_fds), 0);
  pid_t child = ::fork();
  if (child == 0) {
    char result[556] = {};
    result[0] = static_cast<char>('0' + card_trans(rig.Request().c_str(), result + 1));
    ssize_t unused = ::write(pipe_fds[1], result, sizeof result);
    (void)unused;
    ::_exit(0);
  }
  ASSERT_GT(child, 0);
  ::close(pipe_fds[1]);
  std::string got;
  char chunk[600];
  pollfd p{pipe_fds[0], POLLIN, 0};
  while (::poll(&p, 1, 20000) > 0) {
    ssize_t n = ::read(pipe_fds[0], chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
  }
  ::close(pipe_fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  first.join();

  ASSERT_EQ(got.size(), 556u);
  EXPECT_EQ(got.substr(0, 1), "1");
  EXPECT_EQ(got.substr(1), Padded(err(178)));
  EXPECT_EQ(parent_rc, 0);
  EXPECT_EQ(Result(), Padded(kApproved));
}

}  // namespace
}  // namespace quendal_test
