// What the whole-call tests read: the result a failed call leaves, and the parts of a frame the
// terminal received from the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/error.h"

namespace quendal_test {

// The table's text for an error code.
inline std::string text_of(int code) { return quendal::table_error(code).text; }
// A failed call's result: the text, then spaces to 555 bytes.
inline std::string padded(const std::string& text) {
  return text + std::string(555 - text.size(), ' ');
}
// The header code (8 bytes) and the payload of a frame.
inline std::string code_of(const std::vector<uint8_t>& f) {
  return std::string(f.begin() + 6, f.begin() + 14);
}
inline std::string payload_of(const std::vector<uint8_t>& f) {
  return std::string(f.begin() + 26, f.end() - 2);
}

}  // namespace quendal_test
