/*
 * A business application's call of Quendal.dll, for the end-to-end tests under wine: the DLL is
 * loaded with LoadLibrary and card_trans found with GetProcAddress, as such applications do.
 *
 *   caller.exe DLL REQUEST-FILE RESULT-FILE
 *
 * The request is read as raw bytes from REQUEST-FILE (GBK text survives no command line). The
 * result buffer has guard bytes before and after its 555 bytes. RESULT-FILE receives one line
 * "rc=<return value> guards=<ok|damaged> winsock=<released|held>", then the 555 result bytes as
 * they stand. Exit status: 0 when the call was made, 2 when it could not be.
 *
 * winsock tells whether the library gave back every Winsock start-up it took: the caller itself
 * never starts Winsock, so a cleanup after the call must find it not initialised.
 */
/* winsock2.h must come before windows.h. */
/* clang-format off */
#include <winsock2.h>
#include <windows.h>
/* clang-format on */
#include <stdio.h>
#include <string.h>

typedef int(__stdcall* card_trans_fn)(const char*, char*);

enum { kResult = 555, kGuard = 64, kGuardByte = 0xA5, kRequestMax = 1 << 16 };

static unsigned char buffer[kGuard + kResult + kGuard];
static char request[kRequestMax + 1];

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: caller DLL REQUEST-FILE RESULT-FILE\n");
    return 2;
  }
  HMODULE dll = LoadLibraryA(argv[1]);
  if (dll == NULL) {
    fprintf(stderr, "cannot load %s: error %lu\n", argv[1], (unsigned long)GetLastError());
    return 2;
  }
  card_trans_fn card_trans = (card_trans_fn)(void*)GetProcAddress(dll, "card_trans");
  if (card_trans == NULL) {
    fprintf(stderr, "no card_trans in %s\n", argv[1]);
    return 2;
  }
  FILE* in = fopen(argv[2], "rb");
  if (in == NULL) return 2;
  size_t n = fread(request, 1, kRequestMax, in);
  fclose(in);
  request[n] = '\0';

  memset(buffer, kGuardByte, sizeof buffer);
  memset(buffer + kGuard, 0, kResult);
  int rc = card_trans(request, (char*)buffer + kGuard);

  int guards_ok = 1;
  for (int i = 0; i < kGuard; ++i) {
    if (buffer[i] != kGuardByte || buffer[kGuard + kResult + i] != kGuardByte) guards_ok = 0;
  }
  int winsock_released = WSACleanup() == SOCKET_ERROR && WSAGetLastError() == WSANOTINITIALISED;
  FILE* out = fopen(argv[3], "wb");
  if (out == NULL) return 2;
  fprintf(out, "rc=%d guards=%s winsock=%s\n", rc, guards_ok ? "ok" : "damaged",
          winsock_released ? "released" : "held");
  fwrite(buffer + kGuard, 1, kResult, out);
  fclose(out);
  FreeLibrary(dll);
  return 0;
}
