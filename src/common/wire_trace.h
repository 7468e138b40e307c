// The wire trace for support desks, off by default. When QUENDAL_TRACE names a file, each call
// appends one line per event to it: the milliseconds since the call began (monotonic clock), the
// direction, the byte count and the bytes in hex (terminal frames with their header decoded and
// whether the check byte matched), and every status text of the progress window in UTF-8.
//
// Relay payloads and the bank host's traffic may carry card data: they are shown by length only,
// unless QUENDAL_TRACE_PAYLOADS=1. So may the terminal's final answer and the report to the
// business host: their card number and expiry are masked (card_mask.h) unless that is set. A
// trace that cannot be written never changes the call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quendal {
namespace wire_trace {

enum class Direction {
  kToTerminal,
  kFromTerminal,
  kToBank,
  kFromBank,
  kToBusiness,
  kFromBusiness,
};

// Starts the trace of one call (reads the environment; times count from here) and ends it. Events
// outside a call are not traced.
void BeginCall();
void EndCall();

// A frame that went to or came from the terminal, whole as it crossed the line.
void TerminalFrame(Direction direction, const uint8_t* frame, size_t n);
// Bytes to or from a host.
void HostBytes(Direction direction, const char* bytes, size_t n);
// A status text of the progress window, as GBK bytes.
void Status(const char* gbk, size_t n);

// A note for support about something the bytes do not show (ASCII text).
void Note(const char* text);

// GBK bytes as UTF-8; a byte that is no GBK becomes '?'. One implementation per platform.
std::string gbk_to_utf8(const char* gbk, size_t n);

}  // namespace wire_trace
}  // namespace quendal
