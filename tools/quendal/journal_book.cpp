#include "journal_book.h"

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "gbk.h"
#include "journal/journal.h"
#include "journal/journal_file.h"
#include "platform/clock.h"
#include "quendal/card_trans.h"
#include "tool_platform.h"

namespace quendal_tool {

namespace {

class Parser {
 public:
  explicit Parser(const std::string& text) : s_(text) {}

  bool Object(const std::string& prefix, JournalRecord* out) {
    Space();
    if (!Take('{')) return false;
    Space();
    if (Take('}')) return true;
    for (;;) {
      std::string key;
      Space();
      if (!String(&key)) return false;
      Space();
      if (!Take(':')) return false;
      Space();
      if (Peek() == '{') {
        if (!Object(prefix + key + ".", out)) return false;
      } else {
        std::string value;
        if (!Value(&value)) return false;
        (*out)[prefix + key] = value;
      }
      Space();
      if (Take('}')) return true;
      if (!Take(',')) return false;
    }
  }

  bool AtEnd() {
    Space();
    return at_ == s_.size();
  }

 private:
  char Peek() const { return at_ < s_.size() ? s_[at_] : '\0'; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  void Space() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\r')) ++at_;
  }
  static void Utf8(unsigned code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }
  bool String(std::string* out) {
    if (!Take('"')) return false;
    while (at_ < s_.size()) {
      char c = s_[at_++];
      if (c == '"') return true;
      if (c != '\\') {
        *out += c;
        continue;
      }
      if (at_ >= s_.size()) return false;
      char e = s_[at_++];
      switch (e) {
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case 't':
          *out += '\t';
          break;
        case 'b':
          *out += '\b';
          break;
        case 'f':
          *out += '\f';
          break;
        case 'u': {
          if (at_ + 4 > s_.size()) return false;
          unsigned code =
              static_cast<unsigned>(std::strtoul(s_.substr(at_, 4).c_str(), nullptr, 16));
          at_ += 4;
          Utf8(code, out);
          break;
        }
        default:
          *out += e;
      }
    }
    return false;
  }
  bool Value(std::string* out) {
    if (Peek() == '"') return String(out);
    size_t from = at_;
    while (at_ < s_.size() && std::strchr(",} \t", s_[at_]) == nullptr) ++at_;
    *out = s_.substr(from, at_ - from);
    return !out->empty();
  }

  const std::string& s_;
  size_t at_ = 0;
};

bool reached_terminal(const JournalCall& c) { return c.sent; }

bool is_sale_or_refund(const JournalCall& c) {
  const std::string type = c.Get(c.begin, "type");
  return type == "30" || type == "40";
}

std::string trim(const std::string& s) {
  size_t from = s.find_first_not_of(' ');
  if (from == std::string::npos) return "";
  return s.substr(from, s.find_last_not_of(' ') - from + 1);
}

void set_journal_path(const std::string& path) { set_env("QUENDAL_JOURNAL", path); }

struct Verdict {
  std::string result;  // "approved", "not-approved" or "unknown"
  std::string reason;
  std::string query;  // the query call's id
  std::string terminal_reference, terminal_amount, terminal_code;
};

// The type "93" query for `call` and what its records say of it.
Verdict query_terminal(const std::string& path, const JournalCall& call) {
  Verdict v;
  const auto& b = call.begin;
  auto f = [&](const char* key) { return call.Get(b, key); };
  // The query keeps the caller's stamp (empty here); the rest names the call's own terminal and
  // hosts. Texts go back to GBK as the library takes them.
  const std::string line = "3|" + f("reference") + "|" + f("agency") + "|" + f("amount") + "||" +
                           f("value") + "|" + f("business_ref") + "||" + f("com") + "|" +
                           f("bank.host") + "|" + f("bank.port") + "|" + f("bank.timeout") + "|" +
                           f("business.host") + "|" + f("business.port") + "|" +
                           f("business.timeout");
  const long before = file_size(path);
  char result[QUENDAL_RESULT_SIZE];
  set_journal_path(path);
  const int rc = card_trans(utf8_to_gbk(line).c_str(), result);

  JournalBook book;
  std::string error;
  if (before < 0 || !read_journal(path, before, &book, &error) || book.calls.empty()) {
    v.result = "unknown";
    v.reason = "the query's own records could not be read back";
    return v;
  }
  const JournalCall& q = book.calls.back();
  v.query = q.id;
  if (q.final.empty()) {
    v.result = "unknown";
    v.reason = "no answer from the terminal: " + q.Get(q.end, "error_text");
    return v;
  }
  if (q.Get(q.final, "cancel") == "true") {
    v.result = "unknown";
    v.reason = "the terminal cancelled the query";
    return v;
  }
  v.terminal_reference = q.Get(q.final, "reference");
  v.terminal_amount = q.Get(q.final, "amount");
  v.terminal_code = q.Get(q.final, "response_code");
  const bool same = trim(v.terminal_reference) == trim(f("reference")) &&
                    hundredths(v.terminal_amount) == hundredths(f("amount")) &&
                    hundredths(f("amount")) >= 0;
  if (!same) {
    v.result = "not-approved";
    v.reason = "the terminal's last transaction is another one";
  } else if (v.terminal_code != "00") {
    v.result = "not-approved";
    v.reason = "the terminal holds it refused (" + v.terminal_code + ")";
  } else if (rc == 0) {
    v.result = "approved";
    v.reason = "the terminal holds it approved; the business host was told";
  } else {
    v.result = "unknown";
    v.reason = "the terminal holds it approved, but the business host could not be told: " +
               q.Get(q.end, "error_text");
  }
  return v;
}

}  // namespace

bool parse_record(const std::string& line, JournalRecord* record) {
  record->clear();
  Parser p(line);
  return p.Object("", record) && p.AtEnd() && record->count("record") && record->count("call");
}

std::string JournalCall::Get(const JournalRecord& r, const char* key) const {
  auto it = r.find(key);
  return it == r.end() ? std::string() : it->second;
}

bool JournalCall::Unresolved() const {
  if (!is_sale_or_refund(*this) || outcome != "unknown") return false;
  const std::string settled = Get(reconciled, "result");
  return settled != "approved" && settled != "not-approved";
}

long long hundredths(const std::string& digits) {
  if (digits.empty() || digits.size() > 15) return -1;
  long long v = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
  }
  return v;
}

bool read_journal(const std::string& path, long from, JournalBook* book, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path;
    return false;
  }
  in.seekg(from);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::map<std::string, size_t> index;
  size_t at = 0;
  int number = 0;
  while (at < all.size()) {
    size_t nl = all.find('\n', at);
    const bool last = nl == std::string::npos;
    std::string line = all.substr(at, last ? std::string::npos : nl - at);
    at = last ? all.size() : nl + 1;
    ++number;
    if (line.empty()) continue;
    JournalRecord r;
    if (!parse_record(line, &r)) {
      book->notices.push_back(last
                                  ? "the last line is torn (" + std::to_string(line.size()) +
                                        " bytes: the process stopped while writing it); ignored"
                                  : "line " + std::to_string(number) + " is not a record; ignored");
      continue;
    }
    const std::string& id = r["call"];
    auto found = index.find(id);
    if (found == index.end()) {
      found = index.emplace(id, book->calls.size()).first;
      book->calls.emplace_back();
      book->calls.back().id = id;
    }
    JournalCall& c = book->calls[found->second];
    const std::string& kind = r["record"];
    if (kind == "begin") {
      c.begin = r;
    } else if (kind == "sent") {
      c.sent = true;
    } else if (kind == "final") {
      c.final = r;
    } else if (kind == "report") {
      c.report = r;
    } else if (kind == "end") {
      c.end = r;
    } else if (kind == "reconciled") {
      c.reconciled = r;
    }
  }
  for (JournalCall& c : book->calls) {
    if (!c.end.empty()) {
      c.outcome = c.Get(c.end, "outcome");
    } else {
      quendal::journal::Facts facts;
      facts.sent = c.sent;
      c.outcome = quendal::journal::outcome(facts);
    }
  }
  return true;
}

int reconcile_journal(const std::string& path, FILE* out) {
  JournalBook book;
  std::string error;
  if (!read_journal(path, 0, &book, &error)) {
    std::fprintf(stderr, "quendal: %s\n", error.c_str());
    return -1;
  }
  int open_calls = 0;
  for (size_t i = 0; i < book.calls.size(); ++i) {
    const JournalCall& call = book.calls[i];
    if (!call.Unresolved()) continue;
    Verdict v;
    if (call.begin.empty()) {
      v.result = "unknown";
      v.reason = "the call's first record is lost: its terminal is not known";
    } else {
      // The query tells of the terminal's last transaction only: a later call that reached the
      // same terminal hides this one from it.
      bool later = false;
      for (size_t j = i + 1; j < book.calls.size() && !later; ++j) {
        const JournalCall& next = book.calls[j];
        later = reached_terminal(next) && next.Get(next.begin, "type") != "93" &&
                next.Get(next.begin, "com") == call.Get(call.begin, "com");
      }
      if (later) {
        v.result = "unknown";
        v.reason = "a later transaction reached the same terminal; ask the bank";
      } else {
        v = query_terminal(path, call);
      }
    }
    std::string line = "{\"record\":\"reconciled\",\"call\":" + quendal::journal::quote(call.id) +
                       ",\"time\":" + quendal::journal::quote(quendal::local_date_time()) +
                       ",\"result\":" + quendal::journal::quote(v.result) +
                       ",\"reason\":" + quendal::journal::quote(v.reason);
    if (!v.query.empty()) line += ",\"query\":" + quendal::journal::quote(v.query);
    if (!v.terminal_code.empty()) {
      line += ",\"terminal_reference\":" + quendal::journal::quote(v.terminal_reference) +
              ",\"terminal_amount\":" + quendal::journal::quote(v.terminal_amount) +
              ",\"terminal_response_code\":" + quendal::journal::quote(v.terminal_code);
    }
    line += "}\n";
    quendal::journal::JournalFile file;
    if (!file.Open(path.c_str()) || !file.Append(line)) {
      std::fprintf(stderr, "quendal: cannot append to %s\n", path.c_str());
      return -1;
    }
    if (v.result == "unknown") ++open_calls;
    std::fprintf(out, "%s %s: %s (%s)\n", call.id.c_str(),
                 call.Get(call.begin, "reference").c_str(), v.result.c_str(), v.reason.c_str());
  }
  return open_calls;
}

}  // namespace quendal_tool
