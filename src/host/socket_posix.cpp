// BSD sockets backend of the host link.
#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>

#include "host/socket_ops.h"

namespace quendal {
namespace net {

namespace {

std::atomic<int> g_startups{0};

// A send to a peer that has reset the connection must come back as an error, not as a SIGPIPE
// that ends the caller's process: Linux asks per call, BSD-derived systems per socket.
#if defined(MSG_NOSIGNAL)
constexpr int kSendFlags = MSG_NOSIGNAL;
void suppress_sigpipe(int) {}
#else
constexpr int kSendFlags = 0;
void suppress_sigpipe(int fd) {
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_NOSIGPIPE, &on, sizeof on);
}
#endif

// The caller's child processes must not inherit a connection to a bank.
#if defined(SOCK_CLOEXEC)
constexpr int kSocketFlags = SOCK_CLOEXEC;
#else
constexpr int kSocketFlags = 0;
#endif

// Waits for a connect in progress to finish, at most until `deadline`: 0 when it succeeded, the
// error number when it failed, -1 when the deadline passed first.
int finish_connect(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left <= 0) return -1;
    pollfd p{fd, POLLOUT, 0};
    int rc = poll(&p, 1, static_cast<int>(left));
    if (rc < 0 && errno == EINTR) continue;
    if (rc == 0) return -1;
    if (rc < 0) return errno;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return errno;
    return error;
  }
}

}  // namespace

bool startup() {
  ++g_startups;
  return true;
}

void cleanup() { --g_startups; }

int startups_held() { return g_startups.load(); }

native_socket open_stream(OpenFailure* why) {
  int fd = socket(AF_INET, SOCK_STREAM | kSocketFlags, 0);
  if (why != nullptr) {
    *why = fd >= 0                                ? OpenFailure::kNone
           : (errno == EMFILE || errno == ENFILE) ? OpenFailure::kOutOfDescriptors
                                                  : OpenFailure::kOther;
  }
  if (fd < 0) return kInvalidSocket;
  suppress_sigpipe(fd);
  return fd;
}

bool connect_ipv4(native_socket s, uint32_t address, uint16_t port, int32_t timeout_s,
                  std::string* why) {
  sockaddr_in to;
  std::memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address);
  to.sin_port = htons(port);
  // The connect runs non-blocking so that it can be bounded; the socket is blocking again for the
  // send and the receive.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_s);
  int flags = fcntl(s, F_GETFL, 0);
  if (flags < 0 || fcntl(s, F_SETFL, flags | O_NONBLOCK) != 0) return false;
  int error = connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : errno;
  if (error == EINPROGRESS || error == EINTR) error = finish_connect(s, deadline);
  if (error != 0 && why != nullptr) {
    *why = error < 0 ? "no answer within " + std::to_string(timeout_s) + " s"
                     : std::string(std::strerror(error));
  }
  if (fcntl(s, F_SETFL, flags) != 0) return false;
  return error == 0;
}

bool set_receive_timeout(native_socket s, int32_t ms) {
  if (ms < 1) ms = 1;  // 0 would mean no time-out at all
  timeval tv{};
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  return setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) == 0;
}

Ready wait_ready(native_socket s, bool write, int32_t ms) {
  pollfd p{s, static_cast<short>(write ? POLLOUT : POLLIN), 0};
  int rc = poll(&p, 1, ms < 0 ? 0 : ms);
  if (rc > 0) return (p.revents & POLLNVAL) != 0 ? Ready::kFailed : Ready::kReady;
  // A signal ends poll early whatever SA_RESTART says; the caller waits again for the time left.
  if (rc == 0 || errno == EINTR) return Ready::kNotYet;
  return Ready::kFailed;
}

int32_t send_once(native_socket s, const char* data, int32_t len) {
  ssize_t n;
  do {
    n = send(s, data, static_cast<size_t>(len), kSendFlags);
  } while (n < 0 && errno == EINTR);
  return static_cast<int32_t>(n);
}

int32_t receive_once(native_socket s, char* buffer, int32_t capacity) {
  ssize_t n;
  do {
    n = recv(s, buffer, static_cast<size_t>(capacity), 0);
  } while (n < 0 && errno == EINTR);
  return static_cast<int32_t>(n);
}

void close_socket(native_socket s) { close(s); }

}  // namespace net
}  // namespace quendal
