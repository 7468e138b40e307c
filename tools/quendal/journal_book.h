// Reading a transaction journal (QUENDAL_JOURNAL) back: its records grouped by call, and the
// reconciliation of the calls whose outcome is unknown through a "93" query of the terminal.
#pragma once

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quendal_tool {

// One record: its members as text (numbers and booleans as written, strings unescaped, members
// of a nested object as "outer.inner").
using JournalRecord = std::map<std::string, std::string>;

// Parses one JSON object of the journal; false when the line is not one.
bool parse_record(const std::string& line, JournalRecord* record);

struct JournalCall {
  std::string id;
  JournalRecord begin;  // empty when the journal lost it
  bool sent = false;
  JournalRecord final;  // the terminal's final answer, empty when none came
  JournalRecord report;
  JournalRecord end;         // empty when the process stopped during the call
  JournalRecord reconciled;  // the latest reconciliation, if any
  std::string outcome;       // from `end`, or from what was written when there is no end

  std::string Get(const JournalRecord& r, const char* key) const;
  // A sale or a refund whose outcome is unknown and that no reconciliation has settled.
  bool Unresolved() const;
};

struct JournalBook {
  std::vector<JournalCall> calls;    // in the order of their first record
  std::vector<std::string> notices;  // lines that are not records (a torn last line), said once
};

// Reads the journal at `path` from byte `from`; false (with `error`) when it cannot be read.
bool read_journal(const std::string& path, long from, JournalBook* book, std::string* error);

// An amount in hundredths as a number, or -1 when the text is not one.
long long hundredths(const std::string& digits);

// Reconciles every unresolved call of the journal at `path` in order: one type "93" query per
// call through card_trans, with that call's COM port and endpoints, the query's own records and a
// `reconciled` record appended to the journal. Writes one line per call to `out`. Returns the
// number of calls it could not settle, or -1 when the journal cannot be read or written.
int reconcile_journal(const std::string& path, FILE* out);

}  // namespace quendal_tool
