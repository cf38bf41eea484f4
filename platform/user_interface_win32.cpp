// Message boxes, the open-file dialog and the message pump of Windows. Texts
// are UTF-8 inside the program and UTF-16 at the API.
//
// Both belong to the program's main window, which is never seen: without an
// owner, a box late in a long task may open behind another program's window,
// and the program then seems to hang. So does the progress window.
#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <vector>

#include "platform/progress_window_win32.h"
#include "platform/taskbar_progress_win32.h"
#include "platform/user_interface.h"
#include "platform/wide_text_win32.h"

namespace traskel {
namespace {

// Long enough for any path the dialog can give.
constexpr std::size_t kPathBuffer = 32768;

// In the order of Icon's values.
constexpr UINT kIconStyles[] = {0, MB_ICONERROR, MB_ICONEXCLAMATION, MB_ICONINFORMATION,
                                MB_ICONQUESTION};

// "text|pattern|" pairs as the dialog wants them: each part ended by a NUL,
// the list by one more.
std::wstring DialogFilter(const std::string& filter) {
  std::wstring out = Utf16(filter);
  std::replace(out.begin(), out.end(), L'|', L'\0');
  if (!out.empty() && out.back() != L'\0') out += L'\0';
  out += L'\0';
  return out;
}

// The width of text drawn in font; of its widest line, for several.
int TextWidth(HDC dc, const LOGFONTW& font, const std::wstring& text) {
  const HFONT handle = CreateFontIndirectW(&font);
  const HGDIOBJ previous = SelectObject(dc, handle);
  RECT rect{};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, previous);
  DeleteObject(handle);
  return rect.right - rect.left;
}

// A message box is as wide as its text, so a short text cuts its title off.
// The first line is padded with no-break spaces, which no line break drops,
// until the text is as wide as the title and the close button, each measured
// in the font the system draws it in. The icon and the margins around the
// text leave room for the frame.
std::wstring FittedToTitle(const std::wstring& text, const std::wstring& title) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return text;
  const HDC dc = GetDC(nullptr);
  if (dc == nullptr) return text;
  std::wstring fitted = text;
  const int wanted = TextWidth(dc, metrics.lfCaptionFont, title) + GetSystemMetrics(SM_CXSIZE);
  if (TextWidth(dc, metrics.lfMessageFont, text) < wanted) {
    const std::size_t lineEnd = std::min(text.find_first_of(L"\r\n"), text.size());
    const int missing = wanted - TextWidth(dc, metrics.lfMessageFont, text.substr(0, lineEnd));
    const int space = TextWidth(dc, metrics.lfMessageFont, L"\u00A0");
    if (space > 0) fitted.insert(lineEnd, (missing + space - 1) / space, L'\u00A0');
  }
  ReleaseDC(nullptr, dc);
  return fitted;
}

// A box whose text must keep its lines whole, as a usage broken inside an
// option reads wrong: the system breaks a line at a width of its own (wine at
// the fixed width of its box's template, narrower than a usage line), so the
// box is widened to its widest line, within the screen, once it is laid out
// and before it shows. A box wide enough stays as it is.
class WholeLines {
 public:
  WholeLines() : hook_(SetWindowsHookExW(WH_CALLWNDPROCRET, Widen, nullptr, GetCurrentThreadId())) {
    hook = hook_;
  }
  ~WholeLines() {
    if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
    hook = nullptr;
  }
  WholeLines(const WholeLines&) = delete;
  WholeLines& operator=(const WholeLines&) = delete;

 private:
  // Once the box has laid itself out, which it does on WM_INITDIALOG.
  static LRESULT CALLBACK Widen(int code, WPARAM wParam, LPARAM lParam) {
    const HHOOK next = hook;
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && next != nullptr && call->message == WM_INITDIALOG) {
      hook = nullptr;  // the box only, not what it may open
      FitToLines(call->hwnd);
    }
    return CallNextHookEx(next, code, wParam, lParam);
  }

  static void FitToLines(HWND box) {
    // The first static control with text; the icon is one without.
    HWND text = FindWindowExW(box, nullptr, L"Static", nullptr);
    while (text != nullptr && GetWindowTextLengthW(text) == 0) {
      text = FindWindowExW(box, text, L"Static", nullptr);
    }
    if (text == nullptr) return;
    std::wstring lines(GetWindowTextLengthW(text) + 1, L'\0');
    lines.resize(GetWindowTextW(text, lines.data(), static_cast<int>(lines.size())));
    RECT frame{}, area{};
    GetWindowRect(box, &frame);
    GetClientRect(text, &area);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(box, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& work = monitor.rcWork;

    const HDC dc = GetDC(text);
    const HGDIOBJ previous =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
    constexpr UINT kFormat = DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX;
    RECT widest{};
    DrawTextW(dc, lines.c_str(), -1, &widest, kFormat);
    const int room = (work.right - work.left) - (frame.right - frame.left);
    const int wider = std::min<int>(widest.right - area.right, room);
    RECT shown{0, 0, area.right + wider, 0};
    DrawTextW(dc, lines.c_str(), -1, &shown, kFormat | DT_WORDBREAK);
    SelectObject(dc, previous);
    ReleaseDC(text, dc);
    if (wider <= 0) return;

    // The text grows to the right and loses the lines it no longer breaks;
    // the buttons below it stay centred, and the icon beside it.
    const int higher = shown.bottom - area.bottom;
    RECT place{};
    GetWindowRect(text, &place);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&place), 2);
    SetWindowPos(text, nullptr, 0, 0, place.right - place.left + wider, shown.bottom,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    for (HWND child = GetWindow(box, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (child == text) continue;
      RECT at{};
      GetWindowRect(child, &at);
      MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&at), 2);
      const bool button = at.top >= place.bottom;
      SetWindowPos(child, nullptr, at.left + (button ? wider / 2 : 0),
                   at.top + (button ? higher : higher / 2), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const int width = frame.right - frame.left + wider;
    const int height = frame.bottom - frame.top + higher;
    SetWindowPos(box, nullptr, (work.left + work.right - width) / 2,
                 (work.top + work.bottom - height) / 2, width, height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  }

  static thread_local HHOOK hook;
  HHOOK hook_;
};

thread_local HHOOK WholeLines::hook = nullptr;

constexpr const wchar_t* kMainWindowClass = L"TraskelForm1";
// The program's icon among its resources.
constexpr WORD kIconResource = 1;
// How long a finished task's progress window waits to be closed.
constexpr std::chrono::minutes kFinishedProgressWait{1};

HICON ProgramIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIconResource),
                                       IMAGE_ICON, GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_SHARED));
}

class WindowsUserInterface : public UserInterface {
 public:
  WindowsUserInterface(const std::string& mainWindowTitle, StopSource& stop,
                       const UserInterfaceWords& words)
      : title_(mainWindowTitle) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MainWindowProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hIcon = ProgramIcon(SM_CXICON, SM_CYICON);
    windowClass.hIconSm = ProgramIcon(SM_CXSMICON, SM_CYSMICON);
    windowClass.lpszClassName = kMainWindowClass;
    // A second interface in one process finds the class registered already.
    RegisterClassExW(&windowClass);
    // Top-level, and without area in the middle of the main screen, where
    // the dialog and the boxes centre on it. It is shown only for its
    // taskbar button, while the program waits for the user or shows
    // progress. Should it fail, the boxes and the dialog still open, only
    // without an owner.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    mainWindow_ = CreateWindowExW(WS_EX_APPWINDOW, kMainWindowClass, Utf16(title_).c_str(),
                                  WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX,
                                  (area.left + area.right) / 2, (area.top + area.bottom) / 2, 0, 0,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
    progress_.emplace(mainWindow_, kFinishedProgressWait, stop, words);
    if (mainWindow_ != nullptr) {
      taskbar_.emplace(mainWindow_);
      SetWindowLongPtrW(mainWindow_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    // Set by another thread to end a wait for events.
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  }

  ~WindowsUserInterface() override {
    progress_.reset();
    taskbar_.reset();
    if (mainWindow_ != nullptr) DestroyWindow(mainWindow_);
    if (wake_ != nullptr) CloseHandle(wake_);
  }

  WindowsUserInterface(const WindowsUserInterface&) = delete;
  WindowsUserInterface& operator=(const WindowsUserInterface&) = delete;

  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    Box(text, title, MB_OK, icon);
  }

  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    return Box(text, title, MB_RETRYCANCEL | MB_DEFBUTTON1, icon) == IDRETRY ? Answer::Retry
                                                                             : Answer::Cancel;
  }

  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) override {
    switch (Box(text, title, MB_YESNOCANCEL | MB_DEFBUTTON1, icon)) {
      case IDYES:
        return Answer::Yes;
      case IDNO:
        return Answer::No;
      default:
        return Answer::Cancel;
    }
  }

  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    const std::wstring filter = DialogFilter(request.filter);
    const std::wstring title = Utf16(request.title);
    const std::wstring initialDir = Utf16(request.initialDir);
    std::vector<wchar_t> file(kPathBuffer, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mainWindow_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = OFN_HIDEREADONLY;  // no "open read-only" check box
    const Waiting waiting(*this);
    // Cancel and a failing dialog alike end the choice.
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    return Utf8(file.data());
  }

  Result<void> ShowText(const std::string& text, Icon icon, ConsoleStream) override {
    const WholeLines whole;
    ShowMessage(text, title_, icon);
    return {};
  }

  void PumpEvents() override {
    // Callers pump often, mostly with nothing there. Asking first
    // costs one trip to the system; an empty PeekMessage costs more, as
    // under wine it also polls the display connection of a thread that
    // has windows.
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) != 0) progress_->DispatchPending();
  }

  void WaitForEvents(std::chrono::milliseconds most) override {
    if (wake_ == nullptr) return UserInterface::WaitForEvents(most);
    progress_->DispatchFor(most, wake_);
  }

  void Wake() override {
    if (wake_ == nullptr) return UserInterface::Wake();
    SetEvent(wake_);
  }

  bool KeepWaitingAsked() override { return progress_->TakeKeepWaiting(); }

  void ShowProgress(const ProgressView& view) override {
    ShowTaskbarButton(false);
    progress_->Show(view);
    if (taskbar_) taskbar_->Show(view.done);
  }

  void FinishProgress(const std::string& text) override {
    if (!progress_->Shown()) return;
    ShowTaskbarButton(true);
    if (taskbar_) taskbar_->Show(1);
    progress_->Finish(text);
    EndProgress();
  }

  void CloseProgress() override {
    progress_->Close();
    EndProgress();
  }

 private:
  // The main window's own messages; the system handles the others, and
  // all of them until the interface has made what it needs.
  static LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
    auto* ui = reinterpret_cast<WindowsUserInterface*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (ui != nullptr && ui->progress_) {
      if (ui->taskbar_ && ui->taskbar_->Made(message)) return 0;
      switch (message) {
        case WM_CLOSE:
          // From the taskbar button. The window stays, as the boxes need it;
          // during a task it means the progress window's button.
          ui->progress_->RequestStop();
          return 0;
        case WM_SETFOCUS:
          // The user clicked the taskbar button during a task.
          if (!ui->progress_->Shown()) break;
          ui->progress_->Activate();
          return 0;
      }
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  // Owned by the main window when there is one, and in front of other
  // programs, whose open dialog may be what the question is about. The
  // foreground lock may refuse MB_SETFOREGROUND; MB_TOPMOST then still
  // keeps the box above other programs, and the main window's taskbar
  // button finds it. The button the box was closed with.
  int Box(const std::string& text, const std::string& title, UINT buttons, Icon icon) {
    const std::wstring wideTitle = Utf16(title);
    const Waiting waiting(*this);
    return MessageBoxW(
        mainWindow_, FittedToTitle(Utf16(text), wideTitle).c_str(), wideTitle.c_str(),
        buttons | kIconStyles[static_cast<int>(icon)] | MB_SETFOREGROUND | MB_TOPMOST);
  }

  // The main window's taskbar button for as long as a box or the dialog
  // waits: one behind the host can be found there.
  class Waiting {
   public:
    explicit Waiting(WindowsUserInterface& ui) : ui_(ui) { ui_.ShowTaskbarButton(true); }
    ~Waiting() {
      if (!ui_.progress_->Shown()) ui_.HideTaskbarButton();
    }
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;

   private:
    WindowsUserInterface& ui_;
  };

  // Shows the main window, which has no area, for its taskbar button,
  // without the activation that would take the keyboard from the window the
  // user works in. Minimised by the user, it is restored only for what waits
  // for an answer, as what it owns is hidden with it.
  void ShowTaskbarButton(bool restore) {
    if (mainWindow_ == nullptr) return;
    if (!IsWindowVisible(mainWindow_) || (restore && IsIconic(mainWindow_))) {
      ShowWindow(mainWindow_, SW_SHOWNOACTIVATE);
    }
  }

  void HideTaskbarButton() {
    if (mainWindow_ != nullptr && IsWindowVisible(mainWindow_)) ShowWindow(mainWindow_, SW_HIDE);
  }

  void EndProgress() {
    if (taskbar_) taskbar_->Clear();
    HideTaskbarButton();
  }

  std::string title_;
  HWND mainWindow_ = nullptr;
  std::optional<ProgressWindow> progress_;
  std::optional<TaskbarProgress> taskbar_;
  HANDLE wake_ = nullptr;
};

}  // namespace

std::unique_ptr<UserInterface> MakeSystemUserInterface(const std::string& mainWindowTitle,
                                                       StopSource& stop,
                                                       const UserInterfaceWords& words) {
  return std::make_unique<WindowsUserInterface>(mainWindowTitle, stop, words);
}

}  // namespace traskel
