// The journal against the death of the calling process: an approved sale with one relay is
// killed (SIGKILL) after each line of its wire trace in turn, that is after every status text and
// every wire event. What the journal says must match what the terminal did: not-started only
// when the request never reached it, unknown after, and reconciling turns every unknown into the
// terminal's truth. Never approved for money that did not move, never lost for money that did.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>

#include "card_trans_fixture.h"
#include "fault_matrix.h"
#include "journal_book.h"

namespace quendal_test {
namespace {

using quendal_sim::TerminalSim;

std::vector<std::string> lines_of(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Whether the terminal received a transaction request ("A0").
bool request_reached(const TerminalSim& terminal) {
  for (const auto& frame : terminal.Received()) {
    if (frame.size() > 28 && frame[26] == 'A' && frame[27] == '0') return true;
  }
  return false;
}

class JournalKill : public CardTransTest {
 protected:
  void SetUp() override {
    CardTransTest::SetUp();
    journal_ = log_path_ + ".journal";
    trace_ = log_path_ + ".trace";
  }
  void TearDown() override {
    unsetenv("QUENDAL_JOURNAL");
    unlink(journal_.c_str());
    unlink(trace_.c_str());
    if (quiet_ != nullptr) std::fclose(quiet_);
    CardTransTest::TearDown();
  }

  // Runs the caller on `request`, stopped after trace line `stop_at` (0: never) and then killed.
  // Returns true when it was killed, false when it ran to its end.
  bool RunCaller(const std::string& request, int stop_at) {
    unlink(journal_.c_str());
    unlink(trace_.c_str());
    pid_t pid = fork();
    if (pid == 0) {
      setenv("QUENDAL_JOURNAL", journal_.c_str(), 1);
      setenv("QUENDAL_TRACE", trace_.c_str(), 1);
      setenv("QUENDAL_STOP_AT", std::to_string(stop_at).c_str(), 1);
      execl(QUENDAL_KILL_CALLER, QUENDAL_KILL_CALLER, request.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, WUNTRACED);
    if (!WIFSTOPPED(status)) return false;
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return true;
  }

  std::string journal_;
  std::string trace_;
  FILE* quiet_ = std::fopen("/dev/null", "w");
};

TEST_F(JournalKill, EveryKillPointReadsTrueAndReconcilesToTheTerminalsTruth) {
  Scenario approved = fault_scenarios()[0];
  ASSERT_STREQ(approved.name, "approved sale with one relay");
  approved.terminal = [](TerminalScenario& t) {
    t.relays = 1;
    t.remember_last = true;
  };

  // The whole sale once, to count its steps.
  size_t steps = 0;
  {
    ScenarioRig rig(approved, clock_);
    ASSERT_TRUE(rig.ok());
    ASSERT_FALSE(RunCaller(rig.Request(), 0));
    steps = lines_of(trace_).size();
  }
  ASSERT_GE(steps, 15u);

  int not_started = 0, unknown = 0, reconciled_approved = 0, reconciled_not = 0;
  for (size_t point = 1; point <= steps; ++point) {
    ScenarioRig rig(approved, clock_);
    ASSERT_TRUE(rig.ok());
    const bool killed = RunCaller(rig.Request(), static_cast<int>(point));
    const std::vector<std::string> trace = lines_of(trace_);
    const std::string where = trace.empty() ? "(no trace)" : trace.back().substr(0, 60);
    SCOPED_TRACE("killed after trace line " + std::to_string(point) + ": " + where);
    ASSERT_TRUE(killed);
    ASSERT_EQ(trace.size(), point);

    quendal_tool::JournalBook book;
    std::string error;
    ASSERT_TRUE(quendal_tool::read_journal(journal_, 0, &book, &error)) << error;
    ASSERT_EQ(book.calls.size(), 1u);
    ASSERT_TRUE(book.notices.empty());
    const quendal_tool::JournalCall& call = book.calls[0];

    // The request reaches the terminal with the second frame the library writes to it.
    int frames_written = 0;
    for (const std::string& line : trace)
      frames_written += line.find("library->terminal") != std::string::npos;
    const bool request_written = frames_written >= 2;
    const bool reached = request_reached(rig.Terminal());
    if (call.end.empty()) {
      EXPECT_EQ(call.outcome, request_written ? "unknown" : "not-started");
    } else {
      EXPECT_EQ(call.outcome, "approved") << "only the approval's end comes after its last step";
    }
    std::printf("kill point %2zu, after %-48s -> %s", point, where.substr(0, 48).c_str(),
                call.outcome.c_str());
    if (call.outcome == "not-started") {
      EXPECT_FALSE(reached) << "money may have moved on a call read as not started";
      ++not_started;
      std::printf("\n");
      continue;
    }
    if (call.outcome == "approved") {
      std::printf("\n");
      continue;
    }
    ++unknown;

    // The terminal's truth, then the reconciliation against it.
    const bool money_moved = rig.Terminal().Last() == TerminalSim::LastState::kApproved;
    ASSERT_GE(quendal_tool::reconcile_journal(journal_, quiet_), 0);
    book = quendal_tool::JournalBook();
    ASSERT_TRUE(quendal_tool::read_journal(journal_, 0, &book, &error));
    const std::string result = book.calls[0].Get(book.calls[0].reconciled, "result");
    EXPECT_EQ(result, money_moved ? "approved" : "not-approved");
    std::printf(", reconciled %s\n", result.c_str());
    (result == "approved" ? reconciled_approved : reconciled_not)++;
    EXPECT_FALSE(book.calls[0].Unresolved());
  }
  // Both sides of the request and both sides of the terminal's approval were killed at.
  EXPECT_GT(not_started, 0);
  EXPECT_GT(reconciled_approved, 0);
  EXPECT_GT(reconciled_not, 0);
  std::printf("%zu kill points: %d not-started, %d unknown (%d reconciled approved, %d not)\n",
              steps, not_started, unknown, reconciled_approved, reconciled_not);
}

}  // namespace
}  // namespace quendal_test
