// Encodings through Windows' code pages: GBK is code page 936, whatever the system's own code page.
#include <windows.h>

#include <cstring>

#include "gbk.h"

namespace quendal_tool {

namespace {

// The code page an encoding name stands for, or 0 for a name this command does not know.
UINT code_page(const char* name) {
  if (_stricmp(name, "UTF-8") == 0 || _stricmp(name, "UTF8") == 0) return CP_UTF8;
  if (_stricmp(name, "GBK") == 0 || _stricmp(name, "CP936") == 0) return 936;
  return 0;
}

// The length of the character that starts at `at`: UTF-8 by its first byte, a double-byte code
// page by its lead bytes. Never past the end of the text.
size_t character_length(UINT cp, const std::string& text, size_t at) {
  const unsigned char c = static_cast<unsigned char>(text[at]);
  size_t n = 1;
  if (cp == CP_UTF8) {
    n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  } else if (IsDBCSLeadByteEx(cp, c)) {
    n = 2;
  }
  return at + n <= text.size() ? n : text.size() - at;
}

// One character from `from` to `to`; false when it is not valid in `from` or has no form in `to`.
bool convert_one(UINT to, UINT from, const char* bytes, int n, std::string* out) {
  wchar_t wide[4];
  int w = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, bytes, n, wide, 4);
  if (w <= 0) return false;
  char converted[16];
  BOOL lost = FALSE;
  // The UTF-8 code page takes no default character and cannot lose one.
  int m = WideCharToMultiByte(to, 0, wide, w, converted, sizeof converted, nullptr,
                              to == CP_UTF8 ? nullptr : &lost);
  if (m <= 0 || lost) return false;
  out->append(converted, static_cast<size_t>(m));
  return true;
}

}  // namespace

bool convert_text(const char* to, const char* from, const std::string& text, std::string* out,
                  bool strict, size_t* bad_at) {
  out->clear();
  const UINT to_cp = code_page(to);
  const UINT from_cp = code_page(from);
  if (to_cp == 0 || from_cp == 0) {
    *out = text;
    return !strict;
  }
  size_t at = 0;
  while (at < text.size()) {
    const size_t n = character_length(from_cp, text, at);
    if (static_cast<unsigned char>(text[at]) < 0x80) {
      out->push_back(text[at]);  // ASCII is the same in both
    } else if (!convert_one(to_cp, from_cp, text.data() + at, static_cast<int>(n), out)) {
      if (strict) {
        if (bad_at != nullptr) *bad_at = at;
        return false;
      }
      // As iconv's caller does: the first byte becomes '?', the rest is read again.
      out->push_back('?');
      at += 1;
      continue;
    }
    at += n;
  }
  return true;
}

std::string terminal_encoding() { return "UTF-8"; }

}  // namespace quendal_tool
