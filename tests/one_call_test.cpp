// One call at a time: a call re-entered on the running call's own thread (as from a message the
// progress window's pump dispatches) is turned away at once and the running call goes on.
#include <gtest/gtest.h>

#include "card_trans_fixture.h"
#include "fault_matrix.h"

namespace quendal_test {
namespace {

// The virtual clock, calling card_trans once from inside the running call's first pause.
class ReenteringClock final : public quendal::Clock {
 public:
  explicit ReenteringClock(quendal::VirtualClock& inner, std::string request)
      : inner_(inner), request_(std::move(request)) {}
  int64_t MonotonicMs() override { return inner_.MonotonicMs(); }
  quendal::TimeOfDay LocalTime() override { return inner_.LocalTime(); }
  void SleepMs(uint32_t ms) override {
    if (!reentered_) {
      reentered_ = true;
      const size_t sleeps = inner_.Sleeps().size();
      rc_ = card_trans(request_.c_str(), result_);
      paused_ = inner_.Sleeps().size() != sleeps;
    }
    inner_.SleepMs(ms);
  }
  bool WaitReady(uint32_t ms, const std::function<bool(uint32_t)>& wait_real) override {
    return inner_.WaitReady(ms, wait_real);
  }
  void BeginPeerWait() override { inner_.BeginPeerWait(); }

  quendal::VirtualClock& inner_;
  std::string request_;
  bool reentered_ = false;
  bool paused_ = false;
  int rc_ = -1;
  char result_[555] = {};
};

class OneCall : public CardTransTest {};

TEST_F(OneCall, ReenteredCallIsTurnedAwayAndTheRunningCallGoesOn) {
  ScenarioRig rig(fault_scenarios()[0], clock_);
  ASSERT_TRUE(rig.ok());
  ReenteringClock reentering(clock_, rig.Request());
  quendal::ScopedClock use(reentering);
  EXPECT_EQ(Call(rig.Request()), 0);
  EXPECT_EQ(Result(), Padded(kApproved));
  ASSERT_TRUE(reentering.reentered_);
  EXPECT_EQ(reentering.rc_, 1);
  EXPECT_EQ(std::string(reentering.result_, 555), Padded(err(206)));
  EXPECT_FALSE(reentering.paused_);
  // The terminal saw one call only: its test, the request, the relay's answer.
  EXPECT_EQ(rig.Terminal().Received().size(), 3u);
}

}  // namespace
}  // namespace quendal_test
