// Windows has no fork: a new process starts with the library's state fresh.
#include "platform/fork.h"

namespace quendal {

void on_fork_child(void (*)()) {}

}  // namespace quendal
