#include "codec/codec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/virtual_clock.h"

namespace quendal {
namespace {

std::string bytes(const void* p, size_t n) { return std::string(static_cast<const char*>(p), n); }

TEST(FieldSplit, LocatesFieldsByteWise) {
  const char* empty = "";
  EXPECT_EQ(field_start(empty, 0, '|'), empty);
  EXPECT_EQ(field_length(empty, 0, '|'), 0u);

  const char* line = "ab||cde|";
  EXPECT_EQ(field_start(line, 0, '|'), line);
  EXPECT_EQ(field_length(line, 0, '|'), 2u);
  EXPECT_EQ(field_length(line, 1, '|'), 0u);
  EXPECT_EQ(std::string(field_start(line, 2, '|'), field_length(line, 2, '|')), "cde");
  EXPECT_EQ(field_start(line, 3, '|'), line + 8);  // behind the trailing separator
  EXPECT_EQ(field_start(line, 9, '|'), line + 8);  // beyond the last separator

  const char* two = "a|b|c";
  EXPECT_EQ(*field_start(two, 3, '|'), '\0');
  // A GBK character whose second byte is 0x7C splits the field in its middle.
  const char gbk[] =
      "\x81\x7c"
      "x";
  EXPECT_EQ(field_length(gbk, 0, '|'), 1u);
  EXPECT_EQ(field_length(gbk, 1, '|'), 1u);
}

TEST(LeadingInt, SkipsBlanksTakesSignStopsAtNonDigit) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"8080abc", 8080},
               {"", 0},
               {"  42", 42},
               {"-5", -5},
               {"+7|9", 7},
               {"x1", 0},
               {"|30", 0},
               {"\t 12", 12},
               {"99999999999999", INT32_MAX},
               {"-99999999999", INT32_MIN}};
  for (const Case& c : cases) EXPECT_EQ(leading_int(c.text), c.value) << c.text;
  EXPECT_EQ(leading_int("12345", 3), 123);
}

TEST(Decimal, WritesFixedWidthKeepingLowDigits) {
  char out[13] = {};
  int_to_dec(out, 3, 7);
  EXPECT_EQ(bytes(out, 3), "007");
  int_to_dec(out, 3, 1234);
  EXPECT_EQ(bytes(out, 3), "234");
  EXPECT_EQ(int_to_dec(out, 12, 5), out + 12);
  EXPECT_EQ(bytes(out, 12), "000000000005");
  int_to_dec(out, 10, 2147483647);
  EXPECT_EQ(bytes(out, 10), "2147483647");

  EXPECT_EQ(dec_to_int(" 42", 3), 42);
  EXPECT_EQ(dec_to_int("A", 1), 1);
  EXPECT_EQ(dec_to_int("0025", 4), 25);
}

TEST(Amount, ReadsHundredthsLocaleFree) {
  EXPECT_DOUBLE_EQ(amount_value("000000000000", 12), 0.0);
  EXPECT_DOUBLE_EQ(amount_value("000000000001", 12), 0.01);
  EXPECT_DOUBLE_EQ(amount_value("000000012345", 12), 123.45);
  EXPECT_DOUBLE_EQ(amount_value("   abc", 6), 0.0);
  EXPECT_DOUBLE_EQ(amount_value("00000001x345", 12), 1.0);

  char out[32];
  struct Case {
    double value;
    const char* text;
  } cases[] = {{123.45, "123.45"}, {0.05, "0.05"}, {0.0, "0.00"}, {9999999999.99, "9999999999.99"}};
  for (const Case& c : cases) {
    format_amount(out, c.value);
    EXPECT_STREQ(out, c.text);
  }
}

TEST(Bcd, PacksRightAlignedAndReadsNibbles) {
  uint8_t out[3] = {0xEE, 0xEE, 0xEE};
  uint32_t v = 453;
  EXPECT_EQ(int_to_bcd(out, 2, &v), out + 2);
  EXPECT_EQ(bytes(out, 3), bytes("\x04\x53\xEE", 3));  // the byte behind is untouched
  v = 0;
  int_to_bcd(out, 2, &v);
  EXPECT_EQ(bytes(out, 2), bytes("\x00\x00", 2));
  v = 12345;
  int_to_bcd(out, 2, &v);
  EXPECT_EQ(bytes(out, 2), bytes("\x23\x45", 2));

  const uint8_t len[] = {0x04, 0x53};
  EXPECT_EQ(bcd_to_int(len, 4), 453);
  EXPECT_EQ(bcd_to_int(len, 3), 453);
  EXPECT_EQ(bcd_to_int(len, 0), 0);
  const uint8_t wide[] = {0x10, 0x00};
  EXPECT_EQ(bcd_to_int(wide, 4), 1000);
  const uint8_t hex[] = {0x0A, 0x0F};
  EXPECT_EQ(bcd_to_int(hex, 4), 10 * 100 + 15);
}

TEST(Lrc, XorsAndStoresBehindTheRun) {
  uint8_t run[] = {0x01, 0x02, 0x03, 0xAA};
  EXPECT_EQ(lrc_append(run, 3, 0), 0x00);
  EXPECT_EQ(run[3], 0x00);
  uint8_t seed_only[] = {0xAA};
  EXPECT_EQ(lrc_append(seed_only, 0, 0x5C), 0x5C);
  EXPECT_EQ(seed_only[0], 0x5C);
}

TEST(PutField, TrimsBlanksStopsAtZeroAndAddsSeparator) {
  char out[80];
  EXPECT_EQ(put_field(out, "  AB  ", 6), 3u);
  EXPECT_EQ(bytes(out, 3), "AB|");
  EXPECT_EQ(put_field(out, "               ", 15), 1u);
  EXPECT_EQ(out[0], '|');
  EXPECT_EQ(put_field(out, "REF1\0\0\0junk", 11), 5u);
  EXPECT_EQ(bytes(out, 5), "REF1|");
  EXPECT_EQ(put_field(out, "\tA ", 3), 3u);  // only blanks are trimmed
  EXPECT_EQ(bytes(out, 3), "\tA|");

  char text[] = "   ";
  trim(text);
  EXPECT_STREQ(text, "");
}

TEST(TimeStamp, WritesTimeOfDayFromTheClock) {
  VirtualClock at_midnight(1765324800);  // 00:00:00
  ScopedClock use(at_midnight);
  char out[7] = "xxxxxx";
  time_stamp(out);
  EXPECT_STREQ(out, "000000");
  at_midnight.Advance((14 * 3600 + 5 * 60 + 9) * 1000LL);
  time_stamp(out);
  EXPECT_STREQ(out, "140509");
}

}  // namespace
}  // namespace quendal
