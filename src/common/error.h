// The one error object through which every failure of a transaction travels, and its table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quendal {

struct CError {
  int32_t code = 0;
  char text[40] = {};      // GBK, zero-padded; a text of exactly 40 bytes has no terminator
  uint8_t cancel_pos = 0;  // 1: the terminal is sent a CANCEL notice if its port is open

  void Clear();
  // Fills the object from the error table row that carries `code`; when no row does, only the
  // text is cleared. Returns the object itself, so a step can look up and throw in one expression.
  CError& SetFromTable(int32_t code);
  void SetFlag(uint8_t flag) { cancel_pos = flag; }

  // Copies at most 40 bytes of `bytes` into `text` (the rest zero).
  void SetText(const char* bytes, size_t n);
  // Length of `text` up to its first zero byte, at most 40.
  size_t TextLength() const;
};

// Builds the table's error for `code`, ready to throw.
CError table_error(int32_t code);

}  // namespace quendal
