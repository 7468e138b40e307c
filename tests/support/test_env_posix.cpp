#include <iconv.h>
#include <stdlib.h>
#include <unistd.h>

#include <stdexcept>

#include "support/test_env.h"

namespace quendal_test {

void set_env(const std::string& name, const std::string& value) {
  setenv(name.c_str(), value.c_str(), 1);
}

void unset_env(const std::string& name) { unsetenv(name.c_str()); }

std::string make_temp_file() {
  char path[] = "/tmp/quendal_test_XXXXXX";
  int fd = mkstemp(path);
  if (fd >= 0) close(fd);
  return path;
}

void remove_file(const std::string& path) { unlink(path.c_str()); }

std::string gbk_to_utf8_strict(const std::string& gbk) {
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
