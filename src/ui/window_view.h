// What the progress window needs of the platform: a view that shows the whole status text, and the
// pump of the calling thread's message queue. One implementation per platform
// (process_window_posix.cpp: no view at all; process_window_win32.cpp: dialog 103).
#pragma once

#include <string>

namespace quendal {

struct WindowView;

// Makes the view, hidden; nullptr when the platform could not (no desktop). Every other call takes
// a null view and then does nothing.
WindowView* view_create();
// Shows the view and has it painted at once.
void view_show(WindowView* view);
// Shows `gbk`, the whole status text, in the view.
void view_set_text(WindowView* view, const std::string& gbk);
void view_destroy(WindowView* view);

// Posts again a quit request that the pump took out of the calling thread's queue during the
// call, with its exit code, so the caller's application still ends. Nothing where there is no
// message queue.
void repost_taken_quit();

}  // namespace quendal
