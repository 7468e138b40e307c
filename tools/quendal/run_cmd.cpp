// quendal run: one call of card_trans from a shell. The request is typed in the terminal's own
// encoding and sent as GBK; the status texts are shown live while the call blocks, and the call
// ends with one line that says how it went.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "codec/codec.h"
#include "commands.h"
#include "gbk.h"
#include "intake/checks.h"
#include "pos/com_port.h"
#include "quendal/card_trans.h"
#include "tool_platform.h"

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
    "127.0.0.1|6001|30|127.0.0.1|6002|30\"\n";

namespace {

const char kRunUsage[] =
    "usage: quendal run [--raw] \"<request line>\"\n"
    "Runs one transaction through card_trans. The request line is converted from the\n"
    "terminal's encoding (the locale's, normally UTF-8) to GBK; --raw sends its bytes as given.\n"
    "Shows each status text as the progress window receives it (on a terminal, with the seconds\n"
    "since the last one while the library waits), then one line: approved or failed, with the\n"
    "text. Exit status: 0 approved, 1 failed, 2 a usage error.\n"
    "QUENDAL_STATUS_LOG, when set, keeps the raw GBK status texts in that file.\n";

using SteadyClock = std::chrono::steady_clock;

// Where COM n leads on this machine, before the library tries it: the commonest first-contact
// fault is a port number that names no device, which the library can only report as 打开COM错误.
void describe_com_port(const std::string& gbk_line) {
  const int number = quendal::com_port_of(gbk_line.c_str());
  const std::string device = quendal::CComPort::DeviceName(number);
  if (device.empty()) {
    std::printf("COM%d names no port (COM numbers run from 1 to 255)\n", number);
    std::fflush(stdout);
    return;
  }
  std::printf("COM%d opens %s%s\n", number, device.c_str(), describe_port(number, device).c_str());
  std::fflush(stdout);
}

// Follows the status log from a second thread: every text the progress window receives is
// appended to the file, so reading its new bytes shows the window's progress as it happens.
class StatusFollower {
 public:
  StatusFollower(std::string path, long from, bool live)
      : path_(std::move(path)), offset_(from), live_(live) {}

  void Start() {
    last_text_ = SteadyClock::now();
    thread_ = std::thread([this] { Loop(); });
  }

  // Shows what is left in the log and clears the live line.
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ReadNew();
    ClearLive();
    if (!at_line_start_) std::fputc('\n', stdout);
    std::fflush(stdout);
  }

 private:
  void Loop() {
    long shown_seconds = 0;
    while (!stop_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      if (ReadNew()) shown_seconds = 0;
      if (!live_) continue;
      long seconds = static_cast<long>(
          std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - last_text_)
              .count());
      if (seconds >= 1 && seconds != shown_seconds) {
        ClearLive();
        // The cursor is saved so that the next text continues exactly where the last one ended,
        // on its line or at the start of a new one.
        std::printf("\0337\033[2m  (%ld s since the last status text)\033[0m", seconds);
        std::fflush(stdout);
        live_shown_ = true;
        shown_seconds = seconds;
      }
    }
  }

  void ClearLive() {
    if (!live_shown_) return;
    std::fputs("\0338\033[K", stdout);
    live_shown_ = false;
  }

  // Reads the bytes added since the last read; true when there were any.
  bool ReadNew() {
    FILE* f = std::fopen(path_.c_str(), "rb");
    if (f == nullptr) return false;
    std::string got;
    if (std::fseek(f, offset_, SEEK_SET) == 0) {
      char buffer[1024];
      size_t n;
      while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) got.append(buffer, n);
    }
    std::fclose(f);
    if (got.empty()) return false;
    offset_ += static_cast<long>(got.size());
    pending_ += got;
    // A GBK character is one byte below 0x80 or two bytes from a lead byte on; keep a lead byte
    // whose second byte has not been written yet for the next read.
    size_t whole = 0;
    while (whole < pending_.size()) {
      size_t width = static_cast<unsigned char>(pending_[whole]) < 0x80 ? 1 : 2;
      if (whole + width > pending_.size()) break;
      whole += width;
    }
    std::string text = gbk_to_terminal(pending_.substr(0, whole));
    pending_.erase(0, whole);
    if (text.empty()) return false;
    ClearLive();
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    at_line_start_ = text.back() == '\n';
    last_text_ = SteadyClock::now();
    return true;
  }

  const std::string path_;
  long offset_;
  const bool live_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::string pending_;
  SteadyClock::time_point last_text_;
  bool live_shown_ = false;
  bool at_line_start_ = true;
};

int bad_usage(const std::string& why) {
  std::fprintf(stderr, "quendal run: %s\n%s", why.c_str(), kRunUsage);
  return 2;
}

// The temporary status log, removed when Ctrl-C or a SIGTERM ends the command during the call:
// the handler may only use what is safe in a signal handler, so the path waits in a plain array.
char g_temporary_log[4096];

void remove_temporary_log_and_die(int signal_number) {
  if (g_temporary_log[0] != '\0') remove_file_now(g_temporary_log);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

// The library's reading of field 0: its first two characters as a number.
long operation_type(const std::string& line) {
  char first_two[3] = {};
  std::memcpy(first_two, line.data(),
              std::min<size_t>(2, quendal::field_length(line.c_str(), 0, '|')));
  return quendal::leading_int(first_two);
}

// Whether the library can append to the status log at `path`: it never says when it cannot.
bool log_writable(const std::string& path, std::string* why) {
  FILE* f = std::fopen(path.c_str(), "ab");
  if (f == nullptr) {
    *why = std::strerror(errno);
    return false;
  }
  std::fclose(f);
  return true;
}

std::string trimmed(const char* bytes, size_t n) {
  std::string text(bytes, n);
  size_t end = text.find_last_not_of(' ');
  text.resize(end == std::string::npos ? 0 : end + 1);
  return text;
}

}  // namespace

int cmd_run(int argc, char** argv) {
  bool raw = false;
  bool have_request = false;
  bool options_end = false;
  std::string request;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (!options_end && (a == "--help" || a == "-h")) {
      std::fputs(kRunUsage, stdout);
      std::fputs(kRequestHelp, stdout);
      return 0;
    }
    if (!options_end && a == "--raw") {
      raw = true;
    } else if (!options_end && a == "--") {
      options_end = true;
    } else if (!options_end && a.size() > 1 && a[0] == '-' && a.find('|') == std::string::npos) {
      return bad_usage("unknown option " + a);
    } else if (have_request) {
      return bad_usage("one request line only (quote it: it holds '|')");
    } else {
      request = a;
      have_request = true;
    }
  }
  if (!have_request) return bad_usage("no request line");

  std::string line = request;
  if (!raw) {
    std::string encoding = terminal_encoding();
    size_t bad_at = 0;
    if (!to_gbk(request, encoding, &line, &bad_at)) {
      return bad_usage("the request line is not " + encoding + " text with a GBK form (byte " +
                       std::to_string(bad_at) + "); --raw sends the bytes as given");
    }
  }
  // A missing field shifts every later one; the library can only call that a format error. One
  // too many is ignored by the library, but usually means a field was split or repeated.
  size_t fields = 1 + static_cast<size_t>(std::count(line.begin(), line.end(), '|'));
  if (fields != 15) {
    std::fprintf(stderr,
                 "warning: the request line has %zu fields, not 15%s (%s --help lists them)\n",
                 fields, fields > 15 ? "; the library ignores those after the 15th" : "",
                 command_name().c_str());
  }
  long type = operation_type(line);
  if (type < 1 || type > 6) {
    std::string field0 = line.substr(0, line.find('|'));
    std::fprintf(stderr,
                 "warning: operation type '%s' is not 1 to 6: the library takes it as 1, a sale\n",
                 gbk_to_terminal(field0).c_str());
  }
  std::fflush(stderr);
  describe_com_port(line);

  // The status log is how the library shows its progress outside Windows. Someone who set it
  // keeps their file; otherwise a temporary one serves for this call only.
  std::string log_path;
  bool own_log = false;
  long from = 0;
  const char* given = std::getenv("QUENDAL_STATUS_LOG");
  std::string why;
  if (given != nullptr && *given != '\0' && !log_writable(given, &why)) {
    // The library would go on without a word, and the live view with it: say so, and show the
    // status through a temporary log of this command's own.
    std::fprintf(stderr,
                 "warning: QUENDAL_STATUS_LOG=%s cannot be written (%s); the status texts go to "
                 "a temporary log for this call\n",
                 given, why.c_str());
    std::fflush(stderr);
    given = nullptr;
  }
  if (given != nullptr && *given != '\0') {
    log_path = given;
    from = std::max(0L, file_size(given));
  } else {
    std::string error;
    if (!make_temporary_file(&log_path, &error)) {
      std::fprintf(stderr, "quendal run: no status log: %s\n", error.c_str());
      return 1;
    }
    own_log = true;
    set_env("QUENDAL_STATUS_LOG", log_path);
    if (log_path.size() < sizeof g_temporary_log) {
      std::memcpy(g_temporary_log, log_path.c_str(), log_path.size() + 1);
    }
    std::signal(SIGINT, remove_temporary_log_and_die);
    std::signal(SIGTERM, remove_temporary_log_and_die);
  }

  StatusFollower follower(log_path, from, stdout_is_terminal());
  follower.Start();
  char result[QUENDAL_RESULT_SIZE];
  std::memset(result, 0, sizeof result);
  int rc = card_trans(line.c_str(), result);
  follower.Stop();
  if (own_log) {
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    g_temporary_log[0] = '\0';
    remove_file_now(log_path.c_str());
    unset_env("QUENDAL_STATUS_LOG");
  }

  // Approved: the terminal's 40-byte response text; failed: the whole text, then spaces.
  std::string text = trimmed(result, rc == 0 ? 40 : sizeof result);
  // A business host that refuses its network test, or a terminal that declines, without a word
  // leaves no text at all.
  std::printf("%s: %s\n", rc == 0 ? "approved" : "failed",
              text.empty() ? "(no text)" : gbk_to_terminal(text).c_str());
  return rc;
}

}  // namespace quendal_tool
