// Encodings through iconv and the locale.
#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <clocale>

#include "gbk.h"

namespace quendal_tool {

bool convert_text(const char* to, const char* from, const std::string& text, std::string* out,
                  bool strict, size_t* bad_at) {
  out->clear();
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    *out = text;
    return !strict;
  }
  char buffer[256];
  char* in = const_cast<char*>(text.data());
  size_t in_left = text.size();
  bool ok = true;
  while (in_left > 0) {
    char* o = buffer;
    size_t o_left = sizeof buffer;
    size_t rc = iconv(cd, &in, &in_left, &o, &o_left);
    out->append(buffer, sizeof buffer - o_left);
    if (rc == static_cast<size_t>(-1) && o_left == sizeof buffer && in_left > 0) {
      if (strict) {
        ok = false;
        if (bad_at != nullptr) *bad_at = text.size() - in_left;
        break;
      }
      out->push_back('?');
      ++in;
      --in_left;
    }
  }
  iconv_close(cd);
  return ok;
}

std::string terminal_encoding() {
  static const std::string encoding = [] {
    std::setlocale(LC_CTYPE, "");
    std::string name = nl_langinfo(CODESET);
    std::string u = name;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (u.empty() || u == "ANSI_X3.4-1968" || u == "ASCII" || u == "US-ASCII")
      return std::string("UTF-8");
    return name;
  }();
  return encoding;
}

}  // namespace quendal_tool
