// The checks a request passes before the library touches a host or the terminal. Each throws the
// table's CError for its code and otherwise changes nothing.
#pragma once

#include <cstddef>

#include "intake/trans_record.h"

namespace quendal {

void check_trans_type(const TransRecord& rec);  // 187
void check_agent_code(const TransRecord& rec);  // 191
void check_record(const TransRecord& rec);      // 187, then 191
void check_amount(const TransRecord& rec);      // 190
// `text` is an address field of `length` bytes.
void check_ip(const char* text, size_t length);  // 188
// `at` is the first character of an address field of the request line (field 9 or 12); the port
// and time-out are the two fields after it.
void check_endpoint(const char* at);  // 188

// The whole validation, in its order: type (187), agency company number (191), the amount for
// types "30" and "40" (190), the bank host endpoint, then the business host endpoint (188).
void validate_request(const char* line, const TransRecord& rec);

// The COM port number in field 8, read with the leading-integer parse; checks nothing.
int com_port_of(const char* line);

}  // namespace quendal
