// An in-memory serial line, so that framing and the exchange with the terminal can be tested on any
// platform without a pty: the test feeds the bytes the terminal would send, and reads back what the
// library wrote. A responder may answer each block the library writes, as a terminal would.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "pos/serial_line.h"

namespace quendal_test {

class FakeSerialLine final : public quendal::SerialLine {
 public:
  using Bytes = std::vector<uint8_t>;
  // Called with each block the library writes; what it returns is queued as the terminal's reply.
  using Responder = std::function<Bytes(const Bytes& written)>;

  bool Open(uint8_t number, uint32_t speed, const quendal::LineSettings& settings) override;
  bool IsOpen() const override;
  int ApplyLineSettings(uint32_t speed) override;
  void Close() override;
  void Abandon() override;
  int32_t Read(uint8_t* buffer, uint32_t max_len) override;
  bool Write(const uint8_t* buffer, int32_t len) override;
  quendal::LineWait WaitReadable(uint32_t ms) override;
  void DiscardInput() override;

  // Queues bytes as if the terminal had sent them.
  void Feed(const Bytes& bytes);
  void SetResponder(Responder responder);
  // Makes Open fail (a COM port that does not exist) or Write refuse.
  void SetMissing(bool missing);
  void SetRefuseWrites(bool refuse);
  // Makes the line fail as a hung-up device does, once what is queued has been read.
  void SetBroken(bool broken);

  Bytes Written() const;  // everything the library wrote, in order
  size_t Queued() const;  // bytes fed and not yet read
  int Opens() const;
  int Reads() const;  // reads the library made
  uint8_t LastNumber() const;
  uint32_t LastSpeed() const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<uint8_t> input_;
  Bytes written_;
  Responder responder_;
  bool open_ = false;
  bool missing_ = false;
  bool refuse_writes_ = false;
  bool broken_ = false;
  int reads_ = 0;
  int opens_ = 0;
  uint8_t last_number_ = 0;
  uint32_t last_speed_ = 0;
};

}  // namespace quendal_test
