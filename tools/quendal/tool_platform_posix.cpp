// The quendal command on POSIX systems.
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tool_platform.h"

namespace quendal_tool {

void prepare_process(int*, char***) {}

bool stdout_is_terminal() { return ::isatty(STDOUT_FILENO) != 0; }

long file_size(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

void set_env(const char* name, const std::string& value) { ::setenv(name, value.c_str(), 1); }

void unset_env(const char* name) { ::unsetenv(name); }

bool make_temporary_file(std::string* path, std::string* error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quendal-status-XXXXXX";
  int fd = ::mkstemp(&pattern[0]);
  if (fd < 0) {
    *error = "cannot make a file in " + pattern + ": " + std::strerror(errno);
    return false;
  }
  ::close(fd);
  *path = pattern;
  return true;
}

void remove_file_now(const char* path) { ::unlink(path); }

std::string native_path(const std::string& given) { return given; }

std::string invoked_path(const char* argv0) {
  std::string given = argv0 != nullptr ? argv0 : "";
  if (given.find('/') == std::string::npos) return given;
  char resolved[PATH_MAX];
  return ::realpath(given.c_str(), resolved) != nullptr ? resolved : given;
}

std::string describe_port(int number, const std::string& device) {
  const std::string variable = "QUENDAL_COM" + std::to_string(number);
  const char* named = std::getenv(variable.c_str());
  const std::string how =
      named != nullptr && *named != '\0' ? "from " + variable : variable + " is not set";
  struct stat st {};
  std::string state;
  if (::stat(device.c_str(), &st) != 0) {
    state = std::string("does not exist (") + std::strerror(errno) + ")";
  } else if (!S_ISCHR(st.st_mode)) {
    state = "exists but is not a character device";
  } else if (::access(device.c_str(), R_OK | W_OK) != 0) {
    state = "exists but may not be opened (" + std::string(std::strerror(errno)) +
            "; on Linux serial ports usually need the dialout group)";
  } else {
    state = "exists";
  }
  return " (" + how + "): " + state;
}

}  // namespace quendal_tool
