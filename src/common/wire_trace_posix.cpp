// GBK to UTF-8 for the wire trace, through iconv.
#include <iconv.h>

#include "common/wire_trace.h"

namespace quendal {
namespace wire_trace {

std::string gbk_to_utf8(const char* gbk, size_t n) {
  std::string out;
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(gbk, n);
  char* in = const_cast<char*>(gbk);
  size_t in_left = n;
  char buffer[256];
  while (in_left > 0) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
    out.append(buffer, sizeof buffer - o_left);
    if (rc == static_cast<size_t>(-1) && o_left == sizeof buffer) {
      // Not GBK (or cut in the middle of a character): shown as '?' and passed over.
      out += '?';
      ++in;
      --in_left;
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace wire_trace
}  // namespace quendal
