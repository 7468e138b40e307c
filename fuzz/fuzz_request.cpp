// Arbitrary request lines through the record build and the checks: nothing may read or write
// outside its buffers, and the only way out of a refused line is a CError.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/error.h"
#include "intake/checks.h"
#include "intake/trans_record.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.c_str();  // the caller's line ends at its first zero byte
  quendal::CheckedRequest req;
  try {
    quendal::read_request(line.c_str(), req);
  } catch (const quendal::CError&) {
  }
  (void)quendal::com_port_of(line.c_str());
  return 0;
}
