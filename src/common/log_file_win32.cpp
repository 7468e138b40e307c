// Support log files on Windows.
#include <windows.h>

#include <new>

#include "common/log_file.h"

namespace quendal {
namespace log_file {

struct LogFile {
  HANDLE handle;
};

LogFile* open_append(const char* path) {
  if (path == nullptr || *path == '\0') return nullptr;
  // Not inherited by the caller's child processes. The file keeps the folder's access rules:
  // Windows has no owner-only mode bits to give it.
  SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, FALSE};
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  // A pipe or a device could hold a write up for ever: only a file on a disk is a log.
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return nullptr;
  }
  LogFile* log = new (std::nothrow) LogFile{h};
  if (log == nullptr) CloseHandle(h);
  return log;
}

bool append(LogFile* log, const char* bytes, size_t n) {
  if (log == nullptr) return false;
  while (n > 0) {
    DWORD chunk = n > 0x10000 ? 0x10000 : static_cast<DWORD>(n);
    DWORD written = 0;
    if (!WriteFile(log->handle, bytes, chunk, &written, nullptr) || written == 0) return false;
    bytes += written;
    n -= written;
  }
  return true;
}

void close(LogFile* log) {
  if (log == nullptr) return;
  CloseHandle(log->handle);
  delete log;
}

}  // namespace log_file
}  // namespace quendal
