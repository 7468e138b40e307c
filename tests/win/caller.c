/*
 * A business application's call of Quendal.dll, for the end-to-end tests under wine: the DLL is
 * loaded with LoadLibrary and card_trans found with GetProcAddress, as such applications do.
 *
 *   caller.exe DLL REQUEST-FILE RESULT-FILE   one call
 *   caller.exe DLL --serve                    one call per line read from stdin
 *
 * The request is read as raw bytes from REQUEST-FILE (GBK text survives no command line). The
 * result buffer has guard bytes before and after its 555 bytes. RESULT-FILE receives one line
 * "rc=<return value> guards=<ok|damaged> winsock=<released|held>", then the 555 result bytes as
 * they stand. Exit status: 0 when the call was made, 2 when it could not be.
 *
 * With --serve, each line of stdin is "REQUEST-FILE<TAB>RESULT-FILE<TAB>STATUS-LOG<TAB>JOURNAL" and
 * each call
 * answers one line on stdout, "done" or "error"; the process ends at the end of stdin. Where
 * 32-bit code runs only through an emulator a wine process takes a minute to start and a call
 * takes milliseconds, so one process serves a whole table of calls. STATUS-LOG and JOURNAL become
 * the call's QUENDAL_STATUS_LOG and QUENDAL_JOURNAL (through the C runtime, where the library
 * reads them).
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
#include <stdlib.h>
#include <string.h>

typedef int(__stdcall* card_trans_fn)(const char*, char*);

enum { kResult = 555, kGuard = 64, kGuardByte = 0xA5, kRequestMax = 1 << 16, kLineMax = 4096 };

static unsigned char buffer[kGuard + kResult + kGuard];
static char request[kRequestMax + 1];

static int call_once(card_trans_fn card_trans, const char* request_file, const char* result_file) {
  FILE* in = fopen(request_file, "rb");
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
  FILE* out = fopen(result_file, "wb");
  if (out == NULL) return 2;
  fprintf(out, "rc=%d guards=%s winsock=%s\n", rc, guards_ok ? "ok" : "damaged",
          winsock_released ? "released" : "held");
  fwrite(buffer + kGuard, 1, kResult, out);
  fclose(out);
  return 0;
}

static int serve(card_trans_fn card_trans) {
  static char line[kLineMax];
  static char setting[kLineMax + 32];
  while (fgets(line, sizeof line, stdin) != NULL) {
    line[strcspn(line, "\r\n")] = '\0';
    char* request_file = line;
    char* result_file = strchr(request_file, '\t');
    char* status_log = result_file != NULL ? strchr(result_file + 1, '\t') : NULL;
    char* journal = status_log != NULL ? strchr(status_log + 1, '\t') : NULL;
    int made = 2;
    if (journal != NULL) {
      *result_file++ = '\0';
      *status_log++ = '\0';
      *journal++ = '\0';
      snprintf(setting, sizeof setting, "QUENDAL_STATUS_LOG=%s", status_log);
      _putenv(setting);
      snprintf(setting, sizeof setting, "QUENDAL_JOURNAL=%s", journal);
      _putenv(setting);
      made = call_once(card_trans, request_file, result_file);
    }
    printf("%s\n", made == 0 ? "done" : "error");
    fflush(stdout);
  }
  return 0;
}

int main(int argc, char** argv) {
  int serving = argc == 3 && strcmp(argv[2], "--serve") == 0;
  if (argc != 4 && !serving) {
    fprintf(stderr, "usage: caller DLL REQUEST-FILE RESULT-FILE | caller DLL --serve\n");
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
  int status = serving ? serve(card_trans) : call_once(card_trans, argv[2], argv[3]);
  FreeLibrary(dll);
  return status;
}
