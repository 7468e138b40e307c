// The terminal's frames in the wire trace, decoded through the frame layout of this folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/wire_trace.h"

namespace quendal {

// Writes one frame, whole as it crossed the line, to the call's trace (if one is written): its
// bytes in hex (a relay's payload by length only, the final answer's card data masked, unless the
// trace shows payloads), then its decoded length, code, kind and whether the check byte matched.
void trace_terminal_frame(wire_trace::Direction direction, const uint8_t* frame, size_t n);

}  // namespace quendal
