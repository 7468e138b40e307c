#include "driver/transaction.h"

#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "codec/codec.h"
#include "common/texts.h"
#include "driver/failure_text.h"
#include "host/host_exchange.h"
#include "intake/checks.h"
#include "journal/journal.h"
#include "platform/clock.h"
#include "pos/com_port.h"

namespace quendal {

namespace {

constexpr uint32_t kComBaud = 9600;
constexpr uint32_t kBeforeTestMs = 500;
// How long the terminal may take: for the request and after every relayed host answer, and after
// a query that follows a time-out.
constexpr int32_t kAnswerTimeoutS = 120;
constexpr int32_t kQueryTimeoutS = 5;
// Time-outs after which the call still goes on with a query; the next one ends it.
constexpr int kMaxQueries = 3;
// Requests for the bank the terminal may make in one call; the next one ends it. A sale takes one
// or two (the transaction, and a reversal or a script notice after it), a terminal that also
// signs on, fetches keys or uploads its batch a few more: 32 leaves ample room for all of that,
// while a terminal stuck asking for its bank is stopped after a bounded number of connections
// (at most 32 bank time-outs, each its own and never more than 300 s).
constexpr int kMaxRelays = 32;

// The final answer's payload must reach the end of the response text.
constexpr int kFinalAnswerMin =
    static_cast<int>(offsetof(ResultRecord, resp_text) + sizeof(ResultRecord::resp_text));

const char kTransactionRequest[2] = {'A', '0'};
const char kQueryRequest[2] = {'B', '0'};

bool is_type(const TransRecord& rec, const char* code) {
  return std::memcmp(rec.trans_type, code, 2) == 0;
}

// Sales and refunds are the types whose outcome the terminal can be asked for again after a
// time-out, and whose every final answer the business host hears of.
bool is_sale_or_refund(const TransRecord& rec) { return is_type(rec, "30") || is_type(rec, "40"); }

// The bytes of a fixed-width field without the blanks and zero bytes around them.
std::string trimmed(const char* bytes, size_t n) {
  size_t from = 0;
  while (from < n && (bytes[from] == ' ' || bytes[from] == '\0')) ++from;
  while (n > from && (bytes[n - 1] == ' ' || bytes[n - 1] == '\0')) --n;
  return std::string(bytes + from, n - from);
}

// Whether the final answer carries the request's reference and amount. The amount is compared by
// value as the report reads it, the last two bytes of the field being hundredths: trimming the
// field first would pass "12345" followed by blanks as 123.45 while the business host is told
// 12345.00.
bool answer_belongs_to(const TransRecord& rec, const ResultRecord& res) {
  if (trimmed(rec.ref15, sizeof rec.ref15) != trimmed(res.ref15, sizeof res.ref15)) return false;
  return std::llround(amount_value(rec.amount, sizeof rec.amount) * 100) ==
         std::llround(amount_value(res.amount, sizeof res.amount) * 100);
}

}  // namespace

Transaction::~Transaction() {
  if (com_port().IsOpen() == 1) com_port().Close();
}

void Transaction::Run(CProcessWindow& window, CheckedRequest& req, ResultRecord& res) {
  TransRecord& rec = req.record;
  bank_ = req.bank;
  business_ = req.business;
  com_port_ = req.com_port;
  host_link_.SetEndpoint(business_, kBusinessHost);

  // The business host must be reachable and willing before the terminal is engaged.
  window.AppendStatus(text::kConnectBusinessHost);
  test_insurer_network(host_link_);
  window.AppendStatus(text::kSucceeded);

  // The terminal: open its line and check that it answers.
  CComPort& port = com_port();
  window.AppendStatus(text::kOpenCom);
  if (port.Open(com_port_, kComBaud) != 1) throw table_error(kComOpenError);
  clock().SleepMs(kBeforeTestMs);
  TestTerminal(port);
  window.AppendStatus(text::kSucceeded);

  // The transaction request. A query ("93") asks after the transaction last sent and keeps the
  // caller's stamp; every other type is stamped with the time of day.
  const bool query = is_type(rec, "93");
  if (!query) time_stamp(rec.stamp);
  message_.BuildRequest(rec, query ? kQueryRequest : kTransactionRequest);
  port.SetTimeout(kAnswerTimeoutS);
  int frame_length = message_.Pack();
  window.AppendStatus(text::kSendRequestToPos);
  // Whatever is already on the line (a second test reply, a stale answer to an earlier call) was
  // not sent in answer to this request and must never be taken for its answer.
  port.DiscardInput();

  // Serve the terminal until its final answer.
  for (;;) {
    journal::Sent();  // on the disk before the request can reach the terminal
    port.Send(message_.GetFrame(), frame_length);
    int kind = ReceiveFromTerminal(window);
    if (kind == -1) {
      frame_length = TimedOut(window, rec);
    } else if (kind == kKindRelay) {
      // A terminal that asks for its bank without end must not hold the call, nor open
      // connections to the bank without end.
      if (relays_++ == kMaxRelays) throw table_error(kTooManyRelays);
      frame_length = Relay(window, rec);
    } else if (kind == kKindFinal) {
      Finish(window, rec, res);
      return;
    } else {
      throw table_error(kUnknownFrameKind);
    }
  }
}

int Transaction::ReceiveFromTerminal(CProcessWindow& window) {
  CComPort& port = com_port();
  Clock& c = clock();
  // One deadline for the terminal's answer, whatever settlement notices come before it: a notice
  // does not give the terminal its time again. Milliseconds, so the terminal has all its time.
  const int64_t deadline_ms = c.MonotonicMs() + static_cast<int64_t>(port.Timeout()) * 1000;
  for (;;) {
    const int64_t left = deadline_ms - c.MonotonicMs();
    if (left <= 0) return -1;
    int32_t received = port.ReceiveFrameWithin(receive_buffer_, left);
    if (received == 0) return -1;
    window.AppendStatus(text::kAnswerFromPos);
    // Nothing of a damaged frame is acted on, nor does any of it reach a host.
    if (!check_byte_matches(receive_buffer_, received)) throw table_error(kLrcMismatch);
    message_.Load(receive_buffer_, received);
    const int kind = message_.header.GetKind();
    if (kind == kKindSettlement) {
      // A settlement notice is shown; the final answer follows without anything being sent.
      window.AppendStatus(text::kSettlementFromPos);
      continue;
    }
    // A late or repeated reply to the terminal test answers nothing that was asked since.
    if (std::memcmp(message_.header.GetCode(), "YESIAMOK", 8) == 0) continue;
    return kind;
  }
}

int Transaction::TimedOut(CProcessWindow& window, TransRecord& rec) {
  window.AppendStatus(text::kTimeout);
  if (timeout_count_++ == kMaxQueries) throw table_error(kComTimeout);
  // Only a sale or a refund can be asked after; any other type ends at its first time-out.
  if (!is_sale_or_refund(rec)) throw table_error(kComTimeout);
  window.AppendStatus(text::kResetTimedOut);
  message_.BuildRequest(rec, kQueryRequest);
  int frame_length = message_.Pack();
  com_port().SetTimeout(kQueryTimeoutS);
  window.AppendStatus(text::kDone);
  window.AppendStatus(text::kSendQuery);
  return frame_length;
}

int Transaction::Relay(CProcessWindow& window, const TransRecord& rec) {
  std::memset(receive_buffer_, 0, sizeof receive_buffer_);
  message_.body.SetLength(message_.BuildHostRequest(rec));
  int host_frame_length = message_.Pack();

  host_link_.SetEndpoint(bank_, kBankHost);
  window.AppendStatus(text::kSendToServer);
  host_link_.Connect();
  host_link_.Send(reinterpret_cast<const char*>(message_.GetFrame()), host_frame_length);
  int32_t answered = host_link_.Receive(reinterpret_cast<char*>(receive_buffer_));
  host_link_.Close();
  window.AppendStatus(text::kAnswerFromServer);

  // The terminal gets the bank host's bytes as the payload under its own header.
  message_.body.SetData(receive_buffer_, answered);
  int frame_length = message_.Pack();
  com_port().SetTimeout(kAnswerTimeoutS);
  window.AppendStatus(text::kServerResultToPos);
  return frame_length;
}

void Transaction::Finish(CProcessWindow& window, const TransRecord& rec, ResultRecord& res) {
  window.AppendStatus(text::kTransComplete);
  if (std::memcmp(message_.header.GetCode(), "CANCEL", 6) == 0) {
    journal::Final(nullptr);
    throw table_error(kCancelled);
  }
  // A final answer too short to hold the response code and text is no result: nothing of it is
  // judged or reported.
  if (message_.body.GetLength() < kFinalAnswerMin) throw table_error(kShortFinalAnswer);
  message_.Unpack();
  message_.body.GetResult(res);
  journal::Final(&res);

  // An approval must be the approval of this request: one for another reference or amount (a
  // stale answer, another caller's) is not reported as ours, and the terminal is told.
  if (is_sale_or_refund(rec) && std::memcmp(res.resp_code, "00", 2) == 0 &&
      !answer_belongs_to(rec, res)) {
    CError foreign = table_error(kForeignAnswer);
    foreign.SetFlag(1);
    throw foreign;
  }
  if (is_sale_or_refund(rec)) Report(window, rec, res);
  if (std::memcmp(res.resp_code, "00", 2) != 0) {
    // The terminal refused: its own code and text end the call. The terminal knows already, so
    // it is not sent a cancel notice.
    CError refused;
    refused.Clear();
    refused.code = dec_to_int(res.resp_code, sizeof res.resp_code);
    std::memcpy(refused.text, res.resp_text, sizeof refused.text);
    throw refused;
  }
  if (is_type(rec, "93")) Report(window, rec, res);
  com_port().Close();
}

void Transaction::Report(CProcessWindow& window, const TransRecord& rec, const ResultRecord& res) {
  window.AppendStatus(text::kReportToBusiness);
  host_link_.SetEndpoint(business_, kBusinessHost);
  try {
    report_result(window, host_link_, res, rec.business_ref, g_failure_text);
  } catch (const CError& error) {
    journal::ReportFailed(error, g_failure_text);
    throw;
  }
  journal::ReportAccepted();
  window.AppendStatus(text::kSucceeded);
}

void Transaction::ReleaseOnFailure(const CError& error) noexcept {
  CComPort& port = com_port();
  if (error.cancel_pos != 0 && port.IsOpen() == 1) {
    // The terminal is told of the failure if the line lets us; a notice that cannot be sent
    // changes nothing about how the call ends.
    try {
      int n = message_.BuildCancel(error.code, error.text);
      port.Send(message_.GetFrame(), n);
    } catch (...) {
    }
  }
  if (port.IsOpen() == 1) port.Close();
  if (host_link_.IsConnected()) host_link_.Close();
}

}  // namespace quendal
