// The checks a request passes before the library touches a host or the terminal. Each throws the
// table's CError for its code and otherwise changes nothing.
#pragma once

#include <cstddef>
#include <string>

#include "common/endpoint.h"
#include "intake/trans_record.h"

namespace quendal {

void check_trans_type(const TransRecord& rec);  // kTransTypeError
void check_agent_code(const TransRecord& rec);  // kAgentCodeError
void check_record(const TransRecord& rec);      // the two above, in that order
void check_amount(const TransRecord& rec);      // kAmountError
// `text` is an address field of `length` bytes.
void check_ip(const char* text, size_t length);  // kEndpointError
// `at` is the first character of an address field of the request line (field 9 or 12); the port
// and time-out are the two fields after it. The endpoint as they read: the address's first 19
// characters, the port and the time-out as leading integers. Checks nothing.
Endpoint endpoint_at(const char* at);
// The same, checked: kEndpointError unless the address, port and time-out are in their ranges.
Endpoint check_endpoint(const char* at);

// A request line as the checks passed it. Nothing after them reads the line again.
struct CheckedRequest {
  TransRecord record;  // fields 0 to 6
  int com_port = 0;    // field 8, the terminal's COM port number (its range is the port's to check)
  Endpoint bank;       // fields 9 to 11
  Endpoint business;   // fields 12 to 14
};

// Reads the whole request line into `req` and checks it, in this order: type, agency company
// number, the amount for types "30" and "40", the bank host endpoint, then the business host
// endpoint. Throws the first check's error.
void read_request(const char* line, CheckedRequest& req);

// The COM port number in field 8, read with the leading-integer parse; checks nothing.
int com_port_of(const char* line);

// Field `n` of the request line as the caller wrote it, cut to `max` bytes; checks nothing. For
// what records a call before the checks have judged its line (the journal's first record, so
// that a refused call is on record too).
std::string raw_field(const char* line, int n, size_t max);

}  // namespace quendal
