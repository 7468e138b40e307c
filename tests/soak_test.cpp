// The soak: 10 000 calls in one process, in virtual time, cycling through the fault matrix's
// scenarios, with the process's open descriptors and heap bytes in use counted after each call.
// After the first hundred calls neither may grow. It takes minutes, so it is left out of the
// default run:
//   build/tests/quendal_tests --gtest_also_run_disabled_tests --gtest_filter='Soak.*'
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>

#include "card_trans_fixture.h"
#include "fault_matrix.h"

namespace quendal_test {
namespace {

class Soak : public CardTransTest {};

// Scenarios whose every call costs a real second or more (a host's own socket time-out, a
// connection that is never accepted, bytes paced out one by one): run once in ten rounds.
bool slow(const Scenario& s) {
  return s.bank == Bank::kSilent || s.bank == Bank::kNeverAccepting ||
         s.business == Business::kSilent || s.concurrent ||
         std::string(s.name).find("single bytes") != std::string::npos;
}

size_t heap_in_use() { return mallinfo2().uordblks; }

TEST_F(Soak, DISABLED_TenThousandCallsLeaveNoDescriptorOrHeapGrowth) {
  constexpr int kCalls = 10000;
  constexpr int kWarmUp = 100;
  const std::vector<Scenario> scenarios = fault_scenarios();

  size_t base_fds = 0, base_heap = 0, max_fds = 0, max_heap = 0;
  int calls = 0, wrong = 0;
  for (size_t i = 0; calls < kCalls; ++i) {
    const Scenario& scenario = scenarios[i % scenarios.size()];
    if (slow(scenario) && (i / scenarios.size()) % 10 != 0) continue;
    // The same checks as the matrix, counted rather than reported one by one.
    {
      // Simulators of its own for each call, gone before the count: what stays open or
      // allocated after it is the library's.
      // A clock of its own too: a clock records every pause it is asked for.
      quendal::VirtualClock clock;
      quendal::ScopedClock use_clock(clock);
      // The simulators answer at once; a smaller real allowance keeps the time-out scenarios
      // short.
      clock.SetPeerAllowanceMs(100);
      ScenarioRig rig(scenario, clock);
      ASSERT_TRUE(rig.ok());
      int rc = -1;
      if (scenario.concurrent) {
        std::thread first([&] { rc = Call(rig.Request()); });
        rig.Terminal().WaitForReceived(2, 5000);
        char second[555];
        card_trans(rig.Request().c_str(), second);
        first.join();
      } else {
        rc = Call(rig.Request());
      }
      bool right = rc == scenario.rc && scenario.Expected(Result());
      if (!right) {
        ++wrong;
        ADD_FAILURE() << "call " << calls << ": " << scenario.name << " returned " << rc << " "
                      << Result().substr(0, 40);
      }
    }
    ++calls;
    size_t fds = open_descriptors().size();
    size_t heap = heap_in_use();
    if (calls == kWarmUp) {
      base_fds = max_fds = fds;
      base_heap = max_heap = heap;
    } else if (calls > kWarmUp) {
      max_fds = std::max(max_fds, fds);
      max_heap = std::max(max_heap, heap);
    }
    if (calls % 1000 == 0) {
      std::printf(
          "soak: %d calls, %zu descriptors (after %d: %zu), heap in use %zu bytes (after "
          "%d: %zu)\n",
          calls, fds, kWarmUp, base_fds, heap, kWarmUp, base_heap);
      std::fflush(stdout);
    }
  }
  std::printf(
      "soak: descriptors %zu at call %d, at most %zu after; heap %zu bytes at call %d, at "
      "most %zu after\n",
      base_fds, kWarmUp, max_fds, base_heap, kWarmUp, max_heap);
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(max_fds, base_fds);
  // Allocator bookkeeping moves a little from call to call; a leak of even a few bytes a call
  // would pass this bound many times over in 9 900 calls.
  EXPECT_LE(max_heap, base_heap + 16 * 1024);
}

}  // namespace
}  // namespace quendal_test
