// Small stateless conversions shared by the whole library: fields of separator-delimited text,
// fixed-width decimal and packed-BCD numbers, the two-decimal amount, the frame check byte, blank
// trimming with the '|' field writer, and the time-of-day stamp. They work byte by byte on caller
// buffers, never allocate and never fail: bad characters convert by fixed rules and over-wide
// values are cut. The caller guarantees the buffer sizes stated with each function.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quendal {

// First byte of field `n` of the zero-terminated `text`; a field beyond the last separator starts
// at the terminating zero byte.
const char* field_start(const char* text, int n, char separator);
// Bytes of field `n`, up to (not including) the next separator or the terminating zero byte.
size_t field_length(const char* text, int n, char separator);

// Leading-integer parse: skips leading white space, takes one optional sign, then digits up to the
// first non-digit; no digits give 0. Reads at most `max_len` bytes and stops at a zero byte. Values
// beyond 32 bits saturate at INT32_MIN / INT32_MAX.
int32_t leading_int(const char* text, size_t max_len = SIZE_MAX);

// Writes `value` as `width` ASCII digits, zero-padded on the left, keeping the low-order digits of
// a wider number; no terminator. Negative values are written as 0. Returns dest + width.
char* int_to_dec(char* dest, size_t width, int32_t value);
// Each byte's low four bits count as a digit, most significant first; no byte is rejected.
int32_t dec_to_int(const char* text, size_t length);

// The amount whose last two digits are hundredths: "000000012345" is 123.45. Leading blanks are
// skipped and reading stops at the first byte that cannot continue the number; nothing readable
// gives 0. Independent of the process locale. At most 97 bytes are looked at.
double amount_value(const char* text, size_t length);
// Writes `value` with exactly two fraction digits and a '.' ("%0.2f" in the "C" locale) and a
// terminating zero byte; `dest` needs 32 bytes. Returns the number of characters written.
size_t format_amount(char* dest, double value);

// Writes `*value` as packed BCD in `width` bytes, right-aligned, zero-padded, keeping the low-order
// digits of a wider number. Returns dest + width.
uint8_t* int_to_bcd(uint8_t* dest, size_t width, const uint32_t* value);
// Reads `digits` packed-BCD digits, right-aligned in (digits + 1) / 2 bytes. Nibbles above 9 are
// not rejected; digits beyond the tenth add nothing.
int32_t bcd_to_int(const uint8_t* bytes, int digits);

// XORs `seed` with buffer[0 .. length-1], stores the result at buffer[length] and returns it.
uint8_t lrc_append(uint8_t* buffer, int length, uint8_t seed);

// Blank (0x20) trimming of a zero-terminated text, in place.
void trim_left(char* text);
void trim_right(char* text);
void trim(char* text);

// Writes the first `length` bytes of `source` (ending early at a zero byte), trimmed of blanks on
// both sides, followed by '|'; no terminator. Returns the number of bytes written (at most
// min(length, 511) + 1).
size_t put_field(char* dest, const char* source, size_t length);

// Writes the local time of day as six digits HHMMSS, no terminator.
void time_stamp(char* dest);

}  // namespace quendal
