// Simulated bank host and business host on 127.0.0.1, for tests (in-process, on a free port) and
// for the quendal sim-hosts command. Each host takes one connection at a time, reads one request,
// answers it as its scenario says and reports every message it receives and sends to a trace.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/socket_types.h"

namespace quendal_sim {

// The lowest and highest port the library's request checks accept.
constexpr uint16_t kFirstPort = 1000;
constexpr uint16_t kLastPort = 10000;

// How a host treats one connection once it has read the request.
struct HostScenario {
  enum class Kind {
    kAnswer,  // send `answer` as it stands, then close
    kClose,   // close without answering
    kSilent,  // never answer; keep the connection until the client closes it or the host stops
    kReset,   // drop the connection at once with a reset, before reading anything
  };
  Kind kind = Kind::kAnswer;
  std::string answer;

  static HostScenario Answer(std::string bytes);
  static HostScenario Close();
  static HostScenario Silent();
  static HostScenario Reset();
};

// A business host answer: the four-digit length (the text's length plus 5 unless `length_field`
// is given, 0 to 9999), three filler bytes, the response flag, a separator, then the text.
std::string business_answer(char flag, const std::string& text, int length_field = -1);
HostScenario business_accept();
HostScenario business_refuse(const std::string& text);
// `n` bytes of a recognisable pattern (a bank host answer of a given size).
HostScenario answer_of_size(size_t n);

struct TraceEvent {
  enum class Kind { kConnected, kReceived, kSent, kClosed, kNote };
  std::string host;
  Kind kind;
  std::string bytes;  // the message for kReceived and kSent, the note's text otherwise
};
using TraceSink = std::function<void(const TraceEvent&)>;

// A readable trace line: for messages a hex dump with a printable column and the message as text,
// converted by `to_text` (the GBK to UTF-8 conversion of the tool; null shows bytes as they are).
std::string format_trace(const TraceEvent& event,
                         std::string (*to_text)(const std::string&) = nullptr);

// Which host is simulated decides only how the end of a request is recognised: the business
// host's messages carry a four-digit length, the bank host's are terminal frames (STX, BCD length,
// body, ETX, check byte). Anything else ends when the client falls quiet.
enum class HostRole { kBank, kBusiness };

class HostSim {
 public:
  HostSim(std::string name, HostRole role);
  ~HostSim();
  HostSim(const HostSim&) = delete;
  HostSim& operator=(const HostSim&) = delete;

  // Listens on 127.0.0.1 `port`, or on a free port from 1000 to 10000 when it is 0. False when the
  // port could not be taken, with the reason in `error` when given.
  bool Start(uint16_t port = 0, std::string* error = nullptr);
  // Stops listening and drops a connection in progress; returns within a fraction of a second.
  void Stop();
  uint16_t Port() const { return port_; }
  const std::string& Name() const { return name_; }

  // The scenario for every connection without a queued one.
  void SetScenario(HostScenario scenario);
  // A scenario for one connection; queued ones are used in order before the standing one.
  void QueueScenario(HostScenario scenario);
  void SetTrace(TraceSink sink);

  // The request read on each connection, in order; it is recorded before the host answers.
  std::vector<std::string> Requests() const;
  // Connections finished, and how many of them the client closed after the host's answer.
  int Connections() const;
  int ClosedByClient() const;
  // Waits at most `timeout_ms` until `n` connections have finished.
  bool WaitConnections(int n, int timeout_ms) const;
  // Waits at most `timeout_ms` until `n` answers have been sent.
  bool WaitAnswers(int n, int timeout_ms) const;

 private:
  void Serve();
  void Handle(quendal::net::native_socket s);
  std::string ReadRequest(quendal::net::native_socket s);
  bool WaitReadable(quendal::net::native_socket s, int timeout_ms) const;
  void Trace(TraceEvent::Kind kind, std::string bytes);

  const std::string name_;
  const HostRole role_;
  quendal::net::native_socket listen_ = quendal::net::kInvalidSocket;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable finished_;
  HostScenario scenario_;
  std::deque<HostScenario> queued_;
  TraceSink trace_;
  std::vector<std::string> requests_;
  int connections_ = 0;
  int closed_by_client_ = 0;
  int answers_ = 0;
};

// A port from 1000 to 10000 bound on 127.0.0.1 but not listening, so that every connection to it
// is refused: a host that is down.
class RefusingPort {
 public:
  RefusingPort();
  ~RefusingPort();
  RefusingPort(const RefusingPort&) = delete;
  RefusingPort& operator=(const RefusingPort&) = delete;
  uint16_t Port() const { return port_; }

 private:
  quendal::net::native_socket socket_ = quendal::net::kInvalidSocket;
  uint16_t port_ = 0;
};

}  // namespace quendal_sim
