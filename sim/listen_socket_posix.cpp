// BSD sockets: the listening side of the simulated hosts.
#include <arpa/inet.h>
#include <errno.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "sim/listen_socket.h"

namespace quendal_sim {

native_socket bind_loopback(uint16_t port, bool listening, std::string* error) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    if (error != nullptr) *error = std::strerror(errno);
    return quendal::net::kInvalidSocket;
  }
  // A listener may take a port whose last connections are still in TIME_WAIT; on POSIX systems
  // this never lets two sockets share a port.
  if (listening) {
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      (listening && listen(fd, 8) != 0)) {
    if (error != nullptr) *error = std::strerror(errno);
    close(fd);
    return quendal::net::kInvalidSocket;
  }
  return fd;
}

native_socket accept_client(native_socket listener) {
  int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  return fd < 0 ? quendal::net::kInvalidSocket : fd;
}

void limit_send_time(native_socket s, int ms) {
  timeval limit{ms / 1000, (ms % 1000) * 1000};
  setsockopt(s, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

void reset_on_close(native_socket s) {
  linger off{1, 0};
  setsockopt(s, SOL_SOCKET, SO_LINGER, &off, sizeof off);
}

}  // namespace quendal_sim
