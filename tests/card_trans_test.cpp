#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "card_trans_fixture.h"
#include "common/texts.h"

namespace quendal {
namespace {

using quendal_test::CardTransTest;

const std::string kValid =
    "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||1|10.1.2.3|8000|30|"
    "127.0.0.1|9000|2";

std::string with_field(const std::string& line, int n, const std::string& value) {
  std::string out;
  size_t start = 0;
  for (int i = 0; i <= 14; ++i) {
    size_t end = line.find('|', start);
    std::string field = line.substr(start, end == std::string::npos ? end : end - start);
    out += (i ? "|" : "") + (i == n ? value : field);
    start = end == std::string::npos ? line.size() : end + 1;
  }
  return out;
}

TEST_F(CardTransTest, WrongAgencyCodeFailsWithItsTextAndFourStatusTexts) {
  EXPECT_EQ(Call(with_field(kValid, 2, "B0110002")), 1);
  EXPECT_EQ(Result(), Padded(kErrorTable[11].text));
  EXPECT_EQ(std::strlen(kErrorTable[11].text), 16u);
  EXPECT_TRUE(GuardIntact());
  EXPECT_EQ(StatusLog(), std::string(text::kBanner) + text::kResultFailed + text::kBankInfoLine +
                             kErrorTable[11].text);
  EXPECT_EQ(clock_.Sleeps(), std::vector<uint32_t>{5000});
}

// The window's first text names the version the project was configured with, the one source the
// header, the DLL's version record and this banner are all made from.
TEST_F(CardTransTest, TheBannerNamesTheProjectVersion) {
  Call(with_field(kValid, 2, "B0110002"));
  const std::string banner =
      std::string("Mervok\xd7\xa8\xd3\xc3\xb6\xaf\xcc\xac\xbf\xe2") + QUENDAL_PROJECT_VERSION;
  EXPECT_EQ(StatusLog().substr(0, banner.size()), banner);
  EXPECT_STREQ(QUENDAL_VERSION_STRING, QUENDAL_PROJECT_VERSION);
  const std::string numbers = std::to_string(QUENDAL_VERSION >> 24) + "." +
                              std::to_string((QUENDAL_VERSION >> 16) & 0xFF) + "." +
                              std::to_string((QUENDAL_VERSION >> 8) & 0xFF) + "." +
                              std::to_string(QUENDAL_VERSION & 0xFF);
  EXPECT_EQ(numbers, QUENDAL_PROJECT_VERSION);
}

TEST_F(CardTransTest, EachRefusedCheckReturnsItsTextPaddedWithSpaces) {
  struct Case {
    int field;
    const char* value;
    int row;  // error table row
  } cases[] = {{3, "12.50", 10}, {9, "1.1.1", 8}, {13, "999", 8}, {14, "301", 8}, {2, "", 11}};
  for (const Case& c : cases) {
    EXPECT_EQ(Call(with_field(kValid, c.field, c.value), 'Z'), 1) << c.value;
    EXPECT_EQ(Result(), Padded(kErrorTable[c.row].text)) << c.value;
    EXPECT_TRUE(GuardIntact());
  }
}

TEST_F(CardTransTest, NullPointersNeverCrash) {
  EXPECT_EQ(card_trans(kValid.c_str(), nullptr), 1);
  std::memset(buffer_, 0, 555);
  EXPECT_EQ(card_trans(nullptr, reinterpret_cast<char*>(buffer_)), 1);
  EXPECT_EQ(Result(), Padded(kErrorTable[11].text));  // an empty line has no agency code
  EXPECT_TRUE(GuardIntact());
}

TEST_F(CardTransTest, HostileRequestLinesLeaveNoZeroByteAndNothingPastTheResult) {
  const std::string lines[] = {
      std::string(5000, '|'),
      std::string(5000, 'x'),
      with_field(kValid, 6, std::string(3000, '\xB0')),
      with_field(with_field(kValid, 3, std::string(400, '9')), 1, std::string(900, 'R')),
      with_field(kValid, 9, std::string(200, '1')),
      "\xff\xfe|\x01\x02|B0110001",
  };
  for (const std::string& line : lines) {
    EXPECT_EQ(Call(line), 1);
    EXPECT_EQ(Result().find('\0'), std::string::npos);
    EXPECT_TRUE(GuardIntact());
  }
}

}  // namespace
}  // namespace quendal
