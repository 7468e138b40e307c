// The platform side of the transaction journal: a file that only grows, whose every record is on
// the disk before the caller goes on, and the few facts of the process a record carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quendal {
namespace journal {

class JournalFile {
 public:
  JournalFile() = default;
  ~JournalFile() { Close(); }
  JournalFile(const JournalFile&) = delete;
  JournalFile& operator=(const JournalFile&) = delete;

  // Opens `path` for appending, creating it readable by its owner only. Only a regular file is
  // taken: a device, a pipe or a directory named by mistake would block or swallow the records.
  bool Open(const char* path);
  // Writes `bytes` whole at the end of the file and returns only once they are on the disk.
  bool Append(const std::string& bytes);
  void Close();
  bool IsOpen() const { return handle_ != kClosed; }

 private:
  static constexpr intptr_t kClosed = -1;
  intptr_t handle_ = kClosed;  // a descriptor or a HANDLE
};

// Milliseconds since 1970 (UTC).
long long utc_ms();
unsigned long process_id();
// Random bytes for call ids; never fails (falls back to weaker sources).
void random_bytes(unsigned char* out, size_t n);
// One line on the platform's diagnostic output (stderr; the debugger output on Windows).
void diagnostic(const char* line);

}  // namespace journal
}  // namespace quendal
