// The platform's socket handle, named without pulling a socket header into the library's own
// headers. Each platform's backend (socket_posix.cpp, socket_win32.cpp) works with this type.
#pragma once

#include <cstdint>

namespace quendal {
namespace net {

#if defined(_WIN32)
using native_socket = uintptr_t;                                             // SOCKET
inline constexpr native_socket kInvalidSocket = ~static_cast<uintptr_t>(0);  // INVALID_SOCKET
#else
using native_socket = int;
inline constexpr native_socket kInvalidSocket = -1;
#endif

}  // namespace net
}  // namespace quendal
