#include <pthread.h>

#include "platform/fork.h"

namespace quendal {

void on_fork_child(void (*handler)()) { ::pthread_atfork(nullptr, nullptr, handler); }

}  // namespace quendal
