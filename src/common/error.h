// The one error object through which every failure of a transaction travels, and its table.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quendal {

// The error table's codes, in the table's order. Where one code stands for several causes, each
// cause has a name of its own with the same value, so a raising site says which cause it is.
enum ErrorCode : int32_t {
  kLrcMismatch = 177,      // a terminal frame's check byte does not match
  kComOpenError = 178,     // the terminal's line cannot be opened, is held, or is out of range
  kComReceiveError = 179,  // the terminal's line hung up or failed while receiving
  kComSendError = 180,     // a frame could not be written to the terminal
  kComTimeout = 181,       // the terminal did not answer in time
  kTerminalTestFailed = 182,
  kOperationTypeError = 186,
  kTransTypeError = 187,
  kEndpointError = 188,     // a host endpoint of the request is malformed
  kDataFormatError = 189,   // the terminal sent something the call cannot use:
  kUnknownFrameKind = 189,  //   a frame of a kind the exchange does not know,
  kShortFinalAnswer = 189,  //   a final answer too short to hold its result,
  kTooManyRelays = 189,     //   more requests for the bank host than a call allows,
  kForeignAnswer = 189,     //   an approval carrying another reference or amount
  kAmountError = 190,
  kAgentCodeError = 191,
  kBankConnectError = 196,
  kBankSendError = 197,
  kBankReceiveError = 198,
  kBusinessConnectError = 199,
  kBusinessSendError = 200,
  kBusinessReceiveError = 201,
  kHostsFileError = 202,
  kNetworkTestRefused = 203,
  kCancelled = 206,  // the terminal cancelled, or a call overlapped the running one
  kTransAmountError = 19,
};

// The two hosts a call talks to, as the host link names them.
enum HostKind : int32_t { kBankHost = 0, kBusinessHost = 1 };
// The steps of a host exchange that can fail.
enum class HostStep { kConnect, kSend, kReceive };
// The table's code for a failed step with a host.
ErrorCode host_error(int32_t host_kind, HostStep step);

struct CError {
  int32_t code = 0;
  char text[40] = {};      // GBK, zero-padded; a text of exactly 40 bytes has no terminator
  uint8_t cancel_pos = 0;  // 1: the terminal is sent a CANCEL notice if its port is open

  void Clear();
  // Fills the object from the error table row that carries `code`; when no row does, only the
  // text is cleared. Returns the object itself, so a step can look up and throw in one expression.
  CError& SetFromTable(int32_t code);
  void SetFlag(uint8_t flag) { cancel_pos = flag; }

  // Copies at most 40 bytes of `bytes` into `text` (the rest zero).
  void SetText(const char* bytes, size_t n);
  // Length of `text` up to its first zero byte, at most 40.
  size_t TextLength() const;
};

// Builds the table's error for `code`, ready to throw.
CError table_error(int32_t code);

}  // namespace quendal
