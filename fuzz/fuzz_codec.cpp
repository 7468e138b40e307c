// The codecs on arbitrary bytes: the request line's fields and numbers come from the caller, the
// digits and BCD from the terminal, the amounts from the terminal's result. Besides staying inside
// their buffers they are checked against plain reference readings where one is simple enough to
// trust: leading_int against strtoll, the field split against a direct scan, the amount against
// its digits, and the number writers against their readers.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "codec/codec.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

void fields(const std::string& text, int n, char separator) {
  const char* start = quendal::field_start(text.c_str(), n, separator);
  size_t length = quendal::field_length(text.c_str(), n, separator);
  check(start >= text.c_str() && start + length <= text.c_str() + text.size());
  if (n < 0) return;
  // Field n starts behind the n-th separator, or at the end when there are fewer.
  size_t at = 0;
  int seen = 0;
  while (seen < n && at < text.size()) {
    if (text[at++] == separator) ++seen;
  }
  if (seen < n) at = text.size();
  check(start == text.c_str() + at);
  size_t end = text.find(separator, at);
  check(length == (end == std::string::npos ? text.size() : end) - at);
}

void leading(const std::vector<char>& bytes, size_t max_len) {
  int32_t got = quendal::leading_int(bytes.data(), max_len);
  std::string bounded(bytes.data(), std::min(max_len, bytes.size()));
  bounded = bounded.c_str();
  errno = 0;
  long long want = std::strtoll(bounded.c_str(), nullptr, 10);
  if (want > INT32_MAX) want = INT32_MAX;
  if (want < INT32_MIN) want = INT32_MIN;
  // strtoll also takes "0x" or locale forms only with other bases; base 10 reads the same text.
  check(got == want);
}

void amount(const std::vector<char>& bytes) {
  double value = quendal::amount_value(bytes.data(), bytes.size());
  char text[32];
  std::memset(text, 0x7F, sizeof text);
  size_t n = quendal::format_amount(text, value);
  check(n < sizeof text && text[n] == '\0' && std::strlen(text) == n);
  bool digits = !bytes.empty() && bytes.size() <= 12;
  for (char c : bytes) digits = digits && c >= '0' && c <= '9';
  if (digits) {
    // Twelve digits, the last two hundredths, come back as written.
    std::string all(bytes.begin(), bytes.end());
    all.insert(0, 3 - std::min<size_t>(all.size(), 3), '0');
    std::string whole = all.substr(0, all.size() - 2);
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    check(std::string(text) == whole + "." + all.substr(all.size() - 2));
  }
}

void put(const std::vector<char>& bytes) {
  std::vector<char> dest(std::min<size_t>(bytes.size(), 511) + 1);
  size_t n = quendal::put_field(dest.data(), bytes.data(), bytes.size());
  check(n >= 1 && n <= dest.size() && dest[n - 1] == '|');
  check(n == 1 || (dest[0] != ' ' && dest[n - 2] != ' '));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const int n = in.ConsumeIntegralInRange<int>(-2, 40);
  const char separator = in.ConsumeIntegral<char>();
  const size_t max_len = in.ConsumeIntegralInRange<size_t>(0, 80);
  const uint32_t number = in.ConsumeIntegral<uint32_t>();
  const size_t width = in.ConsumeIntegralInRange<size_t>(0, 12);
  std::vector<char> bytes = in.ConsumeRemainingBytes<char>();
  std::string text(bytes.begin(), bytes.end());
  text = text.c_str();
  bytes.reserve(bytes.size() + 1);  // never a null data() for the codecs, even when empty

  fields(text, n, separator);
  bytes.push_back('\0');  // leading_int stops at a zero byte, as the line's text ends in one
  leading(bytes, max_len);
  bytes.pop_back();
  amount(bytes);
  put(bytes);

  // Fixed-width numbers keep their low-order digits.
  std::vector<char> dec(width + 1, 0);
  quendal::int_to_dec(dec.data(), width, static_cast<int32_t>(number & 0x7FFFFFFF));
  if (width <= 9) {
    uint32_t modulus = 1;
    for (size_t i = 0; i < width; ++i) modulus *= 10;
    check(static_cast<uint32_t>(quendal::dec_to_int(dec.data(), width)) ==
          (number & 0x7FFFFFFF) % modulus);
  }
  (void)quendal::dec_to_int(bytes.data(), bytes.size());

  std::vector<uint8_t> bcd(width + 1, 0xAA);
  quendal::int_to_bcd(bcd.data(), width, &number);
  check(bcd[width] == 0xAA);
  if (width >= 1 && width <= 4) {
    uint32_t modulus = 1;
    for (size_t i = 0; i < 2 * width; ++i) modulus *= 10;
    check(static_cast<uint32_t>(quendal::bcd_to_int(bcd.data(), static_cast<int>(2 * width))) ==
          number % modulus);
  }
  // Any bytes as BCD, every digit count the bytes can hold.
  int digits = static_cast<int>(std::min<size_t>(bytes.size(), 64) * 2);
  for (int d = -1; d <= digits; d += 7) {
    (void)quendal::bcd_to_int(reinterpret_cast<const uint8_t*>(bytes.data()), d);
  }
  return 0;
}
