#include "common/wire_trace.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/card_mask.h"
#include "common/log_file.h"
#include "common/result_record.h"
#include "platform/clock.h"

namespace quendal {
namespace wire_trace {

namespace {

constexpr int kHeaderAt = 3;     // the header follows the start byte and the two length bytes
constexpr int kPayloadAt = 26;   // and is 23 bytes long
constexpr int kKindAt = 3 + 19;  // the frame's kind byte
constexpr uint8_t kRelayKind = 0x55;
constexpr uint8_t kFinalKind = 0x00;
constexpr size_t kCardAt = offsetof(ResultRecord, area150);
constexpr size_t kCardLength = sizeof(ResultRecord::area150);
constexpr size_t kExpiryAt = offsetof(ResultRecord, area169);
constexpr size_t kExpiryLength = sizeof(ResultRecord::area169);

// One call's trace. Calls never overlap in a process, so one state serves.
struct State {
  log_file::LogFile* file = nullptr;
  bool payloads = false;
  int64_t start_ms = 0;
  // The card number and expiry of the call's last final answer, as the report carries them: the
  // number trimmed, the expiry as its two pairs around a '/'.
  std::string card;
  std::string expiry_pairs;
};
State g_state;

const char* name_of(Direction d) {
  switch (d) {
    case Direction::kToTerminal:
      return "library->terminal";
    case Direction::kFromTerminal:
      return "terminal->library";
    case Direction::kToBank:
      return "library->bank";
    case Direction::kFromBank:
      return "bank->library";
    case Direction::kToBusiness:
      return "library->business";
    case Direction::kFromBusiness:
      return "business->library";
  }
  return "?";
}

std::string hex_of(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(n * 3);
  for (size_t i = 0; i < n; ++i) {
    if (i > 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

void write_line(const std::string& line) {
  if (g_state.file == nullptr) return;
  long long ms = static_cast<long long>(clock().MonotonicMs() - g_state.start_ms);
  std::string whole = std::to_string(ms) + " " + line + "\n";
  // Any failure to write is the trace's loss alone: the trace ends there for the rest of the call.
  if (!log_file::append(g_state.file, whole.data(), whole.size())) {
    log_file::close(g_state.file);
    g_state.file = nullptr;
  }
}

int bcd(uint8_t byte) { return (byte >> 4) * 10 + (byte & 0x0F); }

void remember_card(const char* number, size_t n, const char* expiry) {
  size_t from = 0;
  while (from < n && (number[from] == ' ' || number[from] == '\0')) ++from;
  size_t to = n;
  while (to > from && (number[to - 1] == ' ' || number[to - 1] == '\0')) --to;
  g_state.card.assign(number + from, to - from);
  g_state.expiry_pairs.clear();
  if (expiry != nullptr) {
    const char pairs[5] = {expiry[0], expiry[1], '/', expiry[2], expiry[3]};
    g_state.expiry_pairs.assign(pairs, sizeof pairs);
  }
}

// The report with the card number of the call's final answer masked and the expiry after it
// removed, as mask_card_data leaves a result record.
std::string masked_report(const char* bytes, size_t n) {
  std::string shown(bytes, n);
  const std::string& card = g_state.card;
  if (card.empty()) return shown;
  for (size_t at = shown.find(card + '|'); at != std::string::npos;
       at = shown.find(card + '|', at + card.size())) {
    mask_card_number(&shown[at], card.size());
    const size_t expiry_at = at + card.size() + 1;
    const std::string& pairs = g_state.expiry_pairs;
    if (!pairs.empty() && shown.compare(expiry_at, pairs.size(), pairs) == 0) {
      remove_expiry(&shown[expiry_at], 2);
      remove_expiry(&shown[expiry_at + 3], 2);
    }
  }
  return shown;
}

}  // namespace

void BeginCall() {
  // Nothing of the trace may reach the call, not even an allocation failure.
  try {
    EndCall();
    g_state.card.clear();
    g_state.expiry_pairs.clear();
    const char* path = std::getenv("QUENDAL_TRACE");
    if (path == nullptr || *path == '\0') return;
    const char* payloads = std::getenv("QUENDAL_TRACE_PAYLOADS");
    g_state.payloads = payloads != nullptr && std::strcmp(payloads, "1") == 0;
    g_state.start_ms = clock().MonotonicMs();
    g_state.file = log_file::open_append(path);
    write_line("call begins");
  } catch (...) {
  }
}

void EndCall() {
  if (g_state.file == nullptr) return;
  try {
    write_line("call ends");
  } catch (...) {
  }
  log_file::close(g_state.file);
  g_state.file = nullptr;
}

void TerminalFrame(Direction direction, const uint8_t* frame, size_t n) {
  try {
    if (g_state.file == nullptr || frame == nullptr) return;
    std::string line = std::string(name_of(direction)) + " " + std::to_string(n) + " bytes";
    if (n < static_cast<size_t>(kPayloadAt) + 2) {
      write_line(line + ": " + hex_of(frame, n));
      return;
    }
    const size_t payload = n - kPayloadAt - 2;
    const bool hidden = frame[kKindAt] == kRelayKind && !g_state.payloads && payload > 0;
    const bool final_answer =
        direction == Direction::kFromTerminal && frame[kKindAt] == kFinalKind && payload > kCardAt;
    if (final_answer && !g_state.payloads) {
      // The final answer carries the card number and its expiry: shown masked, as the card data
      // of the report to the business host that follows it.
      std::string shown(reinterpret_cast<const char*>(frame), n);
      char* result = &shown[kPayloadAt];
      const size_t card_length = std::min(kCardLength, payload - kCardAt);
      remember_card(result + kCardAt, card_length,
                    payload >= kExpiryAt + kExpiryLength ? result + kExpiryAt : nullptr);
      mask_card_number(result + kCardAt, card_length);
      if (payload > kExpiryAt) {
        remove_expiry(result + kExpiryAt, std::min(kExpiryLength, payload - kExpiryAt));
      }
      line += ": " + hex_of(reinterpret_cast<const uint8_t*>(shown.data()), n);
    } else if (hidden) {
      // Start, length and header, then the trailer; the relayed bank traffic by its length.
      line += ": " + hex_of(frame, kPayloadAt) + " [" + std::to_string(payload) +
              " payload bytes not shown] " + hex_of(frame + n - 2, 2);
    } else {
      line += ": " + hex_of(frame, n);
    }
    char code[9] = {};
    for (int i = 0; i < 8; ++i) {
      uint8_t c = frame[kHeaderAt + 3 + i];
      code[i] = (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '.';
    }
    uint8_t lrc = 0;
    for (size_t i = 1; i + 1 < n; ++i) lrc ^= frame[i];
    char decoded[128];
    std::snprintf(decoded, sizeof decoded, " | length %d code %s kind 0x%02X payload %zu check %s",
                  bcd(frame[1]) * 100 + bcd(frame[2]), code, frame[kKindAt], payload,
                  lrc == frame[n - 1] ? "ok" : "BAD");
    write_line(line + decoded);
  } catch (...) {
  }
}

void HostBytes(Direction direction, const char* bytes, size_t n) {
  try {
    if (g_state.file == nullptr || bytes == nullptr) return;
    std::string line = std::string(name_of(direction)) + " " + std::to_string(n) + " bytes";
    const bool bank = direction == Direction::kToBank || direction == Direction::kFromBank;
    if (bank && !g_state.payloads) {
      line += " [not shown]";
    } else if (direction == Direction::kToBusiness && !g_state.payloads) {
      std::string shown = masked_report(bytes, n);
      line += ": " + hex_of(reinterpret_cast<const uint8_t*>(shown.data()), n);
    } else {
      line += ": " + hex_of(reinterpret_cast<const uint8_t*>(bytes), n);
    }
    write_line(line);
  } catch (...) {
  }
}

void Note(const char* text) {
  try {
    if (g_state.file == nullptr || text == nullptr) return;
    write_line(std::string("note ") + text);
  } catch (...) {
  }
}

void Status(const char* gbk, size_t n) {
  try {
    if (g_state.file == nullptr || gbk == nullptr) return;
    std::string text = gbk_to_utf8(gbk, n);
    // One line per event: a text's own line breaks are shown as \n.
    std::string shown;
    for (char c : text) {
      if (c == '\n') {
        shown += "\\n";
      } else {
        shown += c;
      }
    }
    write_line("status \"" + shown + "\"");
  } catch (...) {
  }
}

}  // namespace wire_trace
}  // namespace quendal
