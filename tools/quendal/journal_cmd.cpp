// quendal journal and quendal reconcile: what became of each call in a transaction journal, and
// settling the calls whose outcome is unknown by asking their terminal.
#include <cstdio>
#include <string>

#include "commands.h"
#include "journal/journal.h"
#include "journal_book.h"
#include "tool_platform.h"

namespace quendal_tool {

namespace {

const char kJournalUsage[] =
    "usage: quendal journal [--json] FILE\n"
    "Shows each call recorded in the transaction journal FILE (QUENDAL_JOURNAL): date-time, type,\n"
    "reference, amount, outcome and text. Outcomes: approved, declined, not-started (nothing\n"
    "moved), cancelled, unknown (the request reached the terminal and no result was settled).\n"
    "Unknown sales and refunds are marked UNRESOLVED until `quendal reconcile` settles them.\n"
    "--json prints one JSON object per call instead.\n"
    "Exit status: 0 all settled, 1 unresolved calls remain, 2 usage error or unreadable file.\n";

const char kReconcileUsage[] =
    "usage: quendal reconcile FILE\n"
    "For each unresolved call in the transaction journal FILE, in order, asks that call's "
    "terminal\n"
    "for its last transaction (a type 93 query through card_trans, with the call's COM port and\n"
    "hosts) and appends a `reconciled` record: approved, not-approved, or unknown with the "
    "reason.\n"
    "It never starts a sale. Exit status: 0 all settled, 1 some remain unknown, 2 usage error or\n"
    "the journal cannot be read or written.\n";

std::string amount_text(const std::string& digits) {
  long long h = hundredths(digits);
  if (h < 0) return digits;
  char out[32];
  std::snprintf(out, sizeof out, "%lld.%02lld", h / 100, h % 100);
  return out;
}

std::string call_text(const JournalCall& c) {
  if (c.end.empty()) return "(no end: the process stopped during the call)";
  std::string t = c.Get(c.end, "text");
  return t.empty() ? c.Get(c.end, "error_text") : t;
}

bool parse_file_args(int argc, char** argv, const char* usage, bool allow_json, bool* json,
                     std::string* path, int* rc) {
  for (int i = 0; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--help" || a == "-h") {
      std::fputs(usage, stdout);
      *rc = 0;
      return false;
    }
    if (allow_json && a == "--json") {
      *json = true;
    } else if (!a.empty() && a[0] == '-') {
      std::fprintf(stderr, "quendal: unknown option '%s'\n", a.c_str());
      std::fputs(usage, stderr);
      *rc = 2;
      return false;
    } else if (path->empty()) {
      *path = native_path(a);
    } else {
      std::fputs("quendal: one journal file only\n", stderr);
      *rc = 2;
      return false;
    }
  }
  if (path->empty()) {
    std::fputs("quendal: no journal file given\n", stderr);
    std::fputs(usage, stderr);
    *rc = 2;
    return false;
  }
  return true;
}

}  // namespace

int cmd_journal(int argc, char** argv) {
  bool json = false;
  std::string path;
  int rc = 0;
  if (!parse_file_args(argc, argv, kJournalUsage, true, &json, &path, &rc)) return rc;
  JournalBook book;
  std::string error;
  if (!read_journal(path, 0, &book, &error)) {
    std::fprintf(stderr, "quendal: %s\n", error.c_str());
    return 2;
  }
  for (const std::string& n : book.notices)
    std::fprintf(stderr, "quendal: %s: %s\n", path.c_str(), n.c_str());
  using quendal::journal::quote;
  int unresolved = 0;
  for (const JournalCall& c : book.calls) {
    const bool open = c.Unresolved();
    unresolved += open;
    const std::string reconciled = c.Get(c.reconciled, "result");
    if (json) {
      long long amount = hundredths(c.Get(c.begin, "amount"));
      std::string line =
          "{\"call\":" + quote(c.id) + ",\"time\":" + quote(c.Get(c.begin, "time")) +
          ",\"type\":" + quote(c.Get(c.begin, "type")) +
          ",\"reference\":" + quote(c.Get(c.begin, "reference")) +
          ",\"amount\":" + (amount < 0 ? std::string("null") : std::to_string(amount)) +
          ",\"com\":" + (c.Get(c.begin, "com").empty() ? "null" : c.Get(c.begin, "com")) +
          ",\"outcome\":" + quote(c.outcome) + ",\"text\":" + quote(call_text(c)) +
          ",\"ended\":" + (c.end.empty() ? "false" : "true") +
          ",\"unresolved\":" + (open ? "true" : "false");
      if (!reconciled.empty()) {
        line += ",\"reconciled\":" + quote(reconciled) +
                ",\"reconciled_reason\":" + quote(c.Get(c.reconciled, "reason"));
      }
      std::printf("%s}\n", line.c_str());
      continue;
    }
    std::string shown_outcome = c.outcome;
    if (!reconciled.empty()) shown_outcome += " -> " + reconciled;
    std::printf("%-29s  %-2s  %-15s  %12s  %-24s  %s%s\n", c.Get(c.begin, "time").c_str(),
                c.Get(c.begin, "type").c_str(), c.Get(c.begin, "reference").c_str(),
                amount_text(c.Get(c.begin, "amount")).c_str(), shown_outcome.c_str(),
                call_text(c).c_str(), open ? "  UNRESOLVED" : "");
  }
  if (!json && unresolved > 0) {
    std::printf("%d unresolved: run quendal reconcile %s with the terminal connected\n", unresolved,
                path.c_str());
  }
  return unresolved > 0 ? 1 : 0;
}

int cmd_reconcile(int argc, char** argv) {
  bool json = false;
  std::string path;
  int rc = 0;
  if (!parse_file_args(argc, argv, kReconcileUsage, false, &json, &path, &rc)) return rc;
  int left = reconcile_journal(path, stdout);
  if (left < 0) return 2;
  return left > 0 ? 1 : 0;
}

}  // namespace quendal_tool
