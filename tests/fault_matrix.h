// The faults a hostile or broken peer can put in front of a call, each as one scenario over the
// simulated terminal on a pty and the simulated hosts on 127.0.0.1, with what the caller must get
// back. Shared by the fault matrix (one call per scenario) and the soak (many calls, cycling).
#pragma once

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/error.h"
#include "common/texts.h"
#include "sim/host_sim.h"
#include "sim/terminal_sim.h"
#include "support/virtual_clock.h"

namespace quendal_test {

using quendal_sim::FinalAnswer;
using quendal_sim::HostScenario;
using quendal_sim::TerminalScenario;

constexpr int kMatrixCom = 7;

// The process's open descriptors, each as its number and what it points at.
inline std::vector<std::string> open_descriptors() {
  std::vector<std::string> out;
  DIR* dir = ::opendir("/proc/self/fd");
  if (dir == nullptr) return out;
  const int own = ::dirfd(dir);
  while (dirent* entry = ::readdir(dir)) {
    if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own) continue;
    char target[512] = {};
    std::string path = std::string("/proc/self/fd/") + entry->d_name;
    ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    out.push_back(std::string(entry->d_name) + "->" + (n > 0 ? target : "?"));
  }
  ::closedir(dir);
  std::sort(out.begin(), out.end());
  return out;
}

// The descriptors once they are back to `before`; the simulators drop their side of a connection
// a moment after the library, so this waits a little (real time) before it reports a difference.
inline std::vector<std::string> descriptors_settled(const std::vector<std::string>& before) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  std::vector<std::string> now = open_descriptors();
  while (now != before && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    now = open_descriptors();
  }
  return now;
}

// A business host scripted byte by byte: on every connection it reads the request, then writes
// each piece with a real pause before it, then closes.
class PiecesHost {
 public:
  explicit PiecesHost(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {
    for (uint16_t port = 7000; port < 10000 && fd_ < 0; port += 7) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      int on = 1;
      ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
      sockaddr_in at{};
      at.sin_family = AF_INET;
      at.sin_port = htons(port);
      at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd, 4) == 0) {
        fd_ = fd;
        port_ = port;
      } else {
        ::close(fd);
      }
    }
    thread_ = std::thread([this] { Serve(); });
  }
  ~PiecesHost() {
    stop_ = true;
    thread_.join();
    if (fd_ >= 0) ::close(fd_);
  }
  uint16_t Port() const { return port_; }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 20) <= 0) continue;
      int c = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (c < 0) continue;
      char request[1024];
      pollfd q{c, POLLIN, 0};
      if (::poll(&q, 1, 2000) > 0) ::recv(c, request, sizeof request, 0);
      for (const std::string& piece : pieces_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        ::send(c, piece.data(), piece.size(), MSG_NOSIGNAL);
      }
      ::close(c);
    }
  }

  std::vector<std::string> pieces_;
  int fd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A port from 1000 to 10000 that listens but never accepts, its queue already full: a connect to
// it is neither refused nor completed.
class NeverAcceptingPort {
 public:
  NeverAcceptingPort() {
    for (uint16_t port = 6000; port < 10000 && fd_ < 0; port += 11) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
      sockaddr_in at{};
      at.sin_family = AF_INET;
      at.sin_port = htons(port);
      at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      if (::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) == 0 && ::listen(fd, 0) == 0) {
        fd_ = fd;
        port_ = port;
        address_ = at;
      } else {
        ::close(fd);
      }
    }
    // Fill the queue: these connections are never accepted, and every later one waits.
    for (int i = 0; i < 3; ++i) {
      int c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(c, reinterpret_cast<sockaddr*>(&address_), sizeof address_);
      fillers_.push_back(c);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~NeverAcceptingPort() {
    for (int c : fillers_) ::close(c);
    if (fd_ >= 0) ::close(fd_);
  }
  uint16_t Port() const { return port_; }

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
  sockaddr_in address_{};
  std::vector<int> fillers_;
};

// How each host behaves in a scenario.
enum class Bank { kAnswer, kNotListening, kNeverAccepting, kSilent, kClose, kTooLong, kReset };
enum class Business {
  kAccept,
  kRefuseTest,
  kRefuseReport,
  kNotListening,
  kSilent,
  kShort,
  kBogusLength,
  kReset,
  kPieces,
  kHttpOk,              // a web server's "HTTP/1.1 200 OK" to the network test
  kFlagWithoutLength,   // "xxxxxxx1": a '1' where the flag stands, but no length
  kHttpRefusal,         // "HTTP/1.0 400 ..." with its CR LF
  kHttpOkToReport,      // the network test accepted, then a web server's answer to the report
  kRefuseTestBroken,    // a refusal of the test whose text breaks its line
  kRefuseReportBroken,  // a refusal of the report whose text breaks its line
  kRefuseTestWordless,  // a refusal of the test without a text
};

inline std::string err(int code) {
  quendal::CError e = quendal::table_error(code);
  return std::string(e.text, e.TextLength());
}

struct Scenario {
  const char* name;
  std::function<void(TerminalScenario&)> terminal;  // changes to an approving terminal
  Bank bank;
  Business business;
  // The request line from the approving one (COM port, then the hosts' ports), when it differs.
  std::function<std::string(const std::string& valid)> request;
  const char* com_device;  // the device COM 7 names instead of the simulator's, when given
  int rc;
  std::string text;  // the result's text before the spaces that fill it to 555 bytes
  bool cancel;       // whether the terminal gets a CANCEL notice
  bool concurrent;   // a second call is made while this one runs
  // A host that resets may do so while the connection is made, before the request is sent or
  // after it: any of those steps' texts.
  std::vector<int> or_codes = {};
  bool com_held = false;  // another opener holds the terminal's line (and its lock) during the call

  bool Expected(const std::string& result) const {
    auto padded = [](const std::string& t) { return t + std::string(555 - t.size(), ' '); };
    if (result == padded(text)) return true;
    for (int code : or_codes) {
      if (result == padded(err(code))) return true;
    }
    return false;
  }
};

// The approving terminal's result text, and what a refused report puts before it.
const std::string kApproved = "APPROVED";
const std::string kReportRefusal =
    std::string("NO WAY") + quendal::text::kEllipsis + quendal::text::kBankInfo + kApproved;
const std::string kHttpOkAnswer =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nOK";

// Every field of `line` padded with blanks to `width` characters.
inline std::string padded_fields(const std::string& line, size_t width) {
  std::string out, field;
  for (size_t i = 0; i <= line.size(); ++i) {
    if (i == line.size() || line[i] == '|') {
      field.resize(width, ' ');
      out += field + (i == line.size() ? "" : "|");
      field.clear();
    } else {
      field += line[i];
    }
  }
  return out;
}

inline std::vector<Scenario> fault_scenarios() {
  using TS = TerminalScenario;
  auto same = [](TS&) {};
  std::vector<Scenario> s = {
      {"approved sale with one relay", [](TS& t) { t.relays = 1; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 0, kApproved, false, false},
      {"final answer with a wrong check byte", [](TS& t) { t.bad_lrc = true; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 1, err(177), true, false},
      {"relay request with a wrong check byte",
       [](TS& t) {
         t.bad_lrc = true;
         t.relays = 1;
       },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, err(177), true, false},
      {"body shorter than a header",
       [](TS& t) {
         t.final_answer = FinalAnswer::kRaw;
         t.raw_final = {0x02, 0x00, 0x00, 0x03, 0x03};
       },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, err(181), false, false},
      {"final answer too short for a result",
       [](TS& t) {
         t.final_answer = FinalAnswer::kRaw;
         t.raw_final = quendal_sim::terminal_frame("00000000", 0, std::vector<uint8_t>(20, '0'));
       },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, err(189), false, false},
      {"settlement notices without end", [](TS& t) { t.settlement_forever = 5; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 1, err(181), false, false},
      {"settlement notice then the answer", [](TS& t) { t.settlement = true; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 0, kApproved, false, false},
      {"requests for the bank without end", [](TS& t) { t.relays = 1000; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 1, err(189), false, false},
      {"bank host never accepts", [](TS& t) { t.relays = 1; }, Bank::kNeverAccepting,
       Business::kAccept, nullptr, nullptr, 1, err(196), true, false},
      {"zero-padded loopback address is decimal", same, Bank::kAnswer, Business::kAccept,
       [](const std::string& line) {
         size_t at = line.rfind("127.0.0.1");
         return line.substr(0, at) + "0127.0.0.001" + line.substr(at + 9);
       },
       nullptr, 0, kApproved, false, false},
      {"business host answers in two pieces", same, Bank::kAnswer, Business::kPieces, nullptr,
       nullptr, 0, kApproved, false, false},
      {"terminal silent", [](TS& t) { t.answer_test = false; }, Bank::kAnswer, Business::kAccept,
       nullptr, nullptr, 1, err(182), false, false},
      {"noise before frames", [](TS& t) { t.noise_bytes = 37; }, Bank::kAnswer, Business::kAccept,
       nullptr, nullptr, 0, kApproved, false, false},
      {"final answer cut off", [](TS& t) { t.cut_final = 200; }, Bank::kAnswer, Business::kAccept,
       nullptr, nullptr, 1, err(181), false, false},
      {"impossible length before frames", [](TS& t) { t.bad_length = true; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 0, kApproved, false, false},
      {"terminal cancels", [](TS& t) { t.final_answer = FinalAnswer::kCancel; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 1, err(206), false, false},
      {"unknown kind", [](TS& t) { t.final_answer = FinalAnswer::kUnknownKind; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 1, err(189), false, false},
      {"frames in single bytes with pauses",
       [](TS& t) {
         t.split_pieces = 1000;
         t.split_pause_ms = 1;
       },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 0, kApproved, false, false},
      {"bank host not listening", [](TS& t) { t.relays = 1; }, Bank::kNotListening,
       Business::kAccept, nullptr, nullptr, 1, err(196), true, false},
      {"bank host silent", [](TS& t) { t.relays = 1; }, Bank::kSilent, Business::kAccept, nullptr,
       nullptr, 1, err(198), true, false},
      {"bank host closes", [](TS& t) { t.relays = 1; }, Bank::kClose, Business::kAccept, nullptr,
       nullptr, 1, err(198), true, false},
      {"bank host answers more than a frame holds", [](TS& t) { t.relays = 1; }, Bank::kTooLong,
       Business::kAccept, nullptr, nullptr, 1, err(198), true, false},
      {"bank host resets",
       [](TS& t) { t.relays = 1; },
       Bank::kReset,
       Business::kAccept,
       nullptr,
       nullptr,
       1,
       err(198),
       true,
       false,
       {196, 197}},
      {"business host refuses the test", same, Bank::kAnswer, Business::kRefuseTest, nullptr,
       nullptr, 1, "CLOSED", false, false},
      {"business host refuses the report", same, Bank::kAnswer, Business::kRefuseReport, nullptr,
       nullptr, 1, kReportRefusal, true, false},
      {"business host not listening", same, Bank::kAnswer, Business::kNotListening, nullptr,
       nullptr, 1, err(199), false, false},
      {"business host silent", same, Bank::kAnswer, Business::kSilent, nullptr, nullptr, 1,
       err(201), false, false},
      {"business host answers fewer than 8 bytes", same, Bank::kAnswer, Business::kShort, nullptr,
       nullptr, 1, err(203), false, false},
      {"business host answers a bogus length", same, Bank::kAnswer, Business::kBogusLength, nullptr,
       nullptr, 1, "NOPE", false, false},
      {"business host resets",
       same,
       Bank::kAnswer,
       Business::kReset,
       nullptr,
       nullptr,
       1,
       err(201),
       false,
       false,
       {199, 200}},
      {"COM device missing", same, Bank::kAnswer, Business::kAccept, nullptr, "/nonexistent/ttyQ7",
       1, err(178), false, false},
      {"COM device not a terminal", same, Bank::kAnswer, Business::kAccept, nullptr, "/dev/null", 1,
       err(178), false, false},
      {"every field 1000 characters long", same, Bank::kAnswer, Business::kAccept,
       [](const std::string& line) { return padded_fields(line, 1000); }, nullptr, 1, err(190),
       false, false},
      {"empty request", same, Bank::kAnswer, Business::kAccept,
       [](const std::string&) { return std::string(); }, nullptr, 1, err(191), false, false},
      {"two calls at once",
       [](TS& t) {
         t.split_pieces = 40;
         t.split_pause_ms = 10;
       },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 0, kApproved, false, true},
      // Host answers, logs and waits
      {"business host is a web server", same, Bank::kAnswer, Business::kHttpOk, nullptr, nullptr, 1,
       err(201), false, false},
      {"business host answers a flag without a length", same, Bank::kAnswer,
       Business::kFlagWithoutLength, nullptr, nullptr, 1, err(201), false, false},
      {"business host refuses as a web server", same, Bank::kAnswer, Business::kHttpRefusal,
       nullptr, nullptr, 1, err(201), false, false},
      {"business host answers the report as a web server", same, Bank::kAnswer,
       Business::kHttpOkToReport, nullptr, nullptr, 1, err(201), true, false},
      {"business host refuses the test on broken lines", same, Bank::kAnswer,
       Business::kRefuseTestBroken, nullptr, nullptr, 1, "NO  WAY  !", false, false},
      {"business host refuses the report on broken lines", same, Bank::kAnswer,
       Business::kRefuseReportBroken, nullptr, nullptr, 1,
       kReportRefusal.substr(0, 2) + "  " + kReportRefusal.substr(3), true, false},
      {"business host refuses the test without words", same, Bank::kAnswer,
       Business::kRefuseTestWordless, nullptr, nullptr, 1, err(203), false, false},
      // The answer must belong to the request, the line to one caller, and a gone line ends it.
      {"second test reply left on the line", [](TS& t) { t.extra_test_replies = 1; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 0, kApproved, false, false},
      {"stale approval waiting before the request", [](TS& t) { t.stale_approval = true; },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 0, kApproved, false, false},
      {"approval for another amount", [](TS& t) { t.answer_amount = "000000000001"; },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, err(189), true, false},
      {"approval for another reference", [](TS& t) { t.answer_ref15 = "REF000000000002"; },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, err(189), true, false},
      {"approval of only code and text", [](TS& t) { t.final_result_bytes = 48; }, Bank::kAnswer,
       Business::kAccept, nullptr, nullptr, 1, err(189), true, false},
      {"approval with the amount written otherwise",
       [](TS& t) { t.answer_amount = "       12345"; }, Bank::kAnswer, Business::kAccept, nullptr,
       nullptr, 0, kApproved, false, false},
      {"query of the last transaction answers for another",
       [](TS& t) {
         t.answer_ref15 = "REF-YESTERDAY";
         t.answer_amount = "000000050000";
       },
       Bank::kAnswer, Business::kAccept,
       [](const std::string& line) { return "3" + line.substr(1); }, nullptr, 0, kApproved, false,
       false},
      {"terminal hangs up after the request", [](TS& t) { t.hang_up_on_request = true; },
       Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, err(179), false, false},
      {"COM number beyond 255", same, Bank::kAnswer, Business::kAccept,
       [](const std::string& line) {
         const std::string com = "||" + std::to_string(kMatrixCom) + "|";
         size_t at = line.find(com);
         return line.substr(0, at) + "||" + std::to_string(kMatrixCom + 256) + "|" +
                line.substr(at + com.size());
       },
       nullptr, 1, err(178), false, false},
      {"COM line held by another opener",
       same,
       Bank::kAnswer,
       Business::kAccept,
       nullptr,
       nullptr,
       1,
       err(178),
       false,
       false,
       {},
       true},
  };
  return s;
}

// The simulators and the request line of one scenario, set up before the call and torn down
// after it.
class ScenarioRig {
 public:
  ScenarioRig(const Scenario& scenario, quendal::VirtualClock& clock)
      : scenario_(scenario),
        bank_("bank", quendal_sim::HostRole::kBank),
        business_("business", quendal_sim::HostRole::kBusiness) {
    TerminalScenario t;
    if (scenario.terminal) scenario.terminal(t);
    if (t.settlement_forever > 0) t.on_settlement = [&clock] { clock.Advance(2000); };
    terminal_.reset(new quendal_sim::TerminalSim(t));
    ok_ = terminal_->Start() && bank_.Start() && business_.Start();

    uint16_t bank_port = bank_.Port();
    if (scenario.bank == Bank::kNotListening) {
      refusing_.reset(new quendal_sim::RefusingPort());
      bank_port = refusing_->Port();
    } else if (scenario.bank == Bank::kNeverAccepting) {
      never_.reset(new NeverAcceptingPort());
      bank_port = never_->Port();
    }
    uint16_t business_port = business_.Port();
    if (scenario.business == Business::kNotListening) {
      refusing_.reset(new quendal_sim::RefusingPort());
      business_port = refusing_->Port();
    } else if (scenario.business == Business::kPieces) {
      pieces_.reset(new PiecesHost({"0005", "0001|"}));
      business_port = pieces_->Port();
    }
    request_ = "1|REF000000000001|B0110001|12345|000000|VAL001|POLICY-42||" +
               std::to_string(kMatrixCom) + "|127.0.0.1|" + std::to_string(bank_port) +
               "|1|127.0.0.1|" + std::to_string(business_port) + "|1";
    if (scenario.request) request_ = scenario.request(request_);
    if (scenario.com_held) {
      held_ = ::open(terminal_->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
      ok_ = ok_ && held_ >= 0 && ::flock(held_, LOCK_EX | LOCK_NB) == 0;
    }
    Arm();
  }
  ~ScenarioRig() {
    if (held_ >= 0) ::close(held_);
    terminal_->Stop();
    bank_.Stop();
    business_.Stop();
    unsetenv(variable_.c_str());
  }

  // Readies the rig for its next call: the COM port's device and the hosts' answers.
  void Arm() {
    setenv(variable_.c_str(),
           scenario_.com_device != nullptr ? scenario_.com_device : terminal_->SlavePath().c_str(),
           1);
    switch (scenario_.bank) {
      case Bank::kAnswer:
      case Bank::kNotListening:
      case Bank::kNeverAccepting:
        bank_.SetScenario(quendal_sim::answer_of_size(40));
        break;
      case Bank::kSilent:
        bank_.SetScenario(HostScenario::Silent());
        break;
      case Bank::kClose:
        bank_.SetScenario(HostScenario::Close());
        break;
      case Bank::kTooLong:
        bank_.SetScenario(quendal_sim::answer_of_size(500));
        break;
      case Bank::kReset:
        bank_.SetScenario(HostScenario::Reset());
        break;
    }
    business_.SetScenario(quendal_sim::business_accept());
    switch (scenario_.business) {
      case Business::kAccept:
      case Business::kNotListening:
      case Business::kPieces:
        break;
      case Business::kRefuseTest:
        business_.SetScenario(quendal_sim::business_refuse("CLOSED"));
        break;
      case Business::kRefuseReport:
        business_.QueueScenario(quendal_sim::business_accept());
        business_.SetScenario(quendal_sim::business_refuse("NO WAY"));
        break;
      case Business::kSilent:
        business_.SetScenario(HostScenario::Silent());
        break;
      case Business::kShort:
        business_.SetScenario(HostScenario::Answer("0005"));
        break;
      case Business::kBogusLength:
        business_.SetScenario(
            HostScenario::Answer(quendal_sim::business_answer('0', "NOPE", 9999)));
        break;
      case Business::kReset:
        business_.SetScenario(HostScenario::Reset());
        break;
      case Business::kHttpOk:
        business_.SetScenario(HostScenario::Answer(kHttpOkAnswer));
        break;
      case Business::kFlagWithoutLength:
        business_.SetScenario(HostScenario::Answer("xxxxxxx1|WELCOME"));
        break;
      case Business::kHttpRefusal:
        business_.SetScenario(HostScenario::Answer("HTTP/1.0 400 Bad Request\r\n\r\n"));
        break;
      case Business::kHttpOkToReport:
        business_.QueueScenario(quendal_sim::business_accept());
        business_.SetScenario(HostScenario::Answer(kHttpOkAnswer));
        break;
      case Business::kRefuseTestBroken:
        business_.SetScenario(quendal_sim::business_refuse("NO\r\nWAY\t\x7f!"));
        break;
      case Business::kRefuseReportBroken:
        business_.QueueScenario(quendal_sim::business_accept());
        business_.SetScenario(quendal_sim::business_refuse("NO\r\nWAY"));
        break;
      case Business::kRefuseTestWordless:
        business_.SetScenario(quendal_sim::business_refuse(""));
        break;
    }
  }

  bool ok() const { return ok_; }
  const std::string& Request() const { return request_; }
  quendal_sim::TerminalSim& Terminal() { return *terminal_; }
  quendal_sim::HostSim& BankHost() { return bank_; }
  quendal_sim::HostSim& BusinessHost() { return business_; }

  // Whether a CANCEL notice reached the terminal; waits a little for one that is on its way.
  bool CancelSent(bool expected) const {
    auto has_cancel = [this] {
      for (const auto& frame : terminal_->Received()) {
        if (frame.size() >= 12 && std::memcmp(frame.data() + 6, "CANCEL", 6) == 0) return true;
      }
      return false;
    };
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(expected ? 2000 : 50);
    while (!has_cancel() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return has_cancel();
  }

 private:
  const Scenario scenario_;
  std::string variable_ = "QUENDAL_COM" + std::to_string(kMatrixCom);
  std::unique_ptr<quendal_sim::TerminalSim> terminal_;
  quendal_sim::HostSim bank_;
  quendal_sim::HostSim business_;
  std::unique_ptr<quendal_sim::RefusingPort> refusing_;
  std::unique_ptr<NeverAcceptingPort> never_;
  std::unique_ptr<PiecesHost> pieces_;
  std::string request_;
  bool ok_ = false;
  int held_ = -1;
};

}  // namespace quendal_test
