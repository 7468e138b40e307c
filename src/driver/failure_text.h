#pragma once

#include "common/failure_text.h"

namespace quendal {

// The library's one failure text, cleared by every call. Only the driver names it; the business
// host's refusal reaches it through the buffer handed to report_result.
extern char g_failure_text[kFailureTextSize];

}  // namespace quendal
