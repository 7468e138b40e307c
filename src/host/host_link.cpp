#include "host/host_link.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "codec/codec.h"
#include "common/error.h"
#include "common/wire_trace.h"
#include "host/socket_ops.h"
#include "platform/clock.h"

namespace quendal {

namespace {

void trace(int32_t host_kind, bool outgoing, const char* bytes, int32_t n) {
  using wire_trace::Direction;
  Direction d = host_kind == kBusinessHost
                    ? (outgoing ? Direction::kToBusiness : Direction::kFromBusiness)
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

// The sockets wait in real time, so their deadlines are kept on the platform's real monotonic
// clock, whatever clock the rest of the call runs on.
int64_t steady_ms() { return real_clock().MonotonicMs(); }

// A wait's milliseconds for the socket layer, which takes them as a 32-bit count: at least 1, and a
// time-out too large for it (the link validates nothing) is cut rather than wrapped.
int32_t wait_ms(int64_t left) {
  if (left < 1) return 1;
  return left > INT32_MAX ? INT32_MAX : static_cast<int32_t>(left);
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

void CHostLink::SetEndpoint(const Endpoint& endpoint, int32_t kind) {
  host_kind = kind;
  std::memcpy(address, endpoint.address, sizeof address);
  port = endpoint.port;
  timeout_s = endpoint.timeout_s;
}

void CHostLink::Fail(HostStep step) {
  Close();
  throw table_error(host_error(host_kind, step));
}

void CHostLink::Connect() {
  // A link is connected once at a time; a second Connect must not orphan the first socket.
  Close();
  started_up = net::startup();
  net::OpenFailure why = net::OpenFailure::kNone;
  socket_handle = net::open_stream(&why);
  if (socket_handle == net::kInvalidSocket) {
    // The caller sees the table's socket error; support sees the cause.
    if (why == net::OpenFailure::kOutOfDescriptors) {
      wire_trace::Note(host_kind == kBusinessHost
                           ? "business host socket not made: out of file descriptors"
                           : "bank host socket not made: out of file descriptors");
    }
    Fail(HostStep::kConnect);
  }
  // The connect waits no longer than the endpoint's own time-out, and no less than a second.
  const uint32_t ip = ipv4_of(address);
  std::string why_not;
  if (!net::connect_ipv4(socket_handle, ip, static_cast<uint16_t>(port & 0xFFFF), TimeoutSeconds(),
                         &why_not)) {
    // Support sees where the library tried to connect, as it read the address, and why it failed.
    std::string note = host_kind == kBusinessHost ? "business host " : "bank host ";
    for (int shift = 24; shift >= 0; shift -= 8) {
      note += std::to_string((ip >> shift) & 0xFF) + (shift > 0 ? "." : "");
    }
    note += ":" + std::to_string(port & 0xFFFF) + " not connected: " + why_not;
    wire_trace::Note(note.c_str());
    Fail(HostStep::kConnect);
  }
  connected = 1;
}

int64_t CHostLink::Deadline() const {
  // Milliseconds on the real monotonic clock: the sockets wait in real time, and a wait of n
  // seconds must last at least n seconds, never a rounded-down part of them.
  return steady_ms() + static_cast<int64_t>(TimeoutSeconds()) * 1000;
}

bool CHostLink::WaitUntil(int64_t deadline, bool write) {
  // Every wait is the library's own, on its own deadline: a signal that cuts one short is followed
  // by a wait for only what is left, and a socket time-out that a platform ignores cannot make the
  // wait endless.
  for (;;) {
    int64_t left = deadline - steady_ms();
    if (left <= 0) return false;
    switch (net::wait_ready(socket_handle, write, wait_ms(left))) {
      case net::Ready::kReady:
        return true;
      case net::Ready::kFailed:
        return false;
      case net::Ready::kNotYet:
        break;
    }
  }
}

int32_t CHostLink::ReceiveBefore(int64_t deadline, char* buffer, int32_t capacity) {
  if (!WaitUntil(deadline, false)) return -1;
  // The socket's own time-out backs the wait up: what is left of the deadline, at least 1 ms.
  if (!net::set_receive_timeout(socket_handle, wait_ms(deadline - steady_ms()))) return -1;
  return net::receive_once(socket_handle, buffer, capacity);
}

void CHostLink::Send(const char* data, int32_t len) {
  if (connected == 0 || data == nullptr || len < 1 || len > kMaxMessage) Fail(HostStep::kSend);
  // A send may take only part of the bytes; the rest follows until all are sent or the endpoint's
  // time-out has passed. A message cut short is never taken for sent.
  const int64_t deadline = Deadline();
  int32_t sent = 0;
  while (sent < len) {
    if (!WaitUntil(deadline, true)) Fail(HostStep::kSend);
    int32_t n = net::send_once(socket_handle, data + sent, len - sent);
    if (n <= 0) Fail(HostStep::kSend);
    sent += n;
  }
  trace(host_kind, true, data, sent);
}

int32_t CHostLink::Receive(char* buffer) {
  if (connected == 0 || buffer == nullptr) Fail(HostStep::kReceive);
  int32_t n = ReceiveBefore(Deadline(), buffer, kMaxMessage);
  if (n <= 0) Fail(HostStep::kReceive);
  trace(host_kind, false, buffer, n);
  return n;
}

int32_t CHostLink::ReceiveAtLeast(char* buffer, int32_t wanted) {
  if (connected == 0 || buffer == nullptr) Fail(HostStep::kReceive);
  if (wanted > kMaxMessage) wanted = kMaxMessage;
  // One time-out bounds the whole receive: each piece may take only what is left of it.
  const int64_t deadline = Deadline();
  int32_t have = 0;
  while (have < wanted) {
    int32_t n = ReceiveBefore(deadline, buffer + have, kMaxMessage - have);
    if (n <= 0) break;
    trace(host_kind, false, buffer + have, n);
    have += n;
  }
  if (have == 0) Fail(HostStep::kReceive);
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
