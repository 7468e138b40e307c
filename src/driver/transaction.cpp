#include "driver/transaction.h"

#include "codec/codec.h"
#include "driver/texts.h"
#include "host/host_exchange.h"
#include "intake/checks.h"

namespace quendal {

Transaction::Transaction(const char* request) : request_(request) {}

namespace {

// Fields of the request line that the sequence reads itself.
constexpr int kBusinessHostField = 12;
constexpr int32_t kBusinessHost = 1;

}  // namespace

void Transaction::Run(CProcessWindow& window, TransRecord& /*rec*/, ResultRecord& /*res*/) {
  host_link_.SetEndpoint(field_start(request_, kBusinessHostField, '|'), kBusinessHost);
  com_port_ = com_port_of(request_);

  // The business host must be reachable and willing before the terminal is engaged.
  window.AppendStatus(text::kConnectBusinessHost);
  test_insurer_network(host_link_);
  window.AppendStatus(text::kSucceeded);

  // The terminal steps are not wired in yet. Until they are, a request that passed its checks
  // must never come back as approved.
  throw table_error(189);
}

void Transaction::ReleaseOnFailure(const CError& /*error*/) noexcept {
  if (host_link_.IsConnected()) host_link_.Close();
}

}  // namespace quendal
