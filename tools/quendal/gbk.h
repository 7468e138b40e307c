// GBK and the terminal's encoding: the library's texts shown on a terminal, and texts typed there
// sent as GBK, which is what the library, the terminal and the hosts all speak.
#pragma once

#include <string>

namespace quendal_tool {

// Bytes that are not valid GBK are shown as '?'.
std::string gbk_to_utf8(const std::string& gbk);
// Characters that have no GBK form are sent as '?'.
std::string utf8_to_gbk(const std::string& utf8);

// The encoding the command's arguments arrive in and its output is written in. POSIX: the locale's
// (LC_ALL, LC_CTYPE, LANG); a locale that names no encoding of its own ("C", "POSIX": plain ASCII)
// counts as UTF-8, which is what such a terminal almost always shows and which leaves ASCII as it
// is. Windows: UTF-8 (see prepare_process).
std::string terminal_encoding();

// Converts `text` from the encoding `from` to `to` (names as iconv knows them; "UTF-8" and "GBK"
// everywhere). A byte that has no form in the target is shown as '?' unless `strict`, when the
// conversion stops there, `bad_at` tells where and the result is false. One implementation per
// platform.
bool convert_text(const char* to, const char* from, const std::string& text, std::string* out,
                  bool strict = false, size_t* bad_at = nullptr);

// Converts `text` from `from` to GBK, refusing rather than guessing: false, with the byte offset
// of the first byte that is not valid `from` or has no GBK form, when the whole text cannot be
// converted.
bool to_gbk(const std::string& text, const std::string& from, std::string* gbk, size_t* bad_at);

// GBK texts shown in the terminal's encoding; what cannot be shown becomes '?'.
std::string gbk_to_terminal(const std::string& gbk);

}  // namespace quendal_tool
