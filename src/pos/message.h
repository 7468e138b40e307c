// The terminal's frames, built and read in place in one 512-byte frame buffer: a 23-byte header
// (CMessageHeader) at frame byte 3, the payload (CMessageQueue) at frame byte 26, and around them
// the start byte, the BCD body length, the end byte and the check byte (CMessage).
//
// One CMessage serves a whole transaction and its header is never reset: each frame built carries
// the header fields of the last frame read (or the construction defaults), only the header code
// being replaced. Terminals see their own header echoed back.
//
// Nothing here writes past the frame buffer or reads past the data taken in: lengths that do not
// fit are cut to what the frame holds, and a relay that could not fit is refused.
#pragma once

#include <cstdint>

#include "common/result_record.h"
#include "intake/trans_record.h"
#include "pos/com_port.h"
#include "pos/message_base.h"

namespace quendal {

constexpr int kHeaderLength = 23;
constexpr int kPayloadOffset = 3 + kHeaderLength;            // 26
constexpr int kPayloadMax = 512 - kPayloadOffset - 2;        // 484
constexpr int kBodyMax = kHeaderLength + kPayloadMax;        // 507
constexpr int kTlvOverhead = 4 * 5;                          // tag and BCD length of A01-A04
constexpr int kRelayExtra = kTlvOverhead + 64 + 8 + 15;      // 107
constexpr int kRelayPayloadMax = kPayloadMax - kRelayExtra;  // 377

// Kinds of the terminal's frames (header byte 19).
constexpr int kKindFinal = 0x00;
constexpr int kKindRelay = 0x55;
constexpr int kKindSettlement = 0x88;

// The transaction request payload sent to the terminal.
struct PosRequest {
  char kind[2];  // "A0" transaction request, "B0" query of the transaction last sent
  char trans_type[2];
  char area4[6];
  char ref15[15];
  char amount[12];
  char stamp[6];
  char area43[8];
  char ref6[6];
  char area57[12];
  char business_ref[64];
  char reserved[320];
};
static_assert(sizeof(PosRequest) == 453, "the request payload is 453 bytes");

// Whether the last byte of the received frame `frame` of `length` bytes is the XOR of every byte
// from the first length byte through the end byte, as the sender computed it. False for anything
// shorter than a frame start and its trailer.
bool check_byte_matches(const uint8_t* frame, int length);

class CMessageHeader : public CMessageBase {
 public:
  CMessageHeader();

  int Pack() override;    // writes the 23 bytes at the cursor
  int Unpack() override;  // reads them back; digits are each byte's low four bits
  void Clear() override {}
  void SetLength(int) override {}
  int GetLength() override { return length; }

  void SetCode(const char code[8]);
  const char* GetCode() const { return header_code; }
  int GetKind() const { return kind; }
  void SetCursor(uint8_t* at) { cursor = at; }

  int32_t num0 = 0;
  char header_code[8];
  int32_t num11 = 0;
  int32_t num13 = 100;
  int32_t num16 = 100;
  int32_t kind = 0;
  int32_t num20 = 0;

 private:
  uint8_t* cursor = nullptr;
};

class CMessageQueue : public CMessageBase {
 public:
  CMessageQueue();

  int Pack() override { return length; }  // the payload already lies in the frame
  // Copies the payload into the result staging area (the rest of it zero); length becomes 555.
  int Unpack() override;
  void Clear() override;
  // Cut to what the frame holds (0 to 484).
  void SetLength(int n) override;
  int GetLength() override { return length; }

  // Fills the request payload from the record and copies it to the frame; length 453.
  void LoadRequest(const TransRecord& rec, const char kind[2]);
  void GetResult(ResultRecord& out) const;
  uint8_t* GetData() { return cursor; }
  // Puts the bank host's answer in as the payload. An answer longer than a frame holds (484
  // bytes) is refused with kBankReceiveError: the terminal cannot be handed a cut answer.
  void SetData(const uint8_t* data, int n);
  void SetCursor(uint8_t* at) { cursor = at; }

  PosRequest request;
  char response[555];

 private:
  uint8_t* cursor = nullptr;
};

class CMessage : public CMessageBase {
 public:
  CMessage();
  // The header and the body point into this object's own frame.
  CMessage(const CMessage&) = delete;
  CMessage& operator=(const CMessage&) = delete;

  // Builds the whole frame around the header and the payload; returns its length.
  int Pack() override;
  // Reads a final-answer frame taken in by Load: the header, then the payload into the result
  // staging area.
  int Unpack() override;
  void Clear() override;
  void SetLength(int) override {}
  int GetLength() override { return length; }

  // Takes in a received frame (at most 512 bytes are kept; the rest of the frame buffer is
  // zeroed) and reads its header. Returns the payload length, cut to what was received.
  int Load(const uint8_t* data, int len);
  int UnpackHeaderOnly();
  uint8_t* GetFrame() { return frame; }

  int BuildTest();  // the terminal test, "AREYOUOK"; 28 bytes
  void BuildRequest(const TransRecord& rec, const char kind[2]);
  // Wraps the terminal's payload for the bank host in the tagged list A01-A04 and returns the new
  // payload length. A payload too long to fit (over 377 bytes) is refused with kBankSendError.
  int BuildHostRequest(const TransRecord& rec);
  // The cancel notice; `text` is 40 bytes. Returns 70.
  int BuildCancel(int32_t code, const char text[40]);

  CMessageHeader header;
  CMessageQueue body;
  int32_t stx = 2;
  int32_t etx = 3;

 private:
  // The payload length a built frame carries: the body's, cut to what the frame holds.
  int FramePayload();
  int WritePrefix();
  int WriteTrailer(int at);
  int ReadPrefix();
  int ReadTrailer(int at);
  // The payload length the received frame announces, cut to what arrived and what the frame holds.
  int ReceivedPayload() const;

  uint8_t frame[512];
  int received = 0;  // bytes taken in by the last Load
};

}  // namespace quendal
