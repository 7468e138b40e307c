/*
 * Reads a file's version record back as Explorer does (GetFileVersionInfoW, VerQueryValueW) and
 * prints it as UTF-8, one "name=value" line each, for the DLL file checks under wine.
 *
 *   version_probe.exe FILE
 */
#include <stdio.h>
#include <stdlib.h>
#include <windows.h>

static void print_utf8(const wchar_t* name, const wchar_t* value) {
  char n[256];
  char v[1024];
  WideCharToMultiByte(CP_UTF8, 0, name, -1, n, sizeof n, NULL, NULL);
  WideCharToMultiByte(CP_UTF8, 0, value, -1, v, sizeof v, NULL, NULL);
  printf("%s=%s\n", n, v);
}

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(argv[1], &ignored);
  if (size == 0) {
    printf("no version record\n");
    return 1;
  }
  void* data = malloc(size);
  if (data == NULL || !GetFileVersionInfoW(argv[1], 0, size, data)) return 1;

  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  if (VerQueryValueW(data, L"\\", (void**)&fixed, &length) && fixed != NULL) {
    printf("FileVersionNumbers=%u,%u,%u,%u\n", HIWORD(fixed->dwFileVersionMS),
           LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
           LOWORD(fixed->dwFileVersionLS));
    printf("ProductVersionNumbers=%u,%u,%u,%u\n", HIWORD(fixed->dwProductVersionMS),
           LOWORD(fixed->dwProductVersionMS), HIWORD(fixed->dwProductVersionLS),
           LOWORD(fixed->dwProductVersionLS));
  }
  WORD* translation = NULL;
  if (!VerQueryValueW(data, L"\\VarFileInfo\\Translation", (void**)&translation, &length) ||
      length < 4) {
    printf("no translation\n");
    return 1;
  }
  printf("Translation=%04x%04x\n", translation[0], translation[1]);
  static const wchar_t* names[] = {L"FileDescription",  L"FileVersion", L"InternalName",
                                   L"OriginalFilename", L"ProductName", L"ProductVersion"};
  for (size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
    wchar_t query[128];
    wchar_t* value = NULL;
    swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1],
             names[i]);
    if (VerQueryValueW(data, query, (void**)&value, &length) && value != NULL) {
      print_utf8(names[i], value);
    } else {
      print_utf8(names[i], L"(missing)");
    }
  }
  free(data);
  return 0;
}
