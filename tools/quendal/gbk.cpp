#include "gbk.h"

#include <iconv.h>
#include <langinfo.h>

#include <cctype>
#include <clocale>

namespace quendal_tool {

namespace {

// Converts between two encodings. A byte that has no form in the target is shown as '?' unless
// `strict`, when the conversion stops there and `bad_at` tells where.
bool convert(const char* to, const char* from, const std::string& text, std::string* out,
             bool strict = false, size_t* bad_at = nullptr) {
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

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string gbk_to_utf8(const std::string& gbk) {
  std::string out;
  convert("UTF-8", "GBK", gbk, &out);
  return out;
}

std::string utf8_to_gbk(const std::string& utf8) {
  std::string out;
  convert("GBK", "UTF-8", utf8, &out);
  return out;
}

std::string terminal_encoding() {
  static const std::string encoding = [] {
    std::setlocale(LC_CTYPE, "");
    std::string name = nl_langinfo(CODESET);
    std::string u = upper(name);
    if (u.empty() || u == "ANSI_X3.4-1968" || u == "ASCII" || u == "US-ASCII")
      return std::string("UTF-8");
    return name;
  }();
  return encoding;
}

bool to_gbk(const std::string& text, const std::string& from, std::string* gbk, size_t* bad_at) {
  return convert("GBK", from.c_str(), text, gbk, true, bad_at);
}

std::string gbk_to_terminal(const std::string& gbk) {
  std::string out;
  convert(terminal_encoding().c_str(), "GBK", gbk, &out);
  return out;
}

}  // namespace quendal_tool
