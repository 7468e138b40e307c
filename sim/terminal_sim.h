// A simulated bank POS terminal on a pty pair: the library opens the slave side as its COM port,
// the simulator answers on the master side. It answers the terminal test and plays one scenario
// per transaction request; it can misbehave on the line (noise, bad lengths, bad check bytes,
// split or paced frames) to exercise the library's receive. Used by the tests and by
// `quendal sim-terminal`.
//
// Every wait inside is bounded and Stop() returns within a few tens of milliseconds, so a test
// that goes wrong fails instead of hanging.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/terminal_frame.h"

namespace quendal_sim {

enum class FinalAnswer {
  kApprove,      // kind 0, result with response code "00"
  kDecline,      // kind 0, result with the scenario's response code
  kCancel,       // kind 0, header code "CANCEL"
  kUnknownKind,  // a frame of the scenario's unknown kind
  kSilent,       // nothing at all after the relays
  kRaw,          // the scenario's raw bytes, as they stand, in place of a final answer
};

struct TerminalScenario {
  bool answer_test = true;             // false: the test goes unanswered (a silent terminal)
  std::string test_code = "YESIAMOK";  // the header code the test is answered with (8 bytes)
  FinalAnswer final_answer = FinalAnswer::kApprove;
  std::string resp_code = "00";        // two digits; used as is for a decline
  std::string resp_text = "APPROVED";  // bytes as given (GBK), up to 40
  std::string text2 = "THANK YOU";     // bytes as given, up to 40
  int relays = 0;                      // frames of kind 0x55 before the final answer
  int relay_bytes = 40;                // payload bytes of each of them (at most 484)
  bool settlement = false;             // a notice of kind 0x88 just before the final answer
  int settlement_forever = 0;          // > 0: notices without end, this many ms apart (real time)
  uint8_t unknown_kind = 0x41;
  std::vector<uint8_t> raw_final;  // for FinalAnswer::kRaw
  int cut_final = 0;               // > 0: only this many bytes of the final answer go out
  // A "B0" query is answered with the last transaction as the terminal remembers it (approved,
  // declined, or none) rather than played like a request.
  bool remember_last = false;
  // The approval's reference and amount as given, in place of the request's (bytes as they
  // stand, cut to 15 and 12).
  std::string answer_ref15;
  std::string answer_amount;
  int final_result_bytes = 0;  // > 0: only this many bytes of the result go in the final answer
  std::string card_number = "6222000000000000000";  // result bytes 150-168
  std::string card_expiry = "1230";                 // result bytes 169-172
  // Frames that go out together with the test reply, as a line shared with an earlier call or a
  // terminal repeating itself leaves them: a second test reply, a stale approval of another sale.
  int extra_test_replies = 0;
  bool stale_approval = false;
  bool hang_up_on_request = false;  // the line goes away once the request has come
  // Called before each settlement notice goes out (tests move a virtual clock with it).
  std::function<void()> on_settlement;

  // Line faults, applied to every frame the simulator sends.
  int noise_bytes = 0;          // bytes of noise (never 0x02) before the frame
  bool bad_length = false;      // a frame start with an impossible length before the frame
  bool bad_lrc = false;         // a wrong check byte (the test reply's is never looked at)
  int split_pieces = 1;         // the frame goes out in this many pieces ...
  uint32_t split_pause_ms = 0;  // ... with this real pause between them
  // Each byte at its time on a 9600-baud line (10 bits a byte) counted from the frame's first
  // byte: an absolute schedule, so a late wake-up does not slow the bytes after it.
  bool pace = false;
};

// One frame that crossed the line, as the simulator saw it.
struct TracedFrame {
  bool from_library;
  std::vector<uint8_t> bytes;
};

class TerminalSim {
 public:
  // `trace`, when given, receives a hex dump of every frame with its decoded header.
  explicit TerminalSim(TerminalScenario scenario, FILE* trace = nullptr);
  ~TerminalSim();
  TerminalSim(const TerminalSim&) = delete;
  TerminalSim& operator=(const TerminalSim&) = delete;

  // Opens the pty pair and starts answering. False (with a reason) when no pty could be made.
  bool Start(std::string* error = nullptr);
  // Stops answering and closes the master side; waits at most for the current step to end.
  void Stop();

  // The device the library opens as its COM port.
  const std::string& SlavePath() const { return slave_path_; }
  // Publishes the slave path also as a symbolic link at `path` (replacing one already there);
  // the link is removed by Stop().
  bool Link(const std::string& path);

  // Whether the simulator hung up the line (hang_up_on_request).
  bool HungUp() const { return hung_up_; }

  // The terminal's memory of its last transaction, which a "B0" query is answered with.
  enum class LastState { kNone, kPending, kApproved, kDeclined };
  LastState Last() const;

  // Frames received from the library, in order.
  std::vector<std::vector<uint8_t>> Received() const;
  // Every frame in both directions, in order.
  std::vector<TracedFrame> Trace() const;
  // Waits at most `timeout_ms` (real time) until `count` frames have come from the library.
  bool WaitForReceived(size_t count, int timeout_ms) const;

 private:
  void Run();
  void OnFrame(const std::vector<uint8_t>& frame);
  // `cut` > 0 sends only the first `cut` bytes of the frame.
  void SendFrame(const std::string& code, uint8_t kind, const std::vector<uint8_t>& payload,
                 int cut = 0);
  void SendFinal();
  // The answer to a "B0" query: the last transaction in the form of a final answer.
  void AnswerQuery();
  // The 484-byte final answer payload approving `ref15` for `amount`.
  std::vector<uint8_t> Approval(const std::string& ref15, const std::string& amount,
                                const std::string& text) const;
  bool WriteAll(const uint8_t* data, size_t n);
  void Pause(uint32_t ms);
  void Record(bool from_library, const std::vector<uint8_t>& frame);

  TerminalScenario scenario_;
  FILE* trace_;
  int master_ = -1;
  std::string slave_path_;
  std::string link_path_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hung_up_{false};

  // Receive state of the master side.
  std::vector<uint8_t> pending_;
  // The exchange in progress.
  int relays_left_ = 0;
  bool awaiting_relay_answer_ = false;
  std::vector<uint8_t> request_payload_;
  // The last transaction request ("A0") and what became of it.
  std::vector<uint8_t> last_request_;
  LastState last_state_ = LastState::kNone;
  std::string last_code_;
  std::string last_text_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<TracedFrame> frames_;
};

}  // namespace quendal_sim
