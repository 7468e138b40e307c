// The steps of one transaction after its request has passed the checks: the business host test,
// the terminal, the exchange with it and the reports. It owns the objects that talk to the
// terminal and the hosts for the length of one call.
#pragma once

#include "common/error.h"
#include "common/result_record.h"
#include "host/host_link.h"
#include "intake/checks.h"
#include "intake/trans_record.h"
#include "pos/message.h"
#include "ui/process_window.h"

namespace quendal {

class Transaction {
 public:
  Transaction() = default;
  // The library's port is closed on every way out of a call, whatever ended it.
  ~Transaction();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  // Runs the sequence. Returns at success completion with `res` holding the terminal's result;
  // every failure is thrown as a CError.
  void Run(CProcessWindow& window, CheckedRequest& req, ResultRecord& res);

  // On the way out of a failure: the cancel notice to the terminal where the error asks for one,
  // then closing the port and the host link. Never throws.
  void ReleaseOnFailure(const CError& error) noexcept;

 private:
  // Waits for the terminal's next frame that is not a settlement notice, within the port's
  // time-out; returns its kind, or -1 when none came in time. Throws kLrcMismatch on a bad check
  // byte.
  int ReceiveFromTerminal(CProcessWindow& window);
  // The exchange loop's steps; each returns the length of the frame to send next.
  int TimedOut(CProcessWindow& window, TransRecord& rec);
  int Relay(CProcessWindow& window, const TransRecord& rec);
  void Finish(CProcessWindow& window, const TransRecord& rec, ResultRecord& res);
  void Report(CProcessWindow& window, const TransRecord& rec, const ResultRecord& res);

  Endpoint bank_;                           // where the terminal's bank traffic goes
  Endpoint business_;                       // where the network test and the result report go
  CMessage message_;                        // every frame to and from the terminal
  uint8_t receive_buffer_[kFrameMax] = {};  // the terminal's frames, then the bank host's answers
  CHostLink host_link_;    // pointed at the business host or the bank host before each use
  int com_port_ = 0;       // the terminal's COM port number
  int timeout_count_ = 0;  // the terminal's receive time-outs in this call
  int relays_ = 0;         // requests for the bank served in this call
};

}  // namespace quendal
