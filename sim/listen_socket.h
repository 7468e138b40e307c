// The listening side of the simulated hosts: what a host needs beyond the library's own socket
// calls (quendal::net, which it uses for waiting, sending, receiving and closing), one function
// each, implemented once per platform.
#pragma once

#include <cstdint>
#include <string>

#include "host/socket_types.h"

namespace quendal_sim {

using quendal::net::native_socket;

// A new socket bound to 127.0.0.1 `port`, listening when asked; kInvalidSocket when the port is
// taken or the socket could not be made, with the reason in `error` when given. A port another
// socket holds is never shared.
native_socket bind_loopback(uint16_t port, bool listening, std::string* error = nullptr);
// The next connection waiting on `listener`, or kInvalidSocket.
native_socket accept_client(native_socket listener);
// A send to a client that does not read gives up after `ms` milliseconds.
void limit_send_time(native_socket s, int ms);
// Closing `s` drops the connection with a reset rather than an orderly close.
void reset_on_close(native_socket s);

}  // namespace quendal_sim
