#include "sim/host_sim.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "host/socket_ops.h"
#include "sim/listen_socket.h"

namespace quendal_sim {

namespace {

// Every wait of the simulator is bounded; the poll step also bounds how long Stop takes.
constexpr int kPollStepMs = 50;
// How long a request may take to arrive whole, and how long a client may take to close.
constexpr int kRequestDeadlineMs = 2000;
constexpr int kQuietGapMs = 100;
constexpr int kCloseWaitMs = 2000;
constexpr size_t kMaxRequest = 4096;

namespace net = quendal::net;
using net::kInvalidSocket;

using SteadyClock = std::chrono::steady_clock;

int elapsed_ms(SteadyClock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - since).count());
}

// Tries the ports from 1000 to 10000 from a random start until one can be bound.
native_socket bind_free_port(bool listening, uint16_t* port) {
  const int span = kLastPort - kFirstPort + 1;
  std::random_device seed;
  int start = static_cast<int>(seed() % static_cast<unsigned>(span));
  for (int i = 0; i < span; ++i) {
    uint16_t candidate = static_cast<uint16_t>(kFirstPort + (start + i) % span);
    native_socket s = bind_loopback(candidate, listening);
    if (s != kInvalidSocket) {
      *port = candidate;
      return s;
    }
  }
  return kInvalidSocket;
}

void send_all(native_socket s, const std::string& bytes) {
  size_t sent = 0;
  while (sent < bytes.size()) {
    int32_t n = net::send_once(s, bytes.data() + sent, static_cast<int32_t>(bytes.size() - sent));
    if (n <= 0) return;
    sent += static_cast<size_t>(n);
  }
}

int digit_value(char c) { return c >= '0' && c <= '9' ? c - '0' : -1; }

// The length a request will have once whole, or 0 while that cannot be told yet.
size_t expected_length(HostRole role, const std::string& got) {
  if (role == HostRole::kBusiness) {
    if (got.size() < 4) return 0;
    int m = 0;
    for (int i = 0; i < 4; ++i) {
      int d = digit_value(got[static_cast<size_t>(i)]);
      if (d < 0) return 0;
      m = m * 10 + d;
    }
    return 4 + static_cast<size_t>(m);
  }
  if (got.size() < 3 || got[0] != '\x02') return 0;
  auto nibbles = [](unsigned char b) { return (b >> 4) * 10 + (b & 0x0F); };
  size_t body = static_cast<size_t>(nibbles(static_cast<unsigned char>(got[1])) * 100 +
                                    nibbles(static_cast<unsigned char>(got[2])));
  return body + 5;
}

}  // namespace

HostScenario HostScenario::Answer(std::string bytes) {
  HostScenario s;
  s.kind = Kind::kAnswer;
  s.answer = std::move(bytes);
  return s;
}

HostScenario HostScenario::Close() {
  HostScenario s;
  s.kind = Kind::kClose;
  return s;
}

HostScenario HostScenario::Silent() {
  HostScenario s;
  s.kind = Kind::kSilent;
  return s;
}

HostScenario HostScenario::Reset() {
  HostScenario s;
  s.kind = Kind::kReset;
  return s;
}

std::string business_answer(char flag, const std::string& text, int length_field) {
  int m = length_field >= 0 ? length_field : static_cast<int>(text.size()) + 5;
  if (m > 9999) m = 9999;
  if (m < 0) m = 0;
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%04d", m);
  std::string answer(prefix, 4);
  answer += "000";
  answer += flag;
  answer += '|';
  answer += text;
  return answer;
}

HostScenario business_accept() { return HostScenario::Answer(business_answer('1', "")); }

HostScenario business_refuse(const std::string& text) {
  return HostScenario::Answer(business_answer('0', text));
}

HostScenario answer_of_size(size_t n) {
  std::string bytes(n, '\0');
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>('A' + i % 26);
  return HostScenario::Answer(bytes);
}

std::string format_trace(const TraceEvent& event, std::string (*to_text)(const std::string&)) {
  static const char* const kWhat[] = {"connected", "<-", "->", "closed", "note"};
  std::string out = "[" + event.host + "] " + kWhat[static_cast<int>(event.kind)];
  if (event.kind != TraceEvent::Kind::kReceived && event.kind != TraceEvent::Kind::kSent) {
    return out + (event.bytes.empty() ? "" : " " + event.bytes) + "\n";
  }
  out += " " + std::to_string(event.bytes.size()) + " bytes\n";
  const std::string& b = event.bytes;
  for (size_t row = 0; row < b.size(); row += 16) {
    char line[100];
    int n = std::snprintf(line, sizeof line, "  %04zx ", row);
    std::string printable;
    for (size_t i = row; i < row + 16; ++i) {
      if (i < b.size()) {
        unsigned char c = static_cast<unsigned char>(b[i]);
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), " %02x", c);
        printable += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
      } else {
        n += std::snprintf(line + n, sizeof line - static_cast<size_t>(n), "   ");
      }
    }
    out += line;
    out += "  " + printable + "\n";
  }
  // Control bytes would upset a terminal; GBK's second bytes are never below 0x40.
  std::string shown = b;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '.';
  }
  out += "  text: " + (to_text != nullptr ? to_text(shown) : shown) + "\n";
  return out;
}

HostSim::HostSim(std::string name, HostRole role)
    : name_(std::move(name)), role_(role), scenario_(business_accept()) {}

HostSim::~HostSim() { Stop(); }

bool HostSim::Start(uint16_t port, std::string* error) {
  if (thread_.joinable()) {
    if (error != nullptr) *error = "already started";
    return false;
  }
  std::string why;
  listen_ = port == 0 ? bind_free_port(true, &port_) : bind_loopback(port, true, &why);
  if (listen_ == kInvalidSocket) {
    if (error != nullptr) *error = port == 0 ? "no free port from 1000 to 10000" : why;
    return false;
  }
  if (port != 0) port_ = port;
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void HostSim::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_ != kInvalidSocket) net::close_socket(listen_);
  listen_ = kInvalidSocket;
}

void HostSim::SetScenario(HostScenario scenario) {
  std::lock_guard<std::mutex> lock(mutex_);
  scenario_ = std::move(scenario);
}

void HostSim::QueueScenario(HostScenario scenario) {
  std::lock_guard<std::mutex> lock(mutex_);
  queued_.push_back(std::move(scenario));
}

void HostSim::SetTrace(TraceSink sink) {
  std::lock_guard<std::mutex> lock(mutex_);
  trace_ = std::move(sink);
}

std::vector<std::string> HostSim::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

int HostSim::Connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

int HostSim::ClosedByClient() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_by_client_;
}

bool HostSim::WaitConnections(int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return connections_ >= n; });
}

bool HostSim::WaitAnswers(int n, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return finished_.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                            [&] { return answers_ >= n; });
}

void HostSim::Trace(TraceEvent::Kind kind, std::string bytes) {
  TraceSink sink;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    sink = trace_;
  }
  if (sink) sink(TraceEvent{name_, kind, std::move(bytes)});
}

bool HostSim::WaitReadable(native_socket s, int timeout_ms) const {
  return net::wait_ready(s, false, timeout_ms) == net::Ready::kReady;
}

void HostSim::Serve() {
  while (!stop_) {
    if (!WaitReadable(listen_, kPollStepMs)) continue;
    native_socket s = accept_client(listen_);
    if (s == kInvalidSocket) continue;
    // A client that does not read must not hold the host in a send, nor keep Stop waiting.
    limit_send_time(s, kRequestDeadlineMs);
    Handle(s);
  }
}

std::string HostSim::ReadRequest(native_socket s) {
  std::string got;
  auto start = SteadyClock::now();
  while (!stop_ && elapsed_ms(start) < kRequestDeadlineMs) {
    size_t want = expected_length(role_, got);
    if (want != 0 && got.size() >= want) break;
    // A request whose end cannot be told from its bytes ends when the client falls quiet.
    int step = want == 0 && !got.empty() ? kQuietGapMs : kPollStepMs;
    if (!WaitReadable(s, step)) {
      if (step == kQuietGapMs) break;
      continue;
    }
    char chunk[512];
    int32_t n = net::receive_once(s, chunk, sizeof chunk);
    if (n <= 0) break;
    got.append(chunk, static_cast<size_t>(n));
    if (got.size() >= kMaxRequest) break;
  }
  return got;
}

void HostSim::Handle(native_socket s) {
  HostScenario scenario;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!queued_.empty()) {
      scenario = std::move(queued_.front());
      queued_.pop_front();
    } else {
      scenario = scenario_;
    }
  }
  Trace(TraceEvent::Kind::kConnected, "");

  std::string request;
  bool client_closed = false;
  if (scenario.kind == HostScenario::Kind::kReset) {
    reset_on_close(s);
    Trace(TraceEvent::Kind::kNote, "reset without reading");
  } else {
    request = ReadRequest(s);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    Trace(TraceEvent::Kind::kReceived, request);
    switch (scenario.kind) {
      case HostScenario::Kind::kAnswer:
        send_all(s, scenario.answer);
        Trace(TraceEvent::Kind::kSent, scenario.answer);
        {
          std::lock_guard<std::mutex> lock(mutex_);
          ++answers_;
        }
        finished_.notify_all();
        break;
      case HostScenario::Kind::kClose:
        Trace(TraceEvent::Kind::kNote, "closing without an answer");
        break;
      default:
        Trace(TraceEvent::Kind::kNote, "not answering");
        break;
    }
    // Wait for the client to close: at once after an answer, or whenever it gives up on a host
    // that stays silent. Either way the wait ends when the host stops.
    if (scenario.kind != HostScenario::Kind::kClose) {
      auto start = SteadyClock::now();
      while (!stop_ &&
             (scenario.kind == HostScenario::Kind::kSilent || elapsed_ms(start) < kCloseWaitMs)) {
        if (!WaitReadable(s, kPollStepMs)) continue;
        char chunk[512];
        int32_t n = net::receive_once(s, chunk, sizeof chunk);
        if (n <= 0) {
          client_closed = true;
          break;
        }
      }
    }
  }
  net::close_socket(s);
  Trace(TraceEvent::Kind::kClosed, client_closed ? "by the client" : "by the host");
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (scenario.kind == HostScenario::Kind::kReset) requests_.emplace_back();
    ++connections_;
    if (client_closed) ++closed_by_client_;
  }
  finished_.notify_all();
}

RefusingPort::RefusingPort() { socket_ = bind_free_port(false, &port_); }

RefusingPort::~RefusingPort() {
  if (socket_ != kInvalidSocket) net::close_socket(socket_);
}

}  // namespace quendal_sim
