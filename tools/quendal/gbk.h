// GBK to UTF-8 for showing the library's texts on a terminal.
#pragma once

#include <string>

namespace quendal_tool {

// Bytes that are not valid GBK are shown as '?'.
std::string gbk_to_utf8(const std::string& gbk);

}  // namespace quendal_tool
