// What the commands share in reading their options.
#include <cstdlib>
#include <string>

#include "commands.h"
#include "tool_platform.h"

namespace quendal_tool {

bool parse_number(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

std::string number_from_to(long low, long high) {
  return "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
}

namespace {
std::string g_command_name = "quendal";
}

void set_invoked_as(const char* argv0) {
  // A name without a folder was found on the PATH, and serves as it is.
  std::string path = invoked_path(argv0);
  if (!path.empty()) g_command_name = path;
}

const std::string& command_name() { return g_command_name; }

}  // namespace quendal_tool
