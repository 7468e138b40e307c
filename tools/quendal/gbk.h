// GBK and the terminal's encoding: the library's texts shown on a terminal, and texts typed there
// sent as GBK, which is what the library, the terminal and the hosts all speak.
#pragma once

#include <string>

namespace quendal_tool {

// Bytes that are not valid GBK are shown as '?'.
std::string gbk_to_utf8(const std::string& gbk);
// Characters that have no GBK form are sent as '?'.
std::string utf8_to_gbk(const std::string& utf8);

// The encoding of the user's terminal, from the locale (LC_ALL, LC_CTYPE, LANG). A locale that
// names no encoding of its own ("C", "POSIX": plain ASCII) counts as UTF-8, which is what such a
// terminal almost always shows and which leaves ASCII as it is.
std::string terminal_encoding();

// Converts `text` from `from` to GBK, refusing rather than guessing: false, with the byte offset
// of the first byte that is not valid `from` or has no GBK form, when the whole text cannot be
// converted.
bool to_gbk(const std::string& text, const std::string& from, std::string* gbk, size_t* bad_at);

// GBK texts shown in the terminal's encoding; what cannot be shown becomes '?'.
std::string gbk_to_terminal(const std::string& gbk);

}  // namespace quendal_tool
