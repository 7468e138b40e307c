// The command's encodings: what a support desk types reaches the terminal and the hosts as GBK,
// and what cannot is refused with its place, the same through iconv and through Windows' code
// pages.
#include <gtest/gtest.h>

#include <string>

#include "gbk.h"

namespace {

using quendal_tool::convert_text;

TEST(ToolEncoding, TypedTextBecomesGbkAndBack) {
  std::string gbk;
  size_t bad_at = 99;
  ASSERT_TRUE(
      quendal_tool::to_gbk("\xe4\xbf\x9d\xe5\x8d\x95-42", "UTF-8", &gbk, &bad_at));  // 保单-42
  EXPECT_EQ(gbk, "\xb1\xa3\xb5\xa5-42");
  EXPECT_EQ(quendal_tool::gbk_to_utf8(gbk), "\xe4\xbf\x9d\xe5\x8d\x95-42");
  EXPECT_EQ(quendal_tool::utf8_to_gbk("REF 0001|"), "REF 0001|");
}

TEST(ToolEncoding, StrictConversionNamesTheFirstBadByte) {
  struct Case {
    const char* name;
    std::string text;
    size_t bad_at;
  };
  const Case cases[] = {
      {"a byte that is not UTF-8", "ab\xff", 2},
      {"a cut character", "ab\xe4\xbf", 2},
      {"a character with no GBK form", "a\xf0\x9f\x98\x80", 1},  // an emoji
  };
  for (const Case& c : cases) {
    std::string gbk;
    size_t bad_at = 99;
    EXPECT_FALSE(quendal_tool::to_gbk(c.text, "UTF-8", &gbk, &bad_at)) << c.name;
    EXPECT_EQ(bad_at, c.bad_at) << c.name;
  }
}

TEST(ToolEncoding, ShownTextTurnsWhatIsNotGbkIntoQuestionMarks) {
  // A stray byte, and a lead byte whose second byte never came.
  EXPECT_EQ(quendal_tool::gbk_to_utf8("\xff"
                                      "A"),
            "?A");
  EXPECT_EQ(quendal_tool::gbk_to_utf8("OK\xb1"), "OK?");
  std::string out;
  EXPECT_TRUE(convert_text("UTF-8", "GBK", "\xd6\xd0", &out));  // 中
  EXPECT_EQ(out, "\xe4\xb8\xad");
}

}  // namespace
