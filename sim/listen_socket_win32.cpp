// Windows Sockets 2: the listening side of the simulated hosts.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "host/socket_ops.h"
#include "sim/listen_socket.h"

namespace quendal_sim {

namespace {

// The simulators hold Winsock for the life of the process: they serve until the program ends.
bool winsock_started() {
  static const bool started = quendal::net::startup();
  return started;
}

}  // namespace

native_socket bind_loopback(uint16_t port, bool listening, std::string* error) {
  if (!winsock_started()) {
    if (error != nullptr) *error = "Winsock did not start";
    return quendal::net::kInvalidSocket;
  }
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) {
    if (error != nullptr) *error = "Winsock error " + std::to_string(WSAGetLastError());
    return quendal::net::kInvalidSocket;
  }
  // Windows' SO_REUSEADDR would let a second socket bind a port in use, so that the search for a
  // free port would take a busy one: the port is claimed exclusively instead.
  BOOL on = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&on), sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  if (bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || (listening && listen(s, 8) != 0)) {
    if (error != nullptr) *error = "Winsock error " + std::to_string(WSAGetLastError());
    closesocket(s);
    return quendal::net::kInvalidSocket;
  }
  return static_cast<native_socket>(s);
}

native_socket accept_client(native_socket listener) {
  SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return quendal::net::kInvalidSocket;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<native_socket>(s);
}

void limit_send_time(native_socket s, int ms) {
  DWORD limit = static_cast<DWORD>(ms);
  setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&limit),
             sizeof limit);
}

void reset_on_close(native_socket s) {
  linger off{};
  off.l_onoff = 1;
  off.l_linger = 0;
  setsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&off),
             sizeof off);
}

}  // namespace quendal_sim
