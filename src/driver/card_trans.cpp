// The library's one exported entry point: one call is one whole transaction.
#include "quendal/card_trans.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <new>

#include "common/error.h"
#include "common/result_record.h"
#include "common/texts.h"
#include "common/wire_trace.h"
#include "driver/failure_text.h"
#include "driver/transaction.h"
#include "intake/checks.h"
#include "intake/trans_record.h"
#include "journal/journal.h"
#include "platform/clock.h"
#include "platform/fork.h"
#include "pos/com_port.h"
#include "ui/process_window.h"

namespace quendal {

char g_failure_text[kFailureTextSize];

namespace {

constexpr int kResultSize = 555;

// Set for the whole of a call. The port, the host link, the failure text and the clock are the
// process's one set, so a second call while one runs (from another thread, or re-entered from a
// message the progress window's pump dispatched) is turned away before it touches any of them. A
// flag and not a mutex: a re-entered call on the running call's own thread must not wait for it.
std::atomic<bool> g_call_running{false};

// A child forked while a call runs has no call running, so it starts with the flag clear (else
// it could never call), and lets go of the line it inherited without touching it: the parent's
// call goes on over that line, and the child's own call finds it held like any other caller.
void after_fork_in_child() {
  g_call_running.store(false);
  com_port().Abandon();
}
const bool g_fork_handled = (on_fork_child(after_fork_in_child), true);

// The refusal of an overlapping call: "操作取消", then spaces to the end of the result.
void refuse_overlapping_call(char* result) {
  const CError cancelled = table_error(kCancelled);
  std::memset(result, ' ', kResultSize);
  std::memcpy(result, cancelled.text, cancelled.TextLength());
}
constexpr uint32_t kSuccessPauseMs = 3000;
constexpr uint32_t kFailurePauseMs = 5000;

void zeros_to_spaces(char* result) {
  for (int i = 0; i < kResultSize; ++i) {
    if (result[i] == '\0') result[i] = ' ';
  }
}

void close_window(std::unique_ptr<CProcessWindow>& window, uint32_t pause_ms) {
  clock().SleepMs(pause_ms);
  if (window) window->Destroy();
  window.reset();
}

// The failure path: tell the terminal where the error asks for it, show the text and hand it to
// the caller behind whatever the business host's refusal left in the failure text.
int fail_call(const CError& error, Transaction& transaction, CProcessWindow* window,
              ResultRecord& res, char* result) {
  journal::Failure(error);
  if (window != nullptr) window->AppendStatus(text::kResultFailed);
  transaction.ReleaseOnFailure(error);
  std::memcpy(res.resp_text, error.text, sizeof res.resp_text);

  // The error text fills up to 40 bytes and need not be terminated.
  char shown[sizeof res.resp_text + 1] = {};
  std::memcpy(shown, res.resp_text, sizeof res.resp_text);
  if (window != nullptr) {
    window->AppendStatus(text::kBankInfoLine);
    window->AppendStatus(shown);
  }
  PumpMessages();

  size_t held = strnlen(g_failure_text, kFailureTextSize - 1);
  size_t add = std::strlen(shown);
  if (add > kFailureTextSize - 1 - held) add = kFailureTextSize - 1 - held;
  std::memcpy(g_failure_text + held, shown, add);
  g_failure_text[held + add] = '\0';

  std::memset(result, 0, kResultSize);
  std::memcpy(result, g_failure_text, std::strlen(g_failure_text));
  zeros_to_spaces(result);
  return 1;
}

int run_call(const char* request, char* result) {
  Transaction transaction;
  std::unique_ptr<CProcessWindow> window(new CProcessWindow());
  CheckedRequest req;
  ResultRecord res;
  std::memset(&res, 0, sizeof res);
  std::memset(g_failure_text, 0, sizeof g_failure_text);

  try {
    window->Create();
    window->Show();
    PumpMessages();
    window->AppendStatus(text::kBanner);
    read_request(request, req);
    transaction.Run(*window, req, res);

    std::memcpy(result, res.resp_text, sizeof res.resp_text);
    zeros_to_spaces(result);
    window->AppendStatus(text::kTransSucceeded);
    close_window(window, kSuccessPauseMs);
    return 0;
  } catch (const CError& error) {
    int rc = fail_call(error, transaction, window.get(), res, result);
    close_window(window, kFailurePauseMs);
    return rc;
  } catch (...) {
    // Nothing but a CError is expected here (an allocation failure is the one candidate). It must
    // not cross into the caller's C code: end the call as a failure without a text of its own.
    CError unknown;
    int rc = fail_call(unknown, transaction, window.get(), res, result);
    close_window(window, kFailurePauseMs);
    return rc;
  }
}

}  // namespace
}  // namespace quendal

extern "C" QUENDAL_API int QUENDAL_CALL card_trans(const char* request, char* result) {
  if (result == nullptr) return 1;
  if (request == nullptr) request = "";
  if (quendal::g_call_running.exchange(true)) {
    quendal::refuse_overlapping_call(result);
    return 1;
  }
  int rc = 1;
  quendal::journal::BeginCall(request);
  quendal::wire_trace::BeginCall();
  try {
    rc = quendal::run_call(request, result);
  } catch (...) {
    // Even the failure path could not run (memory exhausted): still leave a defined result.
    std::memset(result, ' ', 555);
    rc = 1;
  }
  quendal::journal::EndCall(rc, result);
  quendal::wire_trace::EndCall();
  quendal::g_call_running.store(false);
  return rc;
}
