#include "support/fake_serial_line.h"

#include <chrono>

namespace quendal_test {

bool FakeSerialLine::Open(uint8_t number, uint32_t speed, const quendal::LineSettings&) {
  std::lock_guard<std::mutex> lock(mutex_);
  last_number_ = number;
  last_speed_ = speed;
  if (missing_ || open_) return false;
  ++opens_;
  open_ = true;
  input_.clear();  // anything pending is discarded
  return true;
}

bool FakeSerialLine::IsOpen() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

int FakeSerialLine::ApplyLineSettings(uint32_t speed) {
  std::lock_guard<std::mutex> lock(mutex_);
  last_speed_ = speed;
  return open_ ? 1 : 0;
}

void FakeSerialLine::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
  input_.clear();
}

void FakeSerialLine::Abandon() {
  std::lock_guard<std::mutex> lock(mutex_);
  open_ = false;
}

int32_t FakeSerialLine::Read(uint8_t* buffer, uint32_t max_len) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!open_) return 0;
  ++reads_;
  if (broken_ && input_.empty()) return -1;
  int32_t n = 0;
  while (static_cast<uint32_t>(n) < max_len && !input_.empty()) {
    buffer[n++] = input_.front();
    input_.pop_front();
  }
  return n;
}

bool FakeSerialLine::Write(const uint8_t* buffer, int32_t len) {
  Responder responder;
  Bytes block(buffer, buffer + (len > 0 ? len : 0));
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!open_ || refuse_writes_) return false;
    written_.insert(written_.end(), block.begin(), block.end());
    responder = responder_;
  }
  if (responder) Feed(responder(block));
  return true;
}

quendal::LineWait FakeSerialLine::WaitReadable(uint32_t ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  bool ready = arrived_.wait_for(lock, std::chrono::milliseconds(ms),
                                 [this] { return (open_ && !input_.empty()) || broken_; });
  if (open_ && !input_.empty()) return quendal::LineWait::kReady;
  return ready ? quendal::LineWait::kBroken : quendal::LineWait::kQuiet;
}

void FakeSerialLine::DiscardInput() {
  std::lock_guard<std::mutex> lock(mutex_);
  input_.clear();
}

void FakeSerialLine::SetBroken(bool broken) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    broken_ = broken;
  }
  arrived_.notify_all();
}

int FakeSerialLine::Reads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return reads_;
}

void FakeSerialLine::Feed(const Bytes& bytes) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    input_.insert(input_.end(), bytes.begin(), bytes.end());
  }
  arrived_.notify_all();
}

void FakeSerialLine::SetResponder(Responder responder) {
  std::lock_guard<std::mutex> lock(mutex_);
  responder_ = std::move(responder);
}

void FakeSerialLine::SetMissing(bool missing) {
  std::lock_guard<std::mutex> lock(mutex_);
  missing_ = missing;
}

void FakeSerialLine::SetRefuseWrites(bool refuse) {
  std::lock_guard<std::mutex> lock(mutex_);
  refuse_writes_ = refuse;
}

FakeSerialLine::Bytes FakeSerialLine::Written() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return written_;
}

size_t FakeSerialLine::Queued() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return input_.size();
}

int FakeSerialLine::Opens() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return opens_;
}

uint8_t FakeSerialLine::LastNumber() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_number_;
}

uint32_t FakeSerialLine::LastSpeed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return last_speed_;
}

}  // namespace quendal_test
