// quendal sim-terminal: a simulated POS terminal on a pty, for trying the library by hand.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"

#if defined(QUENDAL_HAVE_SIM)
#include <chrono>
#include <thread>

#include "sim/terminal_sim.h"
#endif

namespace quendal_tool {

namespace {

const char kSimTerminalHelp[] =
    "usage: quendal sim-terminal [options]\n"
    "Opens a pty pair, prints the slave path (the library's COM port) and plays a terminal:\n"
    "answers the test, then each transaction request with the scenario below. Prints every\n"
    "frame in hex with its decoded header. Runs until interrupted or --seconds have passed.\n"
    "  --link PATH        also publish the slave path as a symbolic link at PATH\n"
    "  --com N            print the QUENDAL_COM<N> setting for it (default 1)\n"
    "  --decline CODE     refuse with this two-digit response code (default: approve)\n"
    "  --text TEXT        response text (bytes as given, up to 40)\n"
    "  --text2 TEXT       second text (bytes as given, up to 40)\n"
    "  --relays N         ask for the bank host N times (kind 0x55) before the final answer\n"
    "  --relay-bytes N    payload bytes of each relay frame (default 40)\n"
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

#if defined(QUENDAL_HAVE_SIM)
volatile std::sig_atomic_t g_interrupted = 0;
void on_signal(int) { g_interrupted = 1; }
#endif

}  // namespace

int cmd_sim_terminal(int argc, char** argv) {
#if !defined(QUENDAL_HAVE_SIM)
  (void)argc;
  (void)argv;
  std::fputs("quendal: this build has no simulators\n", stderr);
  return 2;
#else
  quendal_sim::TerminalScenario s;
  std::string link;
  int com = 1;
  long seconds = 0;
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "quendal sim-terminal: %s needs %s\n", a.c_str(), what);
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kSimTerminalHelp, stdout);
      return 0;
    } else if (a == "--link") {
      link = value("a path");
    } else if (a == "--com") {
      com = std::atoi(value("a number"));
    } else if (a == "--decline") {
      s.final_answer = quendal_sim::FinalAnswer::kDecline;
      s.resp_code = value("a code");
      if (s.resp_text == "APPROVED") s.resp_text = "DECLINED";
    } else if (a == "--text") {
      s.resp_text = value("a text");
    } else if (a == "--text2") {
      s.text2 = value("a text");
    } else if (a == "--relays") {
      s.relays = std::atoi(value("a count"));
    } else if (a == "--relay-bytes") {
      s.relay_bytes = std::atoi(value("a count"));
    } else if (a == "--settle") {
      s.settlement = true;
    } else if (a == "--cancel") {
      s.final_answer = quendal_sim::FinalAnswer::kCancel;
    } else if (a == "--unknown-kind") {
      s.final_answer = quendal_sim::FinalAnswer::kUnknownKind;
      s.unknown_kind = static_cast<uint8_t>(std::strtoul(value("a kind"), nullptr, 16));
    } else if (a == "--silent") {
      s.final_answer = quendal_sim::FinalAnswer::kSilent;
    } else if (a == "--no-test") {
      s.answer_test = false;
    } else if (a == "--test-code") {
      s.test_code = value("a code");
    } else if (a == "--noise") {
      s.noise_bytes = std::atoi(value("a count"));
    } else if (a == "--bad-length") {
      s.bad_length = true;
    } else if (a == "--bad-lrc") {
      s.bad_lrc = true;
    } else if (a == "--split") {
      std::string v = value("N:MS");
      s.split_pieces = std::atoi(v.c_str());
      size_t colon = v.find(':');
      s.split_pause_ms =
          colon == std::string::npos ? 0 : static_cast<uint32_t>(std::atoi(v.c_str() + colon + 1));
    } else if (a == "--pace") {
      s.pace = true;
    } else if (a == "--seconds") {
      seconds = std::atol(value("a count"));
    } else {
      std::fprintf(stderr, "quendal sim-terminal: unknown option '%s'\n", a.c_str());
      std::fputs(kSimTerminalHelp, stderr);
      return 2;
    }
  }

  quendal_sim::TerminalSim sim(s, stdout);
  std::string error;
  if (!sim.Start(&error)) {
    std::fprintf(stderr, "quendal sim-terminal: %s\n", error.c_str());
    return 1;
  }
  std::printf("terminal on %s\n", sim.SlavePath().c_str());
  if (!link.empty()) {
    if (!sim.Link(link)) {
      std::fprintf(stderr, "quendal sim-terminal: cannot link %s\n", link.c_str());
      return 1;
    }
    std::printf("linked as %s\n", link.c_str());
  }
  std::printf("use: QUENDAL_COM%d=%s quendal run \"...|%d|...\"\n", com,
              link.empty() ? sim.SlavePath().c_str() : link.c_str(), com);
  std::fflush(stdout);

  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (g_interrupted == 0 && (seconds <= 0 || std::chrono::steady_clock::now() < end)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  sim.Stop();
  return 0;
#endif
}

}  // namespace quendal_tool
