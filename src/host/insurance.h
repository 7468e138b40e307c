// The two messages the library sends to the insurer's business host: the network test and the
// result report. Both are a four-digit length followed by the payload, built in place in a fixed
// buffer; the bytes to send are Data() and GetLength().
#pragma once

#include <cstdint>

#include "common/result_record.h"
#include "pos/message_base.h"

namespace quendal {

class CInsurance : public CMessageBase {
 public:
  static constexpr int kBufferSize = 512;
  static constexpr int kBusinessRefSize = 64;

  CInsurance();

  // Builds the result report from the result record and the business reference; returns its
  // length. Without a result record it builds nothing and returns 0.
  int Pack() override;
  // The business host's answers are read by the exchanges, not here.
  int Unpack() override { return 0; }
  void Clear() override;
  void SetLength(int len) override { length = len; }
  int GetLength() override { return length; }

  // The six bytes 000204.
  void BuildNetworkTest();
  // The record that Pack reads; not owned, it must outlive the Pack.
  void SetResultRecord(const ResultRecord* record) { result_record = record; }
  // Copies exactly 64 bytes from `ref`, the business reference area of the transaction record.
  void SetBusinessRef(const char* ref);

  const char* Data() const { return buffer; }

 private:
  char buffer[kBufferSize];
  const ResultRecord* result_record = nullptr;
  char business_ref[kBusinessRefSize] = {};
};

}  // namespace quendal
