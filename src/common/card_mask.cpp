#include "common/card_mask.h"

#include <cstring>

namespace quendal {

namespace {

constexpr size_t kKeptFirst = 6;
constexpr size_t kKeptLast = 4;

bool is_padding(char c) { return c == ' ' || c == '\0'; }

}  // namespace

void mask_card_number(char* number, size_t n) {
  if (number == nullptr) return;
  size_t from = 0;
  while (from < n && is_padding(number[from])) ++from;
  size_t to = n;
  while (to > from && is_padding(number[to - 1])) --to;
  const size_t length = to - from;
  if (length <= kKeptFirst + kKeptLast) {
    std::memset(number + from, '*', length);
    return;
  }
  std::memset(number + from + kKeptFirst, '*', length - kKeptFirst - kKeptLast);
}

void remove_expiry(char* expiry, size_t n) {
  if (expiry != nullptr) std::memset(expiry, ' ', n);
}

void mask_card_data(ResultRecord& record) {
  mask_card_number(record.area150, sizeof record.area150);
  remove_expiry(record.area169, sizeof record.area169);
}

}  // namespace quendal
