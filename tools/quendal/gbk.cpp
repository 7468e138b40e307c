#include "gbk.h"

#include <iconv.h>

namespace quendal_tool {

namespace {

// Converts between two encodings; a byte that has no form in the target is shown as '?'.
std::string convert(const char* to, const char* from, const std::string& text) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  char buffer[256];
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  while (in_left > 0) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buffer, sizeof buffer - o_left);
    if (rc == static_cast<size_t>(-1) && o_left == sizeof buffer && in_left > 0) {
      out.push_back('?');
      ++in;
      --in_left;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string gbk_to_utf8(const std::string& gbk) { return convert("UTF-8", "GBK", gbk); }

std::string utf8_to_gbk(const std::string& utf8) { return convert("GBK", "UTF-8", utf8); }

}  // namespace quendal_tool
