#pragma once

#include <string>

namespace quendal_tool {

extern const char kRequestHelp[];

// Each command takes the arguments after its name and returns the process exit code.
int cmd_run(int argc, char** argv);
int cmd_sim_terminal(int argc, char** argv);
int cmd_sim_hosts(int argc, char** argv);

// A whole decimal number from `low` to `high` in `text`, into `value`; false (value untouched)
// when the text is anything else. The commands' options are checked with it.
bool parse_number(const std::string& text, long low, long high, long* value);

}  // namespace quendal_tool
