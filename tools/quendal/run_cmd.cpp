// quendal run: one call of card_trans, with the status texts shown live in UTF-8.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "gbk.h"
#include "quendal/card_trans.h"

namespace quendal_tool {

const char kRequestHelp[] =
    "\n"
    "The request line has 15 fields separated by '|':\n"
    "   0  operation type: 1 or 4 sale (\"30\"), 2 (\"92\"), 3 query (\"93\"), 5 (\"40\"),\n"
    "      6 (\"80\"); any other value is taken as 1. Only its first two characters count.\n"
    "   1  reference, up to 15 characters\n"
    "   2  agency company number, exactly B0110001\n"
    "   3  amount in hundredths (1 is 0.01), up to 12 digits; checked for types 1, 4, 5\n"
    "   4  stamp, up to 6 characters (replaced by the time of day except for type 3)\n"
    "   5  value, up to 6 characters\n"
    "   6  business reference, up to 64 characters\n"
    "   7  not used\n"
    "   8  COM port number of the terminal (POSIX: env QUENDAL_COM<n>, else /dev/ttyS<n-1>)\n"
    "   9  bank host IPv4 address          12  business host IPv4 address\n"
    "  10  bank host TCP port, 1000-10000   13  business host TCP port, 1000-10000\n"
    "  11  bank host time-out, 1-300 s      14  business host time-out, 1-300 s\n"
    "\n"
    "Example:\n"
    "  quendal run \"1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||1|"
    "127.0.0.1|6001|30|127.0.0.1|6002|30\"\n"
    "\n"
    "Prints each status text as it is shown, then the result text; exits with card_trans's\n"
    "return value (0 approved, 1 failed). Set QUENDAL_STATUS_LOG to a file to keep the raw GBK\n"
    "status texts.\n";

int cmd_run(int argc, char** argv) {
  if (argc != 1) {
    std::fputs("usage: quendal run \"<request line>\"  (see quendal --help)\n", stderr);
    return 2;
  }
  char result[555];
  std::memset(result, 0, sizeof result);
  int rc = card_trans(argv[0], result);

  std::string text(result, sizeof result);
  size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  std::printf("\n--\nresult: %s\nreturn: %d\n", gbk_to_utf8(text).c_str(), rc);
  return rc;
}

}  // namespace quendal_tool
