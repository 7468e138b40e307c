#pragma once

namespace quendal {

// The text that heads the caller's result on failure: empty unless the business host refused the
// result report, in which case its words stand here before the error text. Cleared by every call.
constexpr int kFailureTextSize = 512;
extern char g_failure_text[kFailureTextSize];

}  // namespace quendal
