// The support logs' files (the wire trace, the status log): appended to, never allowed to hold up
// or end the call. A path that names anything but a regular file (a FIFO, a device, a directory)
// is not a log: such a file could block an open or a write for ever, or raise SIGPIPE when its
// reader goes away. One implementation per platform.
#pragma once

#include <cstddef>

namespace quendal {
namespace log_file {

struct LogFile;

// Opens `path` for appending without blocking, creating it readable and writable by its owner only
// (it may hold what a till showed) and not inherited by the caller's child processes. Null when
// the path is not a regular file or cannot be opened.
LogFile* open_append(const char* path);
// Appends all `n` bytes; false on any failure, after which the log should be closed.
bool append(LogFile* log, const char* bytes, size_t n);
// Closes the file; null does nothing.
void close(LogFile* log);

}  // namespace log_file
}  // namespace quendal
