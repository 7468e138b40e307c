// The serial line on POSIX systems: a tty device opened non-blocking, so that a read takes only
// what has arrived, with poll(2) to wait for input or for room to write. COM n is the device named
// by the environment variable QUENDAL_COM<n>, else /dev/ttyS<n-1>.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "pos/serial_line.h"

namespace quendal {

namespace {

bool speed_of(uint32_t baud, speed_t& speed) {
  static const struct {
    uint32_t baud;
    speed_t speed;
  } kSpeeds[] = {{1200, B1200},   {2400, B2400},   {4800, B4800},   {9600, B9600},
                 {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}};
  for (const auto& s : kSpeeds) {
    if (s.baud == baud) {
      speed = s.speed;
      return true;
    }
  }
  return false;
}

std::string device_path(uint8_t number) {
  std::string variable = "QUENDAL_COM" + std::to_string(number);
  const char* named = std::getenv(variable.c_str());
  if (named != nullptr && *named != '\0') return named;
  return "/dev/ttyS" + std::to_string(static_cast<int>(number) - 1);
}

void sleep_ms(int64_t ms) {
  if (ms <= 0) return;
  struct timespec left {};
  left.tv_sec = static_cast<time_t>(ms / 1000);
  left.tv_nsec = static_cast<long>(ms % 1000) * 1000000L;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

class PosixSerialLine final : public SerialLine {
 public:
  ~PosixSerialLine() override { Close(); }

  bool Open(uint8_t number, uint32_t speed, const LineSettings& line_settings) override {
    if (fd_ != -1) return false;
    settings_ = line_settings;
    // Non-blocking: the open must not wait for a carrier, and a read must take only what is
    // queued.
    int fd = ::open(device_path(number).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    // One owner per line, whoever opens it: TIOCEXCL turns away later opens except a privileged
    // one, the lock turns away every opener that takes it too, and both are in place before the
    // line is flushed, so a second caller never discards or reads the first one's traffic.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
      ::close(fd);
      return false;
    }
    fd_ = fd;
    ::tcflush(fd, TCIOFLUSH);
    if (ApplyLineSettings(speed) == 0) {
      Close();
      return false;
    }
    // A pty has no modem lines and refuses this; a real port raises DTR and RTS.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIS, &lines);
    ::tcflush(fd, TCIOFLUSH);
    return true;
  }

  bool IsOpen() const override { return fd_ != -1; }

  int ApplyLineSettings(uint32_t speed) override {
    if (fd_ == -1) return 0;
    struct termios tio {};
    if (::tcgetattr(fd_, &tio) != 0) return 0;  // not a terminal (e.g. /dev/null)
    speed_t line_speed;
    if (!speed_of(speed, line_speed)) return 0;

    // Raw bytes both ways: no echo, no line editing, no CR/LF translation, no signals.
    tio.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR |
                                          ICRNL | IXON | IXOFF | IXANY | INPCK);
    tio.c_oflag &= ~static_cast<tcflag_t>(OPOST);
    tio.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cflag |= settings_.byte_size == 7 ? CS7 : CS8;
    if (settings_.parity != 0) tio.c_cflag |= PARENB | (settings_.parity == 1 ? PARODD : 0);
    if (settings_.stop_bits == 2) tio.c_cflag |= CSTOPB;
    if ((settings_.flow_control & 2u) != 0) tio.c_cflag |= CRTSCTS;
    if ((settings_.flow_control & 4u) != 0) tio.c_iflag |= IXON | IXOFF;
    // No event character on POSIX lines.
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, line_speed) != 0 || ::cfsetospeed(&tio, line_speed) != 0) return 0;
    return ::tcsetattr(fd_, TCSANOW, &tio) == 0 ? 1 : 0;
  }

  void Close() override {
    if (fd_ == -1) return;
    int dtr = TIOCM_DTR;
    ::ioctl(fd_, TIOCMBIC, &dtr);
    // Input only: flushing output here would lose a frame the terminal has not read yet (on a
    // pty tcdrain returns at once, so the cancel notice could still sit in the queue).
    ::tcflush(fd_, TCIFLUSH);
    ::ioctl(fd_, TIOCNXCL);
    ::close(fd_);
    fd_ = -1;
  }

  void Abandon() override {
    // The descriptor only: the device, its settings, its queued input and its lock belong to the
    // open file the parent still holds.
    if (fd_ != -1) ::close(fd_);
    fd_ = -1;
  }

  int32_t Read(uint8_t* buffer, uint32_t max_len) override {
    if (fd_ == -1 || buffer == nullptr || max_len == 0) return 0;
    ssize_t n = ::read(fd_, buffer, max_len);
    if (n > 0) return static_cast<int32_t>(n);
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return -1;
    return 0;
  }

  bool Write(const uint8_t* buffer, int32_t len) override {
    if (fd_ == -1 || len < 0 || (buffer == nullptr && len > 0)) return false;
    // As long as the line needs for the block at 2 ms a byte at the stored speed, plus room for a
    // peer (a pty reader, a USB adapter) that is scheduled late.
    uint32_t baud = settings_.baud;
    uint32_t ms_per_byte = baud >= 19200 ? 1 : 19200 / (baud == 0 ? 9600 : baud);
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(static_cast<int64_t>(len) * ms_per_byte + 500);
    int32_t sent = 0;
    while (sent < len) {
      ssize_t n = ::write(fd_, buffer + sent, static_cast<size_t>(len - sent));
      if (n > 0) {
        sent += static_cast<int32_t>(n);
        continue;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) return false;
      struct pollfd p {};
      p.fd = fd_;
      p.events = POLLOUT;
      if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return false;
      if ((p.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0 && (p.revents & POLLOUT) == 0) {
        return false;
      }
    }
    ::tcdrain(fd_);
    return true;
  }

  LineWait WaitReadable(uint32_t ms) override {
    if (fd_ == -1) {
      sleep_ms(ms);
      return LineWait::kQuiet;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      // Rounded up, so that a wait never ends before its time.
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
              .count();
      struct pollfd p {};
      p.fd = fd_;
      p.events = POLLIN;
      int rc = ::poll(&p, 1, static_cast<int>(left > 0 ? left : 0));
      if (rc < 0) {
        // A signal ends the wait early: go on waiting for the time left, not afresh.
        if (errno == EINTR && left > 0) continue;
        return errno == EINTR ? LineWait::kQuiet : LineWait::kBroken;
      }
      if (rc == 0) return LineWait::kQuiet;
      if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        // A hung-up line may still hold what arrived before the hang-up: that is read first.
        int queued = 0;
        if (::ioctl(fd_, FIONREAD, &queued) == 0 && queued > 0) return LineWait::kReady;
        return LineWait::kBroken;
      }
      return (p.revents & POLLIN) != 0 ? LineWait::kReady : LineWait::kQuiet;
    }
  }

  void DiscardInput() override {
    if (fd_ != -1) ::tcflush(fd_, TCIFLUSH);
  }

 private:
  int fd_ = -1;
  LineSettings settings_;
};

}  // namespace

std::unique_ptr<SerialLine> make_native_line() { return std::make_unique<PosixSerialLine>(); }

}  // namespace quendal
