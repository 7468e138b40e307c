#include "journal/journal.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/card_mask.h"
#include "common/wire_trace.h"
#include "intake/checks.h"
#include "intake/trans_record.h"
#include "journal/journal_file.h"
#include "platform/clock.h"
#include "quendal/version.h"

namespace quendal {
namespace journal {

namespace {

constexpr size_t kFieldMax = 64;  // the longest request field the journal keeps (business ref)

// One call's journal. Calls never overlap in a process, so one state serves.
struct State {
  JournalFile file;
  std::string call;
  Facts facts;
  int error_code = 0;
};
State g_state;
bool g_said = false;  // the one diagnostic of a journal that cannot be written

std::string utf8(const char* gbk, size_t n) { return wire_trace::gbk_to_utf8(gbk, n); }

// A fixed-width field without the blanks and zero bytes around it, in UTF-8.
std::string trimmed(const char* bytes, size_t n) {
  size_t from = 0;
  while (from < n && (bytes[from] == ' ' || bytes[from] == '\0')) ++from;
  while (n > from && (bytes[n - 1] == ' ' || bytes[n - 1] == '\0')) --n;
  return utf8(bytes + from, n - from);
}

// Request field `n`, at most `max` bytes (its width in the transaction record), in UTF-8.
std::string request_field(const char* request, int n, size_t max = kFieldMax) {
  const std::string field = raw_field(request, n, max);
  return utf8(field.data(), field.size());
}

std::string hex(const unsigned char* bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

// Unique across processes and restarts: the UTC time in ms, the process id and random bytes.
std::string new_call_id() {
  char head[40];
  std::snprintf(head, sizeof head, "%011llx-%lx-", utc_ms(), process_id());
  unsigned char noise[4];
  random_bytes(noise, sizeof noise);
  return head + hex(noise, sizeof noise);
}

void give_up() {
  g_state.file.Close();
  if (!g_said) {
    g_said = true;
    diagnostic(
        "quendal: the transaction journal (QUENDAL_JOURNAL) cannot be written; calls go on "
        "without it");
  }
}

// Writes one record, `fields` being the members after "record" and "call" (each starting with
// a comma). A record that cannot be written ends the journal of this call.
void write_record(const char* kind, const std::string& fields) {
  if (!g_state.file.IsOpen()) return;
  std::string line = "{\"record\":\"" + std::string(kind) + "\",\"call\":\"" + g_state.call + "\"" +
                     fields + "}\n";
  if (!g_state.file.Append(line)) give_up();
}

std::string member(const char* name, const std::string& text) {
  return std::string(",\"") + name + "\":" + quote(text);
}
std::string member(const char* name, long long number) {
  return std::string(",\"") + name + "\":" + std::to_string(number);
}

std::string endpoint(const char* request, int first) {
  return std::string(",") + "\"host\":" + quote(request_field(request, first)) +
         ",\"port\":" + quote(request_field(request, first + 1)) +
         ",\"timeout\":" + quote(request_field(request, first + 2));
}

}  // namespace

const char* outcome(const Facts& f) {
  if (!f.ended) return f.sent ? "unknown" : "not-started";
  if (f.rc == 0) return "approved";
  if (!f.sent) return "not-started";
  if (f.final == FinalKind::kCancel) return "cancelled";
  // A refusal counts once the business host has taken it, where it is told of one at all.
  if (f.final == FinalKind::kRefused && (!f.reported_type || f.report == ReportKind::kAccepted)) {
    return "declined";
  }
  return "unknown";
}

std::string quote(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

void BeginCall(const char* request) {
  try {
    g_state.file.Close();
    g_state.facts = Facts();
    g_state.error_code = 0;
    const char* path = std::getenv("QUENDAL_JOURNAL");
    if (path == nullptr || *path == '\0') return;
    if (!g_state.file.Open(path)) {
      give_up();
      return;
    }
    g_state.call = new_call_id();
    const std::string operation = raw_field(request, 0, std::strlen(request));
    const char* type = trans_type_of(operation.data(), operation.size());
    g_state.facts.reported_type =
        std::strncmp(type, "30", 2) == 0 || std::strncmp(type, "40", 2) == 0;
    std::string fields =
        member("time", local_date_time()) + member("version", QUENDAL_VERSION_STRING) +
        member("pid", static_cast<long long>(process_id())) + member("type", std::string(type, 2)) +
        member("reference", request_field(request, 1, 15)) +
        member("agency", request_field(request, 2)) + member("amount", request_field(request, 3)) +
        member("value", request_field(request, 5)) +
        member("business_ref", request_field(request, 6)) +
        member("com", static_cast<long long>(com_port_of(request))) + ",\"bank\":{" +
        endpoint(request, 9).substr(1) + "}" + ",\"business\":{" + endpoint(request, 12).substr(1) +
        "}";
    write_record("begin", fields);
  } catch (...) {
    give_up();
  }
}

void Sent() {
  try {
    if (!g_state.file.IsOpen() || g_state.facts.sent) return;
    g_state.facts.sent = true;
    write_record("sent", member("time", local_date_time()));
  } catch (...) {
    give_up();
  }
}

void Final(const ResultRecord* res) {
  try {
    if (!g_state.file.IsOpen()) return;
    if (res == nullptr) {
      g_state.facts.final = FinalKind::kCancel;
      write_record("final", member("time", local_date_time()) + ",\"cancel\":true");
      return;
    }
    const bool approved = std::memcmp(res->resp_code, "00", 2) == 0;
    g_state.facts.final = approved ? FinalKind::kApproved : FinalKind::kRefused;
    char card[sizeof res->area150];
    std::memcpy(card, res->area150, sizeof card);
    mask_card_number(card, sizeof card);
    // The expiry (area169) is never written.
    std::string fields = member("time", local_date_time()) +
                         member("type", trimmed(res->trans_type, 2)) +
                         member("response_code", trimmed(res->resp_code, 2)) +
                         member("response_text", trimmed(res->resp_text, sizeof res->resp_text)) +
                         member("reference", trimmed(res->ref15, sizeof res->ref15)) +
                         member("amount", trimmed(res->amount, sizeof res->amount)) +
                         member("text2", trimmed(res->text2, sizeof res->text2)) +
                         member("card", trimmed(card, sizeof card)) +
                         member("date_time", trimmed(res->date_time, sizeof res->date_time)) +
                         member("stamp", trimmed(res->stamp, sizeof res->stamp)) +
                         member("area87", trimmed(res->area87, sizeof res->area87)) +
                         member("area142", trimmed(res->area142, sizeof res->area142)) +
                         member("area173", trimmed(res->area173, sizeof res->area173)) +
                         member("area193", trimmed(res->area193, sizeof res->area193)) +
                         member("area199", trimmed(res->area199, sizeof res->area199)) +
                         member("area211", trimmed(res->area211, sizeof res->area211)) +
                         member("area217", trimmed(res->area217, sizeof res->area217));
    write_record("final", fields);
  } catch (...) {
    give_up();
  }
}

void ReportAccepted() {
  try {
    if (!g_state.file.IsOpen()) return;
    g_state.facts.report = ReportKind::kAccepted;
    write_record("report", member("time", local_date_time()) + member("result", "accepted"));
  } catch (...) {
    give_up();
  }
}

void ReportFailed(const CError& error, const char* failure_text) {
  try {
    if (!g_state.file.IsOpen()) return;
    // A refusal leaves the host's words in the failure text; a socket failure leaves none.
    const bool refused = failure_text != nullptr && failure_text[0] != '\0';
    g_state.facts.report = refused ? ReportKind::kRefused : ReportKind::kFailed;
    std::string fields = member("time", local_date_time());
    if (refused) {
      fields += member("result", "refused") +
                member("text", utf8(failure_text, std::strlen(failure_text)));
    } else {
      fields += member("result", "failed") + member("code", error.code);
    }
    write_record("report", fields);
  } catch (...) {
    give_up();
  }
}

void Failure(const CError& error) { g_state.error_code = error.code; }

void EndCall(int rc, const char* result) {
  try {
    if (!g_state.file.IsOpen()) return;
    g_state.facts.ended = true;
    g_state.facts.rc = rc;
    // The caller's text: the result up to the spaces that pad it (the terminal's 40-byte text
    // when approved).
    size_t n = rc == 0 ? sizeof ResultRecord::resp_text : 555;
    std::string text = trimmed(result, n);
    std::string fields = member("time", local_date_time()) + member("return", rc) +
                         member("error_code", rc == 0 ? 0 : g_state.error_code) +
                         member(rc == 0 ? "text" : "error_text", text) +
                         member("outcome", outcome(g_state.facts));
    write_record("end", fields);
    g_state.file.Close();
  } catch (...) {
    give_up();
  }
}

}  // namespace journal
}  // namespace quendal
