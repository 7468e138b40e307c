// The support logs (QUENDAL_TRACE, QUENDAL_STATUS_LOG) against paths a till's set-up can get wrong:
// whatever the path names, the call runs as without the log, and a log never outlives the call in a
// child process nor opens to other users.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "card_trans_fixture.h"
#include "common/wire_trace.h"
#include "fault_matrix.h"
#include "ui/process_window.h"

namespace quendal_test {
namespace {

class SupportLogs : public CardTransTest {
 protected:
  void SetUp() override {
    CardTransTest::SetUp();
    dir_ = log_path_ + ".d";
    ASSERT_EQ(mkdir(dir_.c_str(), 0700), 0);
  }
  void TearDown() override {
    unsetenv("QUENDAL_TRACE");
    for (const char* name : {"trace", "status"}) unlink(Path(name).c_str());
    rmdir(dir_.c_str());
    CardTransTest::TearDown();
  }

  std::string Path(const char* name) const { return dir_ + "/" + name; }

  // An approved sale over the simulators, which must come out as without any log.
  void ExpectApproved() {
    ScenarioRig rig(fault_scenarios()[0], clock_);
    ASSERT_TRUE(rig.ok());
    EXPECT_EQ(Call(rig.Request()), 0);
    EXPECT_EQ(Result(), Padded(kApproved));
  }

  std::string dir_;
};

// Opening a FIFO for writing waits for a reader; the call must not.
TEST_F(SupportLogs, FifoWithoutAReaderIsNoLog) {
  ASSERT_EQ(mkfifo(Path("trace").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(Path("status").c_str(), 0600), 0);
  setenv("QUENDAL_TRACE", Path("trace").c_str(), 1);
  setenv("QUENDAL_STATUS_LOG", Path("status").c_str(), 1);
  ExpectApproved();
}

// A reader that takes the first bytes and goes away: writing on would raise SIGPIPE (ending the
// caller's process just after the terminal approved) or, for a log opened anew, wait for ever.
TEST_F(SupportLogs, FifoReaderThatGoesAwayNeitherKillsNorBlocks) {
  for (const char* variable : {"QUENDAL_TRACE", "QUENDAL_STATUS_LOG"}) {
    SCOPED_TRACE(variable);
    const std::string fifo = Path("trace");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    std::atomic<bool> stop{false};
    std::thread gone([&] {
      while (!stop) {
        pollfd p{reader, POLLIN, 0};
        if (poll(&p, 1, 20) > 0 && (p.revents & POLLIN) != 0) {
          char some[16];
          (void)read(reader, some, sizeof some);
          break;
        }
      }
      close(reader);
    });
    setenv(variable, fifo.c_str(), 1);
    ExpectApproved();
    stop = true;
    gone.join();
    unlink(fifo.c_str());
    setenv("QUENDAL_STATUS_LOG", log_path_.c_str(), 1);
    unsetenv("QUENDAL_TRACE");
  }
}

// Logs may show what a till showed: they are made for their owner alone, and a child process the
// caller starts during a call does not inherit them.
TEST_F(SupportLogs, LogsAreTheOwnersAloneAndNotInherited) {
  const mode_t mask = umask(022);
  setenv("QUENDAL_TRACE", Path("trace").c_str(), 1);
  setenv("QUENDAL_STATUS_LOG", Path("status").c_str(), 1);
  ExpectApproved();
  for (const char* name : {"trace", "status"}) {
    struct stat st {};
    ASSERT_EQ(stat(Path(name).c_str(), &st), 0) << name;
    EXPECT_EQ(st.st_mode & 0777, 0600u) << name;
  }
  umask(mask);

  quendal::wire_trace::BeginCall();
  {
    quendal::CProcessWindow window;
    window.AppendStatus("X");
    int found = 0;
    for (const std::string& fd : open_descriptors()) {
      const std::string target = fd.substr(fd.find("->") + 2);
      if (target != Path("trace") && target != Path("status")) continue;
      ++found;
      EXPECT_NE(fcntl(std::stoi(fd), F_GETFD) & FD_CLOEXEC, 0) << fd;
    }
    EXPECT_GE(found, 1);
  }
  quendal::wire_trace::EndCall();
}

}  // namespace
}  // namespace quendal_test
