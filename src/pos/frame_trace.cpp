#include "pos/frame_trace.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <string>

#include "codec/codec.h"
#include "common/card_mask.h"
#include "common/result_record.h"
#include "pos/message.h"

namespace quendal {

namespace {

constexpr size_t kCardAt = offsetof(ResultRecord, area150);
constexpr size_t kCardLength = sizeof(ResultRecord::area150);
constexpr size_t kExpiryAt = offsetof(ResultRecord, area169);
constexpr size_t kExpiryLength = sizeof(ResultRecord::area169);

// The final answer as the trace shows it: its card number masked and its expiry removed, both
// remembered for the report to the business host that carries them again.
std::string masked_final_answer(const uint8_t* frame, size_t n) {
  std::string shown(reinterpret_cast<const char*>(frame), n);
  const size_t payload = n - kPayloadOffset - 2;
  char* result = &shown[kPayloadOffset];
  const size_t card_length = std::min(kCardLength, payload - kCardAt);
  wire_trace::RememberCard(result + kCardAt, card_length,
                           payload >= kExpiryAt + kExpiryLength ? result + kExpiryAt : nullptr);
  mask_card_number(result + kCardAt, card_length);
  if (payload > kExpiryAt) {
    remove_expiry(result + kExpiryAt, std::min(kExpiryLength, payload - kExpiryAt));
  }
  return shown;
}

}  // namespace

void trace_terminal_frame(wire_trace::Direction direction, const uint8_t* frame, size_t n) {
  try {
    if (!wire_trace::Active() || frame == nullptr) return;
    if (n < static_cast<size_t>(kPayloadOffset) + 2) {
      wire_trace::Event(direction, n, ": " + wire_trace::Hex(frame, n));
      return;
    }
    // The header read as the exchange reads it, from a copy (the header reads through a cursor).
    uint8_t header_bytes[kHeaderLength];
    std::copy(frame + 3, frame + 3 + kHeaderLength, header_bytes);
    CMessageHeader header;
    header.SetCursor(header_bytes);
    header.Unpack();

    const size_t payload = n - kPayloadOffset - 2;
    const bool payloads = wire_trace::ShowsPayloads();
    std::string shown = ": ";
    if (!payloads && direction == wire_trace::Direction::kFromTerminal &&
        header.GetKind() == kKindFinal && payload > kCardAt) {
      const std::string masked = masked_final_answer(frame, n);
      shown += wire_trace::Hex(reinterpret_cast<const uint8_t*>(masked.data()), n);
    } else if (!payloads && header.GetKind() == kKindRelay && payload > 0) {
      // Start, length and header, then the trailer; the relayed bank traffic by its length.
      shown += wire_trace::Hex(frame, kPayloadOffset) + " [" + std::to_string(payload) +
               " payload bytes not shown] " + wire_trace::Hex(frame + n - 2, 2);
    } else {
      shown += wire_trace::Hex(frame, n);
    }
    char code[9] = {};
    for (int i = 0; i < 8; ++i) {
      const char c = header.GetCode()[i];
      code[i] = (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    char decoded[128];
    std::snprintf(decoded, sizeof decoded, " | length %d code %s kind 0x%02X payload %zu check %s",
                  static_cast<int>(bcd_to_int(frame + 1, 4)), code, header.GetKind(), payload,
                  check_byte_matches(frame, static_cast<int>(n)) ? "ok" : "BAD");
    wire_trace::Event(direction, n, shown + decoded);
  } catch (...) {
  }
}

}  // namespace quendal
