#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/error.h"
#include "intake/checks.h"
#include "intake/trans_record.h"

namespace quendal {
namespace {

// A request line with every field valid; tests change one field at a time.
struct Request {
  std::string f[15] = {
      "1", "REF000000000001", "B0110001", "12345", "000000",       "VAL001", "POLICY-42", "",
      "1", "10.1.2.3",        "8000",     "30",    "192.168.1.20", "9000",   "60"};
  std::string Line() const {
    std::string line;
    for (int i = 0; i < 15; ++i) line += (i ? "|" : "") + f[i];
    return line;
  }
};

TransRecord build(const std::string& line) {
  TransRecord rec;
  std::memset(&rec, 0, sizeof rec);
  build_trans_record(line.c_str(), rec);
  return rec;
}

// The code a request line is refused with; 0 when it passes.
int refusal(const std::string& line) {
  CheckedRequest req;
  try {
    read_request(line.c_str(), req);
  } catch (const CError& e) {
    return e.code;
  }
  return 0;
}

TEST(TransRecord, MapsOperationTypes) {
  struct Case {
    const char* field;
    const char* code;
  } cases[] = {{"1", "30"},   {"2", "92"}, {"3", "93"},  {"4", "30"}, {"5", "40"},
               {"05", "40"},  {"6", "80"}, {"0", "30"},  {"7", "30"}, {"15", "30"},
               {"123", "30"}, {"", "30"},  {"-3", "30"}, {"x", "30"}, {" 5", "40"}};
  for (const Case& c : cases) {
    EXPECT_EQ(std::string(trans_type_of(c.field, std::strlen(c.field)), 2), c.code) << c.field;
  }
}

TEST(TransRecord, LaysOutFieldsWithZeroTails) {
  Request r;
  r.f[1] = "ABC";
  r.f[4] = "12";
  TransRecord rec = build(r.Line());
  const auto* b = reinterpret_cast<const unsigned char*>(&rec);
  EXPECT_EQ(std::string(rec.trans_type, 2), "30");
  EXPECT_EQ(std::string(rec.ref15, 3), "ABC");
  for (int i = 5; i <= 16; ++i) EXPECT_EQ(b[i], 0) << i;  // no blanks, no terminator
  EXPECT_EQ(std::string(rec.agent_code, 8), "B0110001");
  EXPECT_EQ(std::string(rec.amount, 12), "000000012345");
  EXPECT_EQ(std::string(rec.stamp, 6), std::string("12\0\0\0\0", 6));
  EXPECT_EQ(std::string(rec.ref6, 6), "VAL001");
  EXPECT_EQ(std::string(rec.business_ref, 9), "POLICY-42");
  for (int i = 49 + 9; i < 433; ++i) ASSERT_EQ(b[i], 0) << i;

  r.f[3] = "";
  EXPECT_EQ(std::string(build(r.Line()).amount, 12), "000000000000");
}

// Over-long fields are cut to their areas; a canary record around the areas stays intact.
TEST(TransRecord, OverlongFieldsNeverLeaveTheirAreas) {
  Request r;
  r.f[1] = std::string(40, 'R');
  r.f[2] = "B0110001EXTRA";
  r.f[3] = std::string(20, '9');
  r.f[4] = "1234567890";
  r.f[5] = "ABCDEFGHIJ";
  r.f[6] = std::string(300, 'P');
  struct {
    TransRecord rec;
    unsigned char guard[16];
  } box;
  std::memset(&box, 0, sizeof box);
  std::memset(box.guard, 0xA5, sizeof box.guard);
  std::string line = r.Line();
  build_trans_record(line.c_str(), box.rec);
  EXPECT_EQ(std::string(box.rec.ref15, 15), std::string(15, 'R'));
  EXPECT_EQ(std::string(box.rec.agent_code, 8), "B0110001");
  EXPECT_EQ(std::string(box.rec.amount, 12), std::string(12, '9'));
  EXPECT_EQ(std::string(box.rec.stamp, 6), "123456");
  EXPECT_EQ(std::string(box.rec.ref6, 6), "ABCDEF");
  EXPECT_EQ(std::string(box.rec.business_ref, 64), std::string(64, 'P'));
  for (unsigned char g : box.guard) EXPECT_EQ(g, 0xA5);
  for (char c : box.rec.reserved) ASSERT_EQ(c, 0);
}

TEST(Validation, AddressRule) {
  struct Case {
    const char* address;
    int code;
  } cases[] = {{"1.0.0.1", 0},
               {"1..0.1", 0},
               {"192.168.100.100", 0},
               {"0.1.1.1", 188},
               {"1.1.1.0", 188},
               {"1.1.1.255", 188},
               {"1.1.1", 188},
               {"1.1.1.1.", 188},
               {" 1.1.1.1", 188},
               {"192.168.100.1000", 188},
               {"1.1.1.-1", 188},
               {"a.1.1.1", 188},
               {"", 188},
               {"1.1.1.254", 0}};
  for (const Case& c : cases) {
    Request r;
    r.f[9] = c.address;
    EXPECT_EQ(refusal(r.Line()), c.code) << "bank " << c.address;
    Request b;
    b.f[12] = c.address;
    EXPECT_EQ(refusal(b.Line()), c.code) << "business " << c.address;
  }
}

TEST(Validation, PortsAndTimeouts) {
  struct Case {
    int field;
    const char* value;
    int code;
  } cases[] = {{10, "1000", 0}, {10, "10000", 0},   {10, "999", 188}, {10, "10001", 188},
               {10, "", 188},   {10, "8080abc", 0}, {13, "999", 188}, {13, "10000", 0},
               {11, "1", 0},    {11, "300", 0},     {11, "0", 188},   {11, "301", 188},
               {11, "", 188},   {14, "0", 188},     {14, "300", 0},   {14, "99999999999", 188}};
  for (const Case& c : cases) {
    Request r;
    r.f[c.field] = c.value;
    EXPECT_EQ(refusal(r.Line()), c.code) << "field " << c.field << " = '" << c.value << "'";
  }
}

TEST(Validation, AmountTypeAndAgencyCode) {
  struct Case {
    const char* type;
    const char* amount;
    const char* agent;
    int code;
  } cases[] = {
      {"1", "1", "B0110001", 0},
      {"1", "0", "B0110001", 190},
      {"1", "000", "B0110001", 190},
      {"1", "12.50", "B0110001", 190},
      {"1", "-5", "B0110001", 190},
      {"1", "", "B0110001", 190},
      {"5", "abc", "B0110001", 190},
      {"2", "letters", "B0110001", 0},
      {"3", "", "B0110001", 0},
      {"1", "999999999999", "B0110001", 0},
      {"1", "0000000000001", "B0110001", 190},  // 13 digits do not fit the amount
      {"6", "0000000000001", "B0110001", 0},    // not looked at for this type
      {"1", "1", "b0110001", 191},
      {"1", "1", "B011000", 191},
      {"1", "0", "B011000", 191},  // the agency code is checked before the amount
  };
  for (const Case& c : cases) {
    Request r;
    r.f[0] = c.type;
    r.f[3] = c.amount;
    r.f[2] = c.agent;
    EXPECT_EQ(refusal(r.Line()), c.code) << c.type << " " << c.amount << " " << c.agent;
  }
}

TEST(Validation, ErrorPrecedenceAndShortLines) {
  Request r;
  r.f[2] = "X";
  r.f[9] = "bad";
  EXPECT_EQ(refusal(r.Line()), 191);  // agency code before the network format

  Request bank_and_business;
  bank_and_business.f[10] = "1";
  bank_and_business.f[12] = "bad";
  EXPECT_EQ(refusal(bank_and_business.Line()), 188);

  // Fields 0 to 8 valid but fewer than 13 fields: the missing address reads empty.
  EXPECT_EQ(refusal("1|R|B0110001|100|||||1|10.1.2.3|8000|30"), 188);
  EXPECT_EQ(refusal("1|R|B0110001|100|||||1"), 188);
  EXPECT_EQ(refusal(""), 191);

  Request anything7;
  anything7.f[7] = "whatever \x81\x40 goes";
  EXPECT_EQ(refusal(anything7.Line()), 0);
  anything7.f[7] = "";
  EXPECT_EQ(refusal(anything7.Line() + "|"), 0);  // a trailing '|' only adds an empty field
}

TEST(Validation, ComPortOfField8) {
  EXPECT_EQ(com_port_of("1||||||||3|"), 3);
  EXPECT_EQ(com_port_of("1||||||||  12x|"), 12);
  EXPECT_EQ(com_port_of("1|||||||"), 0);
  EXPECT_EQ(com_port_of(""), 0);
}

}  // namespace
}  // namespace quendal
