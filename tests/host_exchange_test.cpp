#include "host/host_exchange.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/failure_text.h"
#include "common/texts.h"
#include "host/insurance.h"
#include "host/socket_ops.h"
#include "host_test_util.h"
#include "sim/host_sim.h"

namespace quendal {
namespace {

using quendal_sim::business_answer;
using quendal_sim::HostRole;
using quendal_sim::HostScenario;
using quendal_sim::HostSim;

class BusinessHostTest : public SimulatedHostTest {
 protected:
  BusinessHostTest() : SimulatedHostTest("business", HostRole::kBusiness) {}
  CHostLink Link(int timeout_s = 5) { return link_to(sim_.Port(), 1, timeout_s); }
};

TEST_F(BusinessHostTest, NetworkTestSendsItsSixBytesAndClosesAfterTheAnswer) {
  CHostLink link = Link();
  // Accepted on byte 7 alone, whatever the length field says.
  sim_.SetScenario(HostScenario::Answer(business_answer('1', "welcome", 2)));
  test_insurer_network(link);
  EXPECT_EQ(link.IsConnected(), 0);  // the exchange worked on its own copy
  ASSERT_TRUE(sim_.WaitConnections(1, 5000));
  EXPECT_EQ(sim_.Requests().at(0), "000204");
  EXPECT_EQ(sim_.ClosedByClient(), 1);
}

struct RefusalCase {
  const char* name;
  std::string answer;
  std::string text;  // the 203 error's text
};

TEST_F(BusinessHostTest, NetworkTestRefusalCarriesTheHostsText) {
  const std::string sixty(60, 'T');
  const std::string table_text = table_error(203).text;
  const RefusalCase cases[] = {
      {"20-byte text", business_answer('0', "ABCDEFGHIJKLMNOPQRST", 25), "ABCDEFGHIJKLMNOPQRST"},
      {"60 bytes cut to 40", business_answer('0', sixty), sixty.substr(0, 40)},
      // A refusal without words keeps the table's text.
      {"length 0003", business_answer('0', "ignored", 3), table_text},
      {"length beyond what arrived", business_answer('0', "only this", 100), "only this"},
      {"GBK text", business_answer('2', text::kTransComplete), text::kTransComplete},
      // Too short to carry a flag: a refusal, whatever its last byte.
      {"seven bytes", "0003001", table_text},
      {"line breaks and control bytes", business_answer('0', "A\r\nB\x1b\x7f"), "A  B  "},
  };
  for (const RefusalCase& c : cases) {
    sim_.SetScenario(HostScenario::Answer(c.answer));
    CError error = error_of([&] { test_insurer_network(Link()); });
    EXPECT_EQ(error.code, 203) << c.name;
    EXPECT_EQ(error.cancel_pos, 0) << c.name;
    EXPECT_EQ(text_of(error), c.text) << c.name;
  }
}

// What does not begin with the four length digits is no answer of this protocol, whatever stands
// where the flag would be: the receive error, never an acceptance.
TEST_F(BusinessHostTest, AnswerOfAnotherProtocolIsTheReceiveError) {
  for (const char* answer : {"1", "000", "HTTP/1.1 200 OK\r\n\r\n", "xxxxxxx1", "00a5001|"}) {
    sim_.SetScenario(HostScenario::Answer(answer));
    CError error = error_of([&] { test_insurer_network(Link()); });
    EXPECT_EQ(error.code, 201) << answer;
    EXPECT_EQ(text_of(error), table_error(201).text) << answer;
  }
}

TEST_F(BusinessHostTest, NetworkTestPassesTheLinksErrorsOn) {
  quendal_sim::RefusingPort down;
  CError error = error_of([&] { test_insurer_network(link_to(down.Port(), 1)); });
  EXPECT_EQ(error.code, 199);
  EXPECT_EQ(text_of(error), table_error(199).text);
  EXPECT_EQ(error.cancel_pos, 1);

  sim_.SetScenario(HostScenario::Silent());
  EXPECT_EQ(error_of([&] { test_insurer_network(Link(1)); }).code, 201);
}

class ReportTest : public BusinessHostTest {
 protected:
  void SetUp() override {
    BusinessHostTest::SetUp();
    std::memset(&record_, ' ', sizeof record_);
    std::memcpy(record_.trans_type, "30", 2);
    std::memcpy(record_.resp_code, "51", 2);
    std::memcpy(record_.resp_text, "NO FUNDS", 8);
    std::memcpy(record_.amount, "000000012345", 12);
    std::memset(ref_, 0, sizeof ref_);
    std::memcpy(ref_, "POLICY-42", 9);
    std::memset(failure_text_, 0, kFailureTextSize);
  }

  std::string FailureText() const { return std::string(failure_text_, kFailureTextSize); }

  ResultRecord record_;
  char ref_[64];
  char failure_text_[kFailureTextSize];
  CProcessWindow window_;
};

TEST_F(ReportTest, AcceptedReportSendsThePackedMessageAndLeavesNoTrace) {
  report_result(window_, Link(), record_, ref_, failure_text_);
  ASSERT_TRUE(sim_.WaitConnections(1, 5000));
  CInsurance expected;
  expected.SetBusinessRef(ref_);
  expected.SetResultRecord(&record_);
  expected.Pack();
  EXPECT_EQ(sim_.Requests().at(0), std::string(expected.Data(), expected.GetLength()));
  EXPECT_EQ(window_.StatusText(), "");
  EXPECT_EQ(FailureText(), std::string(kFailureTextSize, '\0'));
}

TEST_F(ReportTest, RefusedReportThrowsTheBanksResultAndLeavesTheHostsText) {
  sim_.SetScenario(quendal_sim::business_refuse("ABC"));
  CError error = error_of([&] { report_result(window_, Link(), record_, ref_, failure_text_); });
  EXPECT_EQ(error.code, 51);
  EXPECT_EQ(std::string(error.text, 40), std::string(record_.resp_text, 40));
  EXPECT_EQ(error.cancel_pos, 1);

  std::string held = std::string("ABC.....") + text::kBankInfo;
  EXPECT_EQ(FailureText(), held + std::string(kFailureTextSize - held.size(), '\0'));
  EXPECT_EQ(window_.StatusText(), std::string(text::kReportRefused) + "ABC.....");
}

TEST_F(ReportTest, RefusedReportBoundsTheHostsText) {
  struct Case {
    const char* resp_code;
    std::string answer;
    int32_t code;
    std::string host_text;
  } cases[] = {
      {"00", business_answer('0', "X"), 0, "X"},
      {"05", business_answer('0', std::string(500, 'L')), 5, std::string(453, 'L')},
      {"51", business_answer('0', std::string("AB\0CD", 5)), 51, "AB"},
      {"51", "0005", 51, ""},
  };
  for (const Case& c : cases) {
    std::memcpy(record_.resp_code, c.resp_code, 2);
    sim_.SetScenario(HostScenario::Answer(c.answer));
    CError error = error_of([&] { report_result(window_, Link(), record_, ref_, failure_text_); });
    EXPECT_EQ(error.code, c.code);
    EXPECT_EQ(error.cancel_pos, 1);
    std::string held = c.host_text + "....." + text::kBankInfo;
    EXPECT_EQ(FailureText(), held + std::string(kFailureTextSize - held.size(), '\0'));
  }
}

TEST_F(ReportTest, ReportPassesTheLinksErrorsOn) {
  sim_.SetScenario(HostScenario::Close());
  CError error = error_of([&] { report_result(window_, Link(), record_, ref_, failure_text_); });
  EXPECT_EQ(error.code, 201);
  EXPECT_EQ(error.cancel_pos, 1);
  EXPECT_EQ(FailureText(), std::string(kFailureTextSize, '\0'));
}

}  // namespace
}  // namespace quendal
