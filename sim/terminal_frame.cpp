// Terminal frames as the simulated terminal builds and shows them. No I/O: the frame codec
// serves the simulator, and the tests of the terminal messages on every platform.
#include "sim/terminal_frame.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace quendal_sim {

namespace {

constexpr uint8_t kStx = 0x02;
constexpr uint8_t kEtx = 0x03;
constexpr int kHeader = 23;
constexpr int kPayloadMax = 484;

void put_digits(uint8_t* at, int width, int value) {
  for (int i = width - 1; i >= 0; --i) {
    at[i] = static_cast<uint8_t>('0' + value % 10);
    value /= 10;
  }
}

int digits(const uint8_t* at, int width) {
  int v = 0;
  for (int i = 0; i < width; ++i) v = v * 10 + (at[i] & 0x0F);
  return v;
}

int body_length(uint8_t hi, uint8_t lo) {
  int nibbles[4] = {hi >> 4, hi & 0x0F, lo >> 4, lo & 0x0F};
  int value = 0;
  for (int n : nibbles) {
    if (n > 9) return -1;
    value = value * 10 + n;
  }
  return value <= 507 ? value : -1;
}

}  // namespace

int frame_body_length(uint8_t hi, uint8_t lo) { return body_length(hi, lo); }

std::vector<uint8_t> terminal_frame(const std::string& code, uint8_t kind,
                                    const std::vector<uint8_t>& payload) {
  size_t n = std::min<size_t>(payload.size(), kPayloadMax);
  int body = kHeader + static_cast<int>(n);
  std::vector<uint8_t> f(static_cast<size_t>(body) + 5, 0);
  f[0] = kStx;
  f[1] = static_cast<uint8_t>(((body / 1000) << 4) | (body / 100 % 10));
  f[2] = static_cast<uint8_t>(((body / 10 % 10) << 4) | (body % 10));
  uint8_t* h = f.data() + 3;
  put_digits(h, 3, 1);
  std::memset(h + 3, 0, 8);
  std::memcpy(h + 3, code.data(), std::min<size_t>(8, code.size()));
  put_digits(h + 11, 2, 0);
  put_digits(h + 13, 3, 100);
  put_digits(h + 16, 3, 100);
  h[19] = kind;
  put_digits(h + 20, 3, 0);
  if (n > 0) std::memcpy(f.data() + 3 + kHeader, payload.data(), n);
  f[3 + static_cast<size_t>(body)] = kEtx;
  uint8_t lrc = 0;
  for (size_t i = 1; i < f.size() - 1; ++i) lrc ^= f[i];
  f.back() = lrc;
  return f;
}

std::string describe_frame(const std::vector<uint8_t>& frame) {
  std::string out;
  char hex[4];
  for (uint8_t b : frame) {
    std::snprintf(hex, sizeof hex, "%02X ", b);
    out += hex;
  }
  if (frame.size() >= 3 + kHeader) {
    const uint8_t* h = frame.data() + 3;
    std::string code;
    for (int i = 3; i < 11; ++i) code += (h[i] >= 0x20 && h[i] < 0x7F) ? char(h[i]) : '.';
    const char* kind = h[19] == 0x55 ? " bank relay" : h[19] == 0x88 ? " settlement" : "";
    char line[200];
    std::snprintf(line, sizeof line,
                  "\n    length=%d header_code=%s kind=0x%02X%s num0=%03d num11=%02d num13=%03d "
                  "num16=%03d num20=%03d payload=%zu",
                  body_length(frame[1], frame[2]), code.c_str(), h[19], kind, digits(h, 3),
                  digits(h + 11, 2), digits(h + 13, 3), digits(h + 16, 3), digits(h + 20, 3),
                  frame.size() - 5 - kHeader);
    out += line;
    // The payload as text (GBK as it is): each run of control bytes shows as one '.'.
    std::string text;
    for (size_t i = 3 + kHeader; i + 2 < frame.size(); ++i) {
      uint8_t b = frame[i];
      if (b < 0x20 || b == 0x7F) {
        if (text.empty() || text.back() != '.') text += '.';
      } else {
        text += static_cast<char>(b);
      }
    }
    while (!text.empty() && text.back() == '.') text.pop_back();
    if (!text.empty()) out += "\n    text: " + text;
  }
  return out;
}

}  // namespace quendal_sim
