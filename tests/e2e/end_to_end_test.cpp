// Whole calls of card_trans against the simulated terminal (on a pty, as COM 12) and the simulated
// bank and business hosts (on 127.0.0.1), with one set of expectations for every way the library
// is called:
//   - in this process, through the static core, in virtual time (the default);
//   - as the shipped Windows DLL under wine, through a caller that loads it as a business
//     application does (QUENDAL_E2E_RUNNER=wine; see scripts/test.d/52-windows-wine.sh).
// Each scenario asserts the return value, all 555 result bytes, the guard bytes around them, the
// status texts the window showed, and what the terminal and the hosts received.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/texts.h"
#include "host/socket_ops.h"
#include "quendal/card_trans.h"
#include "sim/host_sim.h"
#include "sim/terminal_sim.h"
#include "support/call_results.h"
#include "support/status_log.h"
#include "support/test_env.h"
#include "support/virtual_clock.h"

namespace quendal {
namespace {

using quendal_sim::FinalAnswer;
using quendal_sim::HostRole;
using quendal_sim::HostScenario;
using quendal_sim::HostSim;
using quendal_sim::TerminalScenario;
using quendal_sim::TerminalSim;
using Frame = std::vector<uint8_t>;
using quendal_test::code_of;
using quendal_test::padded;
using quendal_test::payload_of;
using quendal_test::text_of;
using Texts = std::vector<std::string>;

// COM10 and above open only under their device name (\\.\COM12) on Windows. QUENDAL_E2E_COM picks
// another, so that two runs under wine can share one prefix at once.
const int kCom =
    std::getenv("QUENDAL_E2E_COM") != nullptr ? std::atoi(std::getenv("QUENDAL_E2E_COM")) : 12;

std::string join(const Texts& texts) { return quendal_test::StatusLog::Join(texts); }

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What one call gave back.
struct Outcome {
  int rc = -1;
  std::string result;  // the 555 bytes
  bool guards_intact = false;
  bool sockets_released = false;  // every socket start-up the call took was given back
  std::string status;             // the status texts, as the status log holds them
  std::string journal;            // the transaction journal the call wrote
};

// One way of calling the library. The terminal is reachable as COM kCom when `terminal` is given.
class Runner {
 public:
  virtual ~Runner() = default;
  virtual Outcome Call(const std::string& request, TerminalSim* terminal) = 0;
};

class InProcessRunner final : public Runner {
 public:
  Outcome Call(const std::string& request, TerminalSim* terminal) override {
    const std::string variable = "QUENDAL_COM" + std::to_string(kCom);
    quendal_test::set_env(variable, terminal != nullptr ? terminal->SlavePath() : "/nonexistent");
    VirtualClock clock;
    ScopedClock use(clock);
    quendal_test::StatusLog log;
    const std::string journal = quendal_test::make_temp_file();
    quendal_test::set_env("QUENDAL_JOURNAL", journal);
    constexpr size_t kGuard = 64;
    std::vector<char> buffer(kGuard + 555 + kGuard, '\xA5');
    std::memset(buffer.data() + kGuard, 0, 555);
    Outcome out;
    out.rc = card_trans(request.c_str(), buffer.data() + kGuard);
    out.result.assign(buffer.data() + kGuard, 555);
    out.guards_intact = true;
    for (size_t i = 0; i < kGuard; ++i) {
      if (buffer[i] != '\xA5' || buffer[kGuard + 555 + i] != '\xA5') out.guards_intact = false;
    }
    out.status = log.Text();
    out.sockets_released = net::startups_held() == 0;
    quendal_test::unset_env("QUENDAL_JOURNAL");
    out.journal = read_file(journal);
    quendal_test::remove_file(journal);
    quendal_test::unset_env(variable);
    return out;
  }
};

// The shipped DLL under wine, through tests/win/caller.c. Needs WINEPREFIX (booted, with its
// wineserver running), QUENDAL_WINE_DLL and QUENDAL_WINE_CALLER (Linux paths of Quendal.dll and
// caller.exe), and QUENDAL_WINE_LOADER, the wine loader of the caller's bitness (`wine` when
// unset).
//
// One caller process (caller.exe --serve) makes every call of the run: where 32-bit code runs only
// through an emulator, starting a wine process costs a minute and a call milliseconds. When the
// process dies or stops answering, the call fails with a line "wine caller died in <test>: ..."
// followed by wine's last words on stderr, and the next call starts a new process; the Windows
// stage reads those lines to tell a death in wine or the emulator from a fault of the library.
class WineCaller {
 public:
  static WineCaller& Instance() {
    static WineCaller caller;
    return caller;
  }
  ~WineCaller() { Stop(); }

  // One call; false, with why, when the process could not be started, died or did not answer.
  bool Call(const std::string& line, std::string* why) {
    if (pid_ < 0 && !Start(why)) return false;
    const std::string sent = line + "\n";
    if (::write(to_, sent.data(), sent.size()) != static_cast<ssize_t>(sent.size())) {
      return Died("the caller's stdin is closed", why);
    }
    std::string reply;
    const int seconds = env_int("QUENDAL_WINE_CALL_SECONDS", 900);
    for (;;) {
      pollfd pfd{from_, POLLIN, 0};
      int ready = ::poll(&pfd, 1, seconds * 1000);
      if (ready == 0) {
        ::kill(pid_, SIGKILL);
        return Died("no answer in " + std::to_string(seconds) + " s", why);
      }
      if (ready < 0) {
        if (errno == EINTR) continue;
        return Died("poll failed", why);
      }
      char c;
      ssize_t n = ::read(from_, &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return Died("the caller ended", why);
      if (c == '\n') break;
      if (c != '\r') reply += c;
    }
    if (reply == "done") return true;
    *why = "the caller could not make the call: " + reply;
    return false;
  }

 private:
  bool Start(std::string* why) {
    ::signal(SIGPIPE, SIG_IGN);
    stderr_file_ = quendal_test::make_temp_file();
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) {
      *why = "no pipe";
      return false;
    }
    const std::string loader =
        env("QUENDAL_WINE_LOADER").empty() ? "wine" : env("QUENDAL_WINE_LOADER");
    const std::string caller = env("QUENDAL_WINE_CALLER");
    const std::string dll = windows_path(env("QUENDAL_WINE_DLL"));
    pid_ = ::fork();
    if (pid_ == 0) {
      int err = ::open(stderr_file_.c_str(), O_WRONLY | O_APPEND);
      ::dup2(in[0], 0);
      ::dup2(out[1], 1);
      if (err >= 0) ::dup2(err, 2);
      // Nothing of this process (the simulators' sockets and pty) may live on in the caller.
      ::close_range(3, ~0U, 0);
      ::execlp(loader.c_str(), loader.c_str(), caller.c_str(), dll.c_str(), "--serve", nullptr);
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
    if (pid_ < 0) {
      Stop();
      *why = "fork failed";
      return false;
    }
    return true;
  }

  bool Died(const std::string& what, std::string* why) {
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_) {
      pid_ = -1;
      if (WIFEXITED(status)) {
        *why = what + ", exit status " + std::to_string(WEXITSTATUS(status));
      } else if (WIFSIGNALED(status)) {
        *why = what + ", signal " + std::to_string(WTERMSIG(status));
      }
    } else {
      *why = what;
    }
    std::string last = read_file(stderr_file_);
    if (last.size() > 2000) last = last.substr(last.size() - 2000);
    *why += "\n" + last;
    Stop();
    return false;
  }

  void Stop() {
    if (to_ >= 0) ::close(to_);
    if (from_ >= 0) ::close(from_);
    to_ = from_ = -1;
    // The end of its stdin ends the caller.
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
    if (!stderr_file_.empty()) quendal_test::remove_file(stderr_file_);
    stderr_file_.clear();
  }

  static int env_int(const char* name, int fallback) {
    const std::string value = env(name);
    return value.empty() ? fallback : std::atoi(value.c_str());
  }

 public:
  static std::string env(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
  }
  static std::string windows_path(std::string path) {
    for (char& c : path) {
      if (c == '/') c = '\\';
    }
    return "Z:" + path;
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1;
  int from_ = -1;
  std::string stderr_file_;
};

class WineRunner final : public Runner {
 public:
  Outcome Call(const std::string& request, TerminalSim* terminal) override {
    const std::string prefix = WineCaller::env("WINEPREFIX");
    const std::string link = prefix + "/dosdevices/com" + std::to_string(kCom);
    ::unlink(link.c_str());
    if (terminal != nullptr) {
      EXPECT_TRUE(terminal->Link(link));
    }

    const std::string request_file = quendal_test::make_temp_file();
    const std::string result_file = quendal_test::make_temp_file();
    const std::string log_file = quendal_test::make_temp_file();
    const std::string journal_file = quendal_test::make_temp_file();
    std::ofstream(request_file, std::ios::binary) << request;
    // Under wine the library sees Linux paths through drive Z:.
    std::string why;
    if (!WineCaller::Instance().Call(WineCaller::windows_path(request_file) + "\t" +
                                         WineCaller::windows_path(result_file) + "\t" +
                                         WineCaller::windows_path(log_file) + "\t" +
                                         WineCaller::windows_path(journal_file),
                                     &why)) {
      const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
      std::printf("wine caller died in %s.%s: %s\n", test->test_suite_name(), test->name(),
                  why.c_str());
      std::fflush(stdout);
      ADD_FAILURE() << "the wine caller made no call";
    }

    Outcome out;
    std::string written = read_file(result_file);
    size_t line_end = written.find('\n');
    if (line_end != std::string::npos) {
      std::string line = written.substr(0, line_end);
      out.rc = std::atoi(line.c_str() + 3);  // "rc=N guards=..."
      out.guards_intact = line.find("guards=ok") != std::string::npos;
      out.sockets_released = line.find("winsock=released") != std::string::npos;
      out.result = written.substr(line_end + 1);
    }
    out.status = read_file(log_file);
    out.journal = read_file(journal_file);
    for (const std::string& f : {request_file, result_file, log_file, journal_file}) {
      quendal_test::remove_file(f);
    }
    ::unlink(link.c_str());
    return out;
  }
};

std::unique_ptr<Runner> make_runner() {
  const char* which = std::getenv("QUENDAL_E2E_RUNNER");
  if (which != nullptr && std::strcmp(which, "wine") == 0) return std::make_unique<WineRunner>();
  return std::make_unique<InProcessRunner>();
}

// The hosts and the terminal of one scenario, and what they saw.
struct Peers {
  HostSim bank{"bank", HostRole::kBank};
  HostSim business{"business", HostRole::kBusiness};
  std::unique_ptr<TerminalSim> terminal;
  std::unique_ptr<quendal_sim::RefusingPort> bank_down;
  uint16_t bank_port = 0;
  std::string request;  // set by the scenario's arrange step, from Request() by default
};

std::string request_for(const Peers& p, const char* operation = "1") {
  return std::string(operation) + "|REF000000000001|B0110001|12345|STAMP0|VAL001|POLICY-42||" +
         std::to_string(kCom) + "|127.0.0.1|" + std::to_string(p.bank_port) + "|5|127.0.0.1|" +
         std::to_string(p.business.Port()) + "|5";
}

struct Scenario {
  const char* name;
  // Sets up the peers: terminal scenario (or none), host scenarios, the request.
  std::function<void(Peers&)> arrange;
  int rc;
  std::string result;
  Texts status;
  // Header codes of the frames the terminal received, in order.
  Texts to_terminal;
  // Messages the business host received: the network test first, then the result report, whose
  // fields from its fifth byte on start with `report`.
  size_t business_messages;
  std::string report;
  size_t bank_requests;
  // Further checks on the frames the terminal received.
  std::function<void(const std::vector<Frame>&)> check_frames;
};

void start_terminal(Peers& p, TerminalScenario s) {
  p.terminal.reset(new TerminalSim(s));
  ASSERT_TRUE(p.terminal->Start());
}

const std::string kTest = "AREYOUOK";
const std::string kSale = "B0110001";
const std::string kRelay = "00000000";
const std::string kCancel = std::string("CANCEL\0\0", 8);
const std::string kNetworkTest = "000204";

std::vector<Scenario> scenarios() {
  using namespace text;
  const Texts head = {kBanner, kConnectBusinessHost, kSucceeded};
  auto with = [](Texts a, const Texts& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  const Texts to_terminal_ok = {kOpenCom, kSucceeded, kSendRequestToPos, kAnswerFromPos};
  auto failed = [](const std::string& shown) { return Texts{kResultFailed, kBankInfoLine, shown}; };

  return {
      {"ApprovedSaleWithOneRelay",
       [](Peers& p) {
         TerminalScenario s;
         s.relays = 1;
         start_terminal(p, s);
       },
       0,
       "APPROVED" + std::string(547, ' '),
       with(with(head, to_terminal_ok),
            {kSendToServer, kAnswerFromServer, kServerResultToPos, kAnswerFromPos, kTransComplete,
             kReportToBusiness, kSucceeded, kTransSucceeded}),
       {kTest, kSale, kRelay},
       2,
       "01|00|POLICY-42|THANK YO",
       1,
       [](const std::vector<Frame>& f) {
         EXPECT_EQ(f[1].size(), 481u);
         EXPECT_EQ(payload_of(f[2]), quendal_sim::answer_of_size(30).answer);
       }},
      {"DeclinedSale",
       [](Peers& p) {
         TerminalScenario s;
         s.final_answer = FinalAnswer::kDecline;
         s.resp_code = "51";
         s.resp_text = "DECLINED";
         start_terminal(p, s);
       },
       1,
       padded("DECLINED"),
       with(with(head, to_terminal_ok),
            with({kTransComplete, kReportToBusiness, kSucceeded}, failed("DECLINED"))),
       {kTest, kSale},
       2,
       "01|51|POLICY-42|DECLINED",
       0,
       nullptr},
      {"BankHostDownCancelsOnTheTerminal",
       [](Peers& p) {
         p.bank_down.reset(new quendal_sim::RefusingPort());
         p.bank_port = p.bank_down->Port();
         TerminalScenario s;
         s.relays = 1;
         start_terminal(p, s);
       },
       1,
       padded(text_of(196)),
       with(with(head, to_terminal_ok), with({kSendToServer}, failed(text_of(196)))),
       {kTest, kSale, kCancel},
       1,
       "",
       0,
       [](const std::vector<Frame>& f) {
         EXPECT_EQ(payload_of(f[2]).substr(0, 2), "C4");  // 196
         EXPECT_EQ(payload_of(f[2]).substr(2, text_of(196).size()), text_of(196));
       }},
      {"BusinessHostRefusesTheReport",
       [](Peers& p) {
         p.business.QueueScenario(quendal_sim::business_accept());
         p.business.QueueScenario(quendal_sim::business_refuse("REPORT REFUSED"));
         start_terminal(p, TerminalScenario());
       },
       1,
       padded(std::string("REPORT REFUSED") + kEllipsis + kBankInfo + "APPROVED"),
       with(with(head, to_terminal_ok), with({kTransComplete, kReportToBusiness, kReportRefused,
                                              std::string("REPORT REFUSED") + kEllipsis},
                                             failed("APPROVED"))),
       {kTest, kSale, kCancel},
       2,
       "01|00|POLICY-42|THANK YO",
       0,
       [](const std::vector<Frame>& f) {
         EXPECT_EQ(payload_of(f[2]).substr(0, 10), " 0APPROVED");
       }},
      {"MissingComPort",
       [](Peers&) {},
       1,
       padded(text_of(178)),
       with(with(head, {kOpenCom}), failed(text_of(178))),
       {},
       1,
       "",
       0,
       nullptr},
      {"ValidationFailure",
       [](Peers& p) {
         p.request = request_for(p);
         p.request.replace(p.request.find("B0110001"), 8, "B0110009");
       },
       1,
       padded(text_of(191)),
       with({kBanner}, failed(text_of(191))),
       {},
       0,
       "",
       0,
       nullptr},
      {"TerminalSilentAtItsTest",
       [](Peers& p) {
         TerminalScenario s;
         s.answer_test = false;
         start_terminal(p, s);
       },
       1,
       padded(text_of(182)),
       with(with(head, {kOpenCom}), failed(text_of(182))),
       {kTest},
       1,
       "",
       0,
       nullptr},
      // Hosts that take the connection and never answer: each wait ends on the request's 1-s
      // time-out, on every platform.
      {"BankHostSilent",
       [](Peers& p) {
         p.bank.SetScenario(quendal_sim::HostScenario::Silent());
         TerminalScenario s;
         s.relays = 1;
         start_terminal(p, s);
         p.request = request_for(p);
         p.request.replace(p.request.find("|5|"), 3, "|1|");
       },
       1,
       padded(text_of(198)),
       with(with(head, to_terminal_ok), with({kSendToServer}, failed(text_of(198)))),
       {kTest, kSale, kCancel},
       1,
       "",
       1,
       nullptr},
      {"BusinessHostSilent",
       [](Peers& p) {
         p.business.SetScenario(quendal_sim::HostScenario::Silent());
         p.request = request_for(p);
         p.request.replace(p.request.rfind("|5"), 2, "|1");
       },
       1,
       padded(text_of(201)),
       with({kBanner, kConnectBusinessHost}, failed(text_of(201))),
       {},
       1,
       "",
       0,
       nullptr},
  };
}

// gtest names each case by the scenario; its bytes say nothing.
void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

class EndToEnd : public ::testing::TestWithParam<Scenario> {};

TEST_P(EndToEnd, CallMatchesExpectations) {
  const Scenario& s = GetParam();
  Peers p;
  ASSERT_TRUE(p.bank.Start());
  ASSERT_TRUE(p.business.Start());
  p.bank_port = p.bank.Port();
  p.bank.SetScenario(quendal_sim::answer_of_size(30));
  p.business.SetScenario(quendal_sim::business_accept());
  s.arrange(p);
  if (p.request.empty()) p.request = request_for(p);

  std::unique_ptr<Runner> runner = make_runner();
  Outcome out = runner->Call(p.request, p.terminal.get());

  EXPECT_EQ(out.rc, s.rc);
  EXPECT_EQ(out.result, s.result);
  EXPECT_TRUE(out.guards_intact);
  EXPECT_TRUE(out.sockets_released);
  EXPECT_EQ(out.status, join(s.status));
  // The journal: one call from begin to end, its outcome approved exactly when the call was, and
  // never the full card number.
  EXPECT_EQ(out.journal.rfind("{\"record\":\"begin\"", 0), 0u) << out.journal;
  EXPECT_NE(out.journal.find("\"return\":" + std::to_string(s.rc) + ","), std::string::npos)
      << out.journal;
  EXPECT_EQ(out.journal.find("\"outcome\":\"approved\"") != std::string::npos, s.rc == 0)
      << out.journal;
  EXPECT_EQ(out.journal.find("6222000000000000000"), std::string::npos);

  if (p.terminal) {
    // The last frame (a cancel notice) may still be on its way when the call returns.
    p.terminal->WaitForReceived(s.to_terminal.size(), 2000);
    std::vector<Frame> frames = p.terminal->Received();
    Texts codes;
    for (const Frame& f : frames) codes.push_back(code_of(f));
    EXPECT_EQ(codes, s.to_terminal);
    if (s.check_frames && frames.size() == s.to_terminal.size()) s.check_frames(frames);
    p.terminal->Stop();
  }
  std::vector<std::string> business = p.business.Requests();
  ASSERT_EQ(business.size(), s.business_messages);
  if (!business.empty()) {
    EXPECT_EQ(business[0], kNetworkTest);
  }
  if (business.size() > 1) {
    EXPECT_EQ(business[1].substr(4, s.report.size()), s.report);
  }
  EXPECT_EQ(p.bank.Requests().size(), s.bank_requests);
}

INSTANTIATE_TEST_SUITE_P(Calls, EndToEnd, ::testing::ValuesIn(scenarios()),
                         [](const ::testing::TestParamInfo<Scenario>& param_info) {
                           return std::string(param_info.param.name);
                         });

}  // namespace
}  // namespace quendal
