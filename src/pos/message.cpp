#include "pos/message.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "codec/codec.h"
#include "common/error.h"

namespace quendal {

namespace {

// Relays that cannot fit a frame fail like the bank host exchange they belong to, and so carry the
// cancel notice to the terminal that is waiting for its bank.

// The payload bytes a length stands for within a frame: never negative, never past the 484 a frame
// holds (the body's length is 555 while it stages a final result).
int payload_bytes(int length) { return std::min(std::max(length, 0), kPayloadMax); }

uint8_t* write_tlv(uint8_t* at, const char tag[3], uint32_t n, const void* value) {
  std::memcpy(at, tag, 3);
  int_to_bcd(at + 3, 2, &n);
  std::memcpy(at + 5, value, n);
  return at + 5 + n;
}

}  // namespace

bool check_byte_matches(const uint8_t* frame, int length) {
  if (frame == nullptr || length < 5) return false;
  uint8_t lrc = 0;
  for (int i = 1; i < length - 1; ++i) lrc ^= frame[i];
  return lrc == frame[length - 1];
}

// ---- header ----

CMessageHeader::CMessageHeader() {
  length = kHeaderLength;
  std::memcpy(header_code, "00000000", 8);
}

void CMessageHeader::SetCode(const char code[8]) { std::memcpy(header_code, code, 8); }

int CMessageHeader::Pack() {
  char* at = reinterpret_cast<char*>(cursor);
  at = int_to_dec(at, 3, num0);
  std::memcpy(at, header_code, 8);
  at += 8;
  at = int_to_dec(at, 2, num11);
  at = int_to_dec(at, 3, num13);
  at = int_to_dec(at, 3, num16);
  *at++ = static_cast<char>(kind & 0xFF);
  int_to_dec(at, 3, num20);
  return kHeaderLength;
}

int CMessageHeader::Unpack() {
  const char* at = reinterpret_cast<const char*>(cursor);
  num0 = dec_to_int(at, 3);
  std::memcpy(header_code, at + 3, 8);
  num11 = dec_to_int(at + 11, 2);
  num13 = dec_to_int(at + 13, 3);
  num16 = dec_to_int(at + 16, 3);
  kind = static_cast<uint8_t>(at[19]);
  num20 = dec_to_int(at + 20, 3);
  return kHeaderLength;
}

// ---- body ----

CMessageQueue::CMessageQueue() {
  length = 0;
  std::memset(&request, 0, sizeof request);
  std::memset(response, 0, sizeof response);
}

void CMessageQueue::SetLength(int n) { length = payload_bytes(n); }

int CMessageQueue::Unpack() {
  int n = payload_bytes(length);
  // A frame holds at most 484 payload bytes; the rest of the result carries nothing from the
  // terminal and is left zero.
  std::memset(response, 0, sizeof response);
  std::memcpy(response, cursor, static_cast<size_t>(n));
  length = sizeof response;
  return length;
}

void CMessageQueue::Clear() { std::memset(cursor, 0, static_cast<size_t>(payload_bytes(length))); }

void CMessageQueue::LoadRequest(const TransRecord& rec, const char kind[2]) {
  std::memcpy(request.kind, kind, 2);
  std::memcpy(request.trans_type, rec.trans_type, sizeof request.trans_type);
  std::memcpy(request.ref15, rec.ref15, sizeof request.ref15);
  std::memcpy(request.amount, rec.amount, sizeof request.amount);
  std::memcpy(request.stamp, rec.stamp, sizeof request.stamp);
  std::memcpy(request.ref6, rec.ref6, sizeof request.ref6);
  std::memcpy(request.business_ref, rec.business_ref, sizeof request.business_ref);
  std::memcpy(request.reserved, rec.reserved, sizeof request.reserved);
  std::memcpy(cursor, &request, sizeof request);
  length = sizeof request;
}

void CMessageQueue::GetResult(ResultRecord& out) const { std::memcpy(&out, response, sizeof out); }

void CMessageQueue::SetData(const uint8_t* data, int n) {
  if (n > kPayloadMax) throw table_error(kBankReceiveError);  // the bank host's answer is unusable
  n = std::max(n, 0);
  if (n > 0) std::memmove(cursor, data, static_cast<size_t>(n));
  length = n;
}

// ---- message ----

CMessage::CMessage() {
  length = 0;
  std::memset(frame, 0, sizeof frame);
  header.SetCursor(frame + 3);
  body.SetCursor(frame + kPayloadOffset);
}

int CMessage::FramePayload() {
  // After the final answer's Unpack the body's length is that of the 555-byte result it staged,
  // not of a payload: a frame built then must still end inside the frame buffer.
  return payload_bytes(body.GetLength());
}

int CMessage::WritePrefix() {
  frame[0] = static_cast<uint8_t>(stx & 0xFF);
  length = FramePayload() + header.GetLength();
  uint32_t body_length = static_cast<uint32_t>(length);
  int_to_bcd(frame + 1, 2, &body_length);
  return 3;
}

int CMessage::WriteTrailer(int at) {
  frame[at] = static_cast<uint8_t>(etx & 0xFF);
  lrc_append(frame + 1, at, 0);
  return 2;
}

int CMessage::ReadPrefix() {
  stx = frame[0];
  length = bcd_to_int(frame + 1, 4);
  return 3;
}

int CMessage::ReadTrailer(int at) {
  etx = frame[at];
  return 1;
}

int CMessage::ReceivedPayload() const {
  int announced = length - kHeaderLength;
  int arrived = received - kPayloadOffset;
  return std::max(0, std::min({announced, arrived, kPayloadMax}));
}

int CMessage::Pack() {
  int n = WritePrefix();
  n += header.Pack();
  body.Pack();
  n += FramePayload();
  n += WriteTrailer(n);
  length = n;
  return n;
}

int CMessage::Load(const uint8_t* data, int len) {
  received = (data == nullptr) ? 0 : std::min(std::max(len, 0), kFrameMax);
  if (received > 0) std::memcpy(frame, data, static_cast<size_t>(received));
  // Stale bytes of an earlier frame must not be read as part of this one.
  std::memset(frame + received, 0, sizeof frame - static_cast<size_t>(received));
  ReadPrefix();
  header.SetCursor(frame + 3);
  header.Unpack();
  body.SetCursor(frame + kPayloadOffset);
  int payload = ReceivedPayload();
  body.SetLength(payload);
  // From here on the length is what the frame really holds, whatever the terminal announced.
  length = kHeaderLength + payload;
  return payload;
}

int CMessage::UnpackHeaderOnly() {
  ReadPrefix();
  header.Unpack();
  ReadTrailer(kPayloadOffset);
  // As after Load: the length is what the frame holds, not what it announced.
  length = kHeaderLength + ReceivedPayload();
  return kHeaderLength;
}

int CMessage::Unpack() {
  ReadPrefix();
  header.Unpack();
  int payload = ReceivedPayload();
  body.SetLength(payload);
  body.Unpack();
  ReadTrailer(kPayloadOffset + payload);
  length = kHeaderLength + payload;
  return length;
}

void CMessage::Clear() {
  header.Clear();
  body.Clear();
}

int CMessage::BuildTest() {
  std::memset(frame, 0, sizeof frame);
  // Only the header goes out, whatever the message carried before.
  body.SetLength(0);
  WritePrefix();
  header.SetCode("AREYOUOK");
  header.Pack();
  WriteTrailer(kPayloadOffset);
  length = kPayloadOffset + 2;
  return length;
}

void CMessage::BuildRequest(const TransRecord& rec, const char kind[2]) {
  body.LoadRequest(rec, kind);
  length = header.GetLength() + body.GetLength();
  header.SetCode(rec.agent_code);
}

int CMessage::BuildHostRequest(const TransRecord& rec) {
  int n = body.GetLength();
  if (n > kRelayPayloadMax) throw table_error(kBankSendError);  // cannot be sent to the bank host
  uint8_t scratch[kFrameMax];
  std::memcpy(scratch, body.GetData(), static_cast<size_t>(n));
  body.SetLength(0);

  uint8_t* at = body.GetData();
  at = write_tlv(at, "A01", static_cast<uint32_t>(n), scratch);
  at = write_tlv(at, "A02", sizeof rec.business_ref, rec.business_ref);
  at = write_tlv(at, "A03", sizeof rec.agent_code, rec.agent_code);
  write_tlv(at, "A04", sizeof rec.ref15, rec.ref15);
  return n + kRelayExtra;
}

int CMessage::BuildCancel(int32_t code, const char text[40]) {
  body.SetLength(42);
  WritePrefix();
  header.SetCode("CANCEL\0\0");
  header.Pack();
  char hex[16];
  std::snprintf(hex, sizeof hex, "%2X", static_cast<unsigned>(code));
  std::memcpy(frame + kPayloadOffset, hex, 2);
  std::memcpy(frame + kPayloadOffset + 2, text, 40);
  WriteTrailer(kPayloadOffset + 42);
  length = kPayloadOffset + 42 + 2;
  return length;
}

}  // namespace quendal
