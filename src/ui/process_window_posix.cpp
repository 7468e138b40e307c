// The progress window on POSIX systems: a text view that keeps the status text and, when the
// environment variable QUENDAL_STATUS_LOG names a file, appends each status text to it as its raw
// GBK bytes.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/process_window.h"

namespace quendal {

struct CProcessWindow::Impl {
  std::string status_text;
  bool created = false;
};

CProcessWindow::CProcessWindow() : impl_(new Impl) {}

CProcessWindow::~CProcessWindow() = default;

bool CProcessWindow::Create() {
  impl_->created = true;
  return true;
}

void CProcessWindow::Show() { PumpMessages(); }

void CProcessWindow::AppendStatus(const char* gbk) {
  if (gbk == nullptr) return;
  size_t n = std::strlen(gbk);
  if (n > 0) {
    impl_->status_text.append(gbk, n);
    const char* log_path = std::getenv("QUENDAL_STATUS_LOG");
    if (log_path != nullptr && *log_path != '\0') {
      if (FILE* log = std::fopen(log_path, "ab")) {
        std::fwrite(gbk, 1, n, log);
        std::fclose(log);
      }
    }
    notify_status_observer(gbk, n);
  }
  PumpMessages();
}

void CProcessWindow::Destroy() { impl_->created = false; }

std::string CProcessWindow::StatusText() const { return impl_->status_text; }

int PumpMessages() { return 0; }

}  // namespace quendal
