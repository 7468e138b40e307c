// Captures the status texts of the calls made while it lives, through the status log the library
// writes for support desks: QUENDAL_STATUS_LOG names a fresh file, and each text the window shows
// is appended to it as raw GBK bytes.
#pragma once

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_env.h"

namespace quendal_test {

class StatusLog {
 public:
  StatusLog() : path_(make_temp_file()) { set_env("QUENDAL_STATUS_LOG", path_); }
  ~StatusLog() {
    unset_env("QUENDAL_STATUS_LOG");
    remove_file(path_);
  }
  StatusLog(const StatusLog&) = delete;
  StatusLog& operator=(const StatusLog&) = delete;

  // Every text logged so far, one after the other.
  std::string Text() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // How often `gbk` stands in the log (non-overlapping).
  int Count(const std::string& gbk) const {
    std::string all = Text();
    int n = 0;
    for (size_t at = all.find(gbk); !gbk.empty() && at != std::string::npos;
         at = all.find(gbk, at + gbk.size())) {
      ++n;
    }
    return n;
  }
  bool Has(const std::string& gbk) const { return Text().find(gbk) != std::string::npos; }
  const std::string& Path() const { return path_; }

  static std::string Join(const std::vector<std::string>& texts) {
    std::string all;
    for (const std::string& t : texts) all += t;
    return all;
  }

 private:
  std::string path_;
};

}  // namespace quendal_test
