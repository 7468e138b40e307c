// The two exchanges with the insurer's business host, each one connection carrying one message and
// one answer: the network test before the terminal is engaged, and the result report after the
// terminal's final answer. Each works on its own copy of the link and closes it on every path.
#pragma once

#include "common/failure_text.h"
#include "common/result_record.h"
#include "host/host_link.h"
#include "ui/process_window.h"

namespace quendal {

// Sends 000204. Returns when the host accepts; a refusal throws 203 with the host's own text (at
// most 40 bytes), or with the table's text when the host gave none; an answer that does not begin
// with four digits is no answer of this protocol and throws 201; the link's errors 199 to 201 pass
// through.
void test_insurer_network(CHostLink link);

// Sends the result report built from `res` and the 64-byte business reference at `business_ref`.
// Returns when the host accepts. A refusal shows the host's text in `window`, leaves it with
// "....." and the bank-info label in `failure_text` (kFailureTextSize bytes), and throws the bank's
// result: the value of `resp_code` with `resp_text`, asking for the terminal's CANCEL notice. An
// answer that does not begin with four digits throws 201; the link's errors 199 to 201 pass
// through. Control bytes of the host's text reach neither the window nor the failure text.
void report_result(CProcessWindow& window, CHostLink link, const ResultRecord& res,
                   const char* business_ref, char* failure_text);

}  // namespace quendal
