// The Windows serial line on a real COM device (under wine: a dosdevices link to a pty), named by
// QUENDAL_TEST_COM: the port is its opener's alone, so a second opener fails before it purges or
// writes anything.
#include <gtest/gtest.h>

#include <cstdlib>

#include "pos/com_port.h"

namespace quendal {
namespace {

TEST(NativeLine, SecondOpenerOfAHeldPortFails) {
  const char* com = std::getenv("QUENDAL_TEST_COM");
  if (com == nullptr || *com == '\0') GTEST_SKIP() << "QUENDAL_TEST_COM names no COM port";
  const int number = std::atoi(com);
  CComPort owner;
  ASSERT_EQ(owner.Open(number, 9600), 1);
  CComPort second;
  EXPECT_EQ(second.Open(number, 9600), 0);
  EXPECT_EQ(second.IsOpen(), 0);
  EXPECT_EQ(owner.IsOpen(), 1);
  owner.Close();
  EXPECT_EQ(second.Open(number, 9600), 1);
  second.Close();
}

}  // namespace
}  // namespace quendal
