// Windows Sockets 2 backend of the host link. Every Connect takes its own start-up (WSAStartup
// 2.2) and gives it back with exactly one WSACleanup when the link closes, so the library leaves
// Winsock as it found it in the caller's process.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>
#include <cstring>

#include "host/socket_ops.h"

namespace quendal {
namespace net {

namespace {

std::atomic<int> g_startups{0};

// One select of `s` for reading (or writing, when `write`) and for errors, at most `ms`
// milliseconds: select's own result, and in `failed` whether the socket is in the error set.
int select_one(SOCKET s, bool write, ULONGLONG ms, bool* failed) {
  fd_set wanted;
  fd_set errors;
  FD_ZERO(&wanted);
  FD_ZERO(&errors);
  FD_SET(s, &wanted);
  FD_SET(s, &errors);
  timeval tv{};
  tv.tv_sec = static_cast<long>(ms / 1000);
  tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
  int rc =
      write ? select(0, nullptr, &wanted, &errors, &tv) : select(0, &wanted, nullptr, &errors, &tv);
  *failed = rc > 0 && FD_ISSET(s, &errors);
  return rc;
}

// Waits for a connect in progress to finish, at most `timeout_ms`: 0 when it succeeded, the
// Winsock error when it failed, -1 when the time-out passed first.
int finish_connect(SOCKET s, ULONGLONG timeout_ms) {
  ULONGLONG deadline = GetTickCount64() + timeout_ms;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (now >= deadline) return -1;
    bool failed = false;
    int rc = select_one(s, true, deadline - now, &failed);
    if (rc == SOCKET_ERROR) return WSAGetLastError();
    if (rc == 0) continue;  // the deadline is checked again above
    int error = 0;
    int length = sizeof error;
    if (getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
      return WSAGetLastError();
    }
    // A failed connect is reported in the error set with its reason in SO_ERROR.
    if (failed && error == 0) return WSAECONNREFUSED;
    return error;
  }
}

}  // namespace

bool startup() {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  ++g_startups;
  return true;
}

void cleanup() {
  WSACleanup();
  --g_startups;
}

int startups_held() { return g_startups.load(); }

native_socket open_stream(OpenFailure* why) {
  // Not inherited: the caller's child processes must not hold a connection to a bank. Overlapped as
  // socket() makes it: on a socket without that flag SO_RCVTIMEO is ignored and a blocking recv
  // waits for ever.
  SOCKET s = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                        WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == INVALID_SOCKET) s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (why != nullptr) {
    *why = s != INVALID_SOCKET              ? OpenFailure::kNone
           : WSAGetLastError() == WSAEMFILE ? OpenFailure::kOutOfDescriptors
                                            : OpenFailure::kOther;
  }
  return s == INVALID_SOCKET ? kInvalidSocket : static_cast<native_socket>(s);
}

bool connect_ipv4(native_socket handle, uint32_t address, uint16_t port, int32_t timeout_s,
                  std::string* why) {
  SOCKET s = static_cast<SOCKET>(handle);
  sockaddr_in to;
  std::memset(&to, 0, sizeof to);
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = htonl(address);
  to.sin_port = htons(port);
  // The connect runs non-blocking so that it can be bounded; the socket is blocking again for the
  // send and the receive.
  u_long on = 1;
  if (ioctlsocket(s, FIONBIO, &on) != 0) return false;
  int error =
      connect(s, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0 ? 0 : WSAGetLastError();
  if (error == WSAEWOULDBLOCK) error = finish_connect(s, static_cast<ULONGLONG>(timeout_s) * 1000);
  if (error != 0 && why != nullptr) {
    *why = error < 0 ? "no answer within " + std::to_string(timeout_s) + " s"
                     : "Winsock error " + std::to_string(error);
  }
  u_long off = 0;
  if (ioctlsocket(s, FIONBIO, &off) != 0) return false;
  return error == 0;
}

bool set_receive_timeout(native_socket handle, int32_t ms) {
  // Winsock takes the receive time-out in milliseconds; 0 would mean none at all.
  DWORD value = static_cast<DWORD>(ms < 1 ? 1 : ms);
  return setsockopt(static_cast<SOCKET>(handle), SOL_SOCKET, SO_RCVTIMEO,
                    reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

Ready wait_ready(native_socket handle, bool write, int32_t ms) {
  bool failed = false;
  int rc = select_one(static_cast<SOCKET>(handle), write, ms < 0 ? 0 : static_cast<ULONGLONG>(ms),
                      &failed);
  if (rc == SOCKET_ERROR) return WSAGetLastError() == WSAEINTR ? Ready::kNotYet : Ready::kFailed;
  // A failed connection is left to the receive or the send to report.
  return rc == 0 ? Ready::kNotYet : Ready::kReady;
}

int32_t send_once(native_socket handle, const char* data, int32_t len) {
  return send(static_cast<SOCKET>(handle), data, len, 0);
}

int32_t receive_once(native_socket handle, char* buffer, int32_t capacity) {
  return recv(static_cast<SOCKET>(handle), buffer, capacity, 0);
}

void close_socket(native_socket handle) { closesocket(static_cast<SOCKET>(handle)); }

}  // namespace net
}  // namespace quendal
