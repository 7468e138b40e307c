// The base of every message class: terminal frames and business-host messages are built and read
// in place in fixed buffers, and each operation returns the number of bytes it wrote or read.
#pragma once

#include <cstdint>

namespace quendal {

class CMessageBase {
 public:
  virtual int Pack() = 0;
  virtual int Unpack() = 0;
  virtual void Clear() = 0;
  virtual void SetLength(int length) = 0;
  virtual int GetLength() = 0;

 protected:
  CMessageBase() = default;
  CMessageBase(const CMessageBase&) = default;
  CMessageBase& operator=(const CMessageBase&) = default;
  // Objects live by value inside their owners and are never deleted through the base.
  ~CMessageBase() = default;

  int32_t length = 0;
};

}  // namespace quendal
