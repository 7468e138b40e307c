// The journal's file on POSIX systems: O_APPEND writes, fsync after each record.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>

#include "journal/journal_file.h"

namespace quendal {
namespace journal {

namespace {

// Makes a newly created file's name durable too: its directory entry lives in the directory.
void sync_directory_of(const char* path) {
  std::string dir(path);
  size_t slash = dir.rfind('/');
  dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : dir.substr(0, slash));
  int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool JournalFile::Open(const char* path) {
  Close();
  // Non-blocking only for the open itself: opening a FIFO for writing would wait for a reader.
  const int flags = O_RDWR | O_APPEND | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
  bool created = true;
  int fd = ::open(path, flags | O_CREAT | O_EXCL, 0600);
  if (fd < 0 && errno == EEXIST) {
    created = false;
    fd = ::open(path, flags);
  }
  if (fd < 0) return false;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  ::fcntl(fd, F_SETFL, O_APPEND);
  if (created) sync_directory_of(path);
  handle_ = fd;
  // A process that died in the middle of a record left it without its line end: the next record
  // starts on a line of its own, so that only the torn one is lost.
  char last = '\n';
  if (st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
    if (!Append("\n")) {
      Close();
      return false;
    }
  }
  return true;
}

bool JournalFile::Append(const std::string& bytes) {
  if (handle_ == kClosed) return false;
  const int fd = static_cast<int>(handle_);
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  while (::fsync(fd) != 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

void JournalFile::Close() {
  if (handle_ == kClosed) return;
  ::close(static_cast<int>(handle_));
  handle_ = kClosed;
}

long long utc_ms() {
  struct timeval tv {};
  ::gettimeofday(&tv, nullptr);
  return static_cast<long long>(tv.tv_sec) * 1000 + tv.tv_usec / 1000;
}

unsigned long process_id() { return static_cast<unsigned long>(::getpid()); }

void random_bytes(unsigned char* out, size_t n) {
  size_t got = 0;
  int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    while (got < n) {
      ssize_t r = ::read(fd, out + got, n - got);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    ::close(fd);
  }
  // Without /dev/urandom the time and the address space still set calls apart.
  unsigned long long mix = static_cast<unsigned long long>(utc_ms()) ^
                           reinterpret_cast<uintptr_t>(&mix) ^
                           (static_cast<unsigned long long>(::getpid()) << 32);
  for (; got < n; ++got) {
    mix = mix * 6364136223846793005ULL + 1442695040888963407ULL;
    out[got] = static_cast<unsigned char>(mix >> 56);
  }
}

void diagnostic(const char* line) {
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
}

}  // namespace journal
}  // namespace quendal
