// The quendal command on Windows.
#include <windows.h>
// The shell's declarations need windows.h first.
#include <shellapi.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tool_platform.h"

namespace quendal_tool {

namespace {

std::string from_wide(const wchar_t* text, UINT code_page) {
  int n = WideCharToMultiByte(code_page, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return "";
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(code_page, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

std::wstring to_wide(const std::string& text, UINT code_page) {
  int n = MultiByteToWideChar(code_page, 0, text.c_str(), -1, nullptr, 0);
  if (n <= 0) return L"";
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(code_page, 0, text.c_str(), -1, &out[0], n);
  out.resize(static_cast<size_t>(n - 1));
  return out;
}

UINT g_console_output_cp = 0;
bool g_terminal = false;

void restore_console() {
  if (g_console_output_cp != 0) SetConsoleOutputCP(g_console_output_cp);
}

}  // namespace

void prepare_process(int* argc, char*** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr && count == *argc) {
    static std::vector<std::string> utf8;
    static std::vector<char*> pointers;
    for (int i = 0; i < count; ++i) utf8.push_back(from_wide(wide[i], CP_UTF8));
    for (std::string& a : utf8) pointers.push_back(&a[0]);
    pointers.push_back(nullptr);
    *argv = pointers.data();
  }
  if (wide != nullptr) LocalFree(wide);

  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetConsoleMode(out, &mode)) {
    g_console_output_cp = GetConsoleOutputCP();
    SetConsoleOutputCP(CP_UTF8);
    std::atexit(restore_console);
    // The live line moves the cursor with escape sequences, which a console takes once asked to.
    g_terminal = SetConsoleMode(out, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  }
}

bool stdout_is_terminal() { return g_terminal; }

long file_size(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
  return static_cast<long>(data.nFileSizeLow);
}

// _putenv_s changes the C runtime's copy, which the library's getenv reads, and the process's.
void set_env(const char* name, const std::string& value) { _putenv_s(name, value.c_str()); }

void unset_env(const char* name) { _putenv_s(name, ""); }

bool make_temporary_file(std::string* path, std::string* error) {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof folder, folder);
  if (n == 0 || n > sizeof folder || GetTempFileNameA(folder, "qdl", 0, name) == 0) {
    *error = "cannot make a file in the temporary folder: Windows error " +
             std::to_string(GetLastError());
    return false;
  }
  *path = name;
  return true;
}

void remove_file_now(const char* path) { DeleteFileA(path); }

std::string native_path(const std::string& given) {
  return from_wide(to_wide(given, CP_UTF8).c_str(), CP_ACP);
}

std::string invoked_path(const char* argv0) {
  std::string given = argv0 != nullptr ? argv0 : "";
  if (given.find_first_of("\\/") == std::string::npos) return given;
  char full[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(native_path(given).c_str(), sizeof full, full, nullptr);
  return n == 0 || n > MAX_PATH ? given : from_wide(to_wide(full, CP_ACP).c_str(), CP_UTF8);
}

std::string describe_port(int, const std::string& device) {
  // Opened without asking to read or write, and closed at once: the port's settings and its
  // pending bytes are not touched. A port that another program holds refuses even this.
  HANDLE h = CreateFileA(device.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    CloseHandle(h);
    return ": exists";
  }
  const DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND)
    return ": no such port on this machine";
  if (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION)
    return ": exists but another program holds it";
  return ": cannot be opened (Windows error " + std::to_string(error) + ")";
}

}  // namespace quendal_tool
