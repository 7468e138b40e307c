// A caller for the journal's kill test: one card_trans call of the request in argv[1]. With
// QUENDAL_STOP_AT=N it stops itself (SIGSTOP) right after the N-th line of its wire trace has been
// flushed, so that the test can kill it with SIGKILL at exactly that step. Every status text and
// every wire event is one trace line.
#include <dlfcn.h>
#include <signal.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

#include "quendal/card_trans.h"

namespace {

long g_stop_at = 0;
long g_lines = 0;

bool is_trace(FILE* stream) {
  const char* path = std::getenv("QUENDAL_TRACE");
  struct stat traced {};
  struct stat flushed {};
  return path != nullptr && stream != nullptr && ::stat(path, &traced) == 0 &&
         ::fstat(fileno(stream), &flushed) == 0 && traced.st_dev == flushed.st_dev &&
         traced.st_ino == flushed.st_ino;
}

}  // namespace

// Takes the place of the C library's fflush for this program, the library's trace included.
extern "C" int fflush(FILE* stream) {
  using Flush = int (*)(FILE*);
  static const Flush real = reinterpret_cast<Flush>(dlsym(RTLD_NEXT, "fflush"));
  const int rc = real(stream);
  if (g_stop_at > 0 && is_trace(stream) && ++g_lines == g_stop_at) raise(SIGSTOP);
  return rc;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const char* stop_at = std::getenv("QUENDAL_STOP_AT");
  g_stop_at = stop_at != nullptr ? std::atol(stop_at) : 0;
  char result[QUENDAL_RESULT_SIZE];
  return card_trans(argv[1], result);
}
