#pragma once

namespace quendal_tool {

extern const char kRequestHelp[];

// Each command takes the arguments after its name and returns the process exit code.
int cmd_run(int argc, char** argv);
int cmd_sim_terminal(int argc, char** argv);
int cmd_sim_hosts(int argc, char** argv);

}  // namespace quendal_tool
