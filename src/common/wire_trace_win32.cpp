// GBK (code page 936) to UTF-8 for the wire trace, through the Windows code page conversions.
#include <windows.h>

#include <vector>

#include "common/wire_trace.h"

namespace quendal {
namespace wire_trace {

std::string gbk_to_utf8(const char* gbk, size_t n) {
  if (n == 0) return std::string();
  const int length = static_cast<int>(n);
  // Bytes that are no GBK become the default character rather than failing the conversion.
  int wide_length = MultiByteToWideChar(936, 0, gbk, length, nullptr, 0);
  if (wide_length <= 0) return std::string(gbk, n);
  std::vector<wchar_t> wide(static_cast<size_t>(wide_length));
  MultiByteToWideChar(936, 0, gbk, length, wide.data(), wide_length);
  int utf8_length =
      WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, nullptr, 0, nullptr, nullptr);
  if (utf8_length <= 0) return std::string(gbk, n);
  std::string out(static_cast<size_t>(utf8_length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_length, &out[0], utf8_length, nullptr, nullptr);
  return out;
}

}  // namespace wire_trace
}  // namespace quendal
