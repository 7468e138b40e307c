// Arbitrary bytes as the terminal's frames, read and answered by one CMessage the way a transaction
// does, several frames in a row so that the header carried from frame to frame is covered too. The
// terminal controls every byte of a frame; the bank host controls the answer put back in a relay.
// Nothing may read or write outside the frame buffer, every frame built must fit it, and the only
// way out of a step is a CError.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "common/error.h"
#include "common/result_record.h"
#include "intake/trans_record.h"
#include "pos/com_port.h"
#include "pos/message.h"

namespace {

using quendal::CMessage;

// Every frame the library builds goes out whole, so it must lie inside the frame buffer and say
// the length it has.
void check_built(CMessage& m, int n) {
  if (n < 5 || n > quendal::kFrameMax) std::abort();
  const uint8_t* f = m.GetFrame();
  uint32_t body = static_cast<uint32_t>(((f[1] >> 4) * 1000) + ((f[1] & 0x0F) * 100) +
                                        ((f[2] >> 4) * 10) + (f[2] & 0x0F));
  if (body + 5 != static_cast<uint32_t>(n)) std::abort();
  uint8_t lrc = 0;
  for (int i = 1; i < n - 1; ++i) lrc ^= f[i];
  if (lrc != f[n - 1]) std::abort();
}

void fill(FuzzedDataProvider& in, void* dest, size_t n) {
  std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(n);
  bytes.resize(n);
  std::memcpy(dest, bytes.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  quendal::TransRecord rec;
  fill(in, &rec, sizeof rec);
  // On the heap, so that any access beyond the message is caught at once.
  auto message = std::make_unique<CMessage>();
  CMessage& m = *message;

  for (int step = 0; step < 12 && in.remaining_bytes() > 0; ++step) {
    try {
      switch (in.ConsumeIntegralInRange<int>(0, 8)) {
        case 8: {  // the next frame from the terminal
          // A receive hands over at most a buffer's worth; a length beyond it is cut by Load.
          int announced = in.ConsumeIntegralInRange<int>(-1, quendal::kFrameMax + 16);
          std::vector<uint8_t> frame =
              in.ConsumeBytes<uint8_t>(static_cast<size_t>(in.ConsumeIntegralInRange<int>(0, 600)));
          int len = announced < 0 ? static_cast<int>(frame.size()) : announced;
          frame.resize(static_cast<size_t>(len < 0 ? 0 : len));
          int payload = m.Load(frame.empty() ? nullptr : frame.data(), len);
          if (payload < 0 || payload > quendal::kPayloadMax) std::abort();
          m.header.Unpack();
          (void)m.header.GetKind();
          volatile char first = m.header.GetCode()[0];
          volatile char last = m.header.GetCode()[7];
          (void)first;
          (void)last;
          break;
        }
        case 0:  // the terminal test's answer
          m.UnpackHeaderOnly();
          break;
        case 1: {  // the final answer
          m.Unpack();
          quendal::ResultRecord res;
          m.body.GetResult(res);
          break;
        }
        case 2: {  // a relay to the bank host and the host's answer back to the terminal
          int n = m.BuildHostRequest(rec);
          m.body.SetLength(n);
          check_built(m, m.Pack());
          std::vector<uint8_t> answer = in.ConsumeBytes<uint8_t>(
              static_cast<size_t>(in.ConsumeIntegralInRange<int>(0, quendal::kFrameMax)));
          m.body.SetData(answer.data(), static_cast<int>(answer.size()));
          check_built(m, m.Pack());
          break;
        }
        case 3: {  // the cancel notice
          char text[40];
          fill(in, text, sizeof text);
          check_built(m, m.BuildCancel(in.ConsumeIntegral<int32_t>(), text));
          break;
        }
        case 4: {  // the transaction request or the query after a time-out
          char kind[2];
          fill(in, kind, sizeof kind);
          m.BuildRequest(rec, kind);
          check_built(m, m.Pack());
          break;
        }
        case 5:
          check_built(m, m.BuildTest());
          break;
        case 6:  // whatever the message holds now, framed as it stands
          check_built(m, m.Pack());
          break;
        default:
          m.Clear();
          break;
      }
    } catch (const quendal::CError&) {
    }
  }
  return 0;
}
