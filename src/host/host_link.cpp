#include "host/host_link.h"

#include <chrono>
#include <cstring>

#include "codec/codec.h"
#include "common/error.h"
#include "common/wire_trace.h"
#include "host/socket_ops.h"

namespace quendal {

namespace {

constexpr int32_t kConnectError = 196;
constexpr int32_t kSendError = 197;
constexpr int32_t kReceiveError = 198;
// The business host's codes follow the bank host's, three further on.
constexpr int32_t kBusinessHostOffset = 3;

void trace(int32_t host_kind, bool outgoing, const char* bytes, int32_t n) {
  using wire_trace::Direction;
  Direction d = host_kind == 1 ? (outgoing ? Direction::kToBusiness : Direction::kFromBusiness)
                               : (outgoing ? Direction::kToBank : Direction::kFromBank);
  wire_trace::HostBytes(d, bytes, static_cast<size_t>(n));
}

// The address exactly as the request checks read it: four '.'-separated decimal parts, an empty
// part being 0. A leading zero is never octal, so "010.001.002.003" is 10.1.2.3.
uint32_t ipv4_of(const char* address) {
  uint32_t value = 0;
  for (int part = 0; part < 4; ++part) {
    int32_t n = leading_int(field_start(address, part, '.'), field_length(address, part, '.'));
    value = (value << 8) | (static_cast<uint32_t>(n) & 0xFF);
  }
  return value;
}

}  // namespace

CHostLink::CHostLink() = default;

CHostLink::CHostLink(const CHostLink& other)
    : port(other.port), timeout_s(other.timeout_s), host_kind(other.host_kind) {
  std::memcpy(address, other.address, sizeof address);
}

CHostLink& CHostLink::operator=(const CHostLink& other) {
  if (this != &other) {
    Close();
    port = other.port;
    timeout_s = other.timeout_s;
    host_kind = other.host_kind;
    std::memcpy(address, other.address, sizeof address);
  }
  return *this;
}

CHostLink::~CHostLink() { Close(); }

void CHostLink::SetEndpoint(const char* at, int32_t kind) {
  host_kind = kind;
  size_t length = field_length(at, 0, '|');
  if (length > static_cast<size_t>(kMaxAddress)) length = kMaxAddress;
  std::memset(address, 0, sizeof address);
  std::memcpy(address, at, length);
  port = leading_int(field_start(at, 1, '|'), field_length(at, 1, '|'));
  timeout_s = leading_int(field_start(at, 2, '|'), field_length(at, 2, '|'));
}

void CHostLink::Fail(int32_t bank_host_code) {
  Close();
  throw table_error(host_kind == 1 ? bank_host_code + kBusinessHostOffset : bank_host_code);
}

void CHostLink::Connect() {
  // A link is connected once at a time; a second Connect must not orphan the first socket.
  Close();
  started_up = net::startup();
  socket_handle = net::open_stream();
  if (socket_handle == net::kInvalidSocket) Fail(kConnectError);
  // The connect waits no longer than the endpoint's own time-out, and no less than a second.
  int32_t seconds = timeout_s < 1 ? 1 : timeout_s;
  if (!net::connect_ipv4(socket_handle, ipv4_of(address), static_cast<uint16_t>(port & 0xFFFF),
                         seconds)) {
    Fail(kConnectError);
  }
  connected = 1;
}

void CHostLink::Send(const char* data, int32_t len) {
  if (connected == 0 || data == nullptr || len < 1 || len > kMaxMessage) Fail(kSendError);
  int32_t sent = net::send_once(socket_handle, data, len);
  if (sent <= 0) Fail(kSendError);
  trace(host_kind, true, data, sent);
}

int32_t CHostLink::Receive(char* buffer) {
  if (connected == 0 || buffer == nullptr) Fail(kReceiveError);
  // A time-out of 0 would mean no time-out at all to the socket layer, and a wait without end; the
  // request checks never let one through, and a link never trusts that alone.
  int32_t seconds = timeout_s < 1 ? 1 : timeout_s;
  if (!net::set_receive_timeout(socket_handle, seconds)) Fail(kReceiveError);
  int32_t n = net::receive_once(socket_handle, buffer, kMaxMessage);
  if (n <= 0) Fail(kReceiveError);
  trace(host_kind, false, buffer, n);
  return n;
}

int32_t CHostLink::ReceiveAtLeast(char* buffer, int32_t wanted) {
  if (connected == 0 || buffer == nullptr) Fail(kReceiveError);
  if (wanted > kMaxMessage) wanted = kMaxMessage;
  // The socket's own waits are real time, so the whole receive is bounded on the real monotonic
  // clock: each piece may take only what is left of the one time-out.
  using steady = std::chrono::steady_clock;
  const int32_t seconds = timeout_s < 1 ? 1 : timeout_s;
  const steady::time_point deadline = steady::now() + std::chrono::seconds(seconds);
  int32_t have = 0;
  while (have < wanted) {
    auto left_ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - steady::now()).count();
    if (left_ms <= 0) break;
    // Whole seconds are what the socket layer takes; rounding up keeps the last wait from being 0,
    // which would be no time-out at all.
    if (!net::set_receive_timeout(socket_handle, static_cast<int32_t>((left_ms + 999) / 1000))) {
      if (have == 0) Fail(kReceiveError);
      break;
    }
    int32_t n = net::receive_once(socket_handle, buffer + have, kMaxMessage - have);
    if (n <= 0) break;
    trace(host_kind, false, buffer + have, n);
    have += n;
  }
  if (have == 0) Fail(kReceiveError);
  return have;
}

void CHostLink::Close() {
  if (socket_handle != net::kInvalidSocket) {
    net::close_socket(socket_handle);
    socket_handle = net::kInvalidSocket;
  }
  connected = 0;
  if (started_up) {
    started_up = false;
    net::cleanup();
  }
}

}  // namespace quendal
