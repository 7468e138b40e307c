#pragma once

#include <string>

namespace quendal_tool {

extern const char kRequestHelp[];

// Each command takes the arguments after its name and returns the process exit code.
int cmd_run(int argc, char** argv);
int cmd_sim_terminal(int argc, char** argv);
int cmd_sim_hosts(int argc, char** argv);
int cmd_journal(int argc, char** argv);
int cmd_reconcile(int argc, char** argv);

// A whole decimal number from `low` to `high` in `text`, into `value`; false (value untouched)
// when the text is anything else. The commands' options are checked with it.
bool parse_number(const std::string& text, long low, long high, long* value);

// What a number option takes, for the message that refuses its value: "a whole number from 1 to
// 255".
std::string number_from_to(long low, long high);

// How to call this command again in a hint: "quendal" when the shell found it on the PATH, else
// the absolute path it was started by (a copy in a build directory is not on the PATH).
void set_invoked_as(const char* argv0);
const std::string& command_name();

}  // namespace quendal_tool
