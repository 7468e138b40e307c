// A caller for the journal's kill test: one card_trans call of the request in argv[1]. With
// QUENDAL_STOP_AT=N it stops itself (SIGSTOP) right after the N-th line of its wire trace has been
// written, so that the test can kill it with SIGKILL at exactly that step. Every status text and
// every wire event is one trace line, written whole by one write.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "quendal/card_trans.h"

namespace {

long g_stop_at = 0;
long g_lines = 0;

bool is_trace(int fd) {
  const char* path = std::getenv("QUENDAL_TRACE");
  struct stat traced {};
  struct stat written {};
  return path != nullptr && ::stat(path, &traced) == 0 && ::fstat(fd, &written) == 0 &&
         traced.st_dev == written.st_dev && traced.st_ino == written.st_ino;
}

}  // namespace

// Takes the place of the C library's write for this program, the library's trace included.
extern "C" ssize_t write(int fd, const void* bytes, size_t n) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  const ssize_t rc = real(fd, bytes, n);
  if (g_stop_at > 0 && rc > 0 && is_trace(fd) && ++g_lines == g_stop_at) raise(SIGSTOP);
  return rc;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* stop_at = std::getenv("QUENDAL_STOP_AT");
  g_stop_at = stop_at != nullptr ? std::atol(stop_at) : 0;
  char result[QUENDAL_RESULT_SIZE];
  return card_trans(argv[1], result);
}
