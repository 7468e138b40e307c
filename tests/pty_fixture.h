// A bare pty pair for the port tests: the library opens the slave through QUENDAL_COM<n>, the
// test reads and writes the master side itself.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace quendal {

class PtyPair {
 public:
  explicit PtyPair(int com) : variable_("QUENDAL_COM" + std::to_string(com)) {
    struct termios raw {};
    cfmakeraw(&raw);
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master_, &slave, name, &raw, nullptr) == 0) {
      ::close(slave);
      ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
      slave_path_ = name;
      ::setenv(variable_.c_str(), name, 1);
    }
  }
  ~PtyPair() {
    ::unsetenv(variable_.c_str());
    if (master_ >= 0) ::close(master_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool ok() const { return master_ >= 0; }
  // Closes the master side: the slave hangs up, as a line whose device went away.
  void HangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }
  const std::string& slave_path() const { return slave_path_; }

  void Write(const std::vector<uint8_t>& bytes) const {
    size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
      if (n > 0)
        done += static_cast<size_t>(n);
      else
        WaitFor(POLLOUT, 10);
    }
  }

  // What the library wrote, collected until `count` bytes came or `timeout_ms` of real time
  // passed.
  std::vector<uint8_t> Read(size_t count, int timeout_ms = 1000) const {
    std::vector<uint8_t> out;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    uint8_t chunk[1024];
    while (out.size() < count && std::chrono::steady_clock::now() < end) {
      ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n > 0)
        out.insert(out.end(), chunk, chunk + n);
      else
        WaitFor(POLLIN, 10);
    }
    return out;
  }

 private:
  void WaitFor(short events, int ms) const {
    struct pollfd p {};
    p.fd = master_;
    p.events = events;
    if (::poll(&p, 1, ms) > 0 && (p.revents & POLLHUP) != 0) ::usleep(ms * 1000);
  }

  std::string variable_;
  int master_ = -1;
  std::string slave_path_;
};

}  // namespace quendal
