// The transaction journal, off by default. When QUENDAL_JOURNAL names a file, every call appends
// JSON Lines records to it, each on the disk before the step it records goes ahead:
//
//   begin   the call's id, local date-time, version, process, type, reference, amount, COM port
//           and both host endpoints (no card data)
//   sent    the request is about to go to the terminal: from here money may move
//   final   the terminal's final answer (card number masked, no expiry)
//   report  what the business host made of the result report
//   end     return value, error code and text, and the call's outcome
//
// so that after a time-out, a lost report or the process's death at any instant a support desk
// can tell whether the customer paid (`quendal journal`, `quendal reconcile`). A journal that
// cannot be written changes nothing of the call and is reported once per process.
#pragma once

#include <cstddef>
#include <string>

#include "common/error.h"
#include "common/result_record.h"

namespace quendal {
namespace journal {

// Hooks of one call; each is a no-op when the journal is off, and none ever throws.
void BeginCall(const char* request);
void Sent();
// The terminal's final answer; nullptr for a CANCEL answer.
void Final(const ResultRecord* res);
void ReportAccepted();
// The report was refused (`failure_text` holds the host's words) or failed on its socket.
void ReportFailed(const CError& error, const char* failure_text);
// The error that ends a failing call.
void Failure(const CError& error);
void EndCall(int rc, const char* result);

// What became of a call, from the facts the journal holds.
enum class FinalKind { kNone, kApproved, kRefused, kCancel };
enum class ReportKind { kNone, kAccepted, kRefused, kFailed };
struct Facts {
  bool ended = false;  // an `end` record was written
  int rc = 1;
  bool sent = false;
  FinalKind final = FinalKind::kNone;
  ReportKind report = ReportKind::kNone;
  bool reported_type = false;  // a sale or a refund, whose every final answer is reported
};
// "approved", "declined", "not-started", "cancelled" or "unknown".
const char* outcome(const Facts& facts);

// `text` (UTF-8) as a JSON string, quotes included.
std::string quote(const std::string& text);

}  // namespace journal
}  // namespace quendal
