// The terminal link end to end over a real pty: the simulated terminal on the master side, the
// library's port, frames and messages on the slave side, in virtual time.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/texts.h"
#include "driver/transaction.h"
#include "pos/com_port.h"
#include "pos/message.h"
#include "quendal/card_trans.h"
#include "sim/terminal_sim.h"
#include "support/status_log.h"
#include "support/virtual_clock.h"
#include "ui/process_window.h"

namespace quendal {
namespace {

using quendal_sim::FinalAnswer;
using quendal_sim::TerminalScenario;
using quendal_sim::TerminalSim;
using Bytes = std::vector<uint8_t>;

// A simulated terminal published as COM `com`.
class SimOnCom {
 public:
  SimOnCom(const TerminalScenario& s, int com)
      : sim_(s), variable_("QUENDAL_COM" + std::to_string(com)) {
    started_ = sim_.Start();
    if (started_) ::setenv(variable_.c_str(), sim_.SlavePath().c_str(), 1);
  }
  ~SimOnCom() {
    ::unsetenv(variable_.c_str());
    sim_.Stop();
  }
  bool started() const { return started_; }
  TerminalSim& sim() { return sim_; }

 private:
  TerminalSim sim_;
  std::string variable_;
  bool started_ = false;
};

void expect_error(int32_t code, const std::function<void()>& step) {
  try {
    step();
    ADD_FAILURE() << "no error, expected " << code;
  } catch (const CError& e) {
    EXPECT_EQ(e.code, code);
  }
}

class TerminalTest : public ::testing::Test {
 protected:
  VirtualClock clock_;
  ScopedClock scoped_{clock_};
};

TEST_F(TerminalTest, PassesOnYesIAmOkWhateverTheLineDoes) {
  struct Case {
    const char* what;
    TerminalScenario s;
  } cases[6];
  cases[0].what = "clean line";
  cases[1].what = "noise";
  cases[1].s.noise_bytes = 7;
  cases[2].what = "impossible lengths first";
  cases[2].s.bad_length = true;
  cases[3].what = "wrong check byte";
  cases[3].s.bad_lrc = true;
  cases[4].what = "split with pauses";
  cases[4].s.split_pieces = 3;
  cases[4].s.split_pause_ms = 150;
  cases[5].what = "9600-baud pacing";
  cases[5].s.pace = true;
  for (Case& c : cases) {
    SimOnCom term(c.s, 60);
    ASSERT_TRUE(term.started());
    CComPort port;
    ASSERT_EQ(port.Open(60, 9600), 1) << c.what;
    port.SetTimeout(120);
    EXPECT_NO_THROW(TestTerminal(port)) << c.what;
    EXPECT_EQ(port.Timeout(), 120) << c.what;  // the test used its own copy
    EXPECT_EQ(port.IsOpen(), 1) << c.what;
    port.Close();
    ASSERT_FALSE(term.sim().Received().empty());
    EXPECT_EQ(term.sim().Received()[0].size(), 28u);
  }
}

TEST_F(TerminalTest, FailsWithoutTheExactAnswer) {
  TerminalScenario silent;
  silent.answer_test = false;
  TerminalScenario lower;
  lower.test_code = "yesiamok";
  for (const TerminalScenario& s : {silent, lower}) {
    SimOnCom term(s, 61);
    ASSERT_TRUE(term.started());
    CComPort port;
    ASSERT_EQ(port.Open(61, 9600), 1);
    int64_t before = clock_.NowMs();
    expect_error(182, [&] { TestTerminal(port); });
    EXPECT_LE(clock_.NowMs() - before, 3100);  // its own 2 s time-out
    port.Close();
  }
  CComPort closed;
  expect_error(180, [&] { TestTerminal(closed); });
}

// The simulator's scenarios, driven the way the transaction drives the terminal.
TEST_F(TerminalTest, SimulatorPlaysItsScenarios) {
  struct Case {
    const char* what;
    TerminalScenario s;
    std::vector<int> kinds;  // kinds of the frames the terminal sends after the request
    std::string resp_code;
  } cases[5];
  cases[0] = {"approve, two relays, settlement", {}, {0x55, 0x55, 0x88, 0x00}, "00"};
  cases[0].s.relays = 2;
  cases[0].s.settlement = true;
  cases[1] = {"decline", {}, {0x00}, "51"};
  cases[1].s.final_answer = FinalAnswer::kDecline;
  cases[1].s.resp_code = "51";
  cases[2] = {"cancel", {}, {0x00}, ""};
  cases[2].s.final_answer = FinalAnswer::kCancel;
  cases[3] = {"unknown kind", {}, {0x41}, ""};
  cases[3].s.final_answer = FinalAnswer::kUnknownKind;
  cases[4] = {"silent after a relay", {}, {0x55, -1}, ""};
  cases[4].s.relays = 1;
  cases[4].s.final_answer = FinalAnswer::kSilent;

  TransRecord rec;
  std::memset(&rec, 0, sizeof rec);
  std::memcpy(rec.trans_type, "30", 2);
  std::memcpy(rec.agent_code, "B0110001", 8);
  std::memcpy(rec.ref15, "REF000000000001", 15);
  for (Case& c : cases) {
    SimOnCom term(c.s, 62);
    ASSERT_TRUE(term.started());
    CComPort port;
    ASSERT_EQ(port.Open(62, 9600), 1);
    port.SetTimeout(5);
    CMessage m;
    m.BuildRequest(rec, "A0");
    int n = m.Pack();
    std::vector<int> kinds;
    uint8_t buffer[kFrameMax];
    for (size_t i = 0; i < c.kinds.size(); ++i) {
      if (n > 0) port.Send(m.GetFrame(), n);
      n = 0;
      int32_t got = port.ReceiveFrame(buffer);
      if (got == 0) {
        kinds.push_back(-1);
        break;
      }
      m.Load(buffer, got);
      kinds.push_back(m.header.GetKind());
      if (m.header.GetKind() == kKindRelay) {
        m.body.SetLength(m.BuildHostRequest(rec));
        m.Pack();
        const uint8_t answer[] = "BANK ANSWER";
        m.body.SetData(answer, sizeof answer);
        n = m.Pack();
      }
    }
    EXPECT_EQ(kinds, c.kinds) << c.what;
    if (!c.resp_code.empty()) {
      m.Unpack();
      ResultRecord res;
      m.body.GetResult(res);
      EXPECT_EQ(std::string(res.resp_code, 2), c.resp_code) << c.what;
      EXPECT_EQ(std::string(res.ref15, 15), "REF000000000001") << c.what;
    }
    if (c.s.final_answer == FinalAnswer::kCancel) {
      EXPECT_EQ(std::string(m.header.GetCode(), 6), "CANCEL");
    }
    port.Close();
  }
}

TEST_F(TerminalTest, ReleaseOnFailureSendsTheCancelNoticeOnlyWhenAsked) {
  SimOnCom term(TerminalScenario{}, 63);
  ASSERT_TRUE(term.started());
  {
    Transaction t;
    ASSERT_EQ(com_port().Open(63, 9600), 1);
    t.ReleaseOnFailure(table_error(189));  // no notice for this one
    EXPECT_EQ(com_port().IsOpen(), 0);
  }
  {
    Transaction t;
    ASSERT_EQ(com_port().Open(63, 9600), 1);
    CError e = table_error(197);
    t.ReleaseOnFailure(e);
    EXPECT_EQ(com_port().IsOpen(), 0);
    t.ReleaseOnFailure(e);  // a closed port: nothing to send, nothing thrown
  }
  ASSERT_TRUE(term.sim().WaitForReceived(1, 2000));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  auto got = term.sim().Received();
  ASSERT_EQ(got.size(), 1u);
  ASSERT_EQ(got[0].size(), 70u);
  EXPECT_EQ(std::string(got[0].begin() + 6, got[0].begin() + 12), "CANCEL");
  EXPECT_EQ(std::string(got[0].begin() + 26, got[0].begin() + 28), "C5");
  const char* text = kErrorTable[13].text;
  EXPECT_EQ(std::string(got[0].begin() + 28, got[0].begin() + 28 + std::strlen(text)), text);
}

// A business host that passes the network test: it answers anything with byte 7 '1'.
class BusinessHost {
 public:
  BusinessHost() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    int on = 1;
    ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    for (int p = 1000 + static_cast<int>(::getpid() % 8000), tries = 0; tries < 1000; ++tries) {
      sockaddr_in a{};
      a.sin_family = AF_INET;
      a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      a.sin_port = htons(static_cast<uint16_t>(p));
      if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 8) == 0) {
        port_ = p;
        break;
      }
      p = p >= 10000 ? 1000 : p + 1;
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~BusinessHost() {
    stop_ = true;
    thread_.join();
    ::close(fd_);
  }
  int port() const { return port_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int c = ::accept(fd_, nullptr, nullptr);
      if (c < 0) continue;
      char in[64];
      pollfd pc{c, POLLIN, 0};
      if (::poll(&pc, 1, 1000) > 0) (void)::recv(c, in, sizeof in, 0);
      const char answer[] = "0005xxx1x";
      (void)::send(c, answer, sizeof answer - 1, MSG_NOSIGNAL);
      ::close(c);
    }
  }
  int fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

class CardTransOverPty : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_GT(host_.port(), 0); }

  int Call(int com) {
    std::string request = "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||" +
                          std::to_string(com) + "|127.0.0.1|" + std::to_string(host_.port()) +
                          "|30|127.0.0.1|" + std::to_string(host_.port()) + "|30";
    std::memset(result_, 0, sizeof result_);
    std::memset(result_ + 555, 0x5A, sizeof result_ - 555);
    int rc = card_trans(request.c_str(), result_);
    for (size_t i = 555; i < sizeof result_; ++i) EXPECT_EQ(result_[i], 0x5A) << "guard " << i;
    EXPECT_EQ(com_port().IsOpen(), 0);  // closed on the way out
    return rc;
  }
  std::string Expected(const char* gbk) const {
    std::string e(gbk);
    e.resize(555, ' ');
    return e;
  }
  std::string Result() const { return std::string(result_, 555); }
  bool StatusHas(const std::string& s) const { return status_.Has(s); }

  VirtualClock clock_;
  ScopedClock scoped_{clock_};
  BusinessHost host_;
  quendal_test::StatusLog status_;
  char result_[555 + 16];
};

TEST_F(CardTransOverPty, MissingDeviceFailsToOpen) {
  ::unsetenv("QUENDAL_COM64");
  EXPECT_EQ(Call(64), 1);  // /dev/ttyS63 does not exist
  EXPECT_EQ(Result(), Expected(kErrorTable[1].text));
  EXPECT_EQ(std::string(kErrorTable[1].text).size() + 544, 555u);
}

TEST_F(CardTransOverPty, SilentTerminalFailsTheTest) {
  TerminalScenario s;
  s.answer_test = false;
  SimOnCom term(s, 65);
  ASSERT_TRUE(term.started());
  EXPECT_EQ(Call(65), 1);
  EXPECT_EQ(Result(), Expected(kErrorTable[5].text));
  EXPECT_TRUE(StatusHas(text::kOpenCom));
  EXPECT_FALSE(StatusHas(std::string(text::kOpenCom) + text::kSucceeded));
  EXPECT_EQ(term.sim().Received().size(), 1u);  // the test frame, and no cancel notice
}

TEST_F(CardTransOverPty, AnsweringTerminalPassesTheTest) {
  SimOnCom term(TerminalScenario{}, 66);
  ASSERT_TRUE(term.started());
  Call(66);
  EXPECT_TRUE(StatusHas(std::string(text::kOpenCom) + text::kSucceeded));
  EXPECT_NE(Result(), Expected(kErrorTable[5].text));
  auto got = term.sim().Received();
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(std::string(got[0].begin() + 6, got[0].begin() + 14), "AREYOUOK");
  // The 500 ms pause before the test went through the clock.
  auto sleeps = clock_.Sleeps();
  EXPECT_NE(std::find(sleeps.begin(), sleeps.end(), 500u), sleeps.end());
}

}  // namespace
}  // namespace quendal
