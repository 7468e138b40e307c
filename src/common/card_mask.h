// Card data as logs and journals may keep it: the card number with only its first six and last
// four digits, and no expiry date. The one rule for every place that writes a result down.
#pragma once

#include <cstddef>

#include "common/result_record.h"

namespace quendal {

// Masks the card number held in the `n` bytes at `number` in place: every byte between its first
// six and its last four characters becomes '*'. Blanks and zero bytes around the number are left
// as they are and do not count; a number of ten characters or fewer is masked whole, since keeping
// six and four of it would keep all of it.
void mask_card_number(char* number, size_t n);

// Removes an expiry date in place: its `n` bytes become blanks.
void remove_expiry(char* expiry, size_t n);

// Both, on the card number (bytes 150-168) and the expiry (169-172) of a result record.
void mask_card_data(ResultRecord& record);

}  // namespace quendal
