// POSIX systems have no window to show: the status texts are kept and logged by the shared part,
// and there is no message queue to pump.
#include "ui/process_window.h"
#include "ui/window_view.h"

namespace quendal {

struct WindowView {};

WindowView* view_create() {
  static WindowView none;
  return &none;
}

void view_show(WindowView*) {}

void view_set_text(WindowView*, const std::string&) {}

void view_destroy(WindowView*) {}

int PumpMessages() { return 0; }

void repost_taken_quit() {}

}  // namespace quendal
