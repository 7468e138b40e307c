#include "intake/checks.h"

#include <cstring>

#include "codec/codec.h"
#include "common/error.h"

namespace quendal {

namespace {

bool is_type(const TransRecord& rec, const char* code) {
  return std::memcmp(rec.trans_type, code, 2) == 0;
}

// The request line's fields that the checks read beyond the record's.
constexpr int kAmountField = 3;
constexpr int kComPortField = 8;
constexpr int kBankHostField = 9;
constexpr int kBusinessHostField = 12;

[[noreturn]] void fail(ErrorCode code) { throw table_error(code); }

}  // namespace

void check_trans_type(const TransRecord& rec) {
  static const char* const kAccepted[] = {"30", "40", "92", "93", "80", "91"};
  for (const char* code : kAccepted) {
    if (is_type(rec, code)) return;
  }
  fail(kTransTypeError);
}

void check_agent_code(const TransRecord& rec) {
  if (std::memcmp(rec.agent_code, "B0110001", 8) != 0) fail(kAgentCodeError);
}

void check_record(const TransRecord& rec) {
  check_trans_type(rec);
  check_agent_code(rec);
}

void check_amount(const TransRecord& rec) {
  for (char c : rec.amount) {
    if (c < '0' || c > '9') fail(kAmountError);
  }
  if (!(amount_value(rec.amount, sizeof rec.amount) > 0)) fail(kAmountError);
}

void check_ip(const char* text, size_t length) {
  if (length > 15) fail(kEndpointError);
  char address[16] = {};
  std::memcpy(address, text, length);
  int points = 0;
  for (size_t i = 0; i < length; ++i) {
    if (address[i] == '.') {
      ++points;
    } else if (address[i] < '0' || address[i] > '9') {
      fail(kEndpointError);
    }
  }
  if (points != 3) fail(kEndpointError);
  for (int part = 0; part < 4; ++part) {
    int32_t value = leading_int(field_start(address, part, '.'), field_length(address, part, '.'));
    if (value > 254) fail(kEndpointError);
    if ((part == 0 || part == 3) && value == 0) fail(kEndpointError);
  }
}

Endpoint endpoint_at(const char* at) {
  Endpoint e;
  size_t length = field_length(at, 0, '|');
  if (length > static_cast<size_t>(Endpoint::kMaxAddress)) length = Endpoint::kMaxAddress;
  std::memcpy(e.address, at, length);
  e.port = leading_int(field_start(at, 1, '|'), field_length(at, 1, '|'));
  e.timeout_s = leading_int(field_start(at, 2, '|'), field_length(at, 2, '|'));
  return e;
}

Endpoint check_endpoint(const char* at) {
  check_ip(at, field_length(at, 0, '|'));
  Endpoint e = endpoint_at(at);
  if (e.port < 1000 || e.port > 10000) fail(kEndpointError);
  if (e.timeout_s < 1 || e.timeout_s > 300) fail(kEndpointError);
  return e;
}

void read_request(const char* line, CheckedRequest& req) {
  std::memset(&req.record, 0, sizeof req.record);
  build_trans_record(line, req.record);
  const TransRecord& rec = req.record;
  check_record(rec);
  if (is_type(rec, "30") || is_type(rec, "40")) {
    // An amount wider than its 12-digit area would lose digits on its way into the record: refuse
    // it rather than charge a different amount.
    if (field_length(line, kAmountField, '|') > sizeof rec.amount) fail(kAmountError);
    check_amount(rec);
  }
  req.bank = check_endpoint(field_start(line, kBankHostField, '|'));
  req.business = check_endpoint(field_start(line, kBusinessHostField, '|'));
  req.com_port = com_port_of(line);
}

std::string raw_field(const char* line, int n, size_t max) {
  size_t length = field_length(line, n, '|');
  return std::string(field_start(line, n, '|'), length < max ? length : max);
}

int com_port_of(const char* line) {
  return leading_int(field_start(line, kComPortField, '|'), field_length(line, kComPortField, '|'));
}

}  // namespace quendal
