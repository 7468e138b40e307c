// Watches the progress window of Quendal.dll from a second thread while a business application's
// thread is inside card_trans, under wine and an X display. The calling thread is blocked inside
// the library between status texts, so the window is read without sending it messages
// (InternalGetWindowText), except for the font, which is asked for with a bounded send that the
// library's pump answers.
//
//   window_probe.exe DLL REQUEST-FILE MARKER-FILE
//
// MARKER-FILE receives "x y width height" of the window once it shows the final text, and the
// probe keeps the window's state until the call returns, so a screenshot can be taken meanwhile.
// Prints one line per check, "ok NAME" or "FAIL NAME: why"; exit status 0 when all passed.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

typedef int(__stdcall* card_trans_fn)(const char*, char*);

int g_failures = 0;

void check(bool ok, const char* name, const std::string& why = "") {
  if (ok) {
    std::printf("ok %s\n", name);
  } else {
    std::printf("FAIL %s: %s\n", name, why.c_str());
    ++g_failures;
  }
  std::fflush(stdout);
}

std::string read_file(const char* path) {
  std::string all;
  if (FILE* f = std::fopen(path, "rb")) {
    char chunk[4096];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) all.append(chunk, n);
    std::fclose(f);
  }
  return all;
}

std::wstring from_gbk(const std::string& gbk) {
  if (gbk.empty()) return L"";
  int n = MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(936, 0, gbk.data(), static_cast<int>(gbk.size()), &w[0], n);
  return w;
}

std::string utf8(const std::wstring& w) {
  if (w.empty()) return "";
  int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                              nullptr);
  std::string s(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

// What the watcher saw of the window.
struct Seen {
  bool found = false;
  LONG style = 0;
  LONG ex_style = 0;
  LONG control_style = 0;
  LONG control_ex_style = 0;
  RECT window{};
  RECT client{};
  RECT expected_client{};  // 287 x 140 dialog units in pixels of the dialog's font
  RECT control{};
  RECT expected_control{};
  RECT work_area{};
  wchar_t class_name[64] = {};
  LOGFONTW font{};
  bool font_read = false;
  std::vector<std::wstring> texts;  // each distinct text, in order
};

struct FindDialog {
  HWND found = nullptr;
};

BOOL CALLBACK find_dialog(HWND window, LPARAM param) {
  wchar_t name[64];
  GetClassNameW(window, name, 64);
  if (std::wcscmp(name, L"#32770") == 0 && GetDlgItem(window, 1003) != nullptr) {
    reinterpret_cast<FindDialog*>(param)->found = window;
    return FALSE;
  }
  return TRUE;
}

// Dialog template 103 as the DLL carries it (DLGTEMPLATEEX with one DLGITEMTEMPLATEEX).
struct Template {
  bool found = false;
  DWORD style = 0, ex_style = 0;
  short x = 0, y = 0, cx = 0, cy = 0;
  WORD items = 0;
  WORD point_size = 0, weight = 0;
  BYTE italic = 0, charset = 0;
  std::wstring face, title;
  DWORD item_style = 0, item_ex_style = 0, item_id = 0;
  short item_x = 0, item_y = 0, item_cx = 0, item_cy = 0;
  WORD item_class = 0;           // the ordinal of a predefined class (0x82: static), or 0 ...
  std::wstring item_class_name;  // ... and its name
  std::wstring item_text;
  LANGID language = 0;
};

BOOL CALLBACK first_language(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
  *reinterpret_cast<LANGID*>(param) = language;
  return FALSE;
}

Template read_template(HMODULE dll) {
  Template t;
  HRSRC found = FindResourceW(dll, MAKEINTRESOURCEW(103), reinterpret_cast<LPCWSTR>(RT_DIALOG));
  if (found == nullptr) return t;
  EnumResourceLanguagesW(dll, reinterpret_cast<LPCWSTR>(RT_DIALOG), MAKEINTRESOURCEW(103),
                         first_language, reinterpret_cast<LONG_PTR>(&t.language));
  const BYTE* p = static_cast<const BYTE*>(LockResource(LoadResource(dll, found)));
  if (p == nullptr) return t;
  auto word = [&p] {
    WORD w;
    std::memcpy(&w, p, 2);
    p += 2;
    return w;
  };
  auto dword = [&p] {
    DWORD d;
    std::memcpy(&d, p, 4);
    p += 4;
    return d;
  };
  auto text = [&p, &word] {
    std::wstring w;
    for (WORD c = word(); c != 0; c = word()) w.push_back(static_cast<wchar_t>(c));
    return w;
  };
  auto name_or_ordinal = [&](std::wstring* name) {
    WORD first;
    std::memcpy(&first, p, 2);
    if (first == 0xFFFF) {
      word();
      return word();
    }
    *name = text();
    return WORD{0};
  };
  if (word() != 1 || word() != 0xFFFF) return t;  // not an extended template
  dword();                                        // help id
  t.ex_style = dword();
  t.style = dword();
  t.items = word();
  t.x = static_cast<short>(word());
  t.y = static_cast<short>(word());
  t.cx = static_cast<short>(word());
  t.cy = static_cast<short>(word());
  std::wstring menu, window_class;
  name_or_ordinal(&menu);
  name_or_ordinal(&window_class);
  t.title = text();
  if ((t.style & DS_SETFONT) != 0) {
    t.point_size = word();
    t.weight = word();
    t.italic = *p++;
    t.charset = *p++;
    t.face = text();
  }
  if (t.items >= 1) {
    p = reinterpret_cast<const BYTE*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t{3});
    dword();  // help id
    t.item_ex_style = dword();
    t.item_style = dword();
    t.item_x = static_cast<short>(word());
    t.item_y = static_cast<short>(word());
    t.item_cx = static_cast<short>(word());
    t.item_cy = static_cast<short>(word());
    t.item_id = dword();
    t.item_class = name_or_ordinal(&t.item_class_name);
    name_or_ordinal(&t.item_text);
  }
  t.found = true;
  return t;
}

HMODULE g_dll = nullptr;
card_trans_fn g_card_trans = nullptr;
int g_nested_rc = -1;
std::string g_nested_result;

// A window of the application's own: the pump inside the library dispatches its message, and its
// handler calls the library again, as a till's button handler might.
LRESULT CALLBACK app_window(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP) {
    char result[555];
    std::memset(result, 0, sizeof result);
    g_nested_rc = g_card_trans("1|x", result);
    g_nested_result.assign(result, sizeof result);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_probe DLL REQUEST-FILE MARKER-FILE\n");
    return 2;
  }
  g_dll = LoadLibraryA(argv[1]);
  if (g_dll == nullptr) return 2;
  g_card_trans =
      reinterpret_cast<card_trans_fn>(reinterpret_cast<void*>(GetProcAddress(g_dll, "card_trans")));
  if (g_card_trans == nullptr) return 2;
  std::string request = read_file(argv[2]);
  const char* log_path = std::getenv("QUENDAL_STATUS_LOG");
  if (log_path == nullptr) return 2;

  // The marker is written once the window's text ends with the approved call's last line.
  const std::wstring last_line = from_gbk("\xbd\xbb\xd2\xd7\xb3\xc9\xb9\xa6\n");  // "交易成功\n"

  WNDCLASSW app_class{};
  app_class.lpfnWndProc = app_window;
  app_class.hInstance = GetModuleHandleW(nullptr);
  app_class.lpszClassName = L"QuendalProbeApp";
  RegisterClassW(&app_class);
  HWND app = CreateWindowW(L"QuendalProbeApp", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           app_class.hInstance, nullptr);

  // Before the call: a quit request and a message whose handler calls the library again.
  PostQuitMessage(7);
  PostMessageW(app, WM_APP, 0, 0);

  Seen seen;
  std::atomic<bool> done{false};
  DWORD caller_thread = GetCurrentThreadId();
  std::thread real_watcher([&] {
    bool marked = false;
    while (!done.load()) {
      FindDialog f;
      EnumThreadWindows(caller_thread, find_dialog, reinterpret_cast<LPARAM>(&f));
      if (f.found != nullptr && IsWindowVisible(f.found)) {
        HWND control = GetDlgItem(f.found, 1003);
        if (!seen.found) {
          seen.found = true;
          seen.style = GetWindowLongW(f.found, GWL_STYLE);
          seen.ex_style = GetWindowLongW(f.found, GWL_EXSTYLE);
          seen.control_style = GetWindowLongW(control, GWL_STYLE);
          seen.control_ex_style = GetWindowLongW(control, GWL_EXSTYLE);
          GetClassNameW(control, seen.class_name, 64);
          GetWindowRect(f.found, &seen.window);
          GetClientRect(f.found, &seen.client);
          seen.expected_client = RECT{0, 0, 287, 140};
          MapDialogRect(f.found, &seen.expected_client);
          GetWindowRect(control, &seen.control);
          MapWindowPoints(nullptr, f.found, reinterpret_cast<POINT*>(&seen.control), 2);
          seen.expected_control = RECT{10, 4, 10 + 266, 4 + 129};
          MapDialogRect(f.found, &seen.expected_control);
          SystemParametersInfoW(SPI_GETWORKAREA, 0, &seen.work_area, 0);
        }
        wchar_t buffer[8192];
        int n = InternalGetWindowText(control, buffer, 8192);
        std::wstring text(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        if (seen.texts.empty() || seen.texts.back() != text) seen.texts.push_back(text);
        if (!seen.font_read) {
          DWORD_PTR font = 0;
          if (SendMessageTimeoutW(control, WM_GETFONT, 0, 0, SMTO_BLOCK, 10000, &font) && font) {
            seen.font_read =
                GetObjectW(reinterpret_cast<HFONT>(font), sizeof seen.font, &seen.font) > 0;
          }
        }
        if (!marked && text.size() >= last_line.size() &&
            text.compare(text.size() - last_line.size(), last_line.size(), last_line) == 0) {
          GetWindowRect(f.found, &seen.window);
          if (FILE* m = std::fopen(argv[3], "wb")) {
            std::fprintf(m, "%ld %ld %ld %ld\n", seen.window.left, seen.window.top,
                         seen.window.right - seen.window.left,
                         seen.window.bottom - seen.window.top);
            std::fclose(m);
          }
          marked = true;
        }
      }
      Sleep(2);
    }
  });

  char result[555];
  std::memset(result, 0, sizeof result);
  int rc = g_card_trans(request.c_str(), result);
  done = true;
  real_watcher.join();

  // The call itself.
  check(rc == 0, "approved", "rc=" + std::to_string(rc));
  check(std::string(result, 8) == "APPROVED", "result text", std::string(result, 40));

  // The window as a cashier sees it.
  check(seen.found, "window shown", "no visible dialog with control 1003 on the calling thread");
  const LONG want_style = WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS;
  check((seen.style & want_style) == want_style && (seen.style & WS_CAPTION) == 0, "dialog style",
        std::to_string(seen.style));
  check((seen.ex_style & WS_EX_CLIENTEDGE) != 0, "dialog extended style",
        std::to_string(seen.ex_style));
  check(EqualRect(&seen.client, &seen.expected_client) != 0, "dialog size 287 x 140 units",
        std::to_string(seen.client.right) + "x" + std::to_string(seen.client.bottom) + " want " +
            std::to_string(seen.expected_client.right) + "x" +
            std::to_string(seen.expected_client.bottom));
  // Dialog units convert to pixels with rounding of its own per platform: one pixel either way.
  auto within_a_pixel = [](LONG a, LONG b) { return std::labs(a - b) <= 1; };
  check(within_a_pixel(seen.control.left, seen.expected_control.left) &&
            within_a_pixel(seen.control.top, seen.expected_control.top) &&
            within_a_pixel(seen.control.right, seen.expected_control.right) &&
            within_a_pixel(seen.control.bottom, seen.expected_control.bottom),
        "control 1003 at 10,4 266 x 129",
        std::to_string(seen.control.left) + "," + std::to_string(seen.control.top) + "-" +
            std::to_string(seen.control.right) + "," + std::to_string(seen.control.bottom) +
            " want " + std::to_string(seen.expected_control.left) + "," +
            std::to_string(seen.expected_control.top) + "-" +
            std::to_string(seen.expected_control.right) + "," +
            std::to_string(seen.expected_control.bottom));
  const LONG centre_x = (seen.window.left + seen.window.right) / 2;
  const LONG centre_y = (seen.window.top + seen.window.bottom) / 2;
  const LONG work_x = (seen.work_area.left + seen.work_area.right) / 2;
  const LONG work_y = (seen.work_area.top + seen.work_area.bottom) / 2;
  check(std::labs(centre_x - work_x) <= 1 && std::labs(centre_y - work_y) <= 1,
        "centred in the work area",
        std::to_string(centre_x) + "," + std::to_string(centre_y) + " vs " +
            std::to_string(work_x) + "," + std::to_string(work_y));
  // The window manager may recast a border as a 3-D edge; what it keeps is checked here, the
  // template itself below.
  const LONG edges = WS_EX_DLGMODALFRAME | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE;
  check(std::wcscmp(seen.class_name, L"Static") == 0 &&
            (seen.control_style & SS_TYPEMASK) == SS_LEFTNOWORDWRAP &&
            (seen.control_style & (WS_CHILD | WS_VISIBLE)) == (WS_CHILD | WS_VISIBLE) &&
            (seen.control_ex_style & edges) == edges,
        "control 1003 class and styles",
        utf8(seen.class_name) + " " + std::to_string(seen.control_style) + " " +
            std::to_string(seen.control_ex_style));

  // Template 103 in the DLL's resources, field by field.
  const Template t = read_template(g_dll);
  check(t.found && t.language == MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED) &&
            t.style == (WS_POPUP | WS_SYSMENU | DS_SETFONT | DS_FIXEDSYS) &&
            t.ex_style == WS_EX_CLIENTEDGE && t.x == 0 && t.y == 0 && t.cx == 287 && t.cy == 140 &&
            t.items == 1 && t.title.empty(),
        "template 103 dialog", std::to_string(t.style) + " " + std::to_string(t.cx));
  check(t.point_size == 8 && t.weight == 400 && t.italic == 0 && t.charset == 1 &&
            t.face == L"MS Shell Dlg",
        "template 103 font", utf8(t.face));
  check(t.item_id == 1003 &&
            (t.item_class == 0x0082 || lstrcmpiW(t.item_class_name.c_str(), L"Static") == 0) &&
            t.item_x == 10 && t.item_y == 4 && t.item_cx == 266 && t.item_cy == 129 &&
            t.item_text.empty() &&
            t.item_style == static_cast<DWORD>(SS_LEFTNOWORDWRAP | WS_CHILD | WS_VISIBLE |
                                               WS_BORDER | WS_GROUP) &&
            t.item_ex_style == static_cast<DWORD>(edges),
        "template 103 control",
        std::to_string(t.item_id) + " class " + std::to_string(t.item_class) +
            utf8(t.item_class_name) + " " + std::to_string(t.item_x) + "," +
            std::to_string(t.item_y) + " " + std::to_string(t.item_cx) + "x" +
            std::to_string(t.item_cy) + " " + std::to_string(t.item_style) + " " +
            std::to_string(t.item_ex_style));
  check(seen.font_read && std::wcscmp(seen.font.lfFaceName, L"Times New Roman") == 0 &&
            seen.font.lfHeight == 15 && seen.font.lfWeight == 100 &&
            seen.font.lfPitchAndFamily == VARIABLE_PITCH,
        "status font", seen.font_read ? utf8(seen.font.lfFaceName) : "not read");

  // The text: every text seen is the start of the next, and the last is the whole status log,
  // converted from GBK.
  const std::wstring whole = from_gbk(read_file(log_path));
  bool growing = true;
  for (size_t i = 1; i < seen.texts.size(); ++i) {
    if (seen.texts[i].compare(0, seen.texts[i - 1].size(), seen.texts[i - 1]) != 0) growing = false;
  }
  check(growing && seen.texts.size() > 3, "text grows text by text",
        std::to_string(seen.texts.size()) + " texts seen");
  check(!seen.texts.empty() && seen.texts.back() == whole, "final text is the status log",
        seen.texts.empty() ? "none" : utf8(seen.texts.back()) + " | want | " + utf8(whole));

  // The quit request posted before the call is still there after it, with its exit code.
  MSG message;
  bool quit = PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
  check(quit && message.wParam == 7, "quit request seen after the call",
        quit ? std::to_string(message.wParam) : "no WM_QUIT");

  // The nested call made from the application's handler was refused at once.
  const std::string cancelled =
      std::string("\xb2\xd9\xd7\xf7\xc8\xa1\xcf\xfb") + std::string(547, ' ');
  check(g_nested_rc == 1 && g_nested_result == cancelled, "nested call refused",
        "rc=" + std::to_string(g_nested_rc) + " " + g_nested_result.substr(0, 20));

  DestroyWindow(app);
  FreeLibrary(g_dll);
  return g_failures == 0 ? 0 : 1;
}
