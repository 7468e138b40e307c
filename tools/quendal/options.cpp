// What the commands share in reading their options.
#include <cstdlib>
#include <string>

#include "commands.h"

namespace quendal_tool {

bool parse_number(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

}  // namespace quendal_tool
