// quendal sim-terminal: a simulated POS terminal on a pty, for trying the library by hand.
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "commands.h"
#include "gbk.h"
#include "sim/terminal_sim.h"

namespace quendal_tool {

namespace {

const char kSimTerminalHelp[] =
    "usage: quendal sim-terminal [options]\n"
    "Opens a pty pair, prints the slave path (the library's COM port) and plays a terminal:\n"
    "answers the test, then each transaction request with the scenario below, and a query of\n"
    "the last transaction (\"B0\") with the last one it answered (approved, declined or none).\n"
    "Prints every frame in hex with its decoded header and its text. The answers are dated now.\n"
    "Runs until interrupted or --seconds have passed.\n"
    "  --link PATH        also publish the slave path as a symbolic link at PATH (a new path,\n"
    "                     or the link an earlier sim-terminal left there)\n"
    "  --com N            print the QUENDAL_COM<N> setting for it, 1-255 (default 1)\n"
    "  --decline CODE     refuse with this two-digit response code (default: approve)\n"
    "  --text TEXT        response text, sent as GBK, at most 40 bytes of it\n"
    "  --text2 TEXT       second text, sent as GBK, at most 40 bytes of it\n"
    "  --relays N         ask for the bank host N times (kind 0x55) before the final answer\n"
    "  --relay-bytes N    payload bytes of each relay frame, 0-484 (default 40)\n"
    "  --settle           send a settlement notice (kind 0x88) before the final answer\n"
    "  --cancel           answer with header code CANCEL\n"
    "  --unknown-kind K   answer with a frame of kind K (hex, default 41)\n"
    "  --silent           send no final answer\n"
    "  --no-test          leave the terminal test unanswered\n"
    "  --test-code CODE   answer the test with this header code (default YESIAMOK)\n"
    "  --noise N          N bytes of noise before every frame\n"
    "  --bad-length       a frame start with an impossible length before every frame\n"
    "  --bad-lrc          send wrong check bytes\n"
    "  --split N:MS       send every frame in N pieces, MS milliseconds apart\n"
    "  --pace             send at the byte rate of a 9600-baud line\n"
    "  --seconds N        stop after N seconds\n";

volatile std::sig_atomic_t g_interrupted = 0;
void on_signal(int) { g_interrupted = 1; }

int bad_usage(const std::string& why) {
  std::fprintf(stderr, "quendal sim-terminal: %s\n%s", why.c_str(), kSimTerminalHelp);
  return 2;
}

// Why --link must not take `path`, or "" when it may: the path is free, or holds the link of an
// earlier run (a symbolic link to a pty slave), which is replaced. Anything else there belongs to
// someone else and would be deleted when the terminal stops.
std::string link_refusal(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return "";
  if (S_ISLNK(st.st_mode)) {
    char target[PATH_MAX];
    ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    std::string to = n > 0 ? std::string(target, static_cast<size_t>(n)) : "";
    if (to.rfind("/dev/pts/", 0) == 0) return "";
    return path + " is a symbolic link to " + to +
           ", not one an earlier sim-terminal left: remove it or choose another path";
  }
  if (S_ISDIR(st.st_mode)) {
    return path + " is a directory; --link names the link to create, e.g. " + path + "/com1";
  }
  return path + " exists and is not a link an earlier sim-terminal left: remove it or choose " +
         "another path";
}

#if defined(__GLIBC__)
// The trace carries the frames' texts as GBK; it is shown in the terminal's encoding. Lines are
// whole when they reach here (the simulator writes one line per frame), so no character is cut.
ssize_t write_converted(void*, const char* bytes, size_t n) {
  std::string shown = gbk_to_terminal(std::string(bytes, n));
  std::fwrite(shown.data(), 1, shown.size(), stdout);
  std::fflush(stdout);
  return static_cast<ssize_t>(n);
}

FILE* trace_stream() {
  cookie_io_functions_t io{};
  io.write = write_converted;
  FILE* f = fopencookie(nullptr, "w", io);
  if (f == nullptr) return stdout;
  std::setvbuf(f, nullptr, _IOLBF, 0);
  return f;
}
#else
FILE* trace_stream() { return stdout; }
#endif

}  // namespace

int cmd_sim_terminal(int argc, char** argv) {
  quendal_sim::TerminalScenario s;
  // Like a terminal, it remembers its last transaction for the query of it ("B0").
  s.remember_last = true;
  std::string link;
  long com = 1;
  long seconds = 0;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(kSimTerminalHelp, stdout);
      return 0;
    }
    bool ok = true;
    bool missing = false;
    std::string v;
    std::string expected;  // what the option takes, said when its value is refused
    auto value = [&]() {
      if (i + 1 >= argc) {
        ok = false;
        missing = true;
        return false;
      }
      v = argv[++i];
      return true;
    };
    auto number = [&](long low, long high, long* out) {
      expected = number_from_to(low, high);
      return value() && (ok = parse_number(v, low, high, out));
    };
    long n = 0;
    if (a == "--link") {
      expected = "a path";
      ok = value() && !v.empty();
      link = v;
    } else if (a == "--com") {
      number(1, 255, &com);
    } else if (a == "--decline") {
      expected = "a two-digit response code";
      ok = value() && v.size() == 2 && std::isdigit(static_cast<unsigned char>(v[0])) &&
           std::isdigit(static_cast<unsigned char>(v[1]));
      s.final_answer = quendal_sim::FinalAnswer::kDecline;
      s.resp_code = v;
      if (s.resp_text == "APPROVED") s.resp_text = "DECLINED";
    } else if (a == "--text" || a == "--text2") {
      expected = "text with a GBK form of at most 40 bytes";
      std::string gbk;
      size_t bad_at = 0;
      ok = value() && to_gbk(v, terminal_encoding(), &gbk, &bad_at) && gbk.size() <= 40;
      (a == "--text" ? s.resp_text : s.text2) = gbk;
    } else if (a == "--relays") {
      if (number(0, 1000, &n)) s.relays = static_cast<int>(n);
    } else if (a == "--relay-bytes") {
      if (number(0, 484, &n)) s.relay_bytes = static_cast<int>(n);
    } else if (a == "--settle") {
      s.settlement = true;
    } else if (a == "--cancel") {
      s.final_answer = quendal_sim::FinalAnswer::kCancel;
    } else if (a == "--unknown-kind") {
      expected = "a kind in hex, 00 to FF";
      char* end = nullptr;
      unsigned long kind = value() ? std::strtoul(v.c_str(), &end, 16) : 0;
      ok = ok && !v.empty() && *end == '\0' && kind <= 0xFF;
      s.final_answer = quendal_sim::FinalAnswer::kUnknownKind;
      s.unknown_kind = static_cast<uint8_t>(kind);
    } else if (a == "--silent") {
      s.final_answer = quendal_sim::FinalAnswer::kSilent;
    } else if (a == "--no-test") {
      s.answer_test = false;
    } else if (a == "--test-code") {
      expected = "a header code of at most 8 characters";
      ok = value() && v.size() <= 8;
      s.test_code = v;
    } else if (a == "--noise") {
      if (number(0, 4096, &n)) s.noise_bytes = static_cast<int>(n);
    } else if (a == "--bad-length") {
      s.bad_length = true;
    } else if (a == "--bad-lrc") {
      s.bad_lrc = true;
    } else if (a == "--split") {
      expected = "N:MS, N pieces from 1 to 512 and MS milliseconds from 0 to 10000";
      size_t colon = value() ? v.find(':') : std::string::npos;
      long pieces = 0;
      long pause = 0;
      ok = colon != std::string::npos && parse_number(v.substr(0, colon), 1, 512, &pieces) &&
           parse_number(v.substr(colon + 1), 0, 10000, &pause);
      s.split_pieces = static_cast<int>(pieces);
      s.split_pause_ms = static_cast<uint32_t>(pause);
    } else if (a == "--pace") {
      s.pace = true;
    } else if (a == "--seconds") {
      number(1, 86400, &seconds);
    } else {
      return bad_usage("unknown option " + a);
    }
    if (!ok) {
      return bad_usage(
          (missing ? "missing value for " + a : "bad value for " + a + ": '" + v + "'") +
          " (expected " + expected + ")");
    }
  }

  if (!link.empty()) {
    std::string refusal = link_refusal(link);
    if (!refusal.empty()) {
      std::fprintf(stderr, "quendal sim-terminal: will not link: %s\n", refusal.c_str());
      return 1;
    }
  }

  quendal_sim::TerminalSim sim(s, trace_stream());
  std::string error;
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "quendal sim-terminal: %s\n", error.c_str());
    return 1;
  }
  std::printf("terminal on %s\n", sim.SlavePath().c_str());
  if (!link.empty()) {
    if (!sim.Link(link)) {
      std::fprintf(stderr, "quendal sim-terminal: cannot link %s: %s\n", link.c_str(),
                   std::strerror(errno));
      return 1;
    }
    std::printf("linked as %s\n", link.c_str());
  }
  std::printf("use: QUENDAL_COM%ld=%s %s run \"...|%ld|...\"\n", com,
              link.empty() ? sim.SlavePath().c_str() : link.c_str(), command_name().c_str(), com);
  std::fflush(stdout);

  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (g_interrupted == 0 && (seconds <= 0 || std::chrono::steady_clock::now() < end)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  sim.Stop();
  return 0;
}

}  // namespace quendal_tool
