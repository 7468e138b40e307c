// Test fixture for calls of card_trans: virtual time, a status log file, and a result buffer with
// guard bytes behind its 555 bytes.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "quendal/card_trans.h"
#include "support/test_env.h"
#include "support/virtual_clock.h"

namespace quendal_test {

class CardTransTest : public ::testing::Test {
 protected:
  static constexpr int kGuard = 16;
  static constexpr unsigned char kGuardByte = 0xA5;

  void SetUp() override {
    log_path_ = make_temp_file();
    ASSERT_FALSE(log_path_.empty());
    set_env("QUENDAL_STATUS_LOG", log_path_);
    std::memset(buffer_, kGuardByte, sizeof buffer_);
  }

  void TearDown() override {
    unset_env("QUENDAL_STATUS_LOG");
    remove_file(log_path_);
  }

  // Runs one call with the result area pre-set to `fill`.
  int Call(const std::string& request, char fill = '\0') {
    std::memset(buffer_, fill, 555);
    return card_trans(request.c_str(), reinterpret_cast<char*>(buffer_));
  }

  std::string Result() const { return std::string(reinterpret_cast<const char*>(buffer_), 555); }

  // The failure result for a text: the text, then spaces to 555 bytes.
  static std::string Padded(const std::string& text) {
    return text + std::string(555 - text.size(), ' ');
  }

  bool GuardIntact() const {
    for (int i = 555; i < 555 + kGuard; ++i) {
      if (buffer_[i] != kGuardByte) return false;
    }
    return true;
  }

  std::string StatusLog() const {
    std::ifstream in(log_path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  quendal::VirtualClock clock_;
  quendal::ScopedClock use_clock_{clock_};
  unsigned char buffer_[555 + kGuard];
  std::string log_path_;
};

}  // namespace quendal_test
