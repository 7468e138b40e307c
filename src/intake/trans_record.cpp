#include "intake/trans_record.h"

#include <cstring>

#include "codec/codec.h"

namespace quendal {

const char* trans_type_of(const char* field, size_t length) {
  char scratch[3] = {};
  std::memcpy(scratch, field, length < 2 ? length : 2);
  switch (leading_int(scratch)) {
    case 2:
      return "92";
    case 3:
      return "93";
    case 5:
      return "40";
    case 6:
      return "80";
    default:  // 1, 4 and every value not listed
      return "30";
  }
}

namespace {

// Copies field `n` left-aligned into `area`, cut to `width`.
void copy_left(const char* line, int n, char* area, size_t width) {
  size_t len = field_length(line, n, '|');
  std::memcpy(area, field_start(line, n, '|'), len < width ? len : width);
}

}  // namespace

void build_trans_record(const char* line, TransRecord& rec) {
  std::memcpy(rec.trans_type, trans_type_of(field_start(line, 0, '|'), field_length(line, 0, '|')),
              2);
  copy_left(line, 1, rec.ref15, sizeof rec.ref15);
  copy_left(line, 2, rec.agent_code, sizeof rec.agent_code);
  std::memset(rec.amount, '0', sizeof rec.amount);
  const char* amount = field_start(line, 3, '|');
  size_t len = field_length(line, 3, '|');
  if (len > sizeof rec.amount) {  // right-aligned: the last 12 bytes land in the area
    amount += len - sizeof rec.amount;
    len = sizeof rec.amount;
  }
  std::memcpy(rec.amount + sizeof rec.amount - len, amount, len);
  copy_left(line, 4, rec.stamp, sizeof rec.stamp);
  copy_left(line, 5, rec.ref6, sizeof rec.ref6);
  copy_left(line, 6, rec.business_ref, sizeof rec.business_ref);
}

}  // namespace quendal
