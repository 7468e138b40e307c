#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "card_trans_fixture.h"
#include "driver/texts.h"
#include "ui/process_window.h"

namespace quendal {
namespace {

using WindowTest = quendal_test::CardTransTest;  // for its status log file

TEST_F(WindowTest, AppendsTextsAndLogsTheirRawBytes) {
  std::vector<std::string> seen;
  set_status_observer(
      [](const char* gbk, size_t n, void* ctx) {
        static_cast<std::vector<std::string>*>(ctx)->emplace_back(gbk, n);
      },
      &seen);
  CProcessWindow window;
  ASSERT_TRUE(window.Create());
  window.Show();
  window.AppendStatus("");  // an empty text on an empty window adds nothing
  window.AppendStatus(text::kBanner);
  window.AppendStatus(text::kConnectBusinessHost);  // runs on in the same line
  window.AppendStatus(text::kSucceeded);
  window.AppendStatus(text::kSucceeded);
  window.AppendStatus("");  // nothing once there is text
  window.AppendStatus(nullptr);
  set_status_observer(nullptr, nullptr);

  std::string expected = std::string(text::kBanner) + text::kConnectBusinessHost +
                         text::kSucceeded + text::kSucceeded;
  EXPECT_EQ(window.StatusText(), expected);
  EXPECT_EQ(StatusLog(), expected);
  EXPECT_EQ(seen.size(), 4u);
  window.Destroy();
}

}  // namespace
}  // namespace quendal
