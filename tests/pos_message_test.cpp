#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/error.h"
#include "pos/message.h"
#include "sim/terminal_frame.h"

namespace quendal {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame_of(CMessage& m, int n) { return Bytes(m.GetFrame(), m.GetFrame() + n); }

uint8_t xor_of(const Bytes& f) {
  uint8_t x = 0;
  for (size_t i = 1; i + 1 < f.size(); ++i) x ^= f[i];
  return x;
}

TransRecord sample_record() {
  TransRecord rec;
  std::memset(&rec, 0, sizeof rec);
  std::memcpy(rec.trans_type, "30", 2);
  std::memcpy(rec.ref15, "REF000000000001", 15);
  std::memcpy(rec.agent_code, "B0110001", 8);
  std::memcpy(rec.amount, "000000012345", 12);
  std::memcpy(rec.stamp, "140509", 6);
  std::memcpy(rec.ref6, "VAL001", 6);
  std::memcpy(rec.business_ref, "POLICY-42", 9);
  rec.reserved[0] = 'R';
  return rec;
}

// A terminal frame with chosen header numbers, built by hand.
Bytes terminal_frame_with(const char header[23], const Bytes& payload) {
  Bytes f = quendal_sim::terminal_frame("XXXXXXXX", 0, payload);
  std::memcpy(f.data() + 3, header, 23);
  f.back() = xor_of(f);
  return f;
}

TEST(PosMessage, TestFrameIsTheGoldenBytes) {
  CMessage m;
  ASSERT_EQ(m.BuildTest(), 28);
  const Bytes golden = {0x02, 0x00, 0x23, 0x30, 0x30, 0x30, 0x41, 0x52, 0x45, 0x59,
                        0x4F, 0x55, 0x4F, 0x4B, 0x30, 0x30, 0x31, 0x30, 0x30, 0x31,
                        0x30, 0x30, 0x00, 0x30, 0x30, 0x30, 0x03, 0x31};
  EXPECT_EQ(frame_of(m, 28), golden);

  // The same header with the answer's code.
  m.header.SetCode("YESIAMOK");
  ASSERT_EQ(m.Pack(), 28);
  EXPECT_EQ(m.GetFrame()[27], 0x2E);
}

TEST(PosMessage, RequestFrameCarriesTheRecord) {
  CMessage m;
  TransRecord rec = sample_record();
  m.BuildRequest(rec, "A0");
  ASSERT_EQ(m.Pack(), 481);
  Bytes f = frame_of(m, 481);
  EXPECT_EQ(f[0], 0x02);
  EXPECT_EQ(f[1], 0x04);
  EXPECT_EQ(f[2], 0x76);
  EXPECT_EQ(std::string(f.begin() + 6, f.begin() + 14), "B0110001");  // header code
  const uint8_t* p = f.data() + 26;
  EXPECT_EQ(std::string(p, p + 4), "A030");
  EXPECT_EQ(std::string(p + 10, p + 25), "REF000000000001");
  EXPECT_EQ(std::string(p + 25, p + 43), "000000012345140509");
  EXPECT_EQ(std::string(p + 51, p + 57), "VAL001");
  EXPECT_EQ(std::string(p + 69, p + 78), "POLICY-42");
  EXPECT_EQ(p[133], 'R');
  for (int i : {4, 9, 43, 50, 57, 68}) EXPECT_EQ(p[i], 0) << i;  // not filled from the record
  EXPECT_EQ(f[479], 0x03);
  EXPECT_EQ(f[480], xor_of(f));

  m.BuildRequest(rec, "B0");
  ASSERT_EQ(m.Pack(), 481);
  EXPECT_EQ(std::string(m.GetFrame() + 26, m.GetFrame() + 28), "B0");
}

TEST(PosMessage, RelayWrapsThePayloadAndEchoesTheHeader) {
  const char header[] =
      "007ABCDEFGH12345678\x55"
      "901";
  Bytes payload(40);
  for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(0x80 + i);
  Bytes in = terminal_frame_with(header, payload);

  CMessage m;
  EXPECT_EQ(m.Load(in.data(), static_cast<int>(in.size())), 40);
  EXPECT_EQ(m.header.GetKind(), 0x55);
  TransRecord rec = sample_record();
  int n = m.BuildHostRequest(rec);
  ASSERT_EQ(n, 147);
  m.body.SetLength(n);
  ASSERT_EQ(m.Pack(), 175);
  Bytes f = frame_of(m, 175);
  EXPECT_EQ(f[1], 0x01);
  EXPECT_EQ(f[2], 0x70);
  EXPECT_EQ(std::string(f.begin() + 3, f.begin() + 26), std::string(header, 23));
  const uint8_t* t = f.data() + 26;
  EXPECT_EQ(Bytes(t, t + 5), (Bytes{'A', '0', '1', 0x00, 0x40}));
  EXPECT_EQ(Bytes(t + 5, t + 45), payload);
  EXPECT_EQ(Bytes(t + 45, t + 50), (Bytes{'A', '0', '2', 0x00, 0x64}));
  EXPECT_EQ(std::string(t + 50, t + 59), "POLICY-42");
  EXPECT_EQ(Bytes(t + 114, t + 119), (Bytes{'A', '0', '3', 0x00, 0x08}));
  EXPECT_EQ(std::string(t + 119, t + 127), "B0110001");
  EXPECT_EQ(Bytes(t + 127, t + 132), (Bytes{'A', '0', '4', 0x00, 0x15}));
  EXPECT_EQ(std::string(t + 132, t + 147), "REF000000000001");
  EXPECT_EQ(f[174], xor_of(f));

  // The bank host's answer goes back under the terminal's own header.
  const uint8_t answer[] = {'O', 'K', 0x00, 0x02, 0x03};
  m.body.SetData(answer, sizeof answer);
  ASSERT_EQ(m.Pack(), 33);
  EXPECT_EQ(std::string(m.GetFrame() + 3, m.GetFrame() + 26), std::string(header, 23));
  EXPECT_EQ(Bytes(m.GetFrame() + 26, m.GetFrame() + 31), Bytes(answer, answer + 5));
}

TEST(PosMessage, RelaysThatCannotFitAFrameAreRefused) {
  TransRecord rec = sample_record();
  for (int size : {377, 378, 484}) {
    CMessage m;
    Bytes in = quendal_sim::terminal_frame("00000000", 0x55, Bytes(static_cast<size_t>(size), 'x'));
    ASSERT_EQ(m.Load(in.data(), static_cast<int>(in.size())), size);
    if (size == 377) {
      int n = m.BuildHostRequest(rec);
      EXPECT_EQ(n, 484);
      m.body.SetLength(n);
      EXPECT_EQ(m.Pack(), 512);
    } else {
      try {
        m.BuildHostRequest(rec);
        ADD_FAILURE() << size;
      } catch (const CError& e) {
        EXPECT_EQ(e.code, 197);
        EXPECT_EQ(e.cancel_pos, 1);
      }
    }
  }

  CMessage m;
  Bytes answer(485, 'y');
  try {
    m.body.SetData(answer.data(), 485);
    ADD_FAILURE();
  } catch (const CError& e) {
    EXPECT_EQ(e.code, 198);
  }
  m.body.SetData(answer.data(), 484);
  EXPECT_EQ(m.Pack(), 512);
}

TEST(PosMessage, CancelNoticeCarriesTheCodeInHex) {
  char text[40];
  std::memset(text, 0, sizeof text);
  std::memcpy(text, "SOCKET", 6);
  struct Case {
    int32_t code;
    uint8_t hi, lo;
  } cases[] = {{200, 0x43, 0x38}, {5, 0x20, 0x35}, {196, 0x43, 0x34}};
  for (const Case& c : cases) {
    CMessage m;
    m.BuildRequest(sample_record(), "A0");  // a longer body before must not matter
    ASSERT_EQ(m.BuildCancel(c.code, text), 70);
    Bytes f = frame_of(m, 70);
    EXPECT_EQ(f[1], 0x00);
    EXPECT_EQ(f[2], 0x65);
    EXPECT_EQ(Bytes(f.begin() + 6, f.begin() + 14), (Bytes{'C', 'A', 'N', 'C', 'E', 'L', 0, 0}));
    EXPECT_EQ(f[26], c.hi) << c.code;
    EXPECT_EQ(f[27], c.lo) << c.code;
    EXPECT_EQ(std::string(f.begin() + 28, f.begin() + 68), std::string(text, 40));
    EXPECT_EQ(f[68], 0x03);
    EXPECT_EQ(f[69], xor_of(f));
  }
}

TEST(PosMessage, HeaderDigitsAreLowNibblesAndWideNumbersKeepLowDigits) {
  const char header[] = "ABCYESIAMOKIJKLMNOP\x00QRS";
  Bytes in = terminal_frame_with(header, {});
  CMessage m;
  m.Load(in.data(), static_cast<int>(in.size()));
  m.UnpackHeaderOnly();
  EXPECT_EQ(m.header.num0, 123);
  EXPECT_EQ(std::string(m.header.GetCode(), 8), "YESIAMOK");
  EXPECT_EQ(m.header.num11, 100);   // 'I' 'J': 9 * 10 + 10
  EXPECT_EQ(m.header.num13, 1233);  // 'K' 'L' 'M': 11 * 100 + 12 * 10 + 13
  EXPECT_EQ(m.header.num20, 123);   // 'Q' 'R' 'S'

  CMessage w;
  w.header.num0 = 1234;
  w.header.num13 = 7;
  w.BuildTest();
  EXPECT_EQ(std::string(w.GetFrame() + 3, w.GetFrame() + 6), "234");
  EXPECT_EQ(std::string(w.GetFrame() + 16, w.GetFrame() + 19), "007");
}

TEST(PosMessage, FinalAnswerFillsTheResultAndNothingBeyondThePayload) {
  Bytes result(484, '7');
  std::memcpy(result.data() + 6, "00", 2);
  std::memcpy(result.data() + 8, "APPROVED", 8);
  Bytes in = quendal_sim::terminal_frame("00000000", 0, result);
  CMessage m;
  ASSERT_EQ(m.Load(in.data(), static_cast<int>(in.size())), 484);
  EXPECT_EQ(m.Unpack(), 507);
  ResultRecord res;
  std::memset(&res, 0xEE, sizeof res);
  m.body.GetResult(res);
  EXPECT_EQ(std::string(res.resp_code, 2), "00");
  EXPECT_EQ(std::string(res.resp_text, 8), "APPROVED");
  EXPECT_EQ(m.etx, 0x03);
  const char* raw = reinterpret_cast<const char*>(&res);
  EXPECT_EQ(raw[483], '7');
  for (int i = 484; i < 555; ++i) ASSERT_EQ(raw[i], 0) << i;
}

TEST(PosMessage, FrameBuiltAfterTheFinalAnswerStaysInsideTheBuffer) {
  // The final answer leaves the body's length at the 555 bytes of the result it staged; a frame
  // built from that state once wrote its end and check bytes past the 512-byte frame.
  for (int payload : {40, 484}) {
    Bytes in = quendal_sim::terminal_frame("00000000", 0, Bytes(payload, 'r'));
    auto m = std::make_unique<CMessage>();
    m->Load(in.data(), static_cast<int>(in.size()));
    m->Unpack();
    int n = m->Pack();
    ASSERT_LE(n, kFrameMax) << payload;
    Bytes out = frame_of(*m, n);
    EXPECT_EQ(out[1], 0x05) << payload;  // 507: the most a frame's body holds
    EXPECT_EQ(out[2], 0x07) << payload;
    EXPECT_EQ(out[n - 2], 0x03) << payload;
    EXPECT_EQ(out[n - 1], xor_of(out)) << payload;
  }
}

TEST(PosMessage, LoadOfMalformedInputStaysInsideTheFrame) {
  struct Case {
    const char* what;
    Bytes data;
    int payload;
  } cases[] = {
      {"longer than a frame", Bytes(600, 0x02), 0},
      {"length beyond the buffer", {0x02, 0x99, 0x99, '0', '0', '1'}, 0},
      {"length shorter than a header", {0x02, 0x00, 0x05, 1, 2, 3, 4, 5, 0x03, 0}, 0},
      {"cut off in its payload", {}, 10},
      {"nothing", {}, 0},
  };
  cases[0].data[1] = 0x05;  // announces 507
  cases[0].data[2] = 0x07;
  cases[0].payload = 484;
  Bytes cut = quendal_sim::terminal_frame("00000000", 0, Bytes(100, 'p'));
  cut.resize(36);
  cases[3].data = cut;

  for (const Case& c : cases) {
    CMessage m;
    m.BuildRequest(sample_record(), "A0");  // stale bytes in the frame
    m.Pack();
    EXPECT_EQ(m.Load(c.data.data(), static_cast<int>(c.data.size())), c.payload) << c.what;
    EXPECT_EQ(m.Unpack(), 23 + c.payload) << c.what;
    EXPECT_EQ(m.GetLength(), 23 + c.payload) << c.what;
    ResultRecord res;
    m.body.GetResult(res);
    // A cut frame shows no stale request bytes behind what arrived.
    if (c.data.size() < 26 + 453) {
      const uint8_t* frame = m.GetFrame();
      for (int i = static_cast<int>(c.data.size()); i < 512; ++i) ASSERT_EQ(frame[i], 0) << c.what;
    }
  }
}

TEST(PosMessage, BuildsEchoTheLastHeaderRead) {
  const char header[] =
      "007ABCDEFGH12345678\x88"
      "901";
  Bytes in = terminal_frame_with(header, Bytes(5, 'z'));
  CMessage m;
  m.Load(in.data(), static_cast<int>(in.size()));
  m.BuildRequest(sample_record(), "B0");
  m.Pack();
  std::string out(m.GetFrame() + 3, m.GetFrame() + 26);
  EXPECT_EQ(out, std::string("007B0110001") + "12345678\x88" + "901");
}

}  // namespace
}  // namespace quendal
