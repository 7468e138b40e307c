// The journal's file on Windows: FILE_APPEND_DATA writes, FlushFileBuffers after each record.
#define _CRT_RAND_S
#include <stdlib.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "journal/journal_file.h"

namespace quendal {
namespace journal {

bool JournalFile::Open(const char* path) {
  Close();
  // Appending only: every write goes to the end of the file, whoever else writes to it.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return false;
  }
  // A handle to a file is not inherited by processes the caller starts.
  SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
  handle_ = reinterpret_cast<intptr_t>(h);
  // A process that died in the middle of a record left it without its line end: the next record
  // starts on a line of its own, so that only the torn one is lost.
  LARGE_INTEGER size;
  if (GetFileSizeEx(h, &size) && size.QuadPart > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(size.QuadPart - 1);
    at.OffsetHigh = static_cast<DWORD>((size.QuadPart - 1) >> 32);
    char last = '\n';
    DWORD got = 0;
    if (ReadFile(h, &last, 1, &got, &at) && got == 1 && last != '\n' && !Append("\n")) {
      Close();
      return false;
    }
  }
  return true;
}

bool JournalFile::Append(const std::string& bytes) {
  if (handle_ == kClosed) return false;
  HANDLE h = reinterpret_cast<HANDLE>(handle_);
  size_t done = 0;
  while (done < bytes.size()) {
    DWORD written = 0;
    DWORD want = static_cast<DWORD>(bytes.size() - done);
    if (!WriteFile(h, bytes.data() + done, want, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return FlushFileBuffers(h) != 0;
}

void JournalFile::Close() {
  if (handle_ == kClosed) return;
  CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = kClosed;
}

long long utc_ms() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  unsigned long long t =
      (static_cast<unsigned long long>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  // 100 ns units since 1601; 11644473600 s lie between 1601 and 1970.
  return static_cast<long long>(t / 10000ULL) - 11644473600000LL;
}

unsigned long process_id() { return GetCurrentProcessId(); }

void random_bytes(unsigned char* out, size_t n) {
  for (size_t i = 0; i < n; ++i) {
    unsigned int r = 0;
    if (rand_s(&r) != 0) r = static_cast<unsigned int>(GetTickCount() * 2654435761u + i);
    out[i] = static_cast<unsigned char>(r);
  }
}

void diagnostic(const char* line) {
  OutputDebugStringA(line);
  OutputDebugStringA("\n");
}

}  // namespace journal
}  // namespace quendal
