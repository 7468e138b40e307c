#include "driver/transaction.h"

namespace quendal {

Transaction::Transaction(const char* request) : request_(request) {}

void Transaction::Run(CProcessWindow& /*window*/, TransRecord& /*rec*/, ResultRecord& /*res*/) {
  // The host and terminal links are not wired in yet. Until they are, a request that passed its
  // checks must never come back as approved.
  throw table_error(189);
}

void Transaction::ReleaseOnFailure(const CError& /*error*/) noexcept {}

}  // namespace quendal
