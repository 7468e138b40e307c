// The fixed-width form of one transaction, built from fields 0 to 6 of the request line.
#pragma once

#include <cstddef>

namespace quendal {

struct TransRecord {
  char trans_type[2];     // field 0 mapped: "30", "40", "92", "93" or "80"
  char ref15[15];         // field 1
  char agent_code[8];     // field 2, must read "B0110001"
  char amount[12];        // field 3, right-aligned, left-filled with '0'
  char stamp[6];          // field 4; replaced by the time of day for every type but "93"
  char ref6[6];           // field 5
  char business_ref[64];  // field 6
  char reserved[320];     // zero bytes
};
static_assert(sizeof(TransRecord) == 433, "the transaction record is 433 bytes");

// The two-character transaction type for the first two characters of the operation type `field`
// (of `length` bytes): 1 and 4 give "30", 2 "92", 3 "93", 5 "40", 6 "80", anything else "30".
const char* trans_type_of(const char* field, size_t length);

// Fills the zero-filled `rec` from fields 0 to 6 of the request line. A field longer than its area
// is cut to the area's width (the amount keeps its last 12 bytes, as it is right-aligned); nothing
// outside the areas is written. Checks nothing.
void build_trans_record(const char* line, TransRecord& rec);

}  // namespace quendal
