// The wire trace as support sees it: one line per event of a call, bank traffic by length only
// unless asked for, and no effect on the call when it cannot be written.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <regex>
#include <sstream>

#include "card_trans_fixture.h"
#include "common/card_mask.h"
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
  std::vector<std::string> Run(size_t n) { return Run(fault_scenarios()[n]); }
  std::vector<std::string> Run(const Scenario& scenario) {
    ScenarioRig rig(scenario, clock_);
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

// Support reads when and with which library a call ran, and where a host connect went and why it
// failed, from the trace alone.
TEST_F(WireTrace, NamesTheCallsTimeAndVersionAndWhereAFailedConnectWent) {
  std::vector<std::string> lines = Run(0);
  ASSERT_FALSE(lines.empty());
  const std::regex header(
      "[0-9]+ call begins [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}"
      "[+-][0-9]{2}:[0-9]{2} quendal " +
      std::regex_replace(std::string(QUENDAL_PROJECT_VERSION), std::regex("\\."), "\\."));
  EXPECT_TRUE(std::regex_match(lines.front(), header)) << lines.front();

  for (const Scenario& s : fault_scenarios()) {
    if (std::string(s.name) != "bank host not listening") continue;
    lines = Run(s);
    EXPECT_EQ(Count(lines, "note bank host 127.0.0.1:"), 1);
    EXPECT_EQ(Count(lines, " not connected: Connection refused"), 1);
  }
}

// Every byte the trace shows in hex, line after line.
std::string decoded(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) {
    std::istringstream words(line);
    for (std::string w; words >> w;) {
      if (w.size() == 2 && std::isxdigit(static_cast<unsigned char>(w[0])) &&
          std::isxdigit(static_cast<unsigned char>(w[1]))) {
        out += static_cast<char>(std::stoi(w, nullptr, 16));
      }
    }
    out += '\n';
  }
  return out;
}

TEST_F(WireTrace, CardNumberAndExpiryAreMaskedUnlessPayloadsAreAsked) {
  const std::string card = "6222021234567890123";
  Scenario scenario = fault_scenarios()[0];
  scenario.terminal = [card](quendal_sim::TerminalScenario& t) {
    t.relays = 1;
    t.card_number = card;
    t.card_expiry = "7705";
  };
  std::string shown = decoded(Run(scenario));
  ASSERT_EQ(rc_, 0);
  // No run of seven digits of the number survives anywhere, nor the expiry in either form.
  for (size_t at = 0; at + 7 <= card.size(); ++at) {
    EXPECT_EQ(shown.find(card.substr(at, 7)), std::string::npos) << card.substr(at, 7);
  }
  EXPECT_EQ(shown.find("7705"), std::string::npos);
  EXPECT_EQ(shown.find("77/05"), std::string::npos);
  // What support still sees: the answer's and the report's number with six and four kept.
  size_t first = shown.find("622202*********0123");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(shown.find("622202*********0123|  /  |", first + 1), std::string::npos);

  setenv("QUENDAL_TRACE_PAYLOADS", "1", 1);
  shown = decoded(Run(scenario));
  EXPECT_NE(shown.find(card + "7705"), std::string::npos);
  EXPECT_NE(shown.find(card + "|77/05|"), std::string::npos);
}

TEST(CardMask, KeepsSixAndFourOfTheNumberAndNoExpiry) {
  struct Case {
    std::string number, masked;
  } cases[] = {
      {"6222021234567890123", "622202*********0123"},
      {"4111111111111111   ", "411111******1111   "},
      {std::string("  5500000000000004\0", 19), std::string("  550000******0004\0", 19)},
      {"1234567890         ", "**********         "},
      {"                   ", "                   "},
  };
  for (const Case& c : cases) {
    std::string got = c.number;
    quendal::mask_card_number(&got[0], got.size());
    EXPECT_EQ(got, c.masked) << c.number;
  }
  quendal::ResultRecord record;
  std::memset(&record, '9', sizeof record);
  quendal::mask_card_data(record);
  EXPECT_EQ(std::string(record.area150, 19), "999999*********9999");
  EXPECT_EQ(std::string(record.area169, 4), "    ");
  EXPECT_EQ(std::string(record.area142, 8), "99999999");
  EXPECT_EQ(std::string(record.area173, 6), "999999");
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
