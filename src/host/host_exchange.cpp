#include "host/host_exchange.h"

#include <cstdint>
#include <cstring>

#include "codec/codec.h"
#include "common/error.h"
#include "common/failure_text.h"
#include "common/texts.h"
#include "host/insurance.h"

namespace quendal {

namespace {

// The business host's answer: four digits m counting the bytes behind them, three bytes not
// looked at, the response flag, one byte not looked at, then the host's text of m - 5 bytes.
constexpr size_t kLengthDigits = 4;
constexpr size_t kFlagAt = 7;
constexpr size_t kTextAt = 9;
constexpr int32_t kTextOverhead = 5;  // flag area and separator counted in m
constexpr int32_t kBankReceiveError = 198;
constexpr int32_t kBusinessReceiveError = 201;

// Room for the host's text in the failure text, keeping space for ".....", the bank-info label, a
// 40-byte error text and a terminator.
constexpr size_t kMaxFailureHostText = kFailureTextSize - (sizeof text::kEllipsis - 1) -
                                       (sizeof text::kBankInfo - 1) - sizeof(CError::text) - 1;
static_assert(kMaxFailureHostText == 453, "the host's text keeps room for what follows it");

struct Answer {
  char bytes[CHostLink::kMaxMessage];
  int32_t received;
};

// One exchange on the link: connect, send, receive, close. A host may write its answer in pieces:
// the receive goes on until the length and the flag are in (or the host closes, or the time-out
// passes), and the answer is judged from what arrived. The answer buffer is zeroed first, so an
// answer too short to carry a flag is read as a refusal, never from stale bytes.
//
// Only an answer in this protocol is judged at all: one that does not begin with the four length
// digits came from something else on that port (a web server's "HTTP/1.1 200" has a '1' where the
// flag stands) and is the receive error, never an acceptance nor the host's words.
void exchange(CHostLink& link, CInsurance& message, Answer& answer) {
  std::memset(answer.bytes, 0, sizeof answer.bytes);
  link.Connect();
  link.Send(message.Data(), message.GetLength());
  answer.received = link.ReceiveAtLeast(answer.bytes, static_cast<int32_t>(kFlagAt + 1));
  link.Close();
  bool digits = answer.received >= static_cast<int32_t>(kLengthDigits);
  for (size_t i = 0; digits && i < kLengthDigits; ++i) {
    digits = answer.bytes[i] >= '0' && answer.bytes[i] <= '9';
  }
  if (!digits) throw table_error(link.HostKind() == 1 ? kBusinessReceiveError : kBankReceiveError);
  // The host's words go to the caller and the window as one line of text: line breaks and other
  // control bytes become spaces (a zero byte still ends the text). None of them can be half of a
  // GBK character, whose second byte is 0x40 or above.
  for (size_t i = kTextAt; i < sizeof answer.bytes; ++i) {
    uint8_t byte = static_cast<uint8_t>(answer.bytes[i]);
    if ((byte > 0 && byte < 0x20) || byte == 0x7F) answer.bytes[i] = ' ';
  }
}

// The longest start of `text` (n bytes) within `limit` bytes that does not end inside a GBK
// character: a lead byte 0x81-0xFE takes the byte after it along.
size_t gbk_cut(const char* text, size_t n, size_t limit) {
  if (n <= limit) return n;
  size_t at = 0;
  while (at < limit) {
    const uint8_t byte = static_cast<uint8_t>(text[at]);
    const size_t width = (byte >= 0x81 && byte <= 0xFE) ? 2 : 1;
    if (at + width > limit) break;
    at += width;
  }
  return at;
}

bool accepted(const Answer& answer) {
  return answer.received > static_cast<int32_t>(kFlagAt) && answer.bytes[kFlagAt] == '1';
}

// The host's text: m - 5 bytes from byte 9, never more than arrived behind byte 9 nor than `limit`,
// and cut there only between two characters.
size_t host_text_length(const Answer& answer, size_t limit) {
  int32_t m = dec_to_int(answer.bytes, kLengthDigits);
  if (m < kTextOverhead) return 0;
  size_t wanted = static_cast<size_t>(m - kTextOverhead);
  size_t arrived = answer.received > static_cast<int32_t>(kTextAt) ? answer.received - kTextAt : 0;
  if (wanted > arrived) wanted = arrived;
  return gbk_cut(answer.bytes + kTextAt, wanted, limit);
}

}  // namespace

void test_insurer_network(CHostLink link) {
  try {
    CInsurance message;
    message.BuildNetworkTest();
    Answer answer;
    exchange(link, message, answer);
    if (accepted(answer)) return;

    CError refused = table_error(203);
    // The error's text is the host's words; a refusal without words keeps the table's text, so
    // that the caller has something to look up.
    size_t n = strnlen(answer.bytes + kTextAt, host_text_length(answer, sizeof refused.text));
    if (n > 0) refused.SetText(answer.bytes + kTextAt, n);
    throw refused;
  } catch (const CError&) {
    link.Close();
    throw;
  }
}

void report_result(CProcessWindow& window, CHostLink link, const ResultRecord& res,
                   const char* business_ref, char* failure_text) {
  try {
    CInsurance message;
    message.SetBusinessRef(business_ref);
    message.SetResultRecord(&res);
    message.Pack();
    Answer answer;
    exchange(link, message, answer);
    if (accepted(answer)) return;

    window.AppendStatus(text::kReportRefused);
    std::memset(failure_text, 0, kFailureTextSize);
    // A zero byte inside the host's text ends it there.
    size_t n = strnlen(answer.bytes + kTextAt, host_text_length(answer, kMaxFailureHostText));
    std::memcpy(failure_text, answer.bytes + kTextAt, n);
    std::memcpy(failure_text + n, text::kEllipsis, sizeof text::kEllipsis - 1);
    window.AppendStatus(failure_text);
    std::memcpy(failure_text + n + sizeof text::kEllipsis - 1, text::kBankInfo,
                sizeof text::kBankInfo - 1);

    CError bank_result;
    bank_result.Clear();
    bank_result.code = dec_to_int(res.resp_code, sizeof res.resp_code);
    std::memcpy(bank_result.text, res.resp_text, sizeof bank_result.text);
    bank_result.SetFlag(1);
    throw bank_result;
  } catch (const CError&) {
    link.Close();
    throw;
  }
}

}  // namespace quendal
