// quendal sim-hosts: a simulated bank host and business host on 127.0.0.1, each answering by a
// scenario, with a hex and text trace of every message they receive and send.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "commands.h"

#if defined(QUENDAL_HAVE_SIM)

#include <chrono>
#include <csignal>
#include <mutex>
#include <thread>

#include "gbk.h"
#include "sim/host_sim.h"

namespace quendal_tool {

namespace {

const char kSimHostsUsage[] =
    "usage: quendal sim-hosts [options]\n"
    "  --bank-port N          bank host port (default 6001)\n"
    "  --business-port N      business host port (default 6002)\n"
    "  --bank SCENARIO        how the bank host answers (default bytes:16)\n"
    "  --business SCENARIO    how the business host answers (default accept)\n"
    "  --seconds N            stop after N seconds (default: run until interrupted)\n"
    "SCENARIO, for either host:\n"
    "  accept                 business answer with flag 1 and no text\n"
    "  refuse:TEXT            business answer with flag 0 and TEXT (UTF-8, sent as GBK)\n"
    "  answer:F:LEN:TEXT      business answer with flag character F, length field LEN (0-9999,\n"
    "                         or auto for the text's length plus 5) and TEXT\n"
    "  bytes:N                an answer of N pattern bytes\n"
    "  hex:HEX                an answer of exactly these bytes, e.g. hex:0002ab03\n"
    "  close                  close the connection without answering\n"
    "  silent                 never answer\n"
    "  reset                  drop the connection with a reset before reading\n";

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

bool parse_number(const std::string& text, long low, long high, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || v < low || v > high) return false;
  *value = v;
  return true;
}

bool parse_hex(const std::string& hex, std::string* bytes) {
  if (hex.size() % 2 != 0) return false;
  for (size_t i = 0; i < hex.size(); i += 2) {
    long v = 0;
    char* end = nullptr;
    std::string pair = hex.substr(i, 2);
    v = std::strtol(pair.c_str(), &end, 16);
    if (*end != '\0') return false;
    bytes->push_back(static_cast<char>(v));
  }
  return true;
}

bool parse_scenario(const std::string& given, quendal_sim::HostScenario* scenario) {
  using quendal_sim::HostScenario;
  size_t colon = given.find(':');
  std::string name = given.substr(0, colon);
  std::string rest = colon == std::string::npos ? "" : given.substr(colon + 1);
  long n = 0;
  if (name == "accept" && colon == std::string::npos) {
    *scenario = quendal_sim::business_accept();
  } else if (name == "refuse") {
    *scenario = quendal_sim::business_refuse(utf8_to_gbk(rest));
  } else if (name == "answer") {
    // F:LEN:TEXT
    size_t second = rest.find(':', 2);
    if (rest.size() < 2 || rest[1] != ':' || second == std::string::npos) return false;
    std::string length = rest.substr(2, second - 2);
    long field = -1;
    if (length != "auto" && !parse_number(length, 0, 9999, &field)) return false;
    *scenario = HostScenario::Answer(quendal_sim::business_answer(
        rest[0], utf8_to_gbk(rest.substr(second + 1)), static_cast<int>(field)));
  } else if (name == "bytes" && parse_number(rest, 0, 65536, &n)) {
    *scenario = quendal_sim::answer_of_size(static_cast<size_t>(n));
  } else if (name == "hex") {
    std::string bytes;
    if (!parse_hex(rest, &bytes)) return false;
    *scenario = HostScenario::Answer(bytes);
  } else if (given == "close") {
    *scenario = HostScenario::Close();
  } else if (given == "silent") {
    *scenario = HostScenario::Silent();
  } else if (given == "reset") {
    *scenario = HostScenario::Reset();
  } else {
    return false;
  }
  return true;
}

std::mutex g_print;

void print_trace(const quendal_sim::TraceEvent& event) {
  std::string line = quendal_sim::format_trace(event, gbk_to_utf8);
  std::lock_guard<std::mutex> lock(g_print);
  std::fputs(line.c_str(), stdout);
  std::fflush(stdout);
}

int bad_usage(const std::string& why) {
  std::fprintf(stderr, "quendal sim-hosts: %s\n%s", why.c_str(), kSimHostsUsage);
  return 2;
}

}  // namespace

int cmd_sim_hosts(int argc, char** argv) {
  long bank_port = 6001;
  long business_port = 6002;
  long seconds = 0;
  quendal_sim::HostScenario bank = quendal_sim::answer_of_size(16);
  quendal_sim::HostScenario business = quendal_sim::business_accept();
  for (int i = 0; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kSimHostsUsage, stdout);
      return 0;
    }
    if (i + 1 >= argc) return bad_usage("missing value for " + option);
    std::string value = argv[++i];
    bool ok = false;
    if (option == "--bank-port") {
      ok = parse_number(value, 1, 65535, &bank_port);
    } else if (option == "--business-port") {
      ok = parse_number(value, 1, 65535, &business_port);
    } else if (option == "--bank") {
      ok = parse_scenario(value, &bank);
    } else if (option == "--business") {
      ok = parse_scenario(value, &business);
    } else if (option == "--seconds") {
      ok = parse_number(value, 1, 86400, &seconds);
    } else {
      return bad_usage("unknown option " + option);
    }
    if (!ok) return bad_usage("bad value for " + option + ": " + value);
  }

  quendal_sim::HostSim bank_host("bank host", quendal_sim::HostRole::kBank);
  quendal_sim::HostSim business_host("business host", quendal_sim::HostRole::kBusiness);
  bank_host.SetScenario(bank);
  business_host.SetScenario(business);
  bank_host.SetTrace(print_trace);
  business_host.SetTrace(print_trace);
  if (!bank_host.Start(static_cast<uint16_t>(bank_port))) {
    std::fprintf(stderr, "quendal sim-hosts: cannot listen on 127.0.0.1:%ld\n", bank_port);
    return 1;
  }
  if (!business_host.Start(static_cast<uint16_t>(business_port))) {
    std::fprintf(stderr, "quendal sim-hosts: cannot listen on 127.0.0.1:%ld\n", business_port);
    return 1;
  }
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  std::printf("bank host on 127.0.0.1:%ld, business host on 127.0.0.1:%ld%s\n", bank_port,
              business_port, seconds > 0 ? "" : " (Ctrl-C stops)");
  std::fflush(stdout);

  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (g_stop == 0 && (seconds == 0 || std::chrono::steady_clock::now() < until)) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  business_host.Stop();
  bank_host.Stop();
  return 0;
}

}  // namespace quendal_tool

#else  // no simulators on this platform

namespace quendal_tool {

int cmd_sim_hosts(int, char**) {
  std::fputs("quendal sim-hosts: the simulators are not built on this platform\n", stderr);
  return 2;
}

}  // namespace quendal_tool

#endif
