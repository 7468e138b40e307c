#include "host/insurance.h"

#include <cstdint>
#include <cstring>

#include "codec/codec.h"

namespace quendal {

namespace {

// Appends the bytes as stored, zero bytes included, then '|'.
char* put_stored(char* out, const char* bytes, size_t n) {
  std::memcpy(out, bytes, n);
  out[n] = '|';
  return out + n + 1;
}

// Appends the bytes trimmed of blanks, then '|'. A '|' inside the text would split the field in
// two and shift every field after it, so it becomes a space; a GBK character's second byte may be
// 0x7C too, and that one is half a character, left as it is.
char* put_trimmed(char* out, const char* bytes, size_t n) {
  const size_t written = put_field(out, bytes, n);
  for (size_t i = 0; i + 1 < written; ++i) {
    const uint8_t byte = static_cast<uint8_t>(out[i]);
    if (byte >= 0x81 && byte <= 0xFE) {
      ++i;  // the lead byte and its trail byte
    } else if (byte == '|') {
      out[i] = ' ';
    }
  }
  return out + written;
}

// The business host's message type for the transaction type: a sale "01", "40" is "05", a query
// "03"; every other type "04".
const char* report_type(const char trans_type[2]) {
  if (std::memcmp(trans_type, "30", 2) == 0) return "01";
  if (std::memcmp(trans_type, "40", 2) == 0) return "05";
  if (std::memcmp(trans_type, "93", 2) == 0) return "03";
  return "04";
}

}  // namespace

CInsurance::CInsurance() { Clear(); }

void CInsurance::Clear() {
  std::memset(buffer, 0, sizeof buffer);
  length = 0;
}

void CInsurance::BuildNetworkTest() {
  Clear();
  std::memcpy(buffer, "000204", 6);
  length = 6;
}

void CInsurance::SetBusinessRef(const char* ref) {
  std::memcpy(business_ref, ref, sizeof business_ref);
}

int CInsurance::Pack() {
  Clear();
  if (result_record == nullptr) return 0;
  const ResultRecord& r = *result_record;

  // Every field at its full width, the amount at its largest, comes to 338 bytes; the scratch area
  // has room to spare for put_field's bound as well.
  char payload[kBufferSize];
  char* p = payload;
  p = put_stored(p, report_type(r.trans_type), 2);
  p = put_trimmed(p, r.resp_code, sizeof r.resp_code);
  p = put_trimmed(p, business_ref, sizeof business_ref);
  const bool approved = std::memcmp(r.resp_code, "00", 2) == 0;
  p = put_trimmed(p, approved ? r.text2 : r.resp_text, sizeof r.resp_text);
  p = put_stored(p, "01051000", 8);
  p = put_trimmed(p, r.area87, sizeof r.area87);
  p = put_trimmed(p, r.area142, sizeof r.area142);
  p = put_trimmed(p, r.area173, sizeof r.area173);
  p = put_trimmed(p, r.area150, sizeof r.area150);
  const char pairs[5] = {r.area169[0], r.area169[1], '/', r.area169[2], r.area169[3]};
  p = put_stored(p, pairs, sizeof pairs);
  p = put_trimmed(p, r.area211, sizeof r.area211);
  p = put_trimmed(p, r.stamp, sizeof r.stamp);
  p = put_trimmed(p, r.area199, sizeof r.area199);
  p = put_trimmed(p, r.area193, sizeof r.area193);
  p = put_stored(p, r.trans_type, sizeof r.trans_type);
  char amount[32];
  size_t amount_length = format_amount(amount, amount_value(r.amount, sizeof r.amount));
  p = put_stored(p, amount, amount_length);
  p = put_trimmed(p, r.area217, sizeof r.area217);
  const char* dt = r.date_time;
  const char date[10] = {dt[0], dt[1], dt[2], dt[3], '/', dt[4], dt[5], '/', dt[6], dt[7]};
  p = put_stored(p, date, sizeof date);
  const char time[8] = {dt[8], dt[9], ':', dt[10], dt[11], ':', dt[12], dt[13]};
  p = put_stored(p, time, sizeof time);
  p = put_trimmed(p, business_ref, sizeof business_ref);
  p = put_trimmed(p, r.ref15, sizeof r.ref15);

  int32_t payload_length = static_cast<int32_t>(p - payload);
  int_to_dec(buffer, 4, payload_length);
  std::memcpy(buffer + 4, payload, static_cast<size_t>(payload_length));
  length = payload_length + 4;
  return length;
}

}  // namespace quendal
