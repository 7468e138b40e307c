#include "host/host_link.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "codec/codec.h"
#include "common/wire_trace.h"
#include "host/socket_ops.h"
#include "host_test_util.h"
#include "sim/host_sim.h"
#include "support/test_env.h"

namespace quendal {
namespace {

using quendal_sim::HostRole;
using quendal_sim::HostScenario;
using quendal_sim::HostSim;
using quendal_sim::RefusingPort;

TEST(HostLinkEndpoint, TakesAddressPortAndTimeoutFromThreeFields) {
  CHostLink link;
  link.SetEndpoint(endpoint_at("10.1.2.3|8000|30|10.9.9.9|7000|5"), 1);
  EXPECT_STREQ(link.Address(), "10.1.2.3");
  EXPECT_EQ(link.Port(), 8000);
  EXPECT_EQ(link.TimeoutS(), 30);
  EXPECT_EQ(link.HostKind(), 1);

  // Re-pointing overwrites the whole endpoint; numbers are leading integers; the address keeps at
  // most 19 characters.
  link.SetEndpoint(endpoint_at("123456789.123456789.123|  42x|abc"), 0);
  EXPECT_STREQ(link.Address(), "123456789.123456789");
  EXPECT_EQ(link.Port(), 42);
  EXPECT_EQ(link.TimeoutS(), 0);
  EXPECT_EQ(link.HostKind(), 0);

  const char line[] = "1|R|B0110001|1|0|0|P||1|10.1.1.1|6001|30|10.2.2.2|6002|45";
  link.SetEndpoint(endpoint_at(field_start(line, 12, '|')), 1);
  EXPECT_STREQ(link.Address(), "10.2.2.2");
  EXPECT_EQ(link.Port(), 6002);
  EXPECT_EQ(link.TimeoutS(), 45);
  EXPECT_EQ(link.IsConnected(), 0);
}

class HostLinkTest : public SimulatedHostTest {
 protected:
  HostLinkTest() : SimulatedHostTest("bank", HostRole::kBank) {}
};

TEST_F(HostLinkTest, NeverPointedLinkFailsAsBankHostAtPortZero) {
  CHostLink link;
  CError error = error_of([&] { link.Connect(); });
  EXPECT_EQ(error.code, 196);
  EXPECT_EQ(error.cancel_pos, 1);
  EXPECT_EQ(link.IsConnected(), 0);
}

struct KindCase {
  int32_t kind;
  int32_t connect_code, send_code, receive_code;
};

class HostLinkErrors : public HostLinkTest, public ::testing::WithParamInterface<KindCase> {};

TEST_P(HostLinkErrors, EachStepThrowsItsHostsCodeWithTheLinkClosed) {
  const KindCase& c = GetParam();

  RefusingPort down;
  CHostLink refused = link_to(down.Port(), c.kind);
  CError error = error_of([&] { refused.Connect(); });
  EXPECT_EQ(error.code, c.connect_code);
  EXPECT_EQ(text_of(error), table_error(c.connect_code).text);
  EXPECT_EQ(error.cancel_pos, 1);
  EXPECT_EQ(refused.IsConnected(), 0);

  CHostLink unconnected = link_to(sim_.Port(), c.kind);
  EXPECT_EQ(error_of([&] { unconnected.Send("x", 1); }).code, c.send_code);
  EXPECT_EQ(error_of([&] { unconnected.Receive(nullptr); }).code, c.receive_code);

  // A host that closes without answering fails the receive at once, not after the time-out.
  sim_.SetScenario(HostScenario::Close());
  CHostLink link = link_to(sim_.Port(), c.kind, 300);
  link.Connect();
  EXPECT_EQ(link.IsConnected(), 1);
  link.Send("000204", 6);
  char answer[512];
  error = error_of([&] { link.Receive(answer); });
  EXPECT_EQ(error.code, c.receive_code);
  EXPECT_EQ(error.cancel_pos, 1);
  EXPECT_EQ(link.IsConnected(), 0);
  link.Close();  // a second close changes nothing
  EXPECT_EQ(link.IsConnected(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothHosts, HostLinkErrors,
                         ::testing::Values(KindCase{0, 196, 197, 198}, KindCase{1, 199, 200, 201}));

TEST_F(HostLinkTest, SilentHostFailsTheReceiveAfterTheTimeOut) {
  sim_.SetScenario(HostScenario::Silent());
  CHostLink link = link_to(sim_.Port(), 0, 1);
  link.Connect();
  link.Send("ping", 4);
  char answer[512];
  EXPECT_EQ(error_of([&] { link.Receive(answer); }).code, 198);
  EXPECT_EQ(link.IsConnected(), 0);
}

// A caller with a periodic signal handler (SA_RESTART) cuts the receive's waits short again and
// again; each wait after a signal takes only what is left of the time-out, so a silent host still
// fails the receive while the signals keep coming.
TEST_F(HostLinkTest, SilentHostFailsTheReceiveUnderAPeriodicSignal) {
  struct sigaction action {};
  struct sigaction previous {};
  action.sa_handler = [](int) {};
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGALRM, &action, &previous), 0);

  sim_.SetScenario(HostScenario::Silent());
  constexpr int kMaxTicks = 150;  // 30 s of signals, far beyond the 1-s time-out
  for (int32_t kind : {0, 1}) {
    CHostLink link = link_to(sim_.Port(), kind, 1);
    link.Connect();
    link.Send("ping", 4);
    const pthread_t receiver = pthread_self();
    std::atomic<bool> done{false};
    std::atomic<int> ticks{0};
    std::thread ticker([&] {
      while (!done && ticks < kMaxTicks) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pthread_kill(receiver, SIGALRM);
        ++ticks;
      }
    });
    char answer[512];
    // The bank host's answer is one receive, the business host's one of several pieces.
    CError error = error_of([&] {
      if (kind == 1) {
        link.ReceiveAtLeast(answer, 8);
      } else {
        link.Receive(answer);
      }
    });
    EXPECT_EQ(error.code, kind == 1 ? 201 : 198);
    const int ticks_at_end = ticks;
    done = true;
    ticker.join();
    EXPECT_LT(ticks_at_end, kMaxTicks) << "the receive ended only when the signals stopped";
  }
  sigaction(SIGALRM, &previous, nullptr);
}

// A process out of descriptors gets the table's socket error; the trace says why.
TEST_F(HostLinkTest, OutOfDescriptorsSaysSoInTheTrace) {
  const std::string trace_path = quendal_test::make_temp_file();
  quendal_test::set_env("QUENDAL_TRACE", trace_path);
  wire_trace::BeginCall();

  rlimit limit{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
  rlimit low = limit;
  low.rlim_cur = std::min<rlim_t>(limit.rlim_cur, 256);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> taken;
  for (int fd; (fd = dup(0)) >= 0;) taken.push_back(fd);
  CHostLink link = link_to(sim_.Port(), 1);
  CError error = error_of([&] { link.Connect(); });
  for (int fd : taken) close(fd);
  setrlimit(RLIMIT_NOFILE, &limit);

  wire_trace::EndCall();
  quendal_test::unset_env("QUENDAL_TRACE");
  EXPECT_EQ(error.code, 199);
  EXPECT_EQ(text_of(error), table_error(199).text);
  std::ifstream in(trace_path);
  const std::string trace((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(trace.find("business host socket not made: out of file descriptors"), std::string::npos)
      << trace;
  quendal_test::remove_file(trace_path);
}

TEST_F(HostLinkTest, OneReceiveTakesAtMost512Bytes) {
  sim_.SetScenario(quendal_sim::answer_of_size(600));
  CHostLink link = link_to(sim_.Port(), 0);
  link.Connect();
  link.Send("ping", 4);
  // Let the whole answer arrive before the one receive.
  ASSERT_TRUE(sim_.WaitAnswers(1, 5000));
  char answer[600] = {};
  ASSERT_EQ(link.Receive(answer), 512);
  link.Close();
  std::string expected = quendal_sim::answer_of_size(600).answer.substr(0, 512);
  EXPECT_EQ(std::string(answer, 512), expected);
  EXPECT_EQ(answer[512], '\0');
  ASSERT_TRUE(sim_.WaitConnections(1, 5000));
  EXPECT_EQ(sim_.Requests().at(0), "ping");
}

// The send to a host that has reset the connection must fail as an error, not end the process with
// a SIGPIPE.
TEST_F(HostLinkTest, SendToAResetConnectionThrowsAndDoesNotKillTheProcess) {
  // The host takes the connection and then goes away: its socket is closed, so the data of the
  // next send is answered with a reset. (A host that resets as soon as it accepts could do so
  // before the link has seen its connect complete, failing the connect instead.)
  sim_.SetScenario(HostScenario::Silent());
  CHostLink link = link_to(sim_.Port(), 1);
  link.Connect();
  ASSERT_EQ(link.IsConnected(), 1);
  sim_.Stop();
  // The reset reaches the link some time after the host dropped the connection; the first sends
  // may still be taken by the kernel.
  CError error;
  for (int attempt = 0; attempt < 500 && link.IsConnected(); ++attempt) {
    try {
      link.Send("000204", 6);
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    } catch (const CError& thrown) {
      error = thrown;
    }
  }
  EXPECT_EQ(error.code, 200);
  EXPECT_EQ(link.IsConnected(), 0);
  link.Close();
  EXPECT_EQ(link.IsConnected(), 0);
}

TEST_F(HostLinkTest, CopiesAreIndependent) {
  sim_.SetScenario(quendal_sim::answer_of_size(10));
  CHostLink original = link_to(sim_.Port(), 0);
  {
    CHostLink copy = original;
    copy.Connect();
    EXPECT_EQ(copy.IsConnected(), 1);
    EXPECT_EQ(original.IsConnected(), 0);
    copy.Close();
  }

  // A copy of a connected link starts closed: closing or dropping it leaves the original's
  // connection alone.
  original.Connect();
  {
    CHostLink copy(original);
    EXPECT_EQ(copy.IsConnected(), 0);
    EXPECT_EQ(copy.Port(), original.Port());
    copy.Close();
  }
  original.Send("ping", 4);
  char answer[512];
  EXPECT_EQ(original.Receive(answer), 10);
  original.Close();
}

}  // namespace
}  // namespace quendal
