// Whole transactions through card_trans: the simulated terminal on a pty, the simulated bank and
// business hosts on 127.0.0.1, all in virtual time.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/texts.h"
#include "pos/com_port.h"
#include "quendal/card_trans.h"
#include "sim/host_sim.h"
#include "sim/terminal_sim.h"
#include "support/call_results.h"
#include "support/status_log.h"
#include "support/virtual_clock.h"
#include "ui/process_window.h"

namespace quendal {
namespace {

using quendal_sim::FinalAnswer;
using quendal_sim::HostRole;
using quendal_sim::HostScenario;
using quendal_sim::HostSim;
using quendal_sim::TerminalScenario;
using quendal_sim::TerminalSim;
using Frame = std::vector<uint8_t>;
using quendal_test::code_of;
using quendal_test::padded;
using quendal_test::payload_of;
using quendal_test::text_of;

constexpr int kCom = 71;
constexpr size_t kGuard = 16;

class TransactionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(bank_.Start());
    ASSERT_TRUE(business_.Start());
    bank_.SetScenario(quendal_sim::answer_of_size(30));
    business_.SetScenario(quendal_sim::business_accept());
  }

  void TearDown() override {
    ::unsetenv(("QUENDAL_COM" + std::to_string(kCom)).c_str());
    if (terminal_) terminal_->Stop();
  }

  void StartTerminal(const TerminalScenario& s) {
    terminal_.reset(new TerminalSim(s));
    ASSERT_TRUE(terminal_->Start());
    ::setenv(("QUENDAL_COM" + std::to_string(kCom)).c_str(), terminal_->SlavePath().c_str(), 1);
  }

  std::string Request(const char* operation) const {
    return std::string(operation) + "|REF000000000001|B0110001|12345|STAMP0|VAL001|POLICY-42||" +
           std::to_string(kCom) + "|127.0.0.1|" + std::to_string(bank_.Port()) + "|5|127.0.0.1|" +
           std::to_string(business_.Port()) + "|5";
  }

  int Call(const char* operation, char fill = '\0') {
    std::memset(result_, fill, 555);
    std::memset(result_ + 555, 0xA5, kGuard);
    rc_ = card_trans(Request(operation).c_str(), result_);
    for (size_t i = 555; i < sizeof result_; ++i) EXPECT_EQ(result_[i], '\xA5');
    EXPECT_EQ(com_port().IsOpen(), 0);  // closed on every way out
    return rc_;
  }

  std::string Result() const { return std::string(result_, 555); }
  std::vector<Frame> ToTerminal() const { return terminal_->Received(); }
  int Count(const char* text) const { return status_.Count(text); }

  VirtualClock clock_;
  ScopedClock scoped_{clock_};
  HostSim bank_{"bank", HostRole::kBank};
  HostSim business_{"business", HostRole::kBusiness};
  std::unique_ptr<TerminalSim> terminal_;
  quendal_test::StatusLog status_;
  char result_[555 + kGuard];
  int rc_ = -1;
};

TEST_F(TransactionTest, ApprovedSaleWithOneRelay) {
  TerminalScenario s;
  s.relays = 1;
  s.resp_text = "APPROVED";
  StartTerminal(s);
  // 14:05:09 when the request is built, the half-second pause and the test after the start of
  // that second (the clock starts at a random millisecond).
  clock_.Advance((14 * 3600 + 5 * 60 + 9) * 1000LL - clock_.NowMs() % 1000);

  EXPECT_EQ(Call("1"), 0);
  EXPECT_EQ(Result(), "APPROVED" + std::string(547, ' '));
  const std::vector<std::string> expected = {text::kBanner,           text::kConnectBusinessHost,
                                             text::kSucceeded,        text::kOpenCom,
                                             text::kSucceeded,        text::kSendRequestToPos,
                                             text::kAnswerFromPos,    text::kSendToServer,
                                             text::kAnswerFromServer, text::kServerResultToPos,
                                             text::kAnswerFromPos,    text::kTransComplete,
                                             text::kReportToBusiness, text::kSucceeded,
                                             text::kTransSucceeded};
  EXPECT_EQ(status_.Text(), quendal_test::StatusLog::Join(expected));
  EXPECT_EQ(clock_.Sleeps(), (std::vector<uint32_t>{500, 3000}));

  // To the terminal: the test, the 481-byte request stamped with the time of day, and the bank
  // host's 30 bytes as the payload of the relay answer. No cancel notice.
  std::vector<Frame> sent = ToTerminal();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(code_of(sent[0]), "AREYOUOK");
  ASSERT_EQ(sent[1].size(), 481u);
  EXPECT_EQ(code_of(sent[1]), "B0110001");
  std::string request = payload_of(sent[1]);
  EXPECT_EQ(request.substr(0, 4), "A030");
  EXPECT_EQ(request.substr(37, 6), "140509");
  EXPECT_EQ(payload_of(sent[2]), quendal_sim::answer_of_size(30).answer);
  EXPECT_EQ(sent[2].size(), 30u + 28u);

  // To the bank host: one frame carrying the terminal's 40 bytes in the tagged list.
  ASSERT_EQ(bank_.Requests().size(), 1u);
  EXPECT_EQ(bank_.Requests()[0].size(), 175u);
  EXPECT_EQ(bank_.Requests()[0].substr(26, 3), "A01");

  // To the business host: the network test, then the report of the approved sale.
  std::vector<std::string> reports = business_.Requests();
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], "000204");
  EXPECT_EQ(reports[1].substr(4, 24), "01|00|POLICY-42|THANK YO");
}

TEST_F(TransactionTest, ApprovedResultKeepsTheCallersBytesBehindTheText) {
  TerminalScenario s;
  s.resp_text = std::string(
      "OK\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0\0X", 40);
  StartTerminal(s);
  EXPECT_EQ(Call("1", 'Q'), 0);
  EXPECT_EQ(Result().substr(0, 40), "OK" + std::string(37, ' ') + "X");
  EXPECT_EQ(Result().substr(40), std::string(515, 'Q'));
}

TEST_F(TransactionTest, WhichOutcomesAreReported) {
  struct Case {
    const char* operation;
    FinalAnswer answer;
    int rc;
    size_t business_messages;  // the network test, plus the report when there is one
  } cases[] = {
      {"1", FinalAnswer::kDecline, 1, 2}, {"5", FinalAnswer::kDecline, 1, 2},
      {"3", FinalAnswer::kApprove, 0, 2}, {"3", FinalAnswer::kDecline, 1, 1},
      {"2", FinalAnswer::kApprove, 0, 1}, {"6", FinalAnswer::kDecline, 1, 1},
  };
  for (const Case& c : cases) {
    TerminalScenario s;
    s.final_answer = c.answer;
    s.resp_code = "51";
    s.resp_text = "DECLINED";
    StartTerminal(s);
    size_t before = business_.Requests().size();
    EXPECT_EQ(Call(c.operation), c.rc) << c.operation;
    EXPECT_EQ(business_.Requests().size() - before, c.business_messages) << c.operation;
    if (c.rc == 1) {
      EXPECT_EQ(Result(), padded("DECLINED")) << c.operation;
      EXPECT_EQ(ToTerminal().size(), 2u) << "a refusal is the terminal's own: no cancel notice";
    }
    terminal_->Stop();
  }
}

TEST_F(TransactionTest, TerminalFaultsEndTheCall) {
  struct Case {
    FinalAnswer answer;
    int code;
  } cases[] = {{FinalAnswer::kCancel, 206}, {FinalAnswer::kUnknownKind, 189}};
  for (const Case& c : cases) {
    TerminalScenario s;
    s.final_answer = c.answer;
    StartTerminal(s);
    size_t before = business_.Requests().size();
    EXPECT_EQ(Call("1"), 1);
    EXPECT_EQ(Result(), padded(text_of(c.code)));
    EXPECT_EQ(business_.Requests().size() - before, 1u) << "nothing is reported";
    EXPECT_EQ(ToTerminal().size(), 2u) << "no cancel notice";
    terminal_->Stop();
  }
}

TEST_F(TransactionTest, SettlementNoticeThenFinalAnswer) {
  TerminalScenario s;
  s.settlement = true;
  StartTerminal(s);
  EXPECT_EQ(Call("1"), 0);
  EXPECT_EQ(Count(text::kSettlementFromPos), 1);
  EXPECT_EQ(Count(text::kAnswerFromPos), 2);
  EXPECT_EQ(ToTerminal().size(), 2u) << "nothing is sent between the notice and the answer";
}

TEST_F(TransactionTest, SilentTerminalIsQueriedThreeTimesForASale) {
  TerminalScenario s;
  s.final_answer = FinalAnswer::kSilent;
  StartTerminal(s);
  int64_t start = clock_.NowMs();
  EXPECT_EQ(Call("1"), 1);
  EXPECT_EQ(Result(), padded(text_of(181)));
  EXPECT_EQ(Count(text::kTimeout), 4);
  EXPECT_EQ(Count(text::kResetTimedOut), 3);
  EXPECT_EQ(Count(text::kSendQuery), 3);
  std::vector<Frame> sent = ToTerminal();
  ASSERT_EQ(sent.size(), 5u);  // test, request, three queries
  for (int i = 2; i < 5; ++i) {
    EXPECT_EQ(payload_of(sent[i]).substr(0, 4), "B030");
    EXPECT_EQ(payload_of(sent[i]).substr(37, 6), payload_of(sent[1]).substr(37, 6));
  }
  // 120 s for the request, 5 s after each query, each deadline passed by at most one second.
  int64_t waited_s = (clock_.NowMs() - start) / 1000;
  EXPECT_GT(waited_s, 120 + 3 * 5);
  EXPECT_LE(waited_s, 121 + 3 * 6 + 5 + 1);
}

TEST_F(TransactionTest, SilentTerminalEndsAQueryAtOnce) {
  TerminalScenario s;
  s.final_answer = FinalAnswer::kSilent;
  StartTerminal(s);
  EXPECT_EQ(Call("3"), 1);
  EXPECT_EQ(Result(), padded(text_of(181)));
  EXPECT_EQ(Count(text::kTimeout), 1);
  EXPECT_EQ(Count(text::kResetTimedOut), 0);
  ASSERT_EQ(ToTerminal().size(), 2u);
  // A query keeps the caller's stamp.
  EXPECT_EQ(payload_of(ToTerminal()[1]).substr(0, 4), "B093");
  EXPECT_EQ(payload_of(ToTerminal()[1]).substr(37, 6), "STAMP0");
}

TEST_F(TransactionTest, RefusedReportLeadsTheResultAndCancelsOnTheTerminal) {
  business_.QueueScenario(quendal_sim::business_accept());
  business_.QueueScenario(quendal_sim::business_refuse("REPORT REFUSED"));
  TerminalScenario s;
  s.resp_text = "APPROVED";
  StartTerminal(s);
  EXPECT_EQ(Call("1"), 1);
  ASSERT_TRUE(terminal_->WaitForReceived(3, 2000));
  EXPECT_EQ(Result(),
            padded(std::string("REPORT REFUSED") + text::kEllipsis + text::kBankInfo + "APPROVED"));
  std::vector<Frame> sent = ToTerminal();
  ASSERT_EQ(sent.size(), 3u);
  ASSERT_EQ(sent[2].size(), 70u);
  EXPECT_EQ(code_of(sent[2]), std::string("CANCEL\0\0", 8));
  EXPECT_EQ(payload_of(sent[2]).substr(0, 10), std::string(" 0APPROVED"));  // code 0 from "00"
}

TEST_F(TransactionTest, BankHostFailureCancelsOnTheTerminal) {
  bank_.SetScenario(HostScenario::Close());  // reads the relay, then closes without answering
  TerminalScenario s;
  s.relays = 1;
  StartTerminal(s);
  EXPECT_EQ(Call("1"), 1);
  EXPECT_EQ(Result(), padded(text_of(198)));
  ASSERT_TRUE(terminal_->WaitForReceived(3, 2000));
  std::vector<Frame> sent = ToTerminal();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(code_of(sent[2]).substr(0, 6), "CANCEL");
  EXPECT_EQ(payload_of(sent[2]).substr(0, 2), "C6");  // 198
  EXPECT_EQ(payload_of(sent[2]).substr(2, 22), text_of(198));
}

TEST_F(TransactionTest, BankHostDownAndOversizedAnswer) {
  quendal_sim::RefusingPort down;
  TerminalScenario s;
  s.relays = 1;
  StartTerminal(s);
  std::string request = Request("1");
  std::string bank_port = std::to_string(bank_.Port());
  request.replace(request.find(bank_port), bank_port.size(), std::to_string(down.Port()));
  std::memset(result_, 0, 555);
  EXPECT_EQ(card_trans(request.c_str(), result_), 1);
  EXPECT_EQ(Result(), padded(text_of(196)));
  terminal_->Stop();

  // An answer longer than a frame can carry back to the terminal is refused, not cut.
  bank_.SetScenario(quendal_sim::answer_of_size(500));
  StartTerminal(s);
  EXPECT_EQ(Call("1"), 1);
  EXPECT_EQ(Result(), padded(text_of(198)));
}

}  // namespace
}  // namespace quendal
