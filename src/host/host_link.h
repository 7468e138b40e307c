// The blocking TCP client that talks to the bank host and to the insurer's business host: one
// connection carries one message out and one answer back. Every failure leaves the link closed and
// is thrown as the table's CError for the host the link points at.
#pragma once

#include <cstdint>

#include "host/socket_types.h"

namespace quendal {

class CHostLink {
 public:
  static constexpr int32_t kMaxMessage = 512;  // the most a message or an answer holds
  static constexpr int32_t kMaxAddress = 19;   // address characters kept from the request line

  // Host 127.0.0.1, port 0, time-out 10 s, bank host, not connected.
  CHostLink();
  // A copy takes the endpoint, never the connection: it starts closed, so that closing one link
  // can never close a socket that the other still uses.
  CHostLink(const CHostLink& other);
  CHostLink& operator=(const CHostLink& other);
  // Closes a connection still held, so that no socket or start-up outlives its link.
  ~CHostLink();

  // Points the link at the endpoint whose address field starts at `at` inside the request line:
  // the address, then the port and the receive time-out in seconds in the next two '|' fields.
  // `kind` is 0 for the bank host, 1 for the business host. Validates nothing.
  void SetEndpoint(const char* at, int32_t kind);

  void Connect();                            // 196 bank host, 199 business host
  void Send(const char* data, int32_t len);  // 197 / 200; `len` 1 to 512
  int32_t Receive(char* buffer);             // 198 / 201; `buffer` holds 512 bytes
  // Receives into `buffer` (512 bytes) until at least `wanted` bytes have arrived, the host has
  // closed, or the link's time-out has passed since the call began; returns the bytes that came.
  // 198 / 201 only when nothing came at all.
  int32_t ReceiveAtLeast(char* buffer, int32_t wanted);
  void Close();  // does nothing on a closed link
  int32_t IsConnected() const { return connected; }

  const char* Address() const { return address; }
  int32_t Port() const { return port; }
  int32_t TimeoutS() const { return timeout_s; }
  int32_t HostKind() const { return host_kind; }

 private:
  // Closes the link and throws the error of this host for the step whose bank-host code is given.
  [[noreturn]] void Fail(int32_t bank_host_code);
  // The endpoint's time-out, at least a second: 0 would mean no time-out to a socket layer.
  int32_t TimeoutSeconds() const { return timeout_s < 1 ? 1 : timeout_s; }
  // The end of a wait of the endpoint's time-out from now, in real monotonic milliseconds.
  int64_t Deadline() const;
  // Waits until the socket is readable (writable when `write`) or `deadline` has passed; false when
  // it passed or the wait failed.
  bool WaitUntil(int64_t deadline, bool write);
  // One receive of at most `capacity` bytes that ends by `deadline`; as net::receive_once, and
  // below 0 when the deadline passed first.
  int32_t ReceiveBefore(int64_t deadline, char* buffer, int32_t capacity);

  net::native_socket socket_handle = net::kInvalidSocket;
  int32_t port = 0;
  char address[kMaxAddress + 1] = "127.0.0.1";
  int32_t timeout_s = 10;
  int32_t connected = 0;
  int32_t host_kind = 0;
  bool started_up = false;  // holds a socket start-up that Close gives back
};

}  // namespace quendal
