#include "intake/checks.h"

#include <cstring>

#include "codec/codec.h"
#include "common/error.h"

namespace quendal {

namespace {

bool is_type(const TransRecord& rec, const char* code) {
  return std::memcmp(rec.trans_type, code, 2) == 0;
}

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

void check_endpoint(const char* at) {
  check_ip(at, field_length(at, 0, '|'));
  int32_t port = leading_int(field_start(at, 1, '|'), field_length(at, 1, '|'));
  if (port < 1000 || port > 10000) fail(kEndpointError);
  int32_t timeout = leading_int(field_start(at, 2, '|'), field_length(at, 2, '|'));
  if (timeout < 1 || timeout > 300) fail(kEndpointError);
}

void validate_request(const char* line, const TransRecord& rec) {
  check_record(rec);
  if (is_type(rec, "30") || is_type(rec, "40")) {
    // An amount wider than its 12-digit area would lose digits on its way into the record: refuse
    // it rather than charge a different amount.
    if (field_length(line, 3, '|') > sizeof rec.amount) fail(kAmountError);
    check_amount(rec);
  }
  check_endpoint(field_start(line, 9, '|'));
  check_endpoint(field_start(line, 12, '|'));
}

int com_port_of(const char* line) {
  return leading_int(field_start(line, 8, '|'), field_length(line, 8, '|'));
}

}  // namespace quendal
