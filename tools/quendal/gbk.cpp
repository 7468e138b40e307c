#include "gbk.h"

#include <iconv.h>

namespace quendal_tool {

std::string gbk_to_utf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return gbk;
  std::string out;
  char buffer[256];
  char* in = const_cast<char*>(gbk.data());
  size_t in_left = gbk.size();
  while (in_left > 0) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buffer, sizeof buffer - o_left);
    if (rc == static_cast<size_t>(-1) && o_left == sizeof buffer && in_left > 0) {
      out.push_back('?');  // a byte that is no GBK character
      ++in;
      --in_left;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace quendal_tool
