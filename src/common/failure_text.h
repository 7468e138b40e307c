#pragma once

namespace quendal {

// The text that heads the caller's result on failure: empty unless the business host refused the
// result report, in which case its words stand there before the error text.
constexpr int kFailureTextSize = 512;

}  // namespace quendal
