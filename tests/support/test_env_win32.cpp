#include <stdlib.h>
#include <windows.h>

#include <stdexcept>

#include "support/test_env.h"

namespace quendal_test {

// The C runtime's copy of the environment is the one the library's getenv reads.
void set_env(const std::string& name, const std::string& value) {
  _putenv_s(name.c_str(), value.c_str());
}

void unset_env(const std::string& name) { _putenv_s(name.c_str(), ""); }

std::string make_temp_file() {
  char dir[MAX_PATH];
  char path[MAX_PATH];
  if (GetTempPathA(MAX_PATH, dir) == 0 || GetTempFileNameA(dir, "qdl", 0, path) == 0) return "";
  return path;
}

void remove_file(const std::string& path) { DeleteFileA(path.c_str()); }

std::string gbk_to_utf8_strict(const std::string& gbk) {
  if (gbk.empty()) return "";
  int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()),
                              nullptr, 0);
  if (n <= 0) throw std::runtime_error("not GBK: " + gbk);
  std::wstring wide(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()), &wide[0],
                      n);
  int m = WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), n, &out[0], m, nullptr, nullptr);
  return out;
}

}  // namespace quendal_test
