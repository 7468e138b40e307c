#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/insurance.h"

namespace quendal {
namespace {

std::string wire(CInsurance& message) { return std::string(message.Data(), message.GetLength()); }

template <size_t N>
void set(char (&area)[N], const char* value) {
  std::memset(area, ' ', N);
  std::memcpy(area, value, std::strlen(value));
}

TEST(InsuranceMessage, NetworkTestIsExactlySixBytes) {
  CInsurance message;
  ResultRecord record;
  std::memset(&record, 'X', sizeof record);
  message.SetResultRecord(&record);
  message.Pack();  // a longer message first: none of it may stay behind
  message.BuildNetworkTest();
  EXPECT_EQ(message.GetLength(), 6);
  EXPECT_EQ(wire(message), "000204");
  EXPECT_EQ(std::string(message.Data() + 6, CInsurance::kBufferSize - 6),
            std::string(CInsurance::kBufferSize - 6, '\0'));
}

// The record of the whole-report example: blanks everywhere the message reads, then the values.
class InsuranceReport : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&record_, ' ', sizeof record_);
    set(record_.trans_type, "30");
    set(record_.resp_code, "00");
    set(record_.text2, "OK");
    set(record_.area169, "1230");
    set(record_.amount, "000000012345");
    set(record_.date_time, "20091231235958");
    set(record_.ref15, "ABC");
    std::memset(ref_, 0, sizeof ref_);
    std::memcpy(ref_, "REF1", 4);
  }

  std::string Pack() {
    CInsurance message;
    message.SetBusinessRef(ref_);
    message.SetResultRecord(&record_);
    int length = message.Pack();
    EXPECT_EQ(length, message.GetLength());
    return wire(message);
  }

  ResultRecord record_;
  char ref_[64];
};

TEST_F(InsuranceReport, WholeReportByteForByte) {
  EXPECT_EQ(Pack(),
            "0077"
            "01|00|REF1|OK|01051000|||||12/30|||||30|123.45||2009/12/31|23:59:58|REF1|ABC|");
}

TEST_F(InsuranceReport, MessageTypeFollowsTheTransactionType) {
  struct Case {
    const char* trans_type;
    const char* prefix;
    const char* field15;
  } cases[] = {{"30", "01|", "|30|"},
               {"40", "05|", "|40|"},
               {"93", "03|", "|93|"},
               {"92", "04|", "|92|"},
               {"80", "04|", "|80|"}};
  for (const Case& c : cases) {
    set(record_.trans_type, c.trans_type);
    std::string message = Pack();
    EXPECT_EQ(message.substr(4, 3), c.prefix) << c.trans_type;
    EXPECT_NE(message.find(std::string(c.field15) + "123.45|"), std::string::npos) << message;
  }
}

TEST_F(InsuranceReport, RefusedResultCarriesTheResponseText) {
  set(record_.resp_code, "51");
  set(record_.resp_text, "  NO FUNDS");
  EXPECT_EQ(Pack().substr(4, 20), "01|51|REF1|NO FUNDS|");
}

TEST_F(InsuranceReport, FieldsAreTrimmedAndAmountsFormatted) {
  // A business reference of blanks around AB, then zero bytes, appears trimmed twice.
  std::memset(ref_, 0, sizeof ref_);
  std::memcpy(ref_, "  AB  ", 6);
  set(record_.area87, "  X Y ");
  set(record_.amount, "000000000005");
  EXPECT_EQ(Pack(),
            "0074"
            "01|00|AB|OK|01051000|X Y||||12/30|||||30|0.05||2009/12/31|23:59:58|AB|ABC|");

  set(record_.amount, "000000000000");
  EXPECT_NE(Pack().find("|30|0.00||"), std::string::npos);
}

// A '|' in a terminal's text would split its field and shift the amount and the business reference
// after it; as the second byte of a GBK character (0x81 0x7C) it is half a character and stays.
TEST_F(InsuranceReport, BarInsideATextFieldStaysInsideIt) {
  set(record_.text2, "OK|99999999.99|POLICY-EVIL");
  set(record_.area87, "\x81|\xb0\xa1|Z");
  std::memset(ref_, 0, sizeof ref_);
  std::memcpy(ref_, "A|B", 3);
  EXPECT_EQ(Pack(),
            "0105"
            "01|00|A B|OK 99999999.99 POLICY-EVIL|01051000|\x81|\xb0\xa1 Z||||12/30|||||30|123.45||"
            "2009/12/31|23:59:58|A B|ABC|");
}

TEST(InsuranceMessage, ZeroRecordSendsStoredAreasAsZeroBytes) {
  ResultRecord record;
  std::memset(&record, 0, sizeof record);
  char ref[64] = {};
  CInsurance message;
  message.SetBusinessRef(ref);
  message.SetResultRecord(&record);
  message.Pack();
  const std::string z2(2, '\0');
  std::string payload = "04||||01051000|||||" + z2 + "/" + z2 + "|||||" + z2 + "|0.00||" + z2 + z2 +
                        "/" + z2 + "/" + z2 + "|" + z2 + ":" + z2 + ":" + z2 + "|||";
  EXPECT_EQ(wire(message), "00" + std::to_string(payload.size()) + payload);
}

TEST(InsuranceMessage, LargestReportFitsAndItsLengthCountsThePayload) {
  ResultRecord record;
  std::memset(&record, 'X', sizeof record);
  std::memcpy(record.trans_type, "30", 2);
  std::memcpy(record.resp_code, "00", 2);
  std::memset(record.amount, '9', sizeof record.amount);
  char ref[64];
  std::memset(ref, 'R', sizeof ref);
  CInsurance message;
  message.SetBusinessRef(ref);
  message.SetResultRecord(&record);
  EXPECT_EQ(message.Pack(), 342);
  EXPECT_EQ(std::string(message.Data(), 4), "0338");
  EXPECT_NE(wire(message).find("|30|9999999999.99|"), std::string::npos);
}

TEST(InsuranceMessage, PackWithoutARecordBuildsNothing) {
  CInsurance message;
  EXPECT_EQ(message.Pack(), 0);
  EXPECT_EQ(message.GetLength(), 0);
}

}  // namespace
}  // namespace quendal
