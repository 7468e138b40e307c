#include "gbk.h"

namespace quendal_tool {

std::string gbk_to_utf8(const std::string& gbk) {
  std::string out;
  convert_text("UTF-8", "GBK", gbk, &out);
  return out;
}

std::string utf8_to_gbk(const std::string& utf8) {
  std::string out;
  convert_text("GBK", "UTF-8", utf8, &out);
  return out;
}

bool to_gbk(const std::string& text, const std::string& from, std::string* gbk, size_t* bad_at) {
  return convert_text("GBK", from.c_str(), text, gbk, true, bad_at);
}

std::string gbk_to_terminal(const std::string& gbk) {
  std::string out;
  convert_text(terminal_encoding().c_str(), "GBK", gbk, &out);
  return out;
}

}  // namespace quendal_tool
