#include "platform/progress_window_win32.h"

// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <cmath>

#include "platform/wide_text_win32.h"

namespace traskel {
namespace {

constexpr const wchar_t* kWindowClass = L"TraskelProgress";
constexpr int kKeepWaitingId = 100;

// The layout in dialog units, which grow with the font: a quarter of the
// font's average character width across, an eighth of its height down. A
// line of text is 8 units high.
constexpr int kMargin = 7;
constexpr int kWidth = 230;  // inside the margins
constexpr int kLine = 8;
constexpr int kGap = 3;
constexpr int kBarHeight = 9;
constexpr int kButtonWidth = 50;
constexpr int kButtonHeight = 14;

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU;
constexpr DWORD kTextStyle = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;

ATOM RegisterWindowClass(WNDPROC procedure) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kWindowClass;
  return RegisterClassExW(&windowClass);
}

// The font message boxes use, at the system's resolution.
HFONT MessageFont() {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
    GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof metrics.lfMessageFont,
               &metrics.lfMessageFont);
  }
  return CreateFontIndirectW(&metrics.lfMessageFont);
}

// The font's dialog base units: the average character width and the height.
SIZE BaseUnits(HFONT font) {
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ previous = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SIZE alphabet{};
  GetTextExtentPoint32W(dc, L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz", 52, &alphabet);
  SelectObject(dc, previous);
  ReleaseDC(nullptr, dc);
  return {(alphabet.cx / 26 + 1) / 2, metrics.tmHeight};
}

// A text that changed; an update that changes nothing costs no call.
void Put(HWND control, std::string& shown, const std::string& text) {
  if (text == shown) return;
  shown = text;
  SetWindowTextW(control, Utf16(text).c_str());
}

}  // namespace

void ProgressWindow::Create() {
  static const ATOM windowClass = RegisterWindowClass(Procedure);
  if (windowClass == 0) return;
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  wchar_t caption[256] = {};
  if (owner_ != nullptr) GetWindowTextW(owner_, caption, 256);
  window_ = CreateWindowExW(0, kWindowClass, caption, kStyle, 0, 0, 0, 0, owner_, nullptr, instance,
                            nullptr);
  if (window_ == nullptr) return;
  // For the procedure, which leaves what comes before to the system.
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (owner_ != nullptr) {
    for (const auto& [which, index] :
         {std::pair{ICON_BIG, GCLP_HICON}, {ICON_SMALL, GCLP_HICONSM}}) {
      SendMessageW(window_, WM_SETICON, which, GetClassLongPtrW(owner_, index));
    }
  }
  const auto child = [&](const wchar_t* windowClass, DWORD style, const wchar_t* text, int id) {
    return CreateWindowExW(0, windowClass, text, style, 0, 0, 0, 0, window_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  };
  // A long file name loses its middle, the rest their ends: never a line
  // cut off unseen.
  subject_ = child(L"STATIC", kTextStyle | SS_PATHELLIPSIS, L"", 0);
  position_ = child(L"STATIC", kTextStyle | SS_ENDELLIPSIS, L"", 0);
  bar_ = child(PROGRESS_CLASSW, WS_CHILD | WS_VISIBLE, L"", 0);
  times_ = child(L"STATIC", kTextStyle | SS_ENDELLIPSIS, L"", 0);
  button_ = child(L"BUTTON", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON,
                  Utf16(words_.stopButton).c_str(), IDCANCEL);
  waitButton_ = child(L"BUTTON", WS_CHILD | WS_TABSTOP | BS_PUSHBUTTON,
                      Utf16(words_.keepWaitingButton).c_str(), kKeepWaitingId);
  const HDC screen = GetDC(nullptr);
  dpi_ = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  UseFont(MessageFont());
}

void ProgressWindow::UseFont(HFONT font) {
  for (HWND control : {subject_, position_, bar_, times_, button_, waitButton_}) {
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  if (font_ != nullptr) DeleteObject(font_);
  font_ = font;
}

SIZE ProgressWindow::Layout() {
  const SIZE units = BaseUnits(font_);
  const auto x = [&](int dialogUnits) { return MulDiv(dialogUnits, units.cx, 4); };
  const auto y = [&](int dialogUnits) { return MulDiv(dialogUnits, units.cy, 8); };
  int top = kMargin;
  const auto place = [&](HWND control, int height, int gapBelow) {
    MoveWindow(control, x(kMargin), y(top), x(kWidth), y(height), FALSE);
    top += height + gapBelow;
  };
  place(subject_, kLine, kGap);
  place(position_, kLine, kGap);
  place(bar_, kBarHeight, kGap);
  place(times_, kLine, kMargin);
  MoveWindow(button_, x(kMargin + kWidth - kButtonWidth), y(top), x(kButtonWidth), y(kButtonHeight),
             FALSE);
  MoveWindow(waitButton_, x(kMargin + kWidth - 2 * kButtonWidth - kGap - 10), y(top),
             x(kButtonWidth + 10), y(kButtonHeight), FALSE);
  RECT bar{};
  GetClientRect(bar_, &bar);
  barSteps_ = std::max<int>(bar.right - bar.left, 1);
  SendMessageW(bar_, PBM_SETRANGE32, 0, barSteps_);
  barShown_ = -1;
  MoveBar();
  InvalidateRect(window_, nullptr, TRUE);
  return {x(kMargin + kWidth + kMargin), y(top + kButtonHeight + kMargin)};
}

void ProgressWindow::Show(const ProgressView& view) {
  const bool fresh = window_ == nullptr;
  if (fresh) {
    Create();
    if (window_ == nullptr) return;
    stopRequested_ = false;
  }
  Put(subject_, subjectShown_, view.subject);
  Put(position_, positionShown_, view.position);
  Put(times_, timesShown_, view.times);
  doneShown_ = view.done;
  if (view.silent != silentShown_) {
    // While nothing answers, waiting on is the choice Enter makes.
    silentShown_ = view.silent;
    ShowWindow(waitButton_, silentShown_ ? SW_SHOWNOACTIVATE : SW_HIDE);
    SendMessageW(silentShown_ ? waitButton_ : button_, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
    SendMessageW(silentShown_ ? button_ : waitButton_, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    if (!silentShown_) keepWaiting_ = false;
  }
  if (!fresh) {
    MoveBar();
    return;
  }
  // Centred on the owner's screen, on top of the windows there, and without
  // the activation that would take the keyboard from the window the user
  // works in. Not topmost: a run of minutes is no reason to cover every
  // other program the user turns to meanwhile; the taskbar button finds it.
  const SIZE client = Layout();
  RECT frame{0, 0, client.cx, client.cy};
  AdjustWindowRectEx(&frame, kStyle, FALSE, 0);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(owner_, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& area = monitor.rcWork;
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  SetWindowPos(window_, HWND_TOP, (area.left + area.right - width) / 2,
               (area.top + area.bottom - height) / 2, width, height,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void ProgressWindow::MoveBar() {
  const int bar = std::clamp(static_cast<int>(std::lround(doneShown_ * barSteps_)), 0, barSteps_);
  if (bar == barShown_) return;
  SendMessageW(bar_, PBM_SETPOS, bar, 0);
  barShown_ = bar;
}

void ProgressWindow::RequestStop() {
  if (window_ == nullptr) return;
  stopRequested_ = true;
  stop_.Request();
}

void ProgressWindow::Finish(const std::string& text) {
  if (window_ == nullptr) return;
  Put(position_, positionShown_, text);
  Put(times_, timesShown_, "");
  doneShown_ = 1;
  MoveBar();
  SetWindowTextW(button_, Utf16(words_.doneButton).c_str());
  // Whatever closes the window from now on only closes it.
  stopRequested_ = false;
  // In front again, should the host have covered it, and still without
  // the focus.
  SetWindowPos(window_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  DispatchFor(finishWait_, nullptr, &stopRequested_);
  Close();
  stopRequested_ = false;
}

void ProgressWindow::Close() {
  if (window_ == nullptr) return;
  // Gone for the owner before it goes: the owner is activated meanwhile.
  const HWND window = window_;
  window_ = subject_ = position_ = bar_ = times_ = button_ = waitButton_ = nullptr;
  silentShown_ = keepWaiting_ = false;
  DestroyWindow(window);
  DeleteObject(font_);
  font_ = nullptr;
  subjectShown_.clear();
  positionShown_.clear();
  timesShown_.clear();
  barShown_ = -1;
  doneShown_ = 0;
}

bool ProgressWindow::DispatchPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    if (window_ != nullptr && IsDialogMessageW(window_, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return true;
}

void ProgressWindow::DispatchFor(std::chrono::milliseconds most, HANDLE wake, const bool* until) {
  const auto deadline = std::chrono::steady_clock::now() + most;
  const DWORD handles = wake != nullptr ? 1 : 0;
  while (until == nullptr || !*until) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
            .count();
    // Only input to dispatch goes on; woken, the time up or a failed wait
    // end it.
    if (left <= 0 ||
        MsgWaitForMultipleObjectsEx(handles, &wake, static_cast<DWORD>(left), QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE) != WAIT_OBJECT_0 + handles ||
        !DispatchPending()) {
      return;
    }
  }
}

void ProgressWindow::Rescale(int dpi, const RECT& suggested) {
  LOGFONTW font{};
  GetObjectW(font_, sizeof font, &font);
  font.lfHeight = MulDiv(font.lfHeight, dpi, dpi_);
  dpi_ = dpi;
  UseFont(CreateFontIndirectW(&font));
  Layout();
  SetWindowPos(window_, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK ProgressWindow::Procedure(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  auto* self = reinterpret_cast<ProgressWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self != nullptr && self->window_ == window) {
    switch (message) {
      case WM_COMMAND:  // the buttons, Esc, Enter and Space on them
        if (LOWORD(wParam) == kKeepWaitingId) {
          self->keepWaiting_ = true;
          return 0;
        }
        if (LOWORD(wParam) != IDCANCEL) break;
        self->RequestStop();
        return 0;
      case WM_CLOSE:  // the close box, Alt+F4
        self->RequestStop();
        return 0;
      case WM_SETFOCUS:
        SetFocus(self->button_);
        return 0;
      case WM_DPICHANGED:
        self->Rescale(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return 0;
    }
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace traskel
