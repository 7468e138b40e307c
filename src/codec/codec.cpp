#include "codec/codec.h"

#include <cmath>
#include <cstring>

#include "platform/clock.h"

namespace quendal {

const char* field_start(const char* text, int n, char separator) {
  const char* p = text;
  if (*p == '\0') return p;
  int seen = 0;
  for (;;) {
    if (seen == n) return p;
    if (*p == separator) ++seen;
    ++p;
    if (*p == '\0') return p;
  }
}

size_t field_length(const char* text, int n, char separator) {
  const char* start = field_start(text, n, separator);
  const char* p = start;
  while (*p != '\0' && *p != separator) ++p;
  return static_cast<size_t>(p - start);
}

namespace {
bool is_space(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int32_t leading_int(const char* text, size_t max_len) {
  size_t i = 0;
  while (i < max_len && text[i] != '\0' && is_space(text[i])) ++i;
  bool negative = false;
  if (i < max_len && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int64_t value = 0;
  const int64_t limit = negative ? 2147483648LL : 2147483647LL;
  while (i < max_len && is_digit(text[i])) {
    value = value * 10 + (text[i] - '0');
    if (value > limit) value = limit;  // saturate, never overflow
    ++i;
  }
  return static_cast<int32_t>(negative ? -value : value);
}

char* int_to_dec(char* dest, size_t width, int32_t value) {
  uint32_t v = value < 0 ? 0u : static_cast<uint32_t>(value);
  char digits[10];
  static const uint32_t kDivisors[] = {100000000u, 1000000u, 10000u, 100u, 1u};
  for (int i = 0; i < 5; ++i) {
    uint32_t pair = v / kDivisors[i];
    v %= kDivisors[i];
    digits[2 * i] = static_cast<char>('0' + pair / 10 % 10);
    digits[2 * i + 1] = static_cast<char>('0' + pair % 10);
  }
  std::memset(dest, '0', width);
  size_t take = width < 10 ? width : 10;
  std::memcpy(dest + width - take, digits + 10 - take, take);
  return dest + width;
}

int32_t dec_to_int(const char* text, size_t length) {
  uint32_t value = 0;
  uint32_t weight = 1;
  for (size_t i = length; i > 0; --i) {
    value += (static_cast<uint8_t>(text[i - 1]) & 0x0Fu) * weight;
    weight *= 10u;
  }
  return static_cast<int32_t>(value);
}

double amount_value(const char* text, size_t length) {
  // Put the point before the last two bytes, then read a plain decimal number.
  char scratch[100] = {};
  if (length > 97) length = 97;
  size_t n = length;
  if (n < 2) {  // a single digit is still hundredths
    std::memset(scratch, '0', 2 - n);
    std::memcpy(scratch + 2 - n, text, n);
    n = 2;
  } else {
    std::memcpy(scratch, text, n);
  }
  scratch[n] = scratch[n - 1];
  scratch[n - 1] = scratch[n - 2];
  scratch[n - 2] = '.';
  scratch[n + 1] = '\0';

  const char* p = scratch;
  while (is_space(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = *p++ == '-';
  double mantissa = 0;
  int fraction_digits = 0;
  bool any = false;
  while (is_digit(*p)) {
    mantissa = mantissa * 10 + (*p++ - '0');
    any = true;
  }
  if (*p == '.') {
    ++p;
    while (is_digit(*p)) {
      mantissa = mantissa * 10 + (*p++ - '0');
      ++fraction_digits;
      any = true;
    }
  }
  if (!any) return 0.0;
  double value = mantissa / std::pow(10.0, fraction_digits);
  return negative ? -value : value;
}

size_t format_amount(char* dest, double value) {
  if (!std::isfinite(value)) value = 0;
  double hundredths = std::round(std::fabs(value) * 100.0);
  if (hundredths > 9e17) hundredths = 9e17;  // beyond any amount the library carries
  auto cents = static_cast<unsigned long long>(hundredths);
  char digits[24];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + cents % 10);
    cents /= 10;
  } while (cents != 0 || n < 3);
  size_t out = 0;
  if (value < 0 && hundredths != 0) dest[out++] = '-';
  for (int i = n - 1; i >= 0; --i) {
    dest[out++] = digits[i];
    if (i == 2) dest[out++] = '.';
  }
  dest[out] = '\0';
  return out;
}

uint8_t* int_to_bcd(uint8_t* dest, size_t width, const uint32_t* value) {
  uint32_t v = *value;
  uint8_t bcd[5];
  static const uint32_t kDivisors[] = {100000000u, 1000000u, 10000u, 100u, 1u};
  for (int i = 0; i < 5; ++i) {
    uint32_t pair = v / kDivisors[i];
    v %= kDivisors[i];
    bcd[i] = static_cast<uint8_t>(((pair / 10 % 10) << 4) | (pair % 10));
  }
  std::memset(dest, 0, width);
  size_t take = width < 5 ? width : 5;
  std::memcpy(dest + width - take, bcd + 5 - take, take);
  return dest + width;
}

int32_t bcd_to_int(const uint8_t* bytes, int digits) {
  if (digits <= 0) return 0;
  int count = digits / 2 + digits % 2;  // (digits + 1) / 2 without overflow
  uint32_t value = 0;
  uint32_t weight = 1;
  int taken = 0;
  for (int i = count - 1; i >= 0 && taken < digits; --i) {
    uint8_t b = bytes[i];
    value += (b & 0x0Fu) * weight;
    weight = weight == 1000000000u ? 0u : weight * 10u;
    if (++taken == digits) break;
    value += static_cast<uint32_t>(b >> 4) * weight;
    weight = weight == 1000000000u ? 0u : weight * 10u;
    ++taken;
  }
  return static_cast<int32_t>(value);
}

uint8_t lrc_append(uint8_t* buffer, int length, uint8_t seed) {
  uint8_t lrc = seed;
  for (int i = 0; i < length; ++i) lrc ^= buffer[i];
  buffer[length < 0 ? 0 : length] = lrc;
  return lrc;
}

void trim_left(char* text) {
  size_t skip = 0;
  while (text[skip] == ' ') ++skip;
  if (skip == 0 || text[skip] == '\0') return;
  std::memmove(text, text + skip, std::strlen(text + skip) + 1);
}

void trim_right(char* text) {
  size_t n = std::strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = '\0';
}

void trim(char* text) {
  trim_left(text);
  trim_right(text);
}

size_t put_field(char* dest, const char* source, size_t length) {
  char scratch[512] = {};
  std::memcpy(scratch, source, length < 511 ? length : 511);
  trim(scratch);
  size_t n = std::strlen(scratch);
  scratch[n++] = '|';
  std::memcpy(dest, scratch, n);
  return n;
}

void time_stamp(char* dest) {
  TimeOfDay t = clock().LocalTime();
  char* p = int_to_dec(dest, 2, t.hour);
  p = int_to_dec(p, 2, t.minute);
  int_to_dec(p, 2, t.second);
}

}  // namespace quendal
