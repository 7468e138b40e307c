// The quendal command: runs one transaction through the library, and hosts the simulators.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "quendal/card_trans.h"
#include "tool_platform.h"

namespace {

const char kUsage[] =
    "usage: quendal run [--raw] \"<request line>\"  one transaction through card_trans\n"
    "       quendal journal [--json] FILE        the calls of a transaction journal\n"
    "       quendal reconcile FILE               settles its unknown calls with the terminal\n"
    "       quendal sim-terminal [options]       a simulated POS terminal on a pty\n"
    "       quendal sim-hosts [options]          simulated bank and business hosts\n"
    "       quendal --version                    the version\n"
    "       quendal --help                       this text and the request fields\n"
    "Each command takes --help.\n";

int usage(FILE* out, int rc) {
  std::fputs(kUsage, out);
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  quendal_tool::prepare_process(&argc, &argv);
  if (argc < 2) {
    std::fputs("quendal: no command given\n", stderr);
    return usage(stderr, 2);
  }
  quendal_tool::set_invoked_as(argv[0]);
  std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    std::fputs(quendal_tool::kRequestHelp, stdout);
    return 0;
  }
  if (command == "--version" || command == "-V" || command == "version") {
    if (argc > 2) {
      std::fprintf(stderr, "quendal: %s takes no argument\n", command.c_str());
      return usage(stderr, 2);
    }
    std::printf("quendal %s\n", QUENDAL_VERSION_STRING);
    return 0;
  }
  if (command == "run") return quendal_tool::cmd_run(argc - 2, argv + 2);
  if (command == "journal") return quendal_tool::cmd_journal(argc - 2, argv + 2);
  if (command == "reconcile") return quendal_tool::cmd_reconcile(argc - 2, argv + 2);
  if (command == "sim-terminal") return quendal_tool::cmd_sim_terminal(argc - 2, argv + 2);
  if (command == "sim-hosts") return quendal_tool::cmd_sim_hosts(argc - 2, argv + 2);
  std::fprintf(stderr, "quendal: unknown command '%s'\n", command.c_str());
  return usage(stderr, 2);
}
