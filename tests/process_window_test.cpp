#include "ui/process_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "card_trans_fixture.h"
#include "common/texts.h"

namespace quendal {
namespace {

using WindowTest = quendal_test::CardTransTest;  // for its status log file

TEST_F(WindowTest, AppendsTextsAndLogsTheirRawBytes) {
  CProcessWindow window;
  // Without a desktop there is no window to make; the texts are kept and logged all the same.
  window.Create();
  window.Show();
  window.AppendStatus("");  // an empty text on an empty window adds nothing
  window.AppendStatus(text::kBanner);
  window.AppendStatus(text::kConnectBusinessHost);  // runs on in the same line
  window.AppendStatus(text::kSucceeded);
  window.AppendStatus(text::kSucceeded);
  window.AppendStatus("");  // nothing once there is text
  window.AppendStatus(nullptr);

  std::string expected =
      std::string(text::kBanner) + text::kConnectBusinessHost + text::kSucceeded + text::kSucceeded;
  EXPECT_EQ(window.StatusText(), expected);
  EXPECT_EQ(StatusLog(), expected);
  window.Destroy();
}

}  // namespace
}  // namespace quendal
