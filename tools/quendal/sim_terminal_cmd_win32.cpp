// quendal sim-terminal on Windows: the simulated terminal stands at the far end of a serial line,
// which on POSIX systems is a pty; Windows has none to offer. Under wine, COM n can lead to the
// pty of a simulated terminal running on the Linux side.
#include <cstdio>

#include "commands.h"

namespace quendal_tool {

int cmd_sim_terminal(int, char**) {
  std::fputs(
      "quendal sim-terminal: not on Windows: the simulated terminal needs a pty. Run it on a\n"
      "Linux machine (quendal sim-terminal --link PATH) and lead COM n to it, or connect a\n"
      "real terminal.\n",
      stderr);
  return 2;
}

}  // namespace quendal_tool
