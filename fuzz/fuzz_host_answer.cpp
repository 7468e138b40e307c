// The business host's answers, as arbitrary bytes, through the two exchanges that read them: the
// network test and the result report, the report built from an arbitrary result record and
// business reference. The socket calls are replaced here by a scripted peer (this target defines
// every function of host/socket_ops.h, so the library's own socket backend is never linked in):
// the host decides how many bytes arrive, what they are, how much of a send it takes, and whether
// a step fails. Nothing is received before the whole message has been sent.
//
// Nothing may read or write outside its buffers, the report must fit a host message, the failure
// text must stay terminated inside its 512 bytes with room for the error text that follows it,
// and the only way out is a CError.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/error.h"
#include "common/result_record.h"
#include "driver/failure_text.h"
#include "host/host_exchange.h"
#include "host/host_link.h"
#include "host/insurance.h"
#include "host/socket_ops.h"
#include "intake/checks.h"
#include "ui/process_window.h"

namespace quendal {

namespace {

struct ScriptedPeer {
  bool connect_ok = true;
  bool send_ok = true;
  int32_t send_piece = 0;       // the most one send takes; 0 takes all
  int32_t sent = 0;             // bytes the peer has taken
  int32_t message_length = 0;   // what it must have taken before anything is received
  std::vector<int32_t> pieces;  // the size of each receive that brings bytes, in order
  int32_t after_pieces = 0;     // what a receive returns once they are used up: 0 closed, -1
  size_t next_piece = 0;
  size_t answered = 0;  // bytes of `answer` already handed out
  std::vector<uint8_t> answer;
  int open_sockets = 0;
};
ScriptedPeer g_peer;

}  // namespace

namespace net {

bool startup() { return true; }
void cleanup() {}
int startups_held() { return 0; }
native_socket open_stream(OpenFailure* why) {
  if (why != nullptr) *why = OpenFailure::kNone;
  ++g_peer.open_sockets;
  return 7;
}
bool connect_ipv4(native_socket, uint32_t, uint16_t, int32_t timeout_s, std::string*) {
  if (timeout_s < 1) std::abort();  // a connect must be bounded
  return g_peer.connect_ok;
}
bool set_receive_timeout(native_socket, int32_t ms) {
  if (ms < 1) std::abort();  // 0 would be a wait without end
  return true;
}
Ready wait_ready(native_socket, bool, int32_t ms) {
  if (ms < 1) std::abort();  // a wait is made only while time is left
  return Ready::kReady;
}
int32_t send_once(native_socket, const char* data, int32_t len) {
  if (len < 1 || len > CHostLink::kMaxMessage) std::abort();
  volatile char last = data[len - 1];  // the whole message must be readable
  (void)last;
  if (!g_peer.send_ok) return -1;
  // The peer may take the message in parts.
  int32_t taken = g_peer.send_piece > 0 && g_peer.send_piece < len ? g_peer.send_piece : len;
  g_peer.sent += taken;
  return taken;
}
int32_t receive_once(native_socket, char* buffer, int32_t capacity) {
  if (capacity < 1) std::abort();
  if (g_peer.sent != g_peer.message_length) std::abort();  // a message cut short is not sent
  if (g_peer.next_piece >= g_peer.pieces.size()) return g_peer.after_pieces;
  int32_t n = std::min(g_peer.pieces[g_peer.next_piece++], capacity);
  // The peer's bytes, then zeros once its answer is used up.
  for (int32_t i = 0; i < n; ++i) {
    size_t at = g_peer.answered++;
    buffer[i] = at < g_peer.answer.size() ? static_cast<char>(g_peer.answer[at]) : '\0';
  }
  return n;
}
void close_socket(native_socket) { --g_peer.open_sockets; }

}  // namespace net
}  // namespace quendal

namespace {

void fill(FuzzedDataProvider& in, void* dest, size_t n) {
  std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(n);
  bytes.resize(n);
  std::memcpy(dest, bytes.data(), n);
}

void check_failure_text() {
  using quendal::g_failure_text;
  size_t n = strnlen(g_failure_text, quendal::kFailureTextSize);
  // The failure path appends up to 40 bytes of error text and a terminator.
  if (n + sizeof(quendal::CError::text) + 1 > quendal::kFailureTextSize) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace quendal;
  FuzzedDataProvider in(data, size);
  g_peer = ScriptedPeer{};
  g_peer.connect_ok = in.ConsumeIntegralInRange<int>(0, 15) != 0;
  g_peer.send_ok = in.ConsumeIntegralInRange<int>(0, 15) != 0;
  g_peer.send_piece = in.ConsumeIntegralInRange<int32_t>(0, 7);
  const int piece_count = in.ConsumeIntegralInRange<int>(0, 12);
  for (int i = 0; i < piece_count; ++i) {
    g_peer.pieces.push_back(in.ConsumeIntegralInRange<int32_t>(1, CHostLink::kMaxMessage + 8));
  }
  g_peer.after_pieces = in.ConsumeBool() ? 0 : -1;
  const bool report = in.ConsumeBool();

  ResultRecord res;
  fill(in, &res, sizeof res);
  char business_ref[CInsurance::kBusinessRefSize];
  fill(in, business_ref, sizeof business_ref);
  // The endpoint fields as the request line holds them, the line's own text.
  std::string endpoint = in.ConsumeRandomLengthString(64);
  g_peer.answer = in.ConsumeRemainingBytes<uint8_t>();

  // The report on its own, as the exchange sends it.
  CInsurance message;
  message.SetBusinessRef(business_ref);
  message.SetResultRecord(&res);
  int n = message.Pack();
  if (n < 5 || n > CInsurance::kBufferSize || n != message.GetLength()) std::abort();

  g_peer.message_length = report ? n : 6;

  CHostLink link;
  link.SetEndpoint(quendal::endpoint_at(endpoint.c_str()), 1);
  std::memset(g_failure_text, 0, sizeof g_failure_text);
  CProcessWindow window;
  try {
    if (report) {
      report_result(window, link, res, business_ref, g_failure_text);
    } else {
      test_insurer_network(link);
    }
  } catch (const CError& e) {
    (void)e.TextLength();
  }
  if (g_peer.open_sockets != 0) std::abort();  // every path closes what it opened
  check_failure_text();
  return 0;
}
