#include "platform/clock.h"

namespace quendal {

namespace {
Clock* g_clock = nullptr;
}

Clock& clock() { return g_clock != nullptr ? *g_clock : real_clock(); }

void set_clock(Clock* c) { g_clock = c; }

}  // namespace quendal
