#include "ui/process_window.h"

namespace quendal {

namespace {
StatusObserver g_observer = nullptr;
void* g_context = nullptr;
}  // namespace

void set_status_observer(StatusObserver observer, void* context) {
  g_observer = observer;
  g_context = context;
}

void notify_status_observer(const char* gbk, size_t length) {
  if (g_observer != nullptr) g_observer(gbk, length, g_context);
}

}  // namespace quendal
