// The progress window on Windows: a modeless dialog from template 103 of the DLL's resources, with
// no parent, centred in the work area. Plain Win32: the dialog procedure sets the status font when
// the window is shown; everything else is the dialog manager's default.
#include <windows.h>

#include <string>

#include "ui/process_window.h"
#include "ui/window_view.h"

namespace quendal {

struct WindowView {
  HWND dialog = nullptr;
  HFONT font = nullptr;
};

namespace {

constexpr int kDialogTemplate = 103;
constexpr int kStatusControl = 1003;
// The status texts are GBK whatever the system's ANSI code page is.
constexpr UINT kGbkCodePage = 936;

// A quit request the pump took out of the queue during the call, to be posted again at its end.
thread_local bool t_quit_taken = false;
thread_local WPARAM t_quit_code = 0;

HINSTANCE this_module() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&this_module), &module);
  return module;
}

void set_status_font(WindowView* view) {
  if (view->font != nullptr) return;  // one font for the life of the window
  view->font =
      CreateFontW(15, 0, 0, 0, 100, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                  CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH, L"Times New Roman");
  SendMessageW(view->dialog, WM_SETFONT, reinterpret_cast<WPARAM>(view->font), TRUE);
  SendDlgItemMessageW(view->dialog, kStatusControl, WM_SETFONT,
                      reinterpret_cast<WPARAM>(view->font), TRUE);
  PumpMessages();
  PumpMessages();
  SetFocus(view->dialog);
  PumpMessages();
}

INT_PTR CALLBACK dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* view = reinterpret_cast<WindowView*>(lparam);
      view->dialog = dialog;
      SetWindowLongPtrW(dialog, GWLP_USERDATA, static_cast<LONG_PTR>(lparam));
      return TRUE;
    }
    case WM_SHOWWINDOW: {
      auto* view = reinterpret_cast<WindowView*>(GetWindowLongPtrW(dialog, GWLP_USERDATA));
      if (wparam && view != nullptr) set_status_font(view);
      return FALSE;
    }
    default:
      return FALSE;
  }
}

void centre_in_work_area(HWND window) {
  RECT work;
  RECT own;
  if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0) || !GetWindowRect(window, &own)) return;
  int width = own.right - own.left;
  int height = own.bottom - own.top;
  int x = work.left + ((work.right - work.left) - width) / 2;
  int y = work.top + ((work.bottom - work.top) - height) / 2;
  SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

WindowView* view_create() {
  auto* view = new WindowView();
  HWND dialog = CreateDialogParamW(this_module(), MAKEINTRESOURCEW(kDialogTemplate), nullptr,
                                   dialog_proc, reinterpret_cast<LPARAM>(view));
  if (dialog == nullptr) {
    // No desktop to show it on: the call goes on without a window.
    delete view;
    return nullptr;
  }
  view->dialog = dialog;
  centre_in_work_area(dialog);
  return view;
}

void view_show(WindowView* view) {
  if (view == nullptr) return;
  ShowWindow(view->dialog, SW_SHOW);
  UpdateWindow(view->dialog);
}

void view_set_text(WindowView* view, const std::string& gbk) {
  if (view == nullptr) return;
  std::wstring shown;
  if (!gbk.empty()) {
    int n =
        MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), nullptr, 0);
    if (n > 0) {
      shown.resize(static_cast<size_t>(n));
      if (MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), static_cast<int>(gbk.size()), &shown[0],
                              n) != n) {
        shown.clear();  // a text that cannot be converted shows as empty
      }
    }
  }
  SetDlgItemTextW(view->dialog, kStatusControl, shown.c_str());
}

void view_destroy(WindowView* view) {
  if (view == nullptr) return;
  if (view->dialog != nullptr) DestroyWindow(view->dialog);
  if (view->font != nullptr) DeleteObject(view->font);
  delete view;
}

int PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      // Kept, not dropped: the caller's application still has to see it and end.
      t_quit_taken = true;
      t_quit_code = message.wParam;
      continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}

void repost_taken_quit() {
  if (!t_quit_taken) return;
  t_quit_taken = false;
  PostQuitMessage(static_cast<int>(t_quit_code));
}

}  // namespace quendal
