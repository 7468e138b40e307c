#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "common/error.h"
#include "common/texts.h"
#include "gbk_util.h"
#include "support/readable_texts.h"

namespace quendal {
namespace {

using quendal_test::gbk_to_utf8_strict;

TEST(ErrorTable, RowsInOrderWithTheirFlags) {
  const int codes[] = {177, 178, 179, 180, 181, 182, 186, 187, 188, 189, 190,
                       191, 196, 197, 198, 199, 200, 201, 202, 203, 206, 19};
  ASSERT_EQ(kErrorTableRows, 22);
  std::set<int> flagged = {177, 196, 197, 198, 199, 200, 201, 202};
  for (int i = 0; i < kErrorTableRows; ++i) {
    EXPECT_EQ(kErrorTable[i].code, codes[i]) << "row " << i;
    EXPECT_EQ(kErrorTable[i].cancel_pos, flagged.count(codes[i]) ? 1 : 0) << codes[i];
    EXPECT_LE(std::strlen(kErrorTable[i].text), 40u);
  }
}

// Every GBK literal decodes to exactly the readable text beside it.
TEST(ErrorTable, EveryTextDecodesToItsReadableForm) {
  ASSERT_EQ(sizeof quendal_test::kReadableErrors / sizeof quendal_test::kReadableErrors[0],
            static_cast<size_t>(kErrorTableRows));
  for (int i = 0; i < kErrorTableRows; ++i) {
    EXPECT_EQ(kErrorTable[i].code, quendal_test::kReadableErrors[i].code);
    EXPECT_EQ(gbk_to_utf8_strict(kErrorTable[i].text), quendal_test::kReadableErrors[i].utf8)
        << kErrorTable[i].code;
  }
  for (const quendal_test::ReadableText& t : quendal_test::kReadableStatusTexts) {
    EXPECT_EQ(gbk_to_utf8_strict(t.gbk), t.utf8);
  }
}

TEST(ErrorTable, KnownByteLengths) {
  EXPECT_EQ(std::strlen(table_error(178).text), 11u);  // "打开COM错误"
  EXPECT_EQ(table_error(191).TextLength(), 16u);       // "保险代公司号错误"
  EXPECT_EQ(table_error(199).TextLength(), 22u);       // "打开保险主机Socket错误"
  EXPECT_EQ(table_error(206).TextLength(), 8u);        // "操作取消"
}

TEST(CError, SetFromTableFillsCodeTextAndFlag) {
  CError e;
  e.SetFromTable(196);
  EXPECT_EQ(e.code, 196);
  EXPECT_EQ(e.cancel_pos, 1);
  EXPECT_EQ(gbk_to_utf8_strict(std::string(e.text, e.TextLength())), "打开银行主机Socket错误");

  e.SetFromTable(19);  // the last row is found too
  EXPECT_EQ(e.code, 19);
  EXPECT_EQ(e.cancel_pos, 0);

  // An unknown code clears only the text.
  e.code = 77;
  e.cancel_pos = 1;
  e.SetFromTable(5);
  EXPECT_EQ(e.code, 77);
  EXPECT_EQ(e.cancel_pos, 1);
  EXPECT_EQ(e.TextLength(), 0u);

  e.Clear();
  EXPECT_EQ(e.code, 0);
  EXPECT_EQ(e.cancel_pos, 0);
}

TEST(CError, FullWidthTextHasNoTerminator) {
  CError e;
  std::string forty(40, 'X');
  e.SetText((forty + "overflow").c_str(), 48);
  EXPECT_EQ(std::string(e.text, 40), forty);
  EXPECT_EQ(e.TextLength(), 40u);
}

}  // namespace
}  // namespace quendal
