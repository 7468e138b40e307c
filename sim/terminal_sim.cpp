#include "sim/terminal_sim.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>

#include "sim/terminal_frame.h"

namespace quendal_sim {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr int kHeader = 23;
constexpr int kPayloadMax = 484;
constexpr int kRequestPayload = 453;
constexpr int kResultSize = 555;
constexpr int64_t kByteNs = 10 * 1000000000LL / 9600;  // one byte on a 9600-baud line

void copy_text(std::vector<uint8_t>& out, size_t at, const std::string& text, size_t width) {
  std::memcpy(out.data() + at, text.data(), std::min(width, text.size()));
}

}  // namespace

TerminalSim::TerminalSim(TerminalScenario scenario, FILE* trace)
    : scenario_(std::move(scenario)), trace_(trace) {}

TerminalSim::~TerminalSim() { Stop(); }

bool TerminalSim::Start(std::string* error) {
  struct termios raw {};
  cfmakeraw(&raw);
  cfsetispeed(&raw, B9600);
  cfsetospeed(&raw, B9600);
  int slave = -1;
  char name[256] = {};
  if (::openpty(&master_, &slave, name, &raw, nullptr) != 0) {
    if (error != nullptr) *error = std::string("openpty: ") + std::strerror(errno);
    return false;
  }
  // The library opens the slave itself; the simulator keeps only the master side.
  ::close(slave);
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  ::fcntl(master_, F_SETFD, FD_CLOEXEC);
  slave_path_ = name;
  stop_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void TerminalSim::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (master_ >= 0) ::close(master_);
  master_ = -1;
  if (!link_path_.empty()) ::unlink(link_path_.c_str());
  link_path_.clear();
}

bool TerminalSim::Link(const std::string& path) {
  ::unlink(path.c_str());
  if (::symlink(slave_path_.c_str(), path.c_str()) != 0) return false;
  link_path_ = path;
  return true;
}

std::vector<std::vector<uint8_t>> TerminalSim::Received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::vector<std::vector<uint8_t>> out;
  for (const auto& f : frames_) {
    if (f.from_library) out.push_back(f.bytes);
  }
  return out;
}

std::vector<TracedFrame> TerminalSim::Trace() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_;
}

bool TerminalSim::WaitForReceived(size_t count, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeout_ms), [&] {
    return std::count_if(frames_.begin(), frames_.end(), [](const TracedFrame& f) {
             return f.from_library;
           }) >= static_cast<long>(count);
  });
}

void TerminalSim::Record(bool from_library, const std::vector<uint8_t>& frame) {
  if (trace_ != nullptr) {
    std::fprintf(trace_, "%s %s\n", from_library ? "lib->pos" : "pos->lib",
                 describe_frame(frame).c_str());
    std::fflush(trace_);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  frames_.push_back(TracedFrame{from_library, frame});
  changed_.notify_all();
}

void TerminalSim::Pause(uint32_t ms) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!stop_ && std::chrono::steady_clock::now() < until) {
    auto left = until - std::chrono::steady_clock::now();
    std::this_thread::sleep_for(
        std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(10)));
  }
}

void TerminalSim::Run() {
  uint8_t chunk[1024];
  while (!stop_) {
    struct pollfd p {};
    p.fd = master_;
    p.events = POLLIN;
    int rc = ::poll(&p, 1, 20);
    if (rc <= 0) continue;
    ssize_t n = ::read(master_, chunk, sizeof chunk);
    if (n <= 0) {
      // No one has the slave side open (before the library opens it, after it closes it).
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      continue;
    }
    pending_.insert(pending_.end(), chunk, chunk + n);
    for (;;) {
      auto stx = std::find(pending_.begin(), pending_.end(), kStx);
      pending_.erase(pending_.begin(), stx);
      if (pending_.size() < 3) break;
      int body = frame_body_length(pending_[1], pending_[2]);
      if (body < 0) {
        pending_.erase(pending_.begin());
        continue;
      }
      size_t total = static_cast<size_t>(body) + 5;
      if (pending_.size() < total) break;
      std::vector<uint8_t> frame(pending_.begin(), pending_.begin() + static_cast<long>(total));
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(total));
      Record(true, frame);
      OnFrame(frame);
    }
  }
}

void TerminalSim::OnFrame(const std::vector<uint8_t>& frame) {
  if (frame.size() < 3 + kHeader + 2) return;
  std::string code(reinterpret_cast<const char*>(frame.data()) + 6, 8);
  size_t payload = frame.size() - 5 - kHeader;
  const uint8_t* data = frame.data() + 3 + kHeader;

  if (code == "AREYOUOK") {
    if (!scenario_.answer_test) return;
    if (scenario_.extra_test_replies == 0 && !scenario_.stale_approval) {
      SendFrame(scenario_.test_code, 0, {});
      return;
    }
    // The reply and what the line holds after it go out in one write, as they would lie queued.
    std::vector<std::vector<uint8_t>> frames(
        1 + static_cast<size_t>(std::max(0, scenario_.extra_test_replies)),
        terminal_frame(scenario_.test_code, 0, {}));
    if (scenario_.stale_approval) {
      frames.push_back(
          terminal_frame("00000000", 0, Approval("REF-YESTERDAY", "000000050000", "STALE 500.00")));
    }
    std::vector<uint8_t> wire;
    for (const auto& f : frames) {
      Record(false, f);
      wire.insert(wire.end(), f.begin(), f.end());
    }
    WriteAll(wire.data(), wire.size());
    return;
  }
  if (code.compare(0, 6, "CANCEL") == 0) {
    // The library gave up: a transaction still waiting for its bank is not completed.
    std::lock_guard<std::mutex> lock(mutex_);
    if (last_state_ == LastState::kPending) {
      last_state_ = LastState::kDeclined;
      last_code_ = "96";
      last_text_ = "CANCELLED";
    }
    return;
  }

  bool request = payload == kRequestPayload && (data[0] == 'A' || data[0] == 'B') && data[1] == '0';
  if (request && scenario_.hang_up_on_request) {
    stop_ = true;
    hung_up_ = true;
    ::close(master_);
    master_ = -1;
    return;
  }
  // A query asks after the last transaction, as a terminal remembers it; the faults of a
  // scenario's own final answer (silence, CANCEL, an unknown kind, raw bytes) stand as before.
  const bool remembered =
      scenario_.remember_last && (scenario_.final_answer == FinalAnswer::kApprove ||
                                  scenario_.final_answer == FinalAnswer::kDecline);
  if (request && data[0] == 'B' && remembered) {
    AnswerQuery();
    return;
  }
  if (request && data[0] == 'A') {
    std::lock_guard<std::mutex> lock(mutex_);
    last_request_.assign(data, data + payload);
    last_state_ = LastState::kPending;
  }
  if (request) {
    request_payload_.assign(data, data + payload);
    relays_left_ = scenario_.relays;
    awaiting_relay_answer_ = false;
  } else if (!awaiting_relay_answer_) {
    return;  // nothing expected: ignore it
  }
  // A request starts the exchange; any other frame is the bank host's answer to our relay.
  awaiting_relay_answer_ = false;
  if (relays_left_ > 0) {
    --relays_left_;
    std::vector<uint8_t> bank(static_cast<size_t>(std::clamp(scenario_.relay_bytes, 0, 484)));
    for (size_t i = 0; i < bank.size(); ++i) bank[i] = static_cast<uint8_t>('a' + i % 26);
    awaiting_relay_answer_ = true;
    SendFrame("00000000", 0x55, bank);
    return;
  }
  if (scenario_.settlement) SendFrame("00000000", 0x88, {});
  if (scenario_.settlement_forever > 0) {
    while (!stop_) {
      SendFrame("00000000", 0x88, {});
      Pause(static_cast<uint32_t>(scenario_.settlement_forever));
    }
    return;
  }
  SendFinal();
}

void TerminalSim::SendFinal() {
  switch (scenario_.final_answer) {
    case FinalAnswer::kSilent:
      return;
    case FinalAnswer::kCancel:
      SendFrame(std::string("CANCEL\0\0", 8), 0, {});
      return;
    case FinalAnswer::kUnknownKind:
      SendFrame("00000000", scenario_.unknown_kind, {});
      return;
    case FinalAnswer::kRaw:
      Record(false, scenario_.raw_final);
      WriteAll(scenario_.raw_final.data(), scenario_.raw_final.size());
      return;
    case FinalAnswer::kApprove:
    case FinalAnswer::kDecline:
      break;
  }
  const std::vector<uint8_t>& req = request_payload_;
  bool approve = scenario_.final_answer == FinalAnswer::kApprove;
  std::string ref15 = scenario_.answer_ref15;
  std::string amount = scenario_.answer_amount;
  if (ref15.empty() && req.size() >= 25) ref15.assign(req.begin() + 10, req.begin() + 25);
  if (amount.empty() && req.size() >= 37) amount.assign(req.begin() + 25, req.begin() + 37);
  std::vector<uint8_t> result = Approval(ref15, amount, scenario_.resp_text);
  if (!approve) copy_text(result, 6, scenario_.resp_code, 2);
  if (req.size() >= 4) std::memcpy(result.data() + 2, req.data() + 2, 2);      // trans_type
  if (req.size() >= 57) std::memcpy(result.data() + 223, req.data() + 37, 6);  // stamp
  if (scenario_.final_result_bytes > 0) {
    result.resize(std::min(result.size(), static_cast<size_t>(scenario_.final_result_bytes)));
  }
  {
    // From here the terminal holds the transaction as approved (or declined), whether or not
    // its answer reaches the library.
    std::lock_guard<std::mutex> lock(mutex_);
    if (last_state_ == LastState::kPending) {
      last_state_ = approve ? LastState::kApproved : LastState::kDeclined;
      last_code_ = approve ? "00" : scenario_.resp_code;
      last_text_ = scenario_.resp_text;
    }
  }
  SendFrame("00000000", 0, result, scenario_.cut_final);
}

TerminalSim::LastState TerminalSim::Last() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_state_;
}

void TerminalSim::AnswerQuery() {
  std::vector<uint8_t> req;
  std::string code;
  std::string text;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (last_state_ == LastState::kPending) {
      // Asked again before it was completed: a terminal gives the transaction up.
      last_state_ = LastState::kDeclined;
      last_code_ = "98";
      last_text_ = "NOT COMPLETED";
    }
    req = last_request_;
    code = last_state_ == LastState::kNone ? "25" : last_code_;
    text = last_state_ == LastState::kNone ? "NO TRANSACTION" : last_text_;
  }
  std::string ref15;
  std::string amount;
  if (req.size() >= 37) {
    ref15.assign(req.begin() + 10, req.begin() + 25);
    amount.assign(req.begin() + 25, req.begin() + 37);
  }
  // The last transaction in the form of a final answer: its reference, amount, type and stamp.
  std::vector<uint8_t> result = Approval(ref15, amount, text);
  copy_text(result, 6, code, 2);
  if (req.size() >= 4) std::memcpy(result.data() + 2, req.data() + 2, 2);
  if (req.size() >= 43) std::memcpy(result.data() + 223, req.data() + 37, 6);
  SendFrame("00000000", 0, result, scenario_.cut_final);
}

std::vector<uint8_t> TerminalSim::Approval(const std::string& ref15, const std::string& amount,
                                           const std::string& text) const {
  std::vector<uint8_t> result(kResultSize, 0);
  copy_text(result, 0, "00", 2);
  copy_text(result, 2, "30", 2);
  copy_text(result, 4, "00", 2);
  copy_text(result, 6, "00", 2);
  copy_text(result, 8, text, 40);
  copy_text(result, 54, ref15, 15);
  copy_text(result, 69, amount, 12);
  copy_text(result, 87, "000000000000001", 15);
  copy_text(result, 102, scenario_.text2, 40);
  copy_text(result, 142, "00000001", 8);
  copy_text(result, 150, scenario_.card_number, 19);
  copy_text(result, 169, scenario_.card_expiry, 4);
  copy_text(result, 173, "000001", 6);
  // The answer is dated now, as a terminal dates it.
  char now[16];
  std::time_t t = std::time(nullptr);
  std::strftime(now, sizeof now, "%Y%m%d%H%M%S", std::localtime(&t));
  copy_text(result, 179, now, 14);
  result.resize(kPayloadMax);  // a frame carries no more of the result
  return result;
}

void TerminalSim::SendFrame(const std::string& code, uint8_t kind,
                            const std::vector<uint8_t>& payload, int cut) {
  if (kind == 0x88 && scenario_.on_settlement) scenario_.on_settlement();
  std::vector<uint8_t> frame = terminal_frame(code, kind, payload);
  if (scenario_.bad_lrc) frame.back() ^= 0xFF;
  if (cut > 0 && static_cast<size_t>(cut) < frame.size()) frame.resize(static_cast<size_t>(cut));
  std::vector<uint8_t> wire;
  for (int i = 0; i < scenario_.noise_bytes; ++i) {
    wire.push_back(static_cast<uint8_t>(0xA0 + i % 16));
  }
  if (scenario_.bad_length) {
    const uint8_t bad[] = {kStx, 0x1A, 0x00, 0x55, 0x66, kStx, 0x10, 0x00, 0x77};
    wire.insert(wire.end(), std::begin(bad), std::end(bad));
  }
  wire.insert(wire.end(), frame.begin(), frame.end());
  Record(false, frame);

  if (scenario_.pace) {
    // 10 bits a byte at 9600 baud; byte i is due i byte-times after the first.
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < wire.size(); ++i) {
      std::this_thread::sleep_until(start +
                                    std::chrono::nanoseconds(kByteNs * static_cast<int64_t>(i)));
      if (stop_ || !WriteAll(&wire[i], 1)) return;
    }
    return;
  }
  size_t pieces = static_cast<size_t>(std::max(1, scenario_.split_pieces));
  size_t step = (wire.size() + pieces - 1) / pieces;
  for (size_t at = 0; at < wire.size(); at += step) {
    if (at > 0) Pause(scenario_.split_pause_ms);
    if (stop_ || !WriteAll(wire.data() + at, std::min(step, wire.size() - at))) return;
  }
}

bool TerminalSim::WriteAll(const uint8_t* data, size_t n) {
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  size_t done = 0;
  while (done < n) {
    if (stop_ || std::chrono::steady_clock::now() > give_up) return false;
    ssize_t w = ::write(master_, data + done, n - done);
    if (w > 0) {
      done += static_cast<size_t>(w);
      continue;
    }
    if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
    struct pollfd p {};
    p.fd = master_;
    p.events = POLLOUT;
    ::poll(&p, 1, 10);
  }
  return true;
}

}  // namespace quendal_sim
