#include "driver/transaction.h"

#include "codec/codec.h"
#include "driver/texts.h"
#include "host/host_exchange.h"
#include "intake/checks.h"
#include "platform/clock.h"
#include "pos/com_port.h"

namespace quendal {

namespace {

// Fields of the request line that the sequence reads itself.
constexpr int kBusinessHostField = 12;
constexpr int32_t kBusinessHost = 1;

constexpr uint32_t kComBaud = 9600;
constexpr uint32_t kBeforeTestMs = 500;

}  // namespace

Transaction::Transaction(const char* request) : request_(request) {}

Transaction::~Transaction() {
  if (com_port().IsOpen() == 1) com_port().Close();
}

void Transaction::Run(CProcessWindow& window, TransRecord& /*rec*/, ResultRecord& /*res*/) {
  host_link_.SetEndpoint(field_start(request_, kBusinessHostField, '|'), kBusinessHost);
  com_port_ = com_port_of(request_);

  // The business host must be reachable and willing before the terminal is engaged.
  window.AppendStatus(text::kConnectBusinessHost);
  test_insurer_network(host_link_);
  window.AppendStatus(text::kSucceeded);

  // The terminal: open its line and check that it answers.
  window.AppendStatus(text::kOpenCom);
  if (com_port().Open(com_port_, kComBaud) != 1) throw table_error(178);
  clock().SleepMs(kBeforeTestMs);
  TestTerminal(com_port());
  window.AppendStatus(text::kSucceeded);

  // The exchange with the terminal is not wired in yet. Until it is, a request that passed its
  // checks must never come back as approved.
  throw table_error(189);
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
