// The progress window's rules, the same on every platform: how texts accumulate, the status log
// for support desks, and when the queue is pumped. Only the view differs per platform.
#include "ui/process_window.h"

#include <cstdlib>
#include <cstring>

#include "common/log_file.h"
#include "common/wire_trace.h"
#include "ui/window_view.h"

namespace quendal {

// When QUENDAL_STATUS_LOG names a file, each status text is appended to it as its raw GBK bytes,
// so a support desk can see what a till showed. A log that cannot be opened or written changes
// nothing, and is not tried again while this window lives (one call).
void CProcessWindow::LogStatus(const char* gbk, size_t n) {
  if (!status_log_tried_) {
    status_log_tried_ = true;
    status_log_ = log_file::open_append(std::getenv("QUENDAL_STATUS_LOG"));
  }
  if (status_log_ != nullptr && !log_file::append(status_log_, gbk, n)) CloseStatusLog();
}

void CProcessWindow::CloseStatusLog() {
  log_file::close(status_log_);
  status_log_ = nullptr;
}

CProcessWindow::CProcessWindow() = default;

CProcessWindow::~CProcessWindow() {
  Destroy();
  CloseStatusLog();
}

bool CProcessWindow::Create() {
  if (view_ == nullptr) view_ = view_create();
  return view_ != nullptr;
}

void CProcessWindow::Show() {
  view_show(view_);
  PumpMessages();
}

void CProcessWindow::AppendStatus(const char* gbk) {
  if (gbk != nullptr) {
    size_t n = std::strlen(gbk);
    // An empty text is not appended once there is text; on an empty window it adds nothing either.
    if (n > 0) {
      status_text_.append(gbk, n);
      LogStatus(gbk, n);
      wire_trace::Status(gbk, n);
    }
    view_set_text(view_, status_text_);
  }
  PumpMessages();
}

void CProcessWindow::Destroy() {
  if (view_ != nullptr) {
    view_destroy(view_);
    view_ = nullptr;
  }
  // The window goes at the very end of the call: nothing is pumped after it.
  repost_taken_quit();
}

}  // namespace quendal
