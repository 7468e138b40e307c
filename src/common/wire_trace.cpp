#include "common/wire_trace.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "common/card_mask.h"
#include "common/log_file.h"
#include "platform/clock.h"
#include "quendal/version.h"

namespace quendal {
namespace wire_trace {

namespace {

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

}  // namespace

const char* NameOf(Direction d) {
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

std::string Hex(const uint8_t* bytes, size_t n) {
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

namespace {

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

}  // namespace

void RememberCard(const char* number, size_t n, const char* expiry) {
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

namespace {

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
    // Which call and which library: the trace's milliseconds count from here.
    write_line(std::string("call begins ") + local_date_time() + " quendal " +
               QUENDAL_VERSION_STRING);
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

bool Active() { return g_state.file != nullptr; }

bool ShowsPayloads() { return g_state.payloads; }

void Event(Direction direction, size_t n, const std::string& shown) {
  try {
    if (g_state.file == nullptr) return;
    write_line(std::string(NameOf(direction)) + " " + std::to_string(n) + " bytes" + shown);
  } catch (...) {
  }
}

void HostBytes(Direction direction, const char* bytes, size_t n) {
  try {
    if (g_state.file == nullptr || bytes == nullptr) return;
    std::string line = std::string(NameOf(direction)) + " " + std::to_string(n) + " bytes";
    const bool bank = direction == Direction::kToBank || direction == Direction::kFromBank;
    if (bank && !g_state.payloads) {
      line += " [not shown]";
    } else if (direction == Direction::kToBusiness && !g_state.payloads) {
      std::string shown = masked_report(bytes, n);
      line += ": " + Hex(reinterpret_cast<const uint8_t*>(shown.data()), n);
    } else {
      line += ": " + Hex(reinterpret_cast<const uint8_t*>(bytes), n);
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
