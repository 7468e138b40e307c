// The progress window's rules, the same on every platform: how texts accumulate, the status log
// for support desks, and when the queue is pumped. Only the view differs per platform.
#include "ui/process_window.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ui/window_view.h"

namespace quendal {

namespace {

// When QUENDAL_STATUS_LOG names a file, each status text is appended to it as its raw GBK bytes,
// so a support desk can see what a till showed. A log that cannot be written changes nothing.
void log_status(const char* gbk, size_t n) {
  const char* log_path = std::getenv("QUENDAL_STATUS_LOG");
  if (log_path == nullptr || *log_path == '\0') return;
  if (FILE* log = std::fopen(log_path, "ab")) {
    std::fwrite(gbk, 1, n, log);
    std::fclose(log);
  }
}

}  // namespace

CProcessWindow::CProcessWindow() = default;

CProcessWindow::~CProcessWindow() { Destroy(); }

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
      log_status(gbk, n);
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
