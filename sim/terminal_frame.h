// Terminal frames as the simulated terminal builds and shows them: STX, the body length as four
// BCD digits, the 23-byte header, the payload, ETX and the check byte. Pure functions, the same on
// every platform.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quendal_sim {

// Builds one frame as a terminal sends it: STX, BCD length, the 23-byte header (code and kind as
// given, the numbers fixed), the payload, ETX and the check byte.
std::vector<uint8_t> terminal_frame(const std::string& code, uint8_t kind,
                                    const std::vector<uint8_t>& payload);

// One line of hex and the decoded header of `frame`.
std::string describe_frame(const std::vector<uint8_t>& frame);

// The body length of a frame start, or -1 when the two bytes are no length a frame can have.
int frame_body_length(uint8_t hi, uint8_t lo);

}  // namespace quendal_sim
