// Test helper: GBK bytes to UTF-8 through iconv, failing loudly on bytes that are no GBK.
#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>

namespace quendal_test {

inline std::string gbk_to_utf8_strict(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("no GBK converter");
  std::string out(gbk.size() * 3 + 4, '\0');
  char* in = const_cast<char*>(gbk.data());
  size_t in_left = gbk.size();
  char* o = &out[0];
  size_t o_left = out.size();
  size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1)) throw std::runtime_error("not GBK: " + gbk);
  out.resize(out.size() - o_left);
  return out;
}

}  // namespace quendal_test
