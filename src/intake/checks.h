// The checks a request passes before the library touches a host or the terminal. Each throws the
// table's CError for its code and otherwise changes nothing.
#pragma once

#include <cstddef>

#include "intake/trans_record.h"

namespace quendal {

void check_trans_type(const TransRecord& rec);  // kTransTypeError
void check_agent_code(const TransRecord& rec);  // kAgentCodeError
void check_record(const TransRecord& rec);      // the two above, in that order
void check_amount(const TransRecord& rec);      // kAmountError
// `text` is an address field of `length` bytes.
void check_ip(const char* text, size_t length);  // kEndpointError
// `at` is the first character of an address field of the request line (field 9 or 12); the port
// and time-out are the two fields after it.
void check_endpoint(const char* at);  // kEndpointError

// The whole validation, in its order: type, agency company number, the amount for types "30" and
// "40", the bank host endpoint, then the business host endpoint.
void validate_request(const char* line, const TransRecord& rec);

// The COM port number in field 8, read with the leading-integer parse; checks nothing.
int com_port_of(const char* line);

}  // namespace quendal
