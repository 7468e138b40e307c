// The wire trace as support sees it: one line per event of a call, bank traffic by length only
// unless asked for, and no effect on the call when it cannot be written.
#include <gtest/gtest.h>

#include <sstream>

#include "card_trans_fixture.h"
#include "fault_matrix.h"

namespace quendal_test {
namespace {

class WireTrace : public CardTransTest {
 protected:
  void SetUp() override {
    CardTransTest::SetUp();
    trace_path_ = log_path_ + ".trace";
    setenv("QUENDAL_TRACE", trace_path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUENDAL_TRACE");
    unsetenv("QUENDAL_TRACE_PAYLOADS");
    unlink(trace_path_.c_str());
    CardTransTest::TearDown();
  }

  // Runs scenario `n` of the fault matrix and returns the trace's lines.
  std::vector<std::string> Run(size_t n) {
    ScenarioRig rig(fault_scenarios()[n], clock_);
    EXPECT_TRUE(rig.ok());
    rc_ = Call(rig.Request());
    std::ifstream in(trace_path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    unlink(trace_path_.c_str());
    return lines;
  }

  static int Count(const std::vector<std::string>& lines, const std::string& part) {
    int n = 0;
    for (const std::string& line : lines) n += line.find(part) != std::string::npos;
    return n;
  }

  std::string trace_path_;
  int rc_ = -1;
};

TEST_F(WireTrace, ApprovedSaleWithARelayShowsEveryEventAndHidesTheBankTraffic) {
  std::vector<std::string> lines = Run(0);
  ASSERT_EQ(rc_, 0);
  ASSERT_GE(lines.size(), 20u);
  int64_t last = -1;
  for (const std::string& line : lines) {
    // Milliseconds since the call began, never going back.
    int64_t ms = std::stoll(line);
    EXPECT_GE(ms, last) << line;
    last = ms;
  }
  EXPECT_EQ(Count(lines, "call begins"), 1);
  EXPECT_EQ(Count(lines, "call ends"), 1);
  // Terminal: test, request, relay answer; test reply, relay request, final answer.
  EXPECT_EQ(Count(lines, "library->terminal"), 3);
  EXPECT_EQ(Count(lines, "terminal->library"), 3);
  EXPECT_EQ(Count(lines, "check ok"), 6);
  EXPECT_EQ(Count(lines, "code AREYOUOK kind"), 1);
  EXPECT_EQ(Count(lines, "library->bank 175 bytes [not shown]"), 1);
  EXPECT_EQ(Count(lines, "bank->library 40 bytes [not shown]"), 1);
  EXPECT_EQ(Count(lines, "[40 payload bytes not shown]"), 2);
  EXPECT_EQ(Count(lines, "library->business 6 bytes: 30 30 30 32 30 34"), 1);
  EXPECT_EQ(Count(lines, "business->library"), 2);
  EXPECT_EQ(Count(lines, "status \"交易成功\\n\""), 1);
  // The relayed card data ("abcd...") appears nowhere.
  EXPECT_EQ(Count(lines, "61 62 63 64"), 0);

  setenv("QUENDAL_TRACE_PAYLOADS", "1", 1);
  lines = Run(0);
  EXPECT_EQ(Count(lines, "not shown"), 0);
  // The terminal's relay request ("abcd...") and its wrapping for the bank.
  EXPECT_EQ(Count(lines, "61 62 63 64"), 2);
}

TEST_F(WireTrace, DamagedFrameIsMarked) {
  std::vector<std::string> lines = Run(1);
  EXPECT_EQ(rc_, 1);
  EXPECT_EQ(Count(lines, "check BAD"), 2) << "the test reply is not judged by it, the answer is";
  EXPECT_EQ(Count(lines, "code CANCEL.. kind"), 1);
}

TEST_F(WireTrace, TraceThatCannotBeWrittenChangesNothing) {
  setenv("QUENDAL_TRACE", "/nonexistent/dir/trace", 1);
  const std::vector<std::string> before = open_descriptors();
  Run(0);
  EXPECT_EQ(rc_, 0);
  EXPECT_EQ(Result(), Padded(kApproved));
  EXPECT_EQ(descriptors_settled(before), before);
}

}  // namespace
}  // namespace quendal_test
