// The small status window shown during a transaction. Each step appends a GBK text to its status;
// the window shows the whole history. The rules and the status log are shared (process_window.cpp);
// the view is the platform's (window_view.h): a dialog on Windows, none on POSIX systems.
#pragma once

#include <cstddef>
#include <string>

namespace quendal {

namespace log_file {
struct LogFile;
}

struct WindowView;

class CProcessWindow {
 public:
  CProcessWindow();  // no parent window
  ~CProcessWindow();
  CProcessWindow(const CProcessWindow&) = delete;
  CProcessWindow& operator=(const CProcessWindow&) = delete;

  // Creates the window, hidden; false when the platform could not make it. A window that could not
  // be created still takes status texts: they are kept and logged, not shown.
  bool Create();
  // Shows it, has it painted at once and pumps the message queue.
  void Show();
  // Appends `gbk` (zero-terminated; null appends nothing) to the status text and shows the whole
  // text; an empty text is not appended once there is text. Pumps the message queue.
  void AppendStatus(const char* gbk);
  void Destroy();

  // The accumulated status text as GBK bytes.
  const std::string& StatusText() const { return status_text_; }

 private:
  void LogStatus(const char* gbk, size_t n);
  void CloseStatusLog();

  WindowView* view_ = nullptr;  // the platform's view; null before Create or without one
  std::string status_text_;
  log_file::LogFile* status_log_ = nullptr;  // QUENDAL_STATUS_LOG, open from the first text
  bool status_log_tried_ = false;
};

// Empties the calling thread's message queue, dispatching every message. Returns 0.
int PumpMessages();

}  // namespace quendal
