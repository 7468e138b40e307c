// The small status window shown during a transaction. Each step appends a GBK text to its status;
// the window shows the whole history. The class has the same signature on every platform: a dialog
// on Windows, a text view on POSIX systems.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace quendal {

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
  std::string StatusText() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Empties the calling thread's message queue, dispatching every message. Returns 0.
int PumpMessages();

// A tool may watch the status texts as they are appended (the CLI prints them live).
using StatusObserver = void (*)(const char* gbk, size_t length, void* context);
void set_status_observer(StatusObserver observer, void* context);
void notify_status_observer(const char* gbk, size_t length);

}  // namespace quendal
