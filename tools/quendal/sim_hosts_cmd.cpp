// quendal sim-hosts: a simulated bank host and business host on 127.0.0.1, each answering by a
// scenario, with a hex and text trace of every message they receive and send.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "commands.h"
#include "gbk.h"
#include "sim/host_sim.h"

namespace quendal_tool {

namespace {

const char kSimHostsUsage[] =
    "usage: quendal sim-hosts [options]\n"
    "  --bank-port N          bank host port, 1000-10000 as the library accepts, or 0 for a\n"
    "                         free one in that range (default 6001); the port taken is printed\n"
    "  --business-port N      business host port, likewise (default 6002), not the bank's\n"
    "  --bank SCENARIOS       how the bank host answers (default bytes:16)\n"
    "  --business SCENARIOS   how the business host answers (default accept)\n"
    "  --seconds N            stop after N seconds, 1-86400 (default: run until interrupted)\n"
    "SCENARIOS is one scenario or a comma-separated list of them, used one per connection in\n"
    "turn; the last one serves every later connection. The business host gets two connections\n"
    "per sale, the network test and the result report, so\n"
    "  --business accept,refuse:保单已失效\n"
    "passes the test and refuses the report. A scenario, for either host:\n"
    "  accept                 business answer with flag 1 and no text\n"
    "  refuse:TEXT            business answer with flag 0 and TEXT (sent as GBK)\n"
    "  answer:F:LEN:TEXT      business answer with flag character F, length field LEN (0-9999,\n"
    "                         or auto for the text's length plus 5) and TEXT (sent as GBK)\n"
    "  bytes:N                an answer of N pattern bytes, 0-65536\n"
    "  hex:HEX                an answer of exactly these bytes, e.g. hex:0002ab03\n"
    "  close                  close the connection without answering\n"
    "  silent                 never answer\n"
    "  reset                  drop the connection with a reset before reading\n"
    "or, alone: down          nothing listens on the host's port (connections are refused)\n"
    "TEXT is in the terminal's encoding and holds no comma.\n";

volatile std::sig_atomic_t g_stop = 0;

void on_signal(int) { g_stop = 1; }

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

bool text_to_gbk(const std::string& text, std::string* gbk) {
  size_t bad_at = 0;
  return to_gbk(text, terminal_encoding(), gbk, &bad_at);
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
    std::string text;
    if (!text_to_gbk(rest, &text)) return false;
    *scenario = quendal_sim::business_refuse(text);
  } else if (name == "answer") {
    // F:LEN:TEXT
    size_t second = rest.find(':', 2);
    if (rest.size() < 2 || rest[1] != ':' || second == std::string::npos) return false;
    std::string length = rest.substr(2, second - 2);
    long field = -1;
    if (length != "auto" && !parse_number(length, 0, 9999, &field)) return false;
    std::string text;
    if (!text_to_gbk(rest.substr(second + 1), &text)) return false;
    *scenario =
        HostScenario::Answer(quendal_sim::business_answer(rest[0], text, static_cast<int>(field)));
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

using ScenarioList = std::vector<quendal_sim::HostScenario>;

bool parse_scenarios(const std::string& given, ScenarioList* list) {
  list->clear();
  size_t start = 0;
  for (;;) {
    size_t comma = given.find(',', start);
    quendal_sim::HostScenario scenario;
    if (!parse_scenario(given.substr(start, comma - start), &scenario)) return false;
    list->push_back(scenario);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Every scenario but the last is used once, in order; the last one stands for the rest.
void use_scenarios(quendal_sim::HostSim& host, const ScenarioList& list) {
  for (size_t i = 0; i + 1 < list.size(); ++i) host.QueueScenario(list[i]);
  host.SetScenario(list.back());
}

std::mutex g_print;

void print_trace(const quendal_sim::TraceEvent& event) {
  std::string line = quendal_sim::format_trace(event, gbk_to_terminal);
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
  ScenarioList bank{quendal_sim::answer_of_size(16)};
  ScenarioList business{quendal_sim::business_accept()};
  bool bank_down = false;
  bool business_down = false;
  for (int i = 0; i < argc; ++i) {
    std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      std::fputs(kSimHostsUsage, stdout);
      return 0;
    }
    bool port = option == "--bank-port" || option == "--business-port";
    bool scenarios = option == "--bank" || option == "--business";
    if (!port && !scenarios && option != "--seconds") return bad_usage("unknown option " + option);
    // What the option takes, said when its value is missing or refused.
    std::string expected = port        ? "0 for a free port, or a port from 1000 to 10000, the "
                                         "library's range"
                           : scenarios ? "a scenario or a comma-separated list of them"
                                       : number_from_to(1, 86400);
    if (i + 1 >= argc)
      return bad_usage("missing value for " + option + " (expected " + expected + ")");
    std::string value = argv[++i];
    bool ok = false;
    if (port) {
      long* target = option == "--bank-port" ? &bank_port : &business_port;
      long n = -1;
      ok = parse_number(value, 0, 10000, &n) && (n == 0 || n >= 1000);
      if (ok) *target = n;
    } else if (option == "--bank") {
      bank_down = value == "down";
      ok = bank_down || parse_scenarios(value, &bank);
    } else if (option == "--business") {
      business_down = value == "down";
      ok = business_down || parse_scenarios(value, &business);
    } else {
      ok = parse_number(value, 1, 86400, &seconds);
    }
    if (!ok)
      return bad_usage("bad value for " + option + ": '" + value + "' (expected " + expected + ")");
  }
  if (bank_port != 0 && bank_port == business_port) {
    return bad_usage("the bank host and the business host cannot both listen on port " +
                     std::to_string(bank_port) + " (--bank-port and --business-port default to " +
                     "6001 and 6002)");
  }

  quendal_sim::HostSim bank_host("bank host", quendal_sim::HostRole::kBank);
  quendal_sim::HostSim business_host("business host", quendal_sim::HostRole::kBusiness);
  use_scenarios(bank_host, bank);
  use_scenarios(business_host, business);
  bank_host.SetTrace(print_trace);
  business_host.SetTrace(print_trace);
  // A host that cannot listen would make every transaction fail for a reason that has nothing to
  // do with what is being tried: stop at once and say why.
  std::unique_ptr<quendal_sim::RefusingPort> bank_refusing;
  std::unique_ptr<quendal_sim::RefusingPort> business_refusing;
  auto start = [](quendal_sim::HostSim& host, bool down,
                  std::unique_ptr<quendal_sim::RefusingPort>& refusing, long* port) {
    std::string error;
    if (down) {
      // A host that is down: its port is held but nothing listens, so connections are refused.
      if (*port != 0) return true;
      refusing = std::make_unique<quendal_sim::RefusingPort>();
      *port = refusing->Port();
      if (*port != 0) return true;
      error = "no free port from 1000 to 10000";
    } else if (host.Start(static_cast<uint16_t>(*port), &error)) {
      *port = host.Port();
      return true;
    }
    std::fprintf(stderr, "quendal sim-hosts: cannot listen on 127.0.0.1:%ld for the %s: %s\n",
                 *port, host.Name().c_str(), error.c_str());
    return false;
  };
  if (!start(bank_host, bank_down, bank_refusing, &bank_port)) return 1;
  if (!start(business_host, business_down, business_refusing, &business_port)) {
    bank_host.Stop();
    return 1;
  }
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
  std::printf("bank host on 127.0.0.1:%ld, business host on 127.0.0.1:%ld%s\n", bank_port,
              business_port, seconds > 0 ? "" : " (Ctrl-C stops)");
  if (bank_down) std::printf("the bank host is down: nothing listens on %ld\n", bank_port);
  if (business_down)
    std::printf("the business host is down: nothing listens on %ld\n", business_port);
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
