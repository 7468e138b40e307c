// The transaction journal: the records each kind of ending leaves, the outcome read from them,
// card data kept out, and a journal that cannot be written changing nothing of the call.
#include "journal/journal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "card_trans_fixture.h"
#include "fault_matrix.h"
#include "journal_book.h"

namespace quendal_test {
namespace {

using quendal::journal::Facts;
using quendal::journal::FinalKind;
using quendal::journal::ReportKind;

const Scenario& scenario_named(const std::string& name) {
  static const std::vector<Scenario> all = [] {
    std::vector<Scenario> s = fault_scenarios();
    s.push_back({"declined sale",
                 [](TerminalScenario& t) {
                   t.final_answer = FinalAnswer::kDecline;
                   t.resp_code = "51";
                   t.resp_text = "INSUFFICIENT FUNDS";
                 },
                 Bank::kAnswer, Business::kAccept, nullptr, nullptr, 1, "INSUFFICIENT FUNDS", false,
                 false});
    return s;
  }();
  for (const Scenario& s : all) {
    if (name == s.name) return s;
  }
  ADD_FAILURE() << "no scenario " << name;
  return all.front();
}

// The value of a string or number member of a flat JSON line ("" when absent).
std::string member(const std::string& line, const std::string& name) {
  const std::string key = "\"" + name + "\":";
  size_t at = line.find(key);
  if (at == std::string::npos) return "";
  at += key.size();
  if (line[at] == '"') return line.substr(at + 1, line.find('"', at + 1) - at - 1);
  return line.substr(at, line.find_first_of(",}", at) - at);
}

class Journal : public CardTransTest {
 protected:
  void SetUp() override {
    CardTransTest::SetUp();
    journal_path_ = log_path_ + ".journal";
    setenv("QUENDAL_JOURNAL", journal_path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QUENDAL_JOURNAL");
    unlink(journal_path_.c_str());
    CardTransTest::TearDown();
  }

  // Runs the named scenario and returns the journal's lines of that call.
  std::vector<std::string> Run(const std::string& name) {
    ScenarioRig rig(scenario_named(name), clock_);
    EXPECT_TRUE(rig.ok());
    rc_ = Call(rig.Request());
    std::ifstream in(journal_path_);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    unlink(journal_path_.c_str());
    return lines;
  }

  static std::string Kinds(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : ",") + member(line, "record");
    return out;
  }

  std::string journal_path_;
  int rc_ = -1;
};

TEST_F(Journal, EachEndingLeavesItsRecordsAndOutcome) {
  struct Case {
    const char* scenario;
    const char* records;
    const char* outcome;
    const char* error_code;
  };
  const Case cases[] = {
      {"approved sale with one relay", "begin,sent,final,report,end", "approved", "0"},
      {"declined sale", "begin,sent,final,report,end", "declined", "51"},
      {"terminal cancels", "begin,sent,final,end", "cancelled", "206"},
      {"business host refuses the test", "begin,end", "not-started", "0"},
      {"terminal silent", "begin,end", "not-started", "182"},
      {"COM device missing", "begin,end", "not-started", "178"},
      // From the request on, an ending without an answer the business host took is unknown.
      {"bank host silent", "begin,sent,end", "unknown", "198"},
      {"final answer too short for a result", "begin,sent,end", "unknown", "189"},
      {"business host refuses the report", "begin,sent,final,report,end", "unknown", "0"},
      {"business host silent", "begin,end", "not-started", "201"},
  };
  std::set<std::string> ids;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    std::vector<std::string> lines = Run(c.scenario);
    ASSERT_EQ(Kinds(lines), c.records);
    const std::string id = member(lines[0], "call");
    EXPECT_TRUE(ids.insert(id).second) << "call ids repeat: " << id;
    for (const std::string& line : lines) EXPECT_EQ(member(line, "call"), id);
    const std::string& end = lines.back();
    EXPECT_EQ(member(end, "outcome"), c.outcome);
    EXPECT_EQ(member(end, "return"), std::to_string(rc_));
    if (std::string(c.error_code) != "0") {
      EXPECT_EQ(member(end, "error_code"), c.error_code);
    }
    EXPECT_EQ(member(lines[0], "reference"), "REF000000000001");
    EXPECT_EQ(member(lines[0], "amount"), "12345");
    EXPECT_EQ(member(lines[0], "type"), "30");
    EXPECT_EQ(member(lines[0], "com"), std::to_string(kMatrixCom));
  }
}

TEST_F(Journal, FinalAnswerKeepsWhatReconcilingNeedsAndNoCardData) {
  std::vector<std::string> lines = Run("approved sale with one relay");
  ASSERT_EQ(lines.size(), 5u);
  const std::string& final_line = lines[2];
  EXPECT_EQ(member(final_line, "response_code"), "00");
  EXPECT_EQ(member(final_line, "response_text"), "APPROVED");
  EXPECT_EQ(member(final_line, "reference"), "REF000000000001");
  EXPECT_EQ(member(final_line, "amount"), "000000012345");
  EXPECT_EQ(member(final_line, "card"), "622200*********0000");
  EXPECT_EQ(member(lines[3], "result"), "accepted");
  EXPECT_EQ(member(lines[4], "text"), "APPROVED");
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  EXPECT_EQ(all.find("6222000000000000000"), std::string::npos);
  EXPECT_EQ(all.find("\"1230\""), std::string::npos) << "the expiry is never written";

  lines = Run("business host refuses the report");
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(member(lines[3], "result"), "refused");
  EXPECT_EQ(member(lines[3], "text").rfind("NO WAY", 0), 0u);
}

TEST_F(Journal, JournalThatCannotBeWrittenChangesNothing) {
  // A directory that does not exist, and a device that is no regular file (it would swallow the
  // records, and a pipe would block the call).
  for (const char* path : {"/nonexistent/dir/journal", "/dev/null"}) {
    SCOPED_TRACE(path);
    setenv("QUENDAL_JOURNAL", path, 1);
    const std::vector<std::string> before = open_descriptors();
    testing::internal::CaptureStderr();
    Run("approved sale with one relay");
    Run("approved sale with one relay");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(rc_, 0);
    EXPECT_EQ(Result(), Padded(kApproved));
    EXPECT_EQ(descriptors_settled(before), before);
    size_t first = said.find("QUENDAL_JOURNAL");
    EXPECT_EQ(said.find("QUENDAL_JOURNAL", first == std::string::npos ? 0 : first + 1),
              std::string::npos)
        << "said more than once: " << said;
  }
}

TEST_F(Journal, TornLastLineCostsOnlyItself) {
  // A process that died while writing a record left half a line.
  {
    std::ofstream torn(journal_path_, std::ios::binary);
    torn << "{\"record\":\"begin\",\"call\":\"1a2-7-00\",\"ti";
  }
  quendal_tool::JournalBook book;
  std::string error;
  ASSERT_TRUE(quendal_tool::read_journal(journal_path_, 0, &book, &error));
  EXPECT_TRUE(book.calls.empty());
  ASSERT_EQ(book.notices.size(), 1u);
  EXPECT_NE(book.notices[0].find("last line is torn"), std::string::npos);

  ScenarioRig rig(scenario_named("approved sale with one relay"), clock_);
  ASSERT_TRUE(rig.ok());
  ASSERT_EQ(Call(rig.Request()), 0);
  book = quendal_tool::JournalBook();
  ASSERT_TRUE(quendal_tool::read_journal(journal_path_, 0, &book, &error));
  ASSERT_EQ(book.calls.size(), 1u) << "the next call's records start on a line of their own";
  EXPECT_EQ(book.calls[0].outcome, "approved");
  EXPECT_EQ(book.calls[0].Get(book.calls[0].begin, "reference"), "REF000000000001");
  ASSERT_EQ(book.notices.size(), 1u);
  EXPECT_NE(book.notices[0].find("line 1 is not a record"), std::string::npos);
}

TEST(JournalOutcome, FollowsTheFactsOfTheCall) {
  struct Case {
    Facts facts;
    const char* outcome;
  };
  auto ended = [](int rc, bool sent, FinalKind final, ReportKind report, bool reported) {
    Facts f;
    f.ended = true;
    f.rc = rc;
    f.sent = sent;
    f.final = final;
    f.report = report;
    f.reported_type = reported;
    return f;
  };
  Facts died_before;
  Facts died_after;
  died_after.sent = true;
  Facts died_after_approval = ended(1, true, FinalKind::kApproved, ReportKind::kAccepted, true);
  died_after_approval.ended = false;
  const Case cases[] = {
      {ended(0, true, FinalKind::kApproved, ReportKind::kAccepted, true), "approved"},
      {ended(1, true, FinalKind::kRefused, ReportKind::kAccepted, true), "declined"},
      // A query or another unreported type is declined by the terminal's word alone.
      {ended(1, true, FinalKind::kRefused, ReportKind::kNone, false), "declined"},
      {ended(1, true, FinalKind::kRefused, ReportKind::kFailed, true), "unknown"},
      {ended(1, true, FinalKind::kApproved, ReportKind::kRefused, true), "unknown"},
      {ended(1, true, FinalKind::kApproved, ReportKind::kNone, true), "unknown"},
      {ended(1, true, FinalKind::kCancel, ReportKind::kNone, true), "cancelled"},
      {ended(1, true, FinalKind::kNone, ReportKind::kNone, true), "unknown"},
      {ended(1, false, FinalKind::kNone, ReportKind::kNone, true), "not-started"},
      {died_before, "not-started"},
      {died_after, "unknown"},
      {died_after_approval, "unknown"},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(quendal::journal::outcome(c.facts), c.outcome) << &c - cases;
  }
}

TEST(JournalText, QuotesWhatJsonMustEscape) {
  EXPECT_EQ(quendal::journal::quote("a\"b\\c\nd\x01\x7F 中"),
            "\"a\\\"b\\\\c\\nd\\u0001\\u007f 中\"");
}

}  // namespace
}  // namespace quendal_test
