// The benchmarks' COM port over a pty pair: the port opens the slave side as COM `com`, the
// benchmark plays the terminal on the master side.
#pragma once

#include <benchmark/benchmark.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "pos/com_port.h"

// Opens the pair and `port` over it at 9600 baud; returns the master side, or -1 with the
// benchmark skipped and nothing left open.
inline int open_pty_port(benchmark::State& state, int com, quendal::CComPort& port) {
  int master = -1;
  int slave = -1;
  char name[256] = {};
  struct termios raw {};
  cfmakeraw(&raw);
  if (::openpty(&master, &slave, name, &raw, nullptr) != 0) {
    state.SkipWithError("no pty");
    return -1;
  }
  ::close(slave);
  ::setenv(("QUENDAL_COM" + std::to_string(com)).c_str(), name, 1);
  if (port.Open(com, 9600) != 1) {
    state.SkipWithError("cannot open the pty as a COM port");
    ::close(master);
    return -1;
  }
  return master;
}

// Closes what open_pty_port opened.
inline void close_pty_port(int master, int com, quendal::CComPort& port) {
  port.Close();
  ::close(master);
  ::unsetenv(("QUENDAL_COM" + std::to_string(com)).c_str());
}
