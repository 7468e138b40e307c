// GBK and UTF-8: the library's texts shown on a terminal, and texts typed there sent as GBK.
#pragma once

#include <string>

namespace quendal_tool {

// Bytes that are not valid GBK are shown as '?'.
std::string gbk_to_utf8(const std::string& gbk);
// Characters that have no GBK form are sent as '?'.
std::string utf8_to_gbk(const std::string& utf8);

}  // namespace quendal_tool
