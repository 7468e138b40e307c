// What a forked child must undo of its parent's state. Only the forking thread lives on in the
// child, so a call that was running in another thread is not running there.
#pragma once

namespace quendal {

// Runs `handler` in the child of every fork of the process from now on. Systems without fork do
// nothing.
void on_fork_child(void (*handler)());

}  // namespace quendal
