// The few socket calls the host link makes, one function each, implemented once per platform. The
// link's own logic (which error for which host, closing before an error leaves, every deadline)
// stays above this line and is shared.
#pragma once

#include <cstdint>
#include <string>

#include "host/socket_types.h"

namespace quendal {
namespace net {

// Takes the platform's socket start-up (Winsock's WSAStartup 2.2). Returns true when a start-up was
// taken; each such start-up must be given back with exactly one cleanup(). On POSIX systems there
// is nothing to start, but the pairing is kept and counted all the same.
bool startup();
void cleanup();
// Start-ups taken and not yet given back, in this process.
int startups_held();

// Why open_stream last failed on this thread.
enum class OpenFailure { kNone, kOutOfDescriptors, kOther };

// A blocking IPv4 stream socket, or kInvalidSocket with the reason in `why` when given.
native_socket open_stream(OpenFailure* why = nullptr);
// Connects `s` to the IPv4 `address` (a.b.c.d as (a << 24) | (b << 16) | (c << 8) | d) and
// `port`, waiting at most `timeout_s` seconds for the host to accept. False when it refused, could
// not be reached or did not accept in time; `s` is then fit only to be closed, and `why`, when
// given, says which (for support: the caller sees the table's text).
bool connect_ipv4(native_socket s, uint32_t address, uint16_t port, int32_t timeout_s,
                  std::string* why = nullptr);
// Sets the receive time-out of `s` in milliseconds (at least 1). A backstop only: the link bounds
// every receive with wait_ready first, since a socket option alone is not honoured everywhere.
bool set_receive_timeout(native_socket s, int32_t ms);

enum class Ready { kReady, kNotYet, kFailed };
// One wait of at most `ms` milliseconds for `s` to become readable (or writable when `write`).
// kReady also when the peer closed or the connection failed: the next receive or send tells which.
// kNotYet when the time passed or a signal cut the wait short; the caller waits again with what is
// left of its own deadline.
Ready wait_ready(native_socket s, bool write, int32_t ms);

// One send of up to `len` bytes; returns the number of bytes sent, which may be fewer, 0 or less on
// failure. A peer that has gone away gives a failure, never a signal.
int32_t send_once(native_socket s, const char* data, int32_t len);
// One receive of up to `capacity` bytes; returns the count, 0 when the peer closed, below 0 on an
// error or when the receive time-out passed.
int32_t receive_once(native_socket s, char* buffer, int32_t capacity);
void close_socket(native_socket s);

}  // namespace net
}  // namespace quendal
