// The few process calls the tests make that differ between POSIX systems and Windows: the
// environment and scratch files. One implementation per platform (test_env_posix.cpp,
// test_env_win32.cpp), so the tests themselves run unchanged under wine.
#pragma once

#include <string>

namespace quendal_test {

void set_env(const std::string& name, const std::string& value);
void unset_env(const std::string& name);
// Creates an empty scratch file of its own and returns its path.
std::string make_temp_file();
void remove_file(const std::string& path);

// GBK bytes as UTF-8; throws std::runtime_error when they are not GBK.
std::string gbk_to_utf8_strict(const std::string& gbk);

}  // namespace quendal_test
