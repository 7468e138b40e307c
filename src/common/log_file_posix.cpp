// Support log files on POSIX systems.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "common/log_file.h"

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif

namespace quendal {
namespace log_file {

struct LogFile {
  int fd;
};

LogFile* open_append(const char* path) {
  if (path == nullptr || *path == '\0') return nullptr;
  // O_NONBLOCK: opening a FIFO without a reader fails at once instead of waiting for one. The type
  // is checked on the open descriptor, so what was checked is what gets written.
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  LogFile* log = new (std::nothrow) LogFile{fd};
  if (log == nullptr) ::close(fd);
  return log;
}

bool append(LogFile* log, const char* bytes, size_t n) {
  if (log == nullptr) return false;
  while (n > 0) {
    ssize_t written = ::write(log->fd, bytes, n);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    bytes += written;
    n -= static_cast<size_t>(written);
  }
  return true;
}

void close(LogFile* log) {
  if (log == nullptr) return;
  ::close(log->fd);
  delete log;
}

}  // namespace log_file
}  // namespace quendal
